#include "sparkplug/host_state.h"

#include <string>

namespace velk::sparkplug {
namespace {

// A reader of the one flat JSON object a STATE payload is.
class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    void SkipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool Take(char c) {
        SkipSpace();
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool AtEnd() {
        SkipSpace();
        return at_ == text_.size();
    }
    // A string's raw text between its quotes; escapes stay as written.
    bool String(std::string_view& out) {
        if (!Take('"')) return false;
        const std::size_t start = at_;
        for (; at_ < text_.size(); ++at_) {
            const char c = text_[at_];
            if (c == '\\') {
                ++at_;
                continue;
            }
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c == '"') {
                out = text_.substr(start, at_ - start);
                ++at_;
                return true;
            }
        }
        return false;
    }
    bool Word(std::string_view word) {
        SkipSpace();
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    // A JSON number; unsigned tells whether it is a plain unsigned integer (in value).
    bool Number(bool& isUnsigned, std::uint64_t& value) {
        SkipSpace();
        const std::size_t start = at_;
        isUnsigned = true;
        value = 0;
        if (at_ < text_.size() && text_[at_] == '-') {
            isUnsigned = false;
            ++at_;
        }
        std::size_t digits = 0;
        for (; at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9'; ++at_, ++digits) {
            const std::uint64_t d = static_cast<std::uint64_t>(text_[at_] - '0');
            if (value > (UINT64_MAX - d) / 10) isUnsigned = false;
            value = value * 10 + d;
        }
        if (digits == 0) return false;
        if (at_ < text_.size() && (text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E')) {
            isUnsigned = false;
            ++at_;
            while (at_ < text_.size() &&
                   std::string_view("0123456789+-eE").find(text_[at_]) != std::string_view::npos)
                ++at_;
        }
        return at_ > start;
    }
    char Peek() {
        SkipSpace();
        return at_ < text_.size() ? text_[at_] : '\0';
    }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<HostState> ParseHostState(std::string_view json) {
    Reader in(json);
    if (!in.Take('{')) return std::nullopt;
    std::optional<bool> online;
    std::optional<std::uint64_t> timestamp;
    bool first = true;
    while (!in.Take('}')) {
        if (!first && !in.Take(',')) return std::nullopt;
        first = false;
        std::string_view key;
        if (!in.String(key) || !in.Take(':')) return std::nullopt;
        const char next = in.Peek();
        if (next == 't' || next == 'f') {
            const bool value = next == 't';
            if (!in.Word(value ? "true" : "false")) return std::nullopt;
            if (key == "online") online = value;
        } else if (next == 'n') {
            if (!in.Word("null")) return std::nullopt;
        } else if (next == '"') {
            std::string_view ignored;
            if (!in.String(ignored)) return std::nullopt;
        } else {
            bool isUnsigned = false;
            std::uint64_t value = 0;
            if (!in.Number(isUnsigned, value)) return std::nullopt;
            if (key == "timestamp") {
                if (!isUnsigned) return std::nullopt;
                timestamp = value;
            }
        }
        if (key == "online" && !online) return std::nullopt;  // not a boolean
    }
    if (!in.AtEnd() || !online || !timestamp) return std::nullopt;
    return HostState{*online, *timestamp};
}

}  // namespace velk::sparkplug
