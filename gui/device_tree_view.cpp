#include "gui/device_tree_view.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>

#include "app/main_commands.h"
#include "gui/icons.h"
#include "gui/tag_clipboard.h"
#include "gui/view_commands.h"
#include "model/c_doc.h"
#include "platform/text.h"

namespace velk::gui {
namespace {
constexpr int kNodeRole = Qt::UserRole;

// Over the tree a drag copies with Ctrl held and moves otherwise.
Qt::DropAction ProposedAction(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction;
}
}  // namespace

DeviceTreeView::DeviceTreeView(CDoc& document, IViewCommands& commands, QWidget* parent)
    : QTreeWidget(parent), document_(document), commands_(commands) {
    setObjectName("deviceTree");
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });
    Rebuild();
}

OTagGroup* DeviceTreeView::NodeOf(const QTreeWidgetItem* item) {
    if (item == nullptr) return nullptr;
    return static_cast<OTagGroup*>(item->data(0, kNodeRole).value<void*>());
}

QTreeWidgetItem* DeviceTreeView::ItemOf(const OTagGroup* node) const {
    if (node == nullptr) return nullptr;
    for (QTreeWidgetItemIterator it(const_cast<DeviceTreeView*>(this)); *it; ++it) {
        if (NodeOf(*it) == node) return *it;
    }
    return nullptr;
}

void DeviceTreeView::OnDocumentUpdate(int hint, OObject* item) {
    switch (hint) {
        case kHintRebuild:
            Rebuild();
            break;
        case kHintItemChanged:
            if (QTreeWidgetItem* shown = ItemOf(dynamic_cast<OTagGroup*>(item))) {
                shown->setText(0, QString::fromStdString(NodeOf(shown)->name));
            } else {
                Rebuild();
            }
            break;
        case kHintTagListChanged:
            // The document may have moved the selection itself (a new node, a refused
            // duplicate): the marked node follows it.
            if (item == nullptr && NodeOf(currentItem()) != document_.selection)
                SelectCurrentNode();
            break;
        case kHintItemAdded:
            if (auto* node = dynamic_cast<OTagGroup*>(item)) InsertSorted(*node);
            break;
        case kHintCleared:
            rebuilding_ = true;
            clear();
            rebuilding_ = false;
            break;
        default:
            break;
    }
}

void DeviceTreeView::Rebuild() {
    rebuilding_ = true;
    clear();
    for (const auto& device : document_.rootGroup.subgroupList) AddNode(nullptr, *device);
    rebuilding_ = false;
    SelectCurrentNode();
}

void DeviceTreeView::AddNode(QTreeWidgetItem* parentItem, OTagGroup& node) {
    auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
    item->setText(0, QString::fromStdString(node.name));
    item->setData(0, kNodeRole, QVariant::fromValue(static_cast<void*>(&node)));
    SetIcon(item, false);
    for (const auto& sub : node.subgroupList) AddNode(item, *sub);
    item->setExpanded(true);
}

void DeviceTreeView::InsertSorted(OTagGroup& node) {
    if (ItemOf(&node) != nullptr) return;
    QTreeWidgetItem* parentItem = ItemOf(node.parent);
    if (node.parent != &document_.rootGroup && parentItem == nullptr) return Rebuild();
    rebuilding_ = true;
    auto* item = new QTreeWidgetItem;
    item->setText(0, QString::fromStdString(node.name));
    item->setData(0, kNodeRole, QVariant::fromValue(static_cast<void*>(&node)));
    SetIcon(item, false);
    const int count = parentItem ? parentItem->childCount() : topLevelItemCount();
    int at = 0;
    while (at < count) {
        const QTreeWidgetItem* sibling = parentItem ? parentItem->child(at) : topLevelItem(at);
        if (CompareNoCase(NodeOf(sibling)->name, node.name) > 0) break;
        ++at;
    }
    if (parentItem) {
        parentItem->insertChild(at, item);
        parentItem->setExpanded(true);
    } else {
        insertTopLevelItem(at, item);
    }
    for (const auto& sub : node.subgroupList) AddNode(item, *sub);
    rebuilding_ = false;
    SelectCurrentNode();
}

