#pragma once
// What every velkopc-config subcommand works with: one document, its configuration file
// storage on the real file system, and the user's messages on stderr.
#include <iostream>
#include <string>

#include "model/c_doc.h"
#include "model/config_file_storage.h"
#include "platform/linux/posix_document_file_access.h"
#include "platform/linux/system_clock.h"

namespace velk {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct ToolContext {
    SystemClock clock;
    PosixDocumentFileAccess files;
    ConfigFileStorage storage{files, &clock};
    CDoc document{CDocServices{}, ModelSettings{}};

    // Loads path into the document; prints the message and returns false on failure.
    bool Load(const std::string& path) {
        std::string message;
        if (storage.Load(document, path, message)) return true;
        std::cerr << message << '\n';
        return false;
    }
    // Saves the document as path; prints the message and returns false on failure.
    bool Save(const std::string& path) {
        std::string message;
        if (storage.Save(document, path, message)) return true;
        std::cerr << message << '\n';
        return false;
    }
};

}  // namespace velk
