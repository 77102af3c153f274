#pragma once
// The splash window: a borderless popup with the product's picture, centred over the
// screen, that closes itself after 3000 ms.
#include <QPixmap>

class QWidget;

namespace velk::gui {

inline constexpr int kSplashMs = 3000;

QPixmap SplashPicture();
// Shows the splash; it deletes itself when it closes.
QWidget* ShowSplash();

}  // namespace velk::gui
