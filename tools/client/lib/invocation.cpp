#include "tools/client/lib/invocation.h"

#include <charconv>

namespace velk::client {
namespace {

// Splits "--name=value"; returns whether word is the option name (with or without value).
bool MatchOption(const std::string& word, std::string_view name,
                 std::optional<std::string>& inlineValue) {
    if (word == name) return true;
    if (word.size() > name.size() && word.compare(0, name.size(), name) == 0 &&
        word[name.size()] == '=') {
        inlineValue = word.substr(name.size() + 1);
        return true;
    }
    return false;
}

}  // namespace

std::string BusChoice::Description() const {
    switch (kind) {
        case Kind::System:
            return "the system bus";
        case Kind::Address:
            return "the bus at " + address;
        case Kind::Session:
            break;
    }
    return "the session bus";
}

Invocation ParseInvocation(const std::vector<std::string>& words) {
    Invocation invocation;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!optionsEnded) {
            std::optional<std::string> value;
            if (word == "--") {
                optionsEnded = true;
                continue;
            }
            if (word == "--help" || word == "-h") {
                invocation.help = true;
                continue;
            }
            if (word == "--system") {
                invocation.bus = {BusChoice::Kind::System, {}};
                continue;
            }
            if (word == "--session") {
                invocation.bus = {BusChoice::Kind::Session, {}};
                continue;
            }
            if (MatchOption(word, "--address", value)) {
                if (!value) {
                    if (i + 1 >= words.size()) {
                        if (invocation.problem.empty())
                            invocation.problem = "--address needs a bus address";
                        continue;
                    }
                    value = words[++i];
                }
                if (value->empty() && invocation.problem.empty()) {
                    invocation.problem = "--address needs a bus address";
                }
                invocation.bus = {BusChoice::Kind::Address, *value};
                continue;
            }
        }
        if (invocation.command.empty()) {
            invocation.command = word;
        } else {
            invocation.arguments.push_back(word);
        }
    }
    return invocation;
}

CommandArguments::CommandArguments(std::vector<std::string> words) : words_(std::move(words)) {}

void CommandArguments::Fail(std::string problem) {
    if (problem_.empty()) problem_ = std::move(problem);
}

bool CommandArguments::TakeFlag(std::string_view name) {
    bool found = false;
    for (auto it = words_.begin(); it != words_.end();) {
        if (*it == name) {
            found = true;
            it = words_.erase(it);
        } else {
            ++it;
        }
    }
    return found;
}

std::vector<std::string> CommandArguments::TakeRepeatedOption(std::string_view name) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < words_.size();) {
        std::optional<std::string> value;
        if (!MatchOption(words_[i], name, value)) {
            ++i;
            continue;
        }
        std::size_t taken = 1;
        if (!value) {
            if (i + 1 >= words_.size()) {
                Fail(std::string(name) + " needs a value");
            } else {
                value = words_[i + 1];
                taken = 2;
            }
        }
        if (value) values.push_back(*value);
        words_.erase(words_.begin() + static_cast<std::ptrdiff_t>(i),
                     words_.begin() + static_cast<std::ptrdiff_t>(i + taken));
    }
    return values;
}

std::optional<std::string> CommandArguments::TakeOption(std::string_view name) {
    std::vector<std::string> values = TakeRepeatedOption(name);
    if (values.empty()) return std::nullopt;
    return values.back();
}

std::optional<std::uint32_t> CommandArguments::TakeNumber(std::string_view name, std::uint32_t low,
                                                          std::uint32_t high) {
    const std::optional<std::string> text = TakeOption(name);
    if (!text) return std::nullopt;
    std::uint32_t number = 0;
    const auto result = std::from_chars(text->data(), text->data() + text->size(), number);
    if (text->empty() || result.ec != std::errc{} || result.ptr != text->data() + text->size() ||
        number < low || number > high) {
        Fail(std::string(name) + " needs a whole number from " + std::to_string(low) + " to " +
             std::to_string(high) + ", not \"" + *text + "\"");
        return std::nullopt;
    }
    return number;
}

bool CommandArguments::Finish(std::size_t least, std::size_t most) {
    for (const std::string& word : words_) {
        // A lone "-" and negative numbers are positional (write X -5).
        if (word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9') &&
            word[1] != '.') {
            Fail("unknown option " + word);
            break;
        }
    }
    if (problem_.empty() && words_.size() < least) Fail("too few arguments");
    if (problem_.empty() && words_.size() > most) Fail("too many arguments");
    return problem_.empty();
}

}  // namespace velk::client
