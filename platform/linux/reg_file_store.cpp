#include "platform/linux/reg_file_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/text.h"

namespace velk {

struct RegFileStore::KeyNode {
    std::string name;
    std::vector<std::pair<std::string, RegValue>> values;
    std::vector<std::unique_ptr<KeyNode>> children;

    KeyNode* Child(std::string_view childName) const {
        for (const auto& child : children) {
            if (EqualsNoCase(child->name, childName)) return child.get();
        }
        return nullptr;
    }
    KeyNode& ChildOrNew(std::string_view childName) {
        if (KeyNode* found = Child(childName)) return *found;
        children.push_back(std::make_unique<KeyNode>());
        children.back()->name = std::string(childName);
        return *children.back();
    }
    RegValue* Value(std::string_view valueName) {
        for (auto& [n, v] : values) {
            if (EqualsNoCase(n, valueName)) return &v;
        }
        return nullptr;
    }
};

struct RegFileStore::Snapshot {
    KeyNode root;  // its children are the root keys (HKEY_LOCAL_MACHINE, ...)
    std::string problem;
};

namespace {

using KeyNode = RegFileStore::KeyNode;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::size_t kHexLineWidth = 78;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool HasControlCharacter(std::string_view s) {
    for (const char c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

bool IsValidUtf8(std::string_view s) { return Utf16ToUtf8(Utf8ToUtf16(s)) == s; }

// Splits "A\B\C" into its names; empty when a name is empty or unusable in the file.
std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty() || HasControlCharacter(part) || !IsValidUtf8(part)) return {};
        parts.emplace_back(part);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

KeyNode* FindKey(const KeyNode& root, std::string_view path) {
    const auto parts = SplitKeyPath(path);
    if (parts.empty()) return nullptr;
    const KeyNode* node = &root;
    for (const auto& part : parts) {
        node = node->Child(part);
        if (!node) return nullptr;
    }
    return const_cast<KeyNode*>(node);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::uint32_t> ParseHexNumber(std::string_view s, std::size_t maxDigits) {
    if (s.empty() || s.size() > maxDigits) return std::nullopt;
    std::uint32_t n = 0;
    for (const char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        n = (n << 4) | static_cast<std::uint32_t>(d);
    }
    return n;
}

// ---- reading -------------------------------------------------------------------------

struct LogicalLine {
    int number;  // first physical line
    std::string text;
};

// Physical lines joined where a line ends with a backslash; comment lines stay alone.
std::vector<LogicalLine> JoinLines(std::string_view text) {
    std::vector<LogicalLine> lines;
    bool continuing = false;
    int number = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        ++number;
        pos = end == std::string_view::npos ? text.size() + 1 : end + 1;
        line = Trim(line);
        if (continuing) {
            lines.back().text += line;
        } else {
            lines.push_back({number, std::string(line)});
        }
        std::string& joined = lines.back().text;
        continuing = !joined.empty() && joined.front() != ';' && joined.back() == '\\';
        if (continuing) joined.pop_back();
    }
    return lines;
}

class Parser {
  public:
    explicit Parser(KeyNode& root) : root_(root) {}

    // Empty on success, else what is wrong with the line.
    std::string ParseLine(std::string_view line) {
        if (line.empty() || line.front() == ';') return {};
        if (line.front() == '[') return ParseKey(line);
        if (line.front() == '"' || line.front() == '@') return ParseValue(line);
        return "unexpected text";
    }

  private:
    std::string ParseKey(std::string_view line) {
        if (line.back() != ']' || line.size() < 3) return "a key line must end with ']'";
        std::string_view path = line.substr(1, line.size() - 2);
        const bool remove = path.front() == '-';
        if (remove) path.remove_prefix(1);
        if (!IsValidUtf8(path)) return "the key name is not UTF-8 text";
        const auto parts = SplitKeyPath(path);
        if (parts.empty()) return "the key name has an empty part";
        if (remove) {
            RemoveKey(parts);
            key_ = nullptr;
            return {};
        }
        KeyNode* node = &root_;
        for (const auto& part : parts) node = &node->ChildOrNew(part);
        key_ = node;
        return {};
    }

    void RemoveKey(const std::vector<std::string>& parts) {
        KeyNode* parent = &root_;
        for (std::size_t i = 0; i + 1 < parts.size() && parent; ++i)
            parent = parent->Child(parts[i]);
        if (!parent) return;
        std::erase_if(parent->children,
                      [&](const auto& child) { return EqualsNoCase(child->name, parts.back()); });
    }

    std::string ParseValue(std::string_view line) {
        if (!key_) return "a value outside a key";
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (auto problem = ParseQuoted(line, name); !problem.empty()) {
            return problem;
        }
        line = Trim(line);
        if (line.empty() || line.front() != '=') return "'=' expected after the value name";
        line = Trim(line.substr(1));
        if (line == "-") {
            std::erase_if(key_->values, [&](const auto& v) { return EqualsNoCase(v.first, name); });
            return {};
        }
        RegValue value;
        if (auto problem = ParseData(line, value); !problem.empty()) return problem;
        if (RegValue* existing = key_->Value(name)) {
            *existing = std::move(value);
        } else {
            key_->values.emplace_back(std::move(name), std::move(value));
        }
        return {};
    }

    // Reads a quoted text with the \\ and \" escapes from the front of `line`.
    static std::string ParseQuoted(std::string_view& line, std::string& out) {
        std::size_t i = 1;
        for (; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] != '\\') {
                out += line[i];
                continue;
            }
            if (++i == line.size() || (line[i] != '\\' && line[i] != '"')) {
                return "only \\\\ and \\\" may follow a backslash in a quoted text";
            }
            out += line[i];
        }
        if (i == line.size()) return "a quoted text is not closed";
        if (!IsValidUtf8(out)) return "a quoted text is not UTF-8";
        line.remove_prefix(i + 1);
        return {};
    }

