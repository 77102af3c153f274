#include "model/config_file_storage.h"

#include <exception>

#include "model/c_doc.h"
#include "model/config_file_reader.h"
#include "model/config_file_writer.h"
#include "platform/clock.h"

namespace velk {
namespace {

// Temporary names tried before a save gives up.
constexpr int kTemporaryAttempts = 100;
// What every document file begins with: the archive's record of the document class (the
// new-class tag, the schema, the name's length and "CDoc"). A temporary that begins so, as
// far as it goes, was left by a save of this program.
constexpr std::size_t kDocumentHeadBytes = 10;

std::string WithPath(const char* pattern, const std::string& path) {
    std::string text(pattern);
    text.replace(text.find("%1"), 2, path);
    return text;
}

void ResetAsNew(CDoc& document) {
    document.ClearContents();
    document.rootGroup.name = "Group";
    document.rootGroup.description.clear();
    document.rootGroup.nextTagNumber = 1;
    document.nextDeviceNumber = 1;
    document.AddDefaultPorts();
}

}  // namespace

std::string ConfigFileStorage::FileErrorMessage(FileError error, const std::string& path) {
    switch (error) {
        case FileError::kNone:
            return {};
        case FileError::kNotFound:
            return WithPath("%1 was not found.", path);
        case FileError::kBadPath:
            return WithPath("%1 contains an incorrect path.", path);
        case FileError::kTooManyOpenFiles:
            return WithPath("Could not open %1 because there are too many open files.", path);
        case FileError::kAccessDenied:
            return WithPath("Access to %1 was denied.", path);
        case FileError::kSharingViolation:
            return WithPath("Encountered a sharing violation while accessing %1.", path);
        case FileError::kLockingViolation:
            return WithPath("Encountered a locking violation while accessing %1.", path);
        case FileError::kDiskFull:
            return WithPath("Disk full while accessing %1.", path);
        case FileError::kHardwareIo:
            return WithPath("Encountered a hardware I/O error while accessing %1.", path);
        case FileError::kExists:
        case FileError::kOther:
            break;
    }
    return WithPath("An unknown error occurred while accessing %1.", path);
}

bool ConfigFileStorage::Load(CDoc& document, const std::string& path, std::string& message) {
    // Running out of memory or a failing file layer ends the load, never the program.
    try {
        return TryLoad(document, path, message);
    } catch (const std::exception&) {
        message = kMsgOpenFailed;
    }
    ResetAsNew(document);
    return false;
}

bool ConfigFileStorage::Save(const CDoc& document, const std::string& path, std::string& message) {
    try {
        return TrySave(document, path, message);
    } catch (const std::exception&) {
        message = kMsgSaveFailed;
    }
    return false;
}

bool ConfigFileStorage::TryLoad(CDoc& document, const std::string& path, std::string& message) {
    std::string bytes;
    const FileError error = files_.ReadAll(path, bytes);
    if (error != FileError::kNone) {
        message = FileErrorMessage(error, path);
        ResetAsNew(document);
        return false;
    }
    const FileTime now = clock_ != nullptr ? clock_->NowUtc() : 0;
    if (!ConfigFileReader::ReadDocumentBytes(bytes, document, now)) {
        message = kMsgUnexpectedFormat;
        ResetAsNew(document);
        return false;
    }
    message.clear();
    return true;
}

bool ConfigFileStorage::TrySave(const CDoc& document, const std::string& path,
                                std::string& message) {
    const std::string bytes = ConfigFileWriter::DocumentBytes(document);
    const std::string target = files_.ResolveTarget(path);
    // Temporaries of saves that were killed midway would otherwise pile up beside the file.
    const std::string_view head = std::string_view(bytes).substr(0, kDocumentHeadBytes);
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt)
        files_.RemoveAbandoned(TemporaryPathFor(target, attempt), head);
    FileError error = FileError::kExists;
    std::string temporary;
    for (int attempt = 0; attempt < kTemporaryAttempts && error == FileError::kExists; ++attempt) {
        temporary = TemporaryPathFor(target, attempt);
        error = files_.WriteNew(temporary, bytes);
    }
    if (error == FileError::kNone) error = files_.Replace(temporary, target);
    if (error != FileError::kNone) {
        // Nothing of a failed save stays behind; the previous file is untouched.
        if (error != FileError::kExists) files_.Remove(temporary);
        message = FileErrorMessage(error, path);
        return false;
    }
    message.clear();
    return true;
}

std::string ConfigFileStorage::TemporaryPathFor(const std::string& path, int attempt) const {
    // Same directory as the target, so that the rename never crosses file systems.
    return path + ".~save" + std::to_string(attempt);
}

}  // namespace velk
