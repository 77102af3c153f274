#include "gui/help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QUrl>

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
        QMessageBox::warning(nullptr, "Help", "The user manual is not installed.");
        return false;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!topic.isEmpty()) url.setFragment(topic);
    return QDesktopServices::openUrl(url);
}

}  // namespace velk::gui