    static std::string ParseData(std::string_view data, RegValue& value) {
        if (!data.empty() && data.front() == '"') {
            std::string text;
            if (auto problem = ParseQuoted(data, text); !problem.empty()) return problem;
            if (!Trim(data).empty()) return "unexpected text after the quoted text";
            value = RegValue::String(text);
            return {};
        }
        if (data.starts_with("dword:")) {
            const auto n = ParseHexNumber(data.substr(6), 8);
            if (!n) return "dword: needs 1 to 8 hexadecimal digits";
            value = RegValue::Dword(*n);
            return {};
        }
        std::uint32_t type = REG_BINARY;
        if (data.starts_with("hex(")) {
            const std::size_t close = data.find("):");
            const auto n = close == std::string_view::npos
                               ? std::nullopt
                               : ParseHexNumber(data.substr(4, close - 4), 8);
            if (!n) return "hex(N): needs a hexadecimal type number";
            type = *n;
            data.remove_prefix(close + 2);
        } else if (data.starts_with("hex:")) {
            data.remove_prefix(4);
        } else {
            return "unknown kind of value data";
        }
        value.type = type;
        return ParseHexBytes(data, value.data);
    }

    static std::string ParseHexBytes(std::string_view data, std::string& out) {
        data = Trim(data);
        if (data.empty()) return {};
        std::size_t start = 0;
        while (true) {
            const std::size_t comma = data.find(',', start);
            const std::string_view token = Trim(data.substr(
                start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
            const auto byte = ParseHexNumber(token, 2);
            if (!byte) return "hexadecimal bytes must be written as xx,xx,...";
            out += static_cast<char>(*byte);
            if (comma == std::string_view::npos) return {};
            start = comma + 1;
        }
    }

    KeyNode& root_;
    KeyNode* key_ = nullptr;
};

// Fills `root` from the file text; empty on success, else "line N: what".
std::string ParseStore(std::string_view text, KeyNode& root) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    Parser parser(root);
    bool headerSeen = false;
    for (const auto& line : JoinLines(text)) {
        if (line.text.empty()) continue;
        std::string problem;
        if (!headerSeen) {
            headerSeen = true;
            if (line.text != kHeader)
                problem = "the first line must be \"" + std::string(kHeader) + "\"";
        } else {
            problem = parser.ParseLine(line.text);
        }
        if (!problem.empty()) return "line " + std::to_string(line.number) + ": " + problem;
    }
    return {};
}

// ---- writing -------------------------------------------------------------------------

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// The text of a REG_SZ whose bytes the plain "..." form gives back exactly.
std::optional<std::string> PlainString(const std::string& data) {
    if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
    if (data[data.size() - 2] != '\0' || data[data.size() - 1] != '\0') return std::nullopt;
    const std::string body = data.substr(0, data.size() - 2);
    for (std::size_t i = 0; i < body.size(); i += 2) {
        if (body[i] == '\0' && body[i + 1] == '\0') return std::nullopt;
    }
    std::string text = Utf16LeBytesToUtf8(body);
    if (Utf8ToUtf16LeBytes(text) != body || HasControlCharacter(text)) return std::nullopt;
    return text;
}

void AppendHex(std::string& out, std::string_view prefix, const std::string& data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string line(prefix);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0x0F];
        if (i + 1 == data.size()) break;
        line += ',';
        if (line.size() + 3 > kHexLineWidth) {
            out += line + "\\\n";
            line = "  ";
        }
    }
    out += line + "\n";
}

