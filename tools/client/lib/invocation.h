#pragma once
// The command line of velkopc-client: the global options (which bus, help) and the command
// with its own arguments, and a small reader for a command's options.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk::client {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // the server refused or an item failed; a bad value
inline constexpr int kExitUsage = 2;     // a wrong command line
inline constexpr int kExitNoServer = 3;  // no bus to connect to, or the server is not running

struct BusChoice {
    enum class Kind { Session, System, Address };
    Kind kind = Kind::Session;
    std::string address;  // Kind::Address: a bus address such as "unix:path=/tmp/bus"

    // "the session bus", "the system bus", "the bus at ADDR".
    std::string Description() const;
};

struct Invocation {
    BusChoice bus;
    bool help = false;
    std::string command;
    std::vector<std::string> arguments;  // the command's own, in order
    std::string problem;                 // a wrong global option; empty when fine
};

// Global options may stand anywhere before "--": --system, --address ADDR (or
// --address=ADDR), --session, --help (-h). The first other word is the command.
Invocation ParseInvocation(const std::vector<std::string>& words);

// A command's arguments: options are taken out by name, what remains are the positional
// arguments. The first problem met is kept.
class CommandArguments {
  public:
    explicit CommandArguments(std::vector<std::string> words);

    // True when the flag was given (every occurrence is taken out).
    bool TakeFlag(std::string_view name);
    // The value of "--name VALUE" or "--name=VALUE" (the last one when repeated).
    std::optional<std::string> TakeOption(std::string_view name);
    // Every value of a repeatable option, in order.
    std::vector<std::string> TakeRepeatedOption(std::string_view name);
    // A whole number option within [low, high]; a problem when it is not one.
    std::optional<std::uint32_t> TakeNumber(std::string_view name, std::uint32_t low,
                                            std::uint32_t high);
    // Checks that no unknown option remains and that the positional count is within
    // [least, most]; false with a problem otherwise.
    bool Finish(std::size_t least, std::size_t most);

    const std::vector<std::string>& Positional() const { return words_; }
    const std::string& Problem() const { return problem_; }

  private:
    void Fail(std::string problem);

    std::vector<std::string> words_;
    std::string problem_;
};

}  // namespace velk::client
