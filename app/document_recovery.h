#pragma once
// Where the unsaved edits of a configuration go when the program ends without anyone to ask:
// a recovery copy beside the file, named after it ("plant.vlk" gives "plant.vlk.recovered"),
// never the file itself; an untitled configuration's copy lives in a folder of the user's.
#include <string>
#include <string_view>

namespace velk {

inline constexpr std::string_view kRecoverySuffix = ".recovered";
inline constexpr std::string_view kUntitledRecoveryName = "Untitled.vlk.recovered";

// The recovery copy of the configuration at documentPath ("" for untitled: the copy in
// untitledDirectory, or "" when there is no such folder).
std::string RecoveryCopyPath(const std::string& documentPath, const std::string& untitledDirectory);

// Trace lines and the start's question. %1 the configuration ("Untitled" without a file),
// %2 the copy.
inline constexpr std::string_view kRecoveryWrittenLine =
    "Unsaved changes of %1 were written to the recovery copy %2";
inline constexpr std::string_view kRecoveryFailedLine =
    "Unsaved changes of %1 could not be written to the recovery copy %2: ";
inline constexpr std::string_view kRecoveryOfferQuestion =
    "The program ended with unsaved changes of %1; they were kept in %2.\n\n"
    "Open the recovered configuration? (No keeps the copy for the next start.)";
inline constexpr std::string_view kRecoveryOpenedLine = "Recovery copy %2 opened for %1";

// The text with %1 and %2 filled in.
std::string RecoveryText(std::string_view text, const std::string& documentPath,
                         const std::string& copyPath);

}  // namespace velk
