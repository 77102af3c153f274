#include "gui/application_look.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>
#include <algorithm>

#include "core/settings_access.h"

namespace velk::gui {
namespace {

int currentLook = kDefaultLook;

bool IsKnown(int id) {
    const auto& looks = Looks();
    return std::any_of(looks.begin(), looks.end(), [id](const LookInfo& l) { return l.id == id; });
}

// A palette from the window colour, the text colour and an accent for selections.
QPalette MakePalette(const QColor& window, const QColor& base, const QColor& text,
                     const QColor& accent, const QColor& disabled) {
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Button, window);
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText}) {
        p.setColor(role, text);
        p.setColor(QPalette::Disabled, role, disabled);
    }
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

QPalette LightPalette(const QColor& window, const QColor& accent) {
    return MakePalette(window, Qt::white, Qt::black, accent, QColor(150, 150, 150));
}

QPalette DarkPalette(const QColor& window, const QColor& accent) {
    return MakePalette(window, window.darker(140), QColor(230, 230, 230), accent,
                       QColor(120, 120, 120));
}

QPalette PaletteFor(int id) {
    switch (id) {
        case 210:
            return LightPalette(QColor(212, 208, 200), QColor(10, 36, 106));
        case 211:
            return LightPalette(QColor(236, 233, 216), QColor(49, 106, 197));
        case 212:
            return LightPalette(QColor(236, 233, 216), QColor(49, 106, 197));
        case 213:
            return LightPalette(QColor(196, 218, 250), QColor(251, 200, 120));
        case 214:
            return LightPalette(QColor(238, 237, 229), QColor(51, 94, 168));
        case 215:
            return LightPalette(QColor(207, 221, 238), QColor(60, 120, 200));
        case 216:
            return DarkPalette(QColor(53, 53, 53), QColor(255, 160, 40));
        case 217:
            return LightPalette(QColor(221, 223, 228), QColor(110, 120, 140));
        case 218:
            return LightPalette(QColor(200, 230, 235), QColor(40, 150, 170));
        case 220:
            return DarkPalette(QColor(45, 48, 62), QColor(86, 125, 200));
        default:
            return LightPalette(QColor(240, 240, 240), QColor(51, 153, 255));
    }
}

}  // namespace

const std::vector<LookInfo>& Looks() {
    static const std::vector<LookInfo> looks = {
        {210, "Windows 2000"},        {211, "Office XP"},
        {212, "Windows XP"},          {213, "Office 2003"},
        {214, "Visual Studio 2005"},  {215, "Office 2007 (Blue)"},
        {216, "Office 2007 (Black)"}, {217, "Office 2007 (Silver)"},
        {218, "Office 2007 (Aqua)"},  {219, "Windows 7"},
        {220, "Visual Studio 2008"}};
    return looks;
}

int StoredLook(ISettingsStore& userStore) {
    SettingsAccess user(userStore, std::string(kUserApplicationKey));
    const auto id =
        static_cast<int>(user.ReadSettingNumber(kLookSubkey, kLookValueName, true, kDefaultLook));
    return IsKnown(id) ? id : kDefaultLook;
}

void StoreLook(ISettingsStore& userStore, int lookId) {
    SettingsAccess user(userStore, std::string(kUserApplicationKey));
    user.WriteSettingNumber(kLookSubkey, kLookValueName, static_cast<std::uint32_t>(lookId));
}

void ApplyApplicationLook(int lookId) {
    if (!IsKnown(lookId)) lookId = kDefaultLook;
    currentLook = lookId;
    // The Windows 2000 look keeps Qt's classic "Windows" style; all others draw in Fusion.
    const QString style = lookId == 210 ? "Windows" : "Fusion";
    if (QStyle* s = QStyleFactory::create(style)) QApplication::setStyle(s);
    QApplication::setPalette(PaletteFor(lookId));
}

int CurrentLook() { return currentLook; }

}  // namespace velk::gui