void DeviceTreeView::SelectCurrentNode() {
    QTreeWidgetItem* item = ItemOf(document_.selection);
    rebuilding_ = true;
    setCurrentItem(item);
    if (item == nullptr) clearSelection();
    rebuilding_ = false;
    if (item) scrollToItem(item);
    for (QTreeWidgetItemIterator it(this); *it; ++it) SetIcon(*it, *it == item);
}

void DeviceTreeView::SetIcon(QTreeWidgetItem* item, bool selected) {
    const OTagGroup* node = NodeOf(item);
    const bool device = node != nullptr && node->IsDevice();
    item->setIcon(0, ItemIconFor(device ? (selected ? ItemIcon::DeviceSelected : ItemIcon::Device)
                                        : (selected ? ItemIcon::GroupSelected : ItemIcon::Group)));
}

void DeviceTreeView::OnSelectionChanged() {
    if (rebuilding_) return;
    const QList<QTreeWidgetItem*> selected = selectedItems();
    OTagGroup* node = selected.isEmpty() ? nullptr : NodeOf(selected.first());
    if (node == nullptr || node == document_.selection) return;
    document_.selection = node;
    for (QTreeWidgetItemIterator it(this); *it; ++it) SetIcon(*it, NodeOf(*it) == node);
    document_.UpdateAllViews(kHintTagListChanged);
}

void DeviceTreeView::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* item = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    if (item == nullptr) return;
    setCurrentItem(item);
    commands_.PaneActivated(ActivePane::DeviceTree);
    ShowCommandMenu(this, commands_, "Device",
                    {{"Paste", ID_EDIT_PASTE},
                     {"Delete", ID_EDIT_DELETE},
                     {"New Group...", ID_ADD_GROUP},
                     {"New Tag...", ID_ADD_TAG},
                     {"Properties...", ID_EDIT_PROPERTIES}},
                    event->globalPos());
}

void DeviceTreeView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        // The key deletes without the administrator rule of the menu; the document still
        // refuses a node in use or while clients are attached.
        document_.DeleteSelection();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void DeviceTreeView::focusInEvent(QFocusEvent* event) {
    commands_.PaneActivated(ActivePane::DeviceTree);
    QTreeWidget::focusInEvent(event);
}

void DeviceTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (currentItem() == nullptr) return;
    commands_.PaneActivated(ActivePane::DeviceTree);
    commands_.RunCommand(ID_EDIT_PROPERTIES);
}

void DeviceTreeView::Highlight(QTreeWidgetItem* item) {
    if (highlighted_ == item) return;
    if (highlighted_) highlighted_->setBackground(0, QBrush());
    highlighted_ = item;
    if (highlighted_) highlighted_->setBackground(0, palette().highlight().color().lighter(150));
}

void DeviceTreeView::dragEnterEvent(QDragEnterEvent* event) {
    if (!OffersTags(event->mimeData())) return event->ignore();
    event->acceptProposedAction();
}

void DeviceTreeView::dragMoveEvent(QDragMoveEvent* event) {
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (!OffersTags(event->mimeData()) || item == nullptr) {
        Highlight(nullptr);
        return event->ignore();
    }
    const Qt::DropAction action = ProposedAction(event->modifiers());
    // A source that cannot delete its tags now does not offer a move: no drop then.
    if (!(event->possibleActions() & action)) {
        Highlight(nullptr);
        return event->ignore();
    }
    Highlight(item);
    event->setDropAction(action);
    event->accept();
}

void DeviceTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
    Highlight(nullptr);
    QTreeWidget::dragLeaveEvent(event);
}

void DeviceTreeView::dropEvent(QDropEvent* event) {
    Highlight(nullptr);
    OTagGroup* target = NodeOf(itemAt(event->position().toPoint()));
    const Qt::DropAction action = ProposedAction(event->modifiers());
    // A move is refused before anything is pasted when its source could not delete the
    // tags afterwards (clients connected, the monitor running): they would be in both
    // places. The source says so by not offering a move; this window's own list is also
    // asked again, as its state may have changed during the drag.
    const bool move = action == Qt::MoveAction;
    // Only this window's tag list starts drags within the process.
    const bool ownList = event->source() != nullptr;
    if (target == nullptr || !(event->possibleActions() & action) ||
        !commands_.DropTags(*target, event->mimeData(), move && ownList)) {
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

}  // namespace velk::gui
