#include "gui/help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QUrl>
#include <utility>

#include "gui/application_title.h"
#include "install_paths.h"

namespace velk::gui {

HelpLanguage HelpLanguageForSystem() {
    return QLocale::system().language() == QLocale::German ? HelpLanguage::German
                                                           : HelpLanguage::English;
}

QString ManualPath(HelpLanguage) {
    // One manual serves both languages.
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
         {bin + "/manual/index.html", bin + "/" + VELK_DATA_DIR_FROM_BIN + "/manual/index.html"}) {
        if (QFileInfo::exists(candidate)) return QFileInfo(candidate).absoluteFilePath();
    }
    return {};
}

bool OpenHelp(HelpLanguage language, const QString& topic) {
    const QString path = ManualPath(language);
    if (path.isEmpty()) {
        QMessageBox::warning(nullptr, kApplicationTitle, "The user manual is not installed.");
        return false;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!topic.isEmpty()) url.setFragment(topic);
    return QDesktopServices::openUrl(url);
}

bool OpenHelpAddress(const std::string& helpAddress) {
    // The topic files of the tag property sheet's pages and the manual's sections for them.
    static const std::pair<const char*, const char*> kTopics[] = {
        {"velk506l.htm", "tag-connection"},   {"velk4be4.htm", "tag-scaling"},
        {"velk5x64.htm", "tag-scaling"},      {"velk2qy5.htm", "tag-alarm-analog"},
        {"velk4cq5.htm", "tag-alarm-binary"}, {"velk2bql.htm", "tag-alarm-user"},
    };
    const HelpLanguage language = helpAddress.find("ger_html") != std::string::npos
                                      ? HelpLanguage::German
                                      : HelpLanguage::English;
    QString topic = "tag-properties";
    for (const auto& [file, anchor] : kTopics) {
        if (helpAddress.find(file) != std::string::npos) topic = anchor;
    }
    return OpenHelp(language, topic);
}

}  // namespace velk::gui