void AppendValue(std::string& out, const std::string& name, const RegValue& value) {
    const std::string prefix = (name.empty() ? std::string("@") : Quote(name)) + "=";
    if (value.type == REG_SZ) {
        if (auto text = PlainString(value.data)) {
            out += prefix + Quote(*text) + "\n";
            return;
        }
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(value.data[i]);
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", n);
        out += prefix + "dword:" + digits + "\n";
        return;
    }
    if (value.type == REG_BINARY) {
        AppendHex(out, prefix + "hex:", value.data);
        return;
    }
    char type[16];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    AppendHex(out, prefix + type, value.data);
}

void AppendKey(std::string& out, const std::string& path, const KeyNode& node) {
    // A key without values is implied by its subkeys' lines.
    if (!node.values.empty() || node.children.empty()) {
        out += "[" + path + "]\n";
        for (const auto& [name, value] : node.values) AppendValue(out, name, value);
        out += "\n";
    }
    for (const auto& child : node.children) AppendKey(out, path + "\\" + child->name, *child);
}

std::string FormatStore(const KeyNode& root) {
    std::string out = std::string(kHeader) + "\n\n";
    for (const auto& key : root.children) AppendKey(out, key->name, *key);
    return out;
}

std::string ErrnoText(const std::string& what, const std::string& path) {
    return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Holds an exclusive flock on the lock file for its lifetime.
class FileLock {
  public:
    explicit FileLock(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace

RegFileStore::RegFileStore(std::string path) : path_(std::move(path)) {}
RegFileStore::~RegFileStore() = default;

std::unique_ptr<RegFileStore::Snapshot> RegFileStore::Load() const {
    auto snapshot = std::make_unique<Snapshot>();
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) snapshot->problem = ErrnoText("read", path_);
        return snapshot;
    }
    std::string text;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            snapshot->problem = ErrnoText("read", path_);
            break;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (snapshot->problem.empty()) {
        const std::string problem = ParseStore(text, snapshot->root);
        if (!problem.empty()) snapshot->problem = path_ + ", " + problem;
    }
    // A store that cannot be used reads as empty.
    if (!snapshot->problem.empty()) snapshot->root = KeyNode{};
    return snapshot;
}

bool RegFileStore::Modify(const std::function<bool(KeyNode& root, bool& changed)>& change) {
    std::error_code ignored;
    const std::filesystem::path target = TargetPath();
    if (target.has_parent_path())
        std::filesystem::create_directories(target.parent_path(), ignored);

    FileLock lock(target.string() + ".lock");
    if (!lock.Held()) {
        writeProblem_ = ErrnoText("lock", target.string() + ".lock");
        return false;
    }
    // Read inside the lock, so that no other writer's change is lost.
    const auto current = Load();
    if (!current->problem.empty()) return false;
    bool changed = false;
    if (!change(current->root, changed)) return false;
    if (!changed) return true;
    return WriteFile(target.string(), FormatStore(current->root));
}

std::string RegFileStore::TargetPath() const {
    // Replacing a symbolic link would cut it; the file it names is replaced instead.
    std::filesystem::path target(path_);
    std::error_code error;
    for (int depth = 0; depth < 40 && std::filesystem::is_symlink(target, error); ++depth) {
        const auto link = std::filesystem::read_symlink(target, error);
        if (error) break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target.string();
}

bool RegFileStore::WriteFile(const std::string& target, const std::string& text) {
    const std::filesystem::path file(target);
    std::string pattern = target + ".tmpXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        writeProblem_ = ErrnoText("create a temporary file for", target);
        return false;
    }
    // The new file keeps the old one's permissions and, where the process may, its owner.
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    if (replacing && (::fchown(fd, st.st_uid, st.st_gid) != 0)) {
        // Not permitted for an ordinary user; the file is then theirs, as it was.
    }
    const mode_t mode = replacing ? (st.st_mode & 07777) : 0644;
    const bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    if (!ok) writeProblem_ = ErrnoText("write", pattern);
    ::close(fd);
    if (!ok || ::rename(pattern.c_str(), target.c_str()) != 0) {
        if (ok) writeProblem_ = ErrnoText("replace", target);
        ::unlink(pattern.c_str());
        return false;
    }
    // The rename itself must reach the disk too.
    const std::string dir = file.has_parent_path() ? file.parent_path().string() : ".";
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    writeProblem_.clear();
    return true;
}

bool RegFileStore::KeyExists(std::string_view key) {
    std::lock_guard lock(mutex_);
    return FindKey(Load()->root, key) != nullptr;
}

bool RegFileStore::CreateKey(std::string_view key) {
    const auto parts = SplitKeyPath(key);
    if (parts.empty()) return false;
    std::lock_guard lock(mutex_);
    if (FindKey(Load()->root, key)) return true;
    return Modify([&](KeyNode& root, bool& changed) {
        KeyNode* node = &root;
        for (const auto& part : parts) {
            if (!node->Child(part)) changed = true;
            node = &node->ChildOrNew(part);
        }
        return true;
    });
}

bool RegFileStore::DeleteKey(std::string_view key) {
    const auto parts = SplitKeyPath(key);
    if (parts.empty()) return false;
    std::lock_guard lock(mutex_);
    return Modify([&](KeyNode& root, bool& changed) {
        KeyNode* parent = &root;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            parent = parent->Child(parts[i]);
            if (!parent) return true;
        }
        changed = std::erase_if(parent->children, [&](const auto& child) {
                      return EqualsNoCase(child->name, parts.back());
                  }) > 0;
        return true;
    });
}

