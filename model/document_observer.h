#pragma once
// A view of the document: receives the document's change hints.
namespace velk {

class OObject;

// Hints: what changed in the document.
enum ViewHint : int {
    kHintRebuild = 0,         // rebuild everything
    kHintItemChanged = 1,     // an item's properties changed
    kHintTagListChanged = 2,  // the tag list changed
    kHintMonitorRefresh = 3,  // the monitor's tick: the values changed
    kHintItemAdded = 4,       // an item was added
    kHintCleared = 5,         // the document was cleared
};

class IDocumentObserver {
  public:
    virtual ~IDocumentObserver() = default;
    // item is the added or changed device or group, when there is one.
    virtual void OnDocumentUpdate(int hint, OObject* item) = 0;
};

}  // namespace velk
