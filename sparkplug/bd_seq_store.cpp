#include "sparkplug/bd_seq_store.h"

#include "core/trace_file.h"

namespace velk::sparkplug {
namespace {

// "0\n" to "255\n"; anything else is no record.
bool ParseBdSeq(const std::string& text, std::uint8_t& out) {
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) --end;
    if (end == 0 || end > 3) return false;
    unsigned value = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (value > 255) return false;
    out = static_cast<std::uint8_t>(value);
    return true;
}

}  // namespace

BdSeqStore::BdSeqStore(IDocumentFileAccess& files, std::string directory)
    : files_(files),
      path_(directory.empty() ? std::string("sparkplug_bdseq") : directory + "/sparkplug_bdseq") {}

std::uint8_t BdSeqStore::TakeNext() {
    std::string text;
    std::uint8_t last = last_.value_or(0);
    // What this process took last counts when the file could not keep it.
    const bool known = last_.has_value() ||
                       (files_.ReadAll(path_, text) == FileError::kNone && ParseBdSeq(text, last));
    const std::uint8_t next = known ? static_cast<std::uint8_t>(last + 1) : 0;

    const std::string fresh = path_ + ".new";
    files_.Remove(fresh);  // left by a crash between the write and the rename
    const std::string record = std::to_string(next) + "\n";
    if (files_.WriteNew(fresh, record) != FileError::kNone ||
        files_.Replace(fresh, path_) != FileError::kNone) {
        files_.Remove(fresh);
        Trace("Sparkplug: cannot keep the bdSeq in " + path_);
    }
    last_ = next;
    return next;
}

}  // namespace velk::sparkplug
