#pragma once
// The ".vlk" configuration file of the document: load and save through a file access
// interface, with the user's messages for every failure.
#include <string>

#include "model/document_storage.h"
#include "platform/document_file_access.h"

namespace velk {

class IClock;

inline constexpr const char* kMsgUnexpectedFormat = "Unexpected file format.";
inline constexpr const char* kMsgOpenFailed = "Failed to open document.";
inline constexpr const char* kMsgSaveFailed = "Failed to save document.";

class ConfigFileStorage final : public IDocumentStorage {
  public:
    // New tags are stamped with the clock's time when one is given.
    explicit ConfigFileStorage(IDocumentFileAccess& files, const IClock* clock = nullptr)
        : files_(files), clock_(clock) {}

    // Reads the file into the document. On failure the configuration is reset as by New
    // (16 default ports, no devices) and message holds the user's text.
    bool Load(CDoc& document, const std::string& path, std::string& message) override;
    // Writes a temporary file next to the target and renames it over the target, so that a
    // failed save leaves the previous file as it was. Clears the devices' import marks.
    bool Save(const CDoc& document, const std::string& path, std::string& message) override;

    // The user's text for a file error on path ("%1 was not found." and the like).
    static std::string FileErrorMessage(FileError error, const std::string& path);

  private:
    bool TryLoad(CDoc& document, const std::string& path, std::string& message);
    bool TrySave(const CDoc& document, const std::string& path, std::string& message);
    std::string TemporaryPathFor(const std::string& path, int attempt) const;

    IDocumentFileAccess& files_;
    const IClock* clock_;
};

}  // namespace velk
