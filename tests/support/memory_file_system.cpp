#include "tests/support/memory_file_system.h"

namespace velk::testing {

class MemoryFile final : public IAppendFile {
  public:
    MemoryFile(std::shared_ptr<std::string> data, MemoryFileSystem& owner)
        : data_(std::move(data)), owner_(owner) {}
    std::optional<std::uint64_t> Size() override { return data_->size(); }
    std::size_t Write(const void* data, std::size_t bytes) override {
        data_->append(static_cast<const char*>(data), bytes);
        return bytes;
    }
    bool Sync() override {
        std::lock_guard lock(owner_.mutex_);
        ++owner_.syncs;
        return !owner_.failSync;
    }

  private:
    std::shared_ptr<std::string> data_;
    MemoryFileSystem& owner_;
};

std::unique_ptr<IAppendFile> MemoryFileSystem::OpenAppend(const std::string& path) {
    std::lock_guard lock(mutex_);
    ++opens;
    if (failOpen) return nullptr;
    auto& file = files_[path];
    if (!file) file = std::make_shared<std::string>();
    return std::make_unique<MemoryFile>(file, *this);
}

bool MemoryFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
    std::lock_guard lock(mutex_);
    if (failRename || files_.count(to) || !files_.count(from)) return false;
    files_[to] = files_[from];
    files_.erase(from);
    return true;
}

bool MemoryFileSystem::Exists(const std::string& path) {
    std::lock_guard lock(mutex_);
    return files_.count(path) != 0;
}

std::vector<std::string> MemoryFileSystem::ListDirectory(const std::string& directory) {
    std::lock_guard lock(mutex_);
    const std::string prefix = directory.empty() ? std::string() : directory + "/";
    std::vector<std::string> names;
    for (const auto& [path, file] : files_) {
        if (path.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string name = path.substr(prefix.size());
        if (name.find('/') == std::string::npos) names.push_back(name);
    }
    return names;
}

bool MemoryFileSystem::Remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    return files_.erase(path) != 0;
}

std::string MemoryFileSystem::Content(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = files_.find(path);
    return it == files_.end() ? std::string() : *it->second;
}

void MemoryFileSystem::SetContent(const std::string& path, std::string bytes) {
    std::lock_guard lock(mutex_);
    // Open handles see the new content, as they would on disk.
    auto& file = files_[path];
    if (!file) file = std::make_shared<std::string>();
    *file = std::move(bytes);
}

std::size_t MemoryFileSystem::FileCount() const {
    std::lock_guard lock(mutex_);
    return files_.size();
}

}  // namespace velk::testing
