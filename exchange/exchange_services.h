#pragma once
// What the CSV and RES exchange works with: the user interface that shows its messages,
// file access, the AE event space that names user conditions, and the clock that stamps
// new tags. Also the import modes and what an import reports.
#include <cstddef>

namespace velk {

class AeEventSpace;
class IClock;
class IDocumentFileAccess;
class IDocumentUi;
class IFileReader;

// Message texts of the exchange.
inline constexpr const char* kMsgBadCsvHeader = "Bad CSV Header version.";
inline constexpr const char* kMsgNoDeviceOrGroup = "IMPORT FAILED, No Device or Group Available.";
inline constexpr const char* kMsgBadLines = "Bad lines encountered.";
inline constexpr const char* kMsgUnableToOpen = "Unable to open file.";
inline constexpr const char* kMsgReadException = "File exception while reading.";
// Shown after an import that stopped part-way, followed by the number of lines imported.
inline constexpr const char* kMsgImportedBeforeStop = "Lines imported before the import stopped: ";
inline constexpr const char* kMsgUnableToCreate = "Unable to create file.";
inline constexpr const char* kMsgWriteException = "File exception while writing.";
inline constexpr const char* kMsgNotResDocument = "Text file is not RES document!";
inline constexpr const char* kMsgBadResourceName = "Bad or missing resource name!";
inline constexpr const char* kMsgBadResColumns = "Bad column number in RES document!";
inline constexpr const char* kMsgTagNameDots = "Tag Name does not Accept Dots!";

// Null members are optional: without a user interface messages are dropped, without a
// reader nothing can be imported, without a writer nothing exported, without an event
// space the process-wide one is used, without a clock new tags are stamped 0.
struct ExchangeServices {
    IDocumentUi* ui = nullptr;
    IFileReader* reader = nullptr;
    IDocumentFileAccess* writer = nullptr;
    const AeEventSpace* eventSpace = nullptr;  // the document's when null
    const IClock* clock = nullptr;
};

// Replacing ("Import") empties the devices a file names first; updating ("Reimport")
// only overwrites and adds.
enum class ImportMode { Replacing, Updating };

struct ImportReport {
    bool completed = false;         // the whole file was read without a stop
    std::size_t importedLines = 0;  // CSV lines or RES tags applied
    std::size_t badLines = 0;
};

}  // namespace velk
