#pragma once
// The file dialogs of the exchange commands; the GUI implements them, tests script them.
#include <cstdint>
#include <string>

namespace velk {

// One open or save dialog. Filters are "Label|pattern|Label|pattern||"; filter indexes
// count from 1.
struct FileDialogRequest {
    std::string title;
    std::string filter;
    std::string defaultExtension;
    std::string initialPath;
    std::int32_t filterIndex = 1;
};

class IExchangeDialogs {
  public:
    virtual ~IExchangeDialogs() = default;
    // An open dialog for an existing file. False on Cancel; else path holds the choice.
    virtual bool OpenFile(const FileDialogRequest& request, std::string& path) = 0;
    // A save dialog. False on Cancel; else path and filterIndex hold the choice.
    virtual bool SaveFile(const FileDialogRequest& request, std::string& path,
                          std::int32_t& filterIndex) = 0;
};

}  // namespace velk
