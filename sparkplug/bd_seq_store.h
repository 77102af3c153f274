#pragma once
// The birth-death sequence number of the node's sessions, kept in the store directory so
// that a restarted server never repeats the bdSeq of its last session: a host would take
// the old session's NDEATH, delivered late by the broker, for the death of the new one.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/document_file_access.h"

namespace velk::sparkplug {

class BdSeqStore {
  public:
    // The number lives in <directory>/sparkplug_bdseq, replaced in one step (written to a
    // new file, then renamed over it), so a crash leaves the old number or the new one.
    BdSeqStore(IDocumentFileAccess& files, std::string directory);

    // The bdSeq of the next session: one more than the last one taken, 0 after 255 and 0
    // when nothing valid is kept. It is kept before it is returned, as the MQTT will that
    // carries it is handed to the broker at the connect. A failed write is traced; the
    // number is used all the same, and the next one counts on from it.
    std::uint8_t TakeNext();

    const std::string& Path() const { return path_; }

  private:
    IDocumentFileAccess& files_;
    std::string path_;
    std::optional<std::uint8_t> last_;
};

}  // namespace velk::sparkplug
