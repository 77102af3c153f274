#pragma once
// What every page of the tag property sheet has: its own copies of the values it shows,
// the reading of its entry fields and the transfer between those values and the object it
// edits.
#include <optional>

#include "model/tag_sheet/field_entry.h"

namespace velk {

class SheetPage {
  public:
    virtual ~SheetPage() = default;
    // Reads the entry fields into the page's values. A refused entry leaves them as they
    // were and names the field and the message.
    virtual std::optional<FieldError> ReadEntries() = 0;
    // false: the edited object into the page's values; true: the page's values (as last
    // read) into the edited object.
    virtual void Transfer(bool save) = 0;
    // The rules that run once when the page is first shown; ends the loading state.
    virtual void OnFirstDisplay() { loading = false; }

    // On from the page's creation to the end of its first display: while it is on the
    // automatic ticking of "Ack" boxes and of write access does not happen.
    bool loading = true;
};

}  // namespace velk
