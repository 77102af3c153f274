#include "gui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

#include "app/main_commands.h"

namespace velk::gui {
namespace {

QIcon Draw(const std::function<void(QPainter&)>& paint, int size = 16) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    return QIcon(pixmap);
}

// A controller: a grey case with a status lamp.
void PaintDevice(QPainter& p, bool selected) {
    p.setPen(QColor(40, 40, 40));
    p.setBrush(selected ? QColor(90, 140, 220) : QColor(170, 175, 185));
    p.drawRoundedRect(QRectF(1.5, 3.5, 13, 10), 1.5, 1.5);
    p.setBrush(QColor(40, 200, 60));
    p.drawEllipse(QRectF(3, 6, 3, 3));
    p.setPen(QColor(30, 30, 30));
    p.drawLine(QPointF(8, 6.5), QPointF(13, 6.5));
    p.drawLine(QPointF(8, 9.5), QPointF(13, 9.5));
}

void PaintFolder(QPainter& p, bool selected) {
    p.setPen(QColor(120, 90, 20));
    p.setBrush(selected ? QColor(255, 220, 110) : QColor(235, 190, 70));
    QPainterPath path;
    path.moveTo(1.5, 4.5);
    path.lineTo(6, 4.5);
    path.lineTo(7.5, 6);
    path.lineTo(14.5, 6);
    path.lineTo(14.5, 13.5);
    path.lineTo(1.5, 13.5);
    path.closeSubpath();
    p.drawPath(path);
}

void PaintLetter(QPainter& p, const QString& text, const QColor& colour) {
    QFont font = p.font();
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, text);
}

void PaintPage(QPainter& p) {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 1.5, 9, 13));
}

}  // namespace

QIcon ItemIconFor(ItemIcon kind) {
    switch (kind) {
        case ItemIcon::Device:
        case ItemIcon::DeviceSelected:
            return Draw([kind](QPainter& p) { PaintDevice(p, kind == ItemIcon::DeviceSelected); });
        case ItemIcon::Group:
        case ItemIcon::GroupSelected:
            return Draw([kind](QPainter& p) { PaintFolder(p, kind == ItemIcon::GroupSelected); });
        case ItemIcon::BoolTag:
            return Draw([](QPainter& p) {
                p.setPen(QColor(20, 90, 20));
                p.setBrush(QColor(80, 200, 80));
                p.drawEllipse(QRectF(3, 3, 10, 10));
            });
        case ItemIcon::Tag:
            return Draw([](QPainter& p) {
                p.setPen(QColor(20, 40, 120));
                p.setBrush(QColor(120, 160, 235));
                p.drawRect(QRectF(2.5, 3.5, 11, 9));
                PaintLetter(p, "#", Qt::white);
            });
    }
    return {};
}

QIcon CommandIcon(int id) {
    switch (id) {
        case ID_FILE_NEW:
            return Draw([](QPainter& p) { PaintPage(p); });
        case ID_FILE_OPEN:
            return Draw([](QPainter& p) { PaintFolder(p, false); });
        case ID_FILE_SAVE:
            return Draw([](QPainter& p) {
                p.setPen(QColor(20, 20, 60));
                p.setBrush(QColor(60, 80, 170));
                p.drawRect(QRectF(1.5, 1.5, 13, 13));
                p.setBrush(Qt::white);
                p.drawRect(QRectF(4.5, 1.5, 7, 5));
            });
        case ID_APP_EXIT:
            return Draw([](QPainter& p) {
                p.setPen(QPen(QColor(180, 30, 30), 2));
                p.drawArc(QRectF(3, 3, 10, 10), 120 * 16, 300 * 16);
                p.drawLine(QPointF(8, 2), QPointF(8, 8));
            });
        case ID_EDIT_PORTS:
            return Draw([](QPainter& p) {
                p.setPen(QColor(30, 30, 30));
                p.setBrush(QColor(200, 200, 210));
                QPolygonF plug({{2, 5}, {14, 5}, {12, 11}, {4, 11}});
                p.drawPolygon(plug);
                p.setBrush(Qt::black);
                for (int i = 0; i < 4; ++i) p.drawEllipse(QRectF(4.2 + i * 2.2, 7, 1.3, 1.3));
            });
        case ID_ADD_DEVICE:
            return Draw([](QPainter& p) { PaintDevice(p, false); });
        case ID_ADD_GROUP:
            return Draw([](QPainter& p) { PaintFolder(p, true); });
        case ID_ADD_TAG:
            return ItemIconFor(ItemIcon::Tag);
        case ID_EDIT_PROPERTIES:
            return Draw([](QPainter& p) {
                PaintPage(p);
                p.setPen(QColor(60, 60, 60));
                for (int y = 4; y <= 12; y += 3) p.drawLine(QPointF(5, y), QPointF(11, y));
            });
        case ID_EDIT_CUT:
            return Draw([](QPainter& p) {
                p.setPen(QPen(QColor(50, 50, 50), 1.3));
                p.drawLine(QPointF(4, 1), QPointF(11, 10));
                p.drawLine(QPointF(12, 1), QPointF(5, 10));
                p.drawEllipse(QRectF(2, 10, 4, 4));
                p.drawEllipse(QRectF(10, 10, 4, 4));
            });
        case ID_EDIT_COPY:
            return Draw([](QPainter& p) {
                p.setPen(QColor(60, 60, 60));
                p.setBrush(Qt::white);
                p.drawRect(QRectF(1.5, 1.5, 8, 10));
                p.drawRect(QRectF(6.5, 4.5, 8, 10));
            });
        case ID_EDIT_PASTE:
            return Draw([](QPainter& p) {
                p.setPen(QColor(90, 60, 20));
                p.setBrush(QColor(200, 160, 100));
                p.drawRect(QRectF(2.5, 2.5, 10, 12));
                p.setBrush(Qt::white);
                p.drawRect(QRectF(6.5, 6.5, 8, 8));
            });
        case ID_EDIT_DELETE:
            return Draw([](QPainter& p) {
                p.setPen(QPen(QColor(200, 20, 20), 2.5));
                p.drawLine(QPointF(3, 3), QPointF(13, 13));
                p.drawLine(QPointF(13, 3), QPointF(3, 13));
            });
        case ID_VIEW_MONITOR:
            return Draw([](QPainter& p) {
                p.setPen(QColor(30, 30, 30));
                p.setBrush(QColor(20, 40, 30));
                p.drawRect(QRectF(1.5, 2.5, 13, 10));
                p.setPen(QPen(QColor(60, 240, 90), 1.2));
                p.drawPolyline(QPolygonF({{3, 9}, {6, 6}, {8, 8}, {10, 4}, {13, 7}}));
            });
        case ID_HELP_TOPICS:
            return Draw([](QPainter& p) {
                p.setPen(QColor(20, 60, 160));
                p.setBrush(QColor(80, 140, 230));
                p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
                PaintLetter(p, "?", Qt::white);
            });
        default:
            return {};
    }
}

QIcon ApplicationIcon() {
    return Draw(
        [](QPainter& p) {
            p.scale(2, 2);
            PaintDevice(p, true);
        },
        32);
}

}  // namespace velk::gui