std::optional<RegValue> RegFileStore::ReadValue(std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    const auto current = Load();
    KeyNode* node = FindKey(current->root, key);
    if (!node) return std::nullopt;
    if (RegValue* value = node->Value(name)) return *value;
    return std::nullopt;
}

bool RegFileStore::WriteValue(std::string_view key, std::string_view name, const RegValue& value) {
    if (HasControlCharacter(name) || !IsValidUtf8(name)) return false;
    std::lock_guard lock(mutex_);
    return Modify([&](KeyNode& root, bool& changed) {
        KeyNode* node = FindKey(root, key);
        if (!node) return false;
        if (RegValue* existing = node->Value(name)) {
            changed = !(*existing == value);
            *existing = value;
        } else {
            node->values.emplace_back(std::string(name), value);
            changed = true;
        }
        return true;
    });
}

bool RegFileStore::DeleteValue(std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    return Modify([&](KeyNode& root, bool& changed) {
        KeyNode* node = FindKey(root, key);
        if (node) {
            changed = std::erase_if(node->values,
                                    [&](const auto& v) { return EqualsNoCase(v.first, name); }) > 0;
        }
        return true;
    });
}

std::vector<std::string> RegFileStore::SubKeys(std::string_view key) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    const auto current = Load();
    if (const KeyNode* node = FindKey(current->root, key)) {
        for (const auto& child : node->children) names.push_back(child->name);
    }
    return names;
}

std::string RegFileStore::Problem() const {
    std::lock_guard lock(mutex_);
    const auto current = Load();
    return current->problem.empty() ? writeProblem_ : current->problem;
}

}  // namespace velk
