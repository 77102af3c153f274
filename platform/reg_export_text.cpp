#include "platform/reg_export_text.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "platform/text.h"

namespace velk {

// ---- the tree ------------------------------------------------------------------------

namespace {

// Takes the entry of that name out of an indexed list; false when there is none.
template <class Entries>
bool EraseIndexed(Entries& entries, std::unordered_map<std::string, std::size_t>& index,
                  std::string_view name) {
    const auto found = index.find(AsciiLowerCopy(name));
    if (found == index.end()) return false;
    const std::size_t at = found->second;
    index.erase(found);
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(at));
    for (auto& [folded, position] : index) {
        if (position > at) --position;
    }
    return true;
}

}  // namespace

RegKey* RegKey::Child(std::string_view name) const {
    const auto found = childIndex_.find(AsciiLowerCopy(name));
    return found == childIndex_.end() ? nullptr : children_[found->second].get();
}

RegKey& RegKey::ChildOrNew(std::string_view name) {
    const auto [found, added] = childIndex_.emplace(AsciiLowerCopy(name), children_.size());
    if (added) children_.push_back(std::make_unique<RegKey>(std::string(name)));
    return *children_[found->second];
}

bool RegKey::RemoveChild(std::string_view name) {
    return EraseIndexed(children_, childIndex_, name);
}

const RegValue* RegKey::Value(std::string_view name) const {
    const auto found = valueIndex_.find(AsciiLowerCopy(name));
    return found == valueIndex_.end() ? nullptr : &values_[found->second].second;
}

bool RegKey::SetValue(std::string_view name, RegValue value) {
    const auto [found, added] = valueIndex_.emplace(AsciiLowerCopy(name), values_.size());
    if (added) {
        values_.emplace_back(std::string(name), std::move(value));
        return true;
    }
    RegValue& existing = values_[found->second].second;
    if (existing == value) return false;
    existing = std::move(value);
    return true;
}

bool RegKey::RemoveValue(std::string_view name) { return EraseIndexed(values_, valueIndex_, name); }

namespace {

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
std::vector<std::string> SplitPath(std::string_view path) {
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
    explicit Parser(RegKey& root) : root_(root) {}

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
        const auto parts = SplitPath(path);
        if (parts.empty()) return "the key name has an empty part";
        if (remove) {
            RemoveKey(parts);
            key_ = nullptr;
            return {};
        }
        RegKey* node = &root_;
        for (const auto& part : parts) node = &node->ChildOrNew(part);
        key_ = node;
        return {};
    }

    void RemoveKey(const std::vector<std::string>& parts) {
        RegKey* parent = &root_;
        for (std::size_t i = 0; i + 1 < parts.size() && parent; ++i)
            parent = parent->Child(parts[i]);
        if (parent) parent->RemoveChild(parts.back());
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
            key_->RemoveValue(name);
            return {};
        }
        RegValue value;
        if (auto problem = ParseData(line, value); !problem.empty()) return problem;
        if (value.data.size() > kMaxRegValueBytes) return "the value is larger than 1 MB";
        key_->SetValue(name, std::move(value));
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

    RegKey& root_;
    RegKey* key_ = nullptr;
};

// Fills `root` from the file text; empty on success, else "line N: what".
std::string ParseAll(std::string_view text, RegKey& root) {
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

void AppendKey(std::string& out, const std::string& path, const RegKey& node) {
    // A key without values is implied by its subkeys' lines.
    if (!node.Values().empty() || node.Children().empty()) {
        out += "[" + path + "]\n";
        for (const auto& [name, value] : node.Values()) AppendValue(out, name, value);
        out += "\n";
    }
    for (const auto& child : node.Children()) AppendKey(out, path + "\\" + child->Name(), *child);
}

std::string FormatAll(const RegKey& root) {
    std::string out = std::string(kHeader) + "\n\n";
    for (const auto& key : root.Children()) AppendKey(out, key->Name(), *key);
    return out;
}

}  // namespace

std::vector<std::string> SplitRegKeyPath(std::string_view path) { return SplitPath(path); }

RegKey* FindRegKey(const RegKey& root, std::string_view path) {
    const auto parts = SplitPath(path);
    if (parts.empty()) return nullptr;
    const RegKey* node = &root;
    for (const auto& part : parts) {
        node = node->Child(part);
        if (!node) return nullptr;
    }
    return const_cast<RegKey*>(node);
}

bool IsStorableValueName(std::string_view name) {
    return !HasControlCharacter(name) && IsValidUtf8(name);
}

std::string ParseRegExport(std::string_view text, RegKey& root) { return ParseAll(text, root); }

std::string FormatRegExport(const RegKey& root) { return FormatAll(root); }

}  // namespace velk
