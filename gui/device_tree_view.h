#pragma once
// The left pane: the devices of the document with their groups. Selecting a node makes it
// the document's current node; dragged tags can be dropped on a node.
#include <QTreeWidget>

#include "model/document_observer.h"

namespace velk {
class CDoc;
class OTagGroup;
}  // namespace velk

namespace velk::gui {

class IViewCommands;

class DeviceTreeView final : public QTreeWidget {
  public:
    DeviceTreeView(CDoc& document, IViewCommands& commands, QWidget* parent = nullptr);

    void OnDocumentUpdate(int hint, OObject* item);
    // The item of a node; none when the node is not shown.
    QTreeWidgetItem* ItemOf(const OTagGroup* node) const;
    static OTagGroup* NodeOf(const QTreeWidgetItem* item);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void Rebuild();
    void AddNode(QTreeWidgetItem* parentItem, OTagGroup& node);
    void InsertSorted(OTagGroup& node);
    void SelectCurrentNode();
    void OnSelectionChanged();
    void SetIcon(QTreeWidgetItem* item, bool selected);
    void Highlight(QTreeWidgetItem* item);

    CDoc& document_;
    IViewCommands& commands_;
    bool rebuilding_ = false;
    QTreeWidgetItem* highlighted_ = nullptr;
};

}  // namespace velk::gui
