#include "app/document_recovery.h"

namespace velk {

std::string RecoveryCopyPath(const std::string& documentPath,
                             const std::string& untitledDirectory) {
    if (!documentPath.empty()) return documentPath + std::string(kRecoverySuffix);
    if (untitledDirectory.empty()) return "";
    std::string path = untitledDirectory;
    if (path.back() != '/') path += '/';
    return path + std::string(kUntitledRecoveryName);
}

std::string RecoveryText(std::string_view text, const std::string& documentPath,
                         const std::string& copyPath) {
    std::string out(text);
    const std::string document = documentPath.empty() ? "Untitled" : documentPath;
    if (const std::size_t at = out.find("%1"); at != std::string::npos) {
        out.replace(at, 2, document);
    }
    if (const std::size_t at = out.find("%2"); at != std::string::npos) {
        out.replace(at, 2, copyPath);
    }
    return out;
}

}  // namespace velk
