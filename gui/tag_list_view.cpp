#include "gui/tag_list_view.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <algorithm>
#include <mutex>

#include "app/main_commands.h"
#include "gui/icons.h"
#include "gui/tag_clipboard.h"
#include "gui/view_commands.h"
#include "model/c_doc.h"
#include "model/locks.h"
#include "model/o_modbus_tag.h"

namespace velk::gui {
namespace {
constexpr int kTagRole = Qt::UserRole;
// 1601-01-01 to 1970-01-01 in file-time ticks.
constexpr FileTime kUnixEpochAsFileTime = 116444736000000000ull;

struct ColumnInfo {
    const char* title;
    int width;
};
constexpr ColumnInfo kColumns[] = {{"Name", 110},        {"Type", 80},  {"Location", 55},
                                   {"Description", 120}, {"Value", 70}, {"Timestamp", 125}};
constexpr int kValueColumn = 4;
constexpr int kTimestampColumn = 5;
}  // namespace

QString TimestampText(FileTime utc) {
    const qint64 ms =
        utc >= kUnixEpochAsFileTime
            ? static_cast<qint64>((utc - kUnixEpochAsFileTime) / kFileTimeTicksPerMs)
            : -static_cast<qint64>((kUnixEpochAsFileTime - utc) / kFileTimeTicksPerMs);
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    const QTime t = local.time();
    return QString::asprintf(
        "%s %02d:%02d:%02d.%03d",
        qPrintable(QLocale::system().toString(local.date(), QLocale::ShortFormat)), t.hour(),
        t.minute(), t.second(), t.msec());
}

TagListView::TagListView(CDoc& document, IViewCommands& commands, QWidget* parent)
    : QTreeWidget(parent), document_(document), commands_(commands) {
    setObjectName("tagList");
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setColumnCount(static_cast<int>(std::size(kColumns)));
    QStringList titles;
    for (const ColumnInfo& c : kColumns) titles << c.title;
    setHeaderLabels(titles);
    for (int i = 0; i < columnCount(); ++i) setColumnWidth(i, kColumns[i].width);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int section) { SortByColumn(static_cast<TagColumn>(section)); });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*, int) {
        commands_.PaneActivated(ActivePane::TagList);
        commands_.RunCommand(ID_EDIT_PROPERTIES);
    });
    refresh_.setInterval(kMonitorRefreshMs);
    connect(&refresh_, &QTimer::timeout, this,
            [this] { document_.UpdateAllViews(kHintMonitorRefresh); });
    Rebuild();
}

OModbusTag* TagListView::TagOf(const QTreeWidgetItem* row) {
    return row ? static_cast<OModbusTag*>(row->data(0, kTagRole).value<void*>()) : nullptr;
}

void TagListView::OnDocumentUpdate(int hint, OObject* item) {
    switch (hint) {
        case kHintRebuild:
            Rebuild();
            break;
        case kHintTagListChanged:
            if (auto* tag = dynamic_cast<OModbusTag*>(item)) {
                for (int i = 0; i < topLevelItemCount(); ++i) {
                    if (TagOf(topLevelItem(i)) == tag) UpdateRow(topLevelItem(i));
                }
            } else {
                Rebuild();
            }
            break;
        case kHintMonitorRefresh:
            RefreshValues();
            break;
        case kHintCleared:
            clear();
            break;
        default:
            break;
    }
}

void TagListView::Rebuild() {
    const std::vector<OModbusTag*> previouslySelected = SelectedTags();
    clear();
    std::vector<OModbusTag*> rows;
    if (document_.selection != nullptr) {
        for (const auto& tag : document_.selection->tagList) rows.push_back(tag.get());
    }
    order_.Apply(rows);
    for (OModbusTag* tag : rows) {
        auto* row = new QTreeWidgetItem(this);
        row->setData(0, kTagRole, QVariant::fromValue(static_cast<void*>(tag)));
        UpdateRow(row);
        if (std::find(previouslySelected.begin(), previouslySelected.end(), tag) !=
            previouslySelected.end())
            row->setSelected(true);
    }
    if (document_.monitorRunning.load()) RefreshValues();
    if (isVisible()) FitColumnsToContents();
}

void TagListView::FitColumnsToContents() {
    for (int i = 0; i < columnCount(); ++i) {
        const int wanted = std::max(sizeHintForColumn(i), header()->sectionSizeHint(i));
        if (wanted > columnWidth(i)) setColumnWidth(i, wanted);
    }
}

