#pragma once
// Document files held in memory, with switches that make each step fail.
#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <string>

#include "platform/document_file_access.h"

namespace velk::testing {

class MemoryDocumentFileAccess final : public IDocumentFileAccess {
  public:
    FileError ReadAll(const std::string& path, std::string& bytes) override {
        if (throwBadAlloc) throw std::bad_alloc();
        if (readError != FileError::kNone) return readError;
        const auto it = files.find(path);
        if (it == files.end()) return FileError::kNotFound;
        bytes = it->second;
        return FileError::kNone;
    }
    FileError WriteNew(const std::string& path, std::string_view bytes) override {
        if (throwBadAlloc) throw std::bad_alloc();
        if (files.count(path) != 0) return FileError::kExists;
        if (writeError != FileError::kNone) {
            // A failed write leaves a partial file behind, as a full disk would.
            files[path] = std::string(bytes.substr(0, bytes.size() / 2));
            return writeError;
        }
        files[path] = std::string(bytes);
        return FileError::kNone;
    }
    FileError Replace(const std::string& from, const std::string& to) override {
        if (replaceError != FileError::kNone) return replaceError;
        const auto it = files.find(from);
        if (it == files.end()) return FileError::kNotFound;
        files[to] = it->second;
        files.erase(from);
        return FileError::kNone;
    }
    void Remove(const std::string& path) override { files.erase(path); }
    void RemoveAbandoned(const std::string& path, std::string_view ours) override {
        const auto it = files.find(path);
        if (it == files.end() || inUse.count(path) != 0) return;
        const std::size_t common = std::min(it->second.size(), ours.size());
        if (it->second.compare(0, common, ours.substr(0, common)) == 0) files.erase(it);
    }

    std::map<std::string, std::string> files;
    FileError readError = FileError::kNone;
    FileError writeError = FileError::kNone;
    FileError replaceError = FileError::kNone;
    bool throwBadAlloc = false;   // as when the memory runs out
    std::set<std::string> inUse;  // files that a save is writing now
};

}  // namespace velk::testing
