#pragma once
// Reading a password typed by the user: from the controlling terminal with echo switched
// off, or one line from standard input for scripts.
#include <optional>
#include <string>

namespace velk {

// Shows prompt on the terminal (/dev/tty) and reads one line without echo, restoring the
// terminal's mode afterwards; none when there is no terminal or reading fails.
std::optional<std::string> ReadPasswordFromTerminal(const std::string& prompt);

// The first line of standard input without its line end; none when nothing can be read.
std::optional<std::string> ReadPasswordFromStdin();

}  // namespace velk
