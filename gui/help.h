#pragma once
// The user manual: an HTML file installed beside the programs (manual/index.html, or the
// data folder's manual/), opened in the desktop's browser. "&Help Topics" picks the
// manual of the system language; there is only an English one, which the German entry
// opens too.
#include <QString>
#include <string>

namespace velk::gui {

enum class HelpLanguage { English, German };

// German when the system's language is German, else English.
HelpLanguage HelpLanguageForSystem();
// The manual's file; empty when it is not installed.
QString ManualPath(HelpLanguage language);
// Opens the manual at a topic anchor ("" for its start); false when there is none.
bool OpenHelp(HelpLanguage language, const QString& topic = QString());
// Opens the manual at the topic a dialog's help address names ("...::/eng_html\topic.htm
// >mainwin"): the tag dialogs' pages have sections of their own in the manual.
bool OpenHelpAddress(const std::string& helpAddress);

}  // namespace velk::gui
