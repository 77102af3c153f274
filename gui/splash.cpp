#include "gui/splash.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QSplashScreen>
#include <QTimer>

#include "gui/icons.h"
#include "version.h"

namespace velk::gui {

QPixmap SplashPicture() {
    QPixmap picture(420, 220);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 220);
    sky.setColorAt(0, QColor(22, 52, 104));
    sky.setColorAt(1, QColor(60, 120, 190));
    p.fillRect(picture.rect(), sky);
    p.drawPixmap(24, 28, ApplicationIcon().pixmap(64, 64).scaled(64, 64));
    p.setPen(Qt::white);
    QFont title = p.font();
    title.setPixelSize(26);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(104, 30, 300, 34), Qt::AlignLeft | Qt::AlignVCenter, "Velk Modbus");
    p.drawText(QRect(104, 64, 300, 34), Qt::AlignLeft | Qt::AlignVCenter, "OPC Server");
    QFont small = p.font();
    small.setPixelSize(12);
    small.setBold(false);
    p.setFont(small);
    p.drawText(QRect(24, 150, 380, 20), Qt::AlignLeft, "OPC Data Access and Alarms & Events");
    p.drawText(QRect(24, 172, 380, 20), Qt::AlignLeft, QString("Version ") + VELK_VERSION_TEXT);
    p.setPen(QPen(QColor(255, 255, 255, 120), 1));
    p.drawRect(picture.rect().adjusted(0, 0, -1, -1));
    return picture;
}

QWidget* ShowSplash() {
    auto* splash = new QSplashScreen(SplashPicture());
    splash->setObjectName("splash");
    splash->setAttribute(Qt::WA_DeleteOnClose);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        splash->move(area.center() - splash->rect().center());
    }
    splash->show();
    QTimer::singleShot(kSplashMs, splash, &QWidget::close);
    return splash;
}

}  // namespace velk::gui
