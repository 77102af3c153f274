#pragma once
// The AE server's alarm state as the UA front's conditions: snapshots of tag and device
// conditions read under TagDataLock, acknowledgement through the AE server object's
// AckCondition, and the AE records (transitions, acknowledgements from AE clients, from UA
// and from the peer) turned into condition events. There is one alarm state; this class
// keeps none of it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "model/model_settings.h"
#include "opc/server_objects.h"
#include "opcae/ae_event_builder.h"
#include "opcua/alarms/condition_methods.h"

namespace velk {
class AeEventSpace;
class BEvent;
class CDoc;
class OModbusTag;
class OPCEventServer;
}  // namespace velk

namespace velk::ua {

class AeAlarmConditions final : public IAlarmConditionAccess, public IAEServerObject {
  public:
    // sourceNode gives the node of an AE source (the tag or device the name belongs to).
    AeAlarmConditions(CDoc& document, const AeEventSpace& space, OPCEventServer& aeServer,
                      std::function<NodeId(const std::string& source)> sourceNode);

    // Where the records go as condition events; null: nowhere.
    void SetMethods(ConditionMethods* methods) { methods_ = methods; }

    // The snapshot of an AE record; nullopt for a record without a condition.
    std::optional<ConditionSnapshot> SnapshotOfRecord(const BEvent& record) const;

    // IAlarmConditionAccess.
    std::optional<ConditionSnapshot> Find(std::uint32_t cookie) const override;
    std::vector<ConditionSnapshot> Retained() const override;
    // AckCondition with the UA user as the acknowledger.
    bool Acknowledge(const ConditionSnapshot& condition, const std::string& user,
                     const std::string& comment) override;

    // IAEServerObject: the UA front's clients are counted by their sessions.
    int RequestClientShutdown(const std::string&) override { return 1; }  // S_FALSE
    void DistributeEvent(const BEvent& event) override;
    std::size_t SubscriptionCount() const override { return 0; }

  private:
    // With TagDataLock held.
    std::optional<ConditionSnapshot> SnapshotLocked(const BEvent& record) const;
    BEvent PresentRecordOfTag(OModbusTag& tag) const;

    CDoc& document_;
    AeEventBuilder builder_;
    OPCEventServer& aeServer_;
    std::function<NodeId(const std::string&)> sourceNode_;
    ConditionMethods* methods_ = nullptr;
};

}  // namespace velk::ua
