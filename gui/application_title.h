#pragma once
// The application's title: the main window's title ends with it after the document's, and
// every message box carries it.
namespace velk::gui {

inline constexpr const char* kApplicationTitle = "VELK A&E OPC Server";

}  // namespace velk::gui
