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

// The colours of each look: its window colour and its accent, on a light or dark base.
struct LookColours {
    int id;
    bool dark;
    QRgb window;
    QRgb accent;
};
constexpr LookColours kLookColours[] = {
    {210, false, 0xD4D0C8, 0x0A246A}, {211, false, 0xECE9D8, 0x316AC5},
    {212, false, 0xECE9D8, 0x316AC5}, {213, false, 0xC4DAFA, 0xFBC878},
    {214, false, 0xEEEDE5, 0x335EA8}, {215, false, 0xCFDDEE, 0x3C78C8},
    {216, true, 0x353535, 0xFFA028},  {217, false, 0xDDDFE4, 0x6E788C},
    {218, false, 0xC8E6EB, 0x2896AA}, {219, false, 0xF0F0F0, 0x3399FF},
    {220, true, 0x2D303E, 0x567DC8}};

QPalette PaletteFor(int id) {
    for (const LookColours& look : kLookColours) {
        if (look.id != id) continue;
        return look.dark ? DarkPalette(QColor(look.window), QColor(look.accent))
                         : LightPalette(QColor(look.window), QColor(look.accent));
    }
    return PaletteFor(kDefaultLook);
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