void TagListView::showEvent(QShowEvent* event) {
    QTreeWidget::showEvent(event);
    // The rows are measured once they are laid out in a shown view.
    FitColumnsToContents();
}

void TagListView::UpdateRow(QTreeWidgetItem* row) {
    const OModbusTag* tag = TagOf(row);
    row->setIcon(0, ItemIconFor(tag->IsBool() ? ItemIcon::BoolTag : ItemIcon::Tag));
    row->setText(0, QString::fromStdString(tag->name));
    row->setText(1, QString::fromStdString(tag->GetLocationName()));
    row->setText(2, QString::fromStdString(tag->GetAddressText()));
    row->setText(3, QString::fromStdString(tag->description));
}

void TagListView::RefreshValues() {
    std::lock_guard tree(document_.Locks().tree);
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = topLevelItem(i);
        const OModbusTag* tag = TagOf(row);
        Variant value;
        std::uint16_t quality = 0;
        FileTime stamp = 0;
        {
            std::lock_guard data(document_.Locks().tagData);
            value = tag->GetValue();
            quality = tag->quality;
            stamp = tag->timestamp;
        }
        row->setText(kValueColumn, QString::fromStdString(MonitorValueText(value, quality)));
        row->setText(kTimestampColumn, TimestampText(stamp));
    }
}

void TagListView::SortByColumn(TagColumn column) {
    if (order_.Click(column)) Rebuild();
}

std::vector<OModbusTag*> TagListView::Rows() const {
    std::vector<OModbusTag*> rows;
    for (int i = 0; i < topLevelItemCount(); ++i) rows.push_back(TagOf(topLevelItem(i)));
    return rows;
}

std::vector<OModbusTag*> TagListView::SelectedTags() const {
    std::vector<OModbusTag*> tags;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->isSelected()) tags.push_back(TagOf(topLevelItem(i)));
    }
    return tags;
}

OModbusTag* TagListView::SelectedTag() const {
    if (QTreeWidgetItem* current = currentItem(); current && current->isSelected())
        return TagOf(current);
    const std::vector<OModbusTag*> selected = SelectedTags();
    return selected.empty() ? nullptr : selected.front();
}

bool TagListView::StartRefreshTimer() {
    refresh_.start();
    return true;
}

void TagListView::StopRefreshTimer() { refresh_.stop(); }

void TagListView::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* row = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    if (row == nullptr) return;
    if (!row->isSelected()) {
        clearSelection();
        row->setSelected(true);
    }
    setCurrentItem(row);
    commands_.PaneActivated(ActivePane::TagList);
    ShowCommandMenu(this, commands_, "Tag",
                    {{"Cut", ID_EDIT_CUT},
                     {"Copy", ID_EDIT_COPY},
                     {"Delete", ID_EDIT_DELETE},
                     {"Properties...", ID_EDIT_PROPERTIES}},
                    event->globalPos());
}

void TagListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        commands_.PaneActivated(ActivePane::TagList);
        commands_.RunCommand(ID_EDIT_DELETE);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TagListView::focusInEvent(QFocusEvent* event) {
    commands_.PaneActivated(ActivePane::TagList);
    QTreeWidget::focusInEvent(event);
}

void TagListView::startDrag(Qt::DropActions) {
    const std::vector<OModbusTag*> tags = SelectedTags();
    if (tags.empty()) return;
    // Tags that OPC groups use stay where they are.
    for (const OModbusTag* tag : tags) {
        if (tag->opcReferenceCount != 0) return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(TagsToMime({tags.begin(), tags.end()}).release());
    drag->setPixmap(
        ItemIconFor(tags.front()->IsBool() ? ItemIcon::BoolTag : ItemIcon::Tag).pixmap(16, 16));
    const Qt::DropActions offered = DragActions(tags);
    const Qt::DropAction done =
        drag->exec(offered, (offered & Qt::MoveAction) ? Qt::MoveAction : Qt::CopyAction);
    if (done == Qt::MoveAction) document_.DeleteTags(tags);
}

Qt::DropActions TagListView::DragActions(const std::vector<OModbusTag*>& tags) const {
    Qt::DropActions actions = Qt::CopyAction | Qt::LinkAction;
    if (document_.CanDeleteTags(tags)) actions |= Qt::MoveAction;
    return actions;
}

}  // namespace velk::gui
