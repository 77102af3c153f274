#pragma once
// The right pane: the tags of the current node with their live values. Header clicks sort
// the rows (the three-click rule of TagListOrder); the monitor's ticks rewrite the Value and
// Timestamp columns.
#include <QTimer>
#include <QTreeWidget>
#include <vector>

#include "model/document_observer.h"
#include "model/monitor_text.h"
#include "platform/clock.h"

namespace velk {
class CDoc;
class OModbusTag;
}  // namespace velk

namespace velk::gui {

class IViewCommands;

inline constexpr int TIMER_MONITOR_REFRESH = 45000;
inline constexpr int kMonitorRefreshMs = 500;

// "%s %02d:%02d:%02d.%03d": the time stamp in local time, the date in the user's short
// date format.
QString TimestampText(FileTime utc);

class TagListView final : public QTreeWidget {
  public:
    TagListView(CDoc& document, IViewCommands& commands, QWidget* parent = nullptr);

    void OnDocumentUpdate(int hint, OObject* item);
    std::vector<OModbusTag*> SelectedTags() const;
    OModbusTag* SelectedTag() const;
    // The rows' tags in the order shown.
    std::vector<OModbusTag*> Rows() const;
    void SortByColumn(TagColumn column);
    // What a drag of these rows offers: copy and link, and move only when the rows could
    // be deleted afterwards.
    Qt::DropActions DragActions(const std::vector<OModbusTag*>& tags) const;

    // The monitor's refresh timer (TIMER_MONITOR_REFRESH): each tick sends hint 3.
    bool StartRefreshTimer();
    void StopRefreshTimer();
    bool RefreshTimerActive() const { return refresh_.isActive(); }

    // Widens the columns whose texts (or titles) do not fit; never narrows one.
    void FitColumnsToContents();

  protected:
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

  private:
    void Rebuild();
    void UpdateRow(QTreeWidgetItem* row);
    void RefreshValues();
    static OModbusTag* TagOf(const QTreeWidgetItem* row);

    CDoc& document_;
    IViewCommands& commands_;
    TagListOrder order_;
    QTimer refresh_;
};

}  // namespace velk::gui
