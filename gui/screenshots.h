#pragma once
// "velkopc -Screenshots DIR [configuration.vlk]": draws, through Qt's offscreen platform and
// without a bus, the main window on a configuration (the demo plant by default) with the
// monitor showing simulated values, and every dialog of the window, each into its own PNG
// file named after the window (main-window.png, server-options.png, ...).
#include <string>

namespace velk::gui {

class ITagSheetDialogs;

// Returns the process exit code: 0 when every picture was written.
int RenderScreenshots(const std::string& directory, const std::string& configuration,
                      ITagSheetDialogs& tagDialogs);
// The demo plant beside the program (installed or in the build tree); "" when none.
std::string DemoPlantPath();

}  // namespace velk::gui
