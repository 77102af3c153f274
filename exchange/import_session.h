#pragma once
// One CSV or RES import into the open document, from its start to its end: the live
// monitor paused, the tree and the tag data locked, views held back, and the tree edits
// the importers share (devices, groups, tag lookup and insertion, scan lists).
//
// Lookups and insertions stay fast for large lists: each group touched gets a name index,
// and new tags are merged into the name-ordered group lists and the location-ordered scan
// lists once, when the session ends. Nothing outside the session can see the lists in
// between, since it holds both locks throughout.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "exchange/exchange_services.h"
#include "model/o_device.h"
#include "platform/clock.h"

namespace velk {

class CDoc;

class ImportSession {
  public:
    // Where an existing tag was in its device's scan lists before its configuration
    // changes: its key and its positions (-1 when not listed).
    struct ScanPlace {
        ODevice* device = nullptr;
        std::int32_t kind = 0;
        std::uint16_t address = 0;
        std::ptrdiff_t eventIndex = -1;
        std::ptrdiff_t alarmIndex = -1;
    };

    // Stops the live monitor (restarted by Finish), takes TreeLock then TagDataLock, sets
    // the document's batch flag and clears its current node.
    ImportSession(CDoc& document, const ExchangeServices& services, ImportMode mode);
    // Finishes with nothing imported when Finish was not called.
    ~ImportSession();
    ImportSession(const ImportSession&) = delete;
    ImportSession& operator=(const ImportSession&) = delete;

    CDoc& Document() { return document_; }
    ImportMode Mode() const { return mode_; }
    // The node that new tags go into: the document's selection.
    OTagGroup* CurrentNode() const;
    void SetCurrentNode(OTagGroup* node);
    FileTime Now() const;
    const std::string& Delimiter() const;

    // A device with default settings, bound to the ports its default port names name and
    // inserted in name order; marks the document modified. Null when the name is taken.
    ODevice* CreateDevice(const std::string& name);
    // Deletes every tag and group of the device, taking each deleted tag out of every list.
    void EmptyDevice(ODevice& device);
    // The subgroup of that name (ASCII case ignored), or a new one inserted in name order.
    OTagGroup& FindOrAddGroup(OTagGroup& parent, const std::string& name);
    // The group's own tag of that name (ASCII case ignored), or none.
    OModbusTag* FindTag(OTagGroup& group, const std::string& name);
    // A new tag joins the group, the document tag list and its device's scan lists where
    // it belongs. The name must not be taken in the group (FindTag).
    OModbusTag* AddTag(OTagGroup& group, std::unique_ptr<OModbusTag> tag);
    // Around a change of an existing tag's location or alarm: Begin before anything is
    // changed, End afterwards, with no other tree change between; the scan-list
    // memberships then follow the new configuration.
    ScanPlace BeginTagChange(OModbusTag& tag);
    void EndTagChange(OModbusTag& tag, const ScanPlace& place);

    // Queues a message; messages are shown by Finish once the locks are released.
    void Message(const std::string& text) { messages_.push_back({text, false}); }
    // The same, shown with the error icon.
    void ErrorMessage(const std::string& text) { messages_.push_back({text, true}); }

    // Ends the import: merges the new tags into their lists, optionally clears every
    // device's import mark, ends the batch and refreshes the views, marks the document
    // modified when something was imported, releases the locks, restarts the monitor and
    // shows the queued messages. Later calls do nothing.
    void Finish(std::size_t importedCount, bool clearImportMarks);

    // Ends a file import: a read failure stops it; a stopped import says how many lines
    // it applied, a completed one with bad lines says so; then Finish, clearing the marks.
    ImportReport Conclude(ImportReport report, bool stopped, bool readFailed);

  private:
    struct GroupState {
        bool sorted = false;  // the tag list is in name order, so new tags can be merged in
        std::unordered_map<std::string, OModbusTag*> byName;  // lower-case names
        std::vector<std::unique_ptr<OModbusTag>> pending;     // new tags, not yet listed
    };
    struct ListState {
        bool sorted = false;  // in location order, so listed tags are found by their key
        std::vector<OModbusTag*> candidates;  // to be inserted when they still belong
        std::unordered_set<const OModbusTag*> candidateSet;
    };
    struct DeviceState {
        ListState events;
        ListState alarms;
    };

    GroupState& StateOf(OTagGroup& group);
    DeviceState& StateOf(ODevice& device);
    std::ptrdiff_t FindListed(const OModbusTag& tag, const TagList& list,
                              const ListState& state) const;
    void Reconcile(OModbusTag& tag, TagList& list, ListState& state, bool wanted,
                   std::ptrdiff_t index, bool keyKept);
    static void AddCandidate(OModbusTag& tag, ListState& state);
    void FlushGroup(OTagGroup& group, GroupState& state);
    static void FlushList(const ODevice& device, TagList& list, ListState& state,
                          bool (*belongs)(const OModbusTag&));
    void FlushAll();

    CDoc& document_;
    ExchangeServices services_;
    ImportMode mode_;
    bool restartMonitor_ = false;
    bool finished_ = false;
    std::unique_lock<std::recursive_mutex> tree_;
    std::unique_lock<std::recursive_mutex> data_;
    std::unordered_map<const OTagGroup*, GroupState> groups_;
    std::unordered_map<const ODevice*, DeviceState> devices_;
    std::vector<std::pair<std::string, bool>> messages_;  // text, shown as an error
};

}  // namespace velk
