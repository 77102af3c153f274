#include "gui/lock_key_indicators.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QWindow>

namespace velk::gui {
namespace {

std::optional<LockKey> LockKeyOf(int qtKey) {
    switch (qtKey) {
        case Qt::Key_CapsLock:
            return LockKey::Caps;
        case Qt::Key_NumLock:
            return LockKey::Num;
        case Qt::Key_ScrollLock:
            return LockKey::Scroll;
        default:
            return std::nullopt;
    }
}

}  // namespace

LockKeyIndicators::LockKeyIndicators(QStatusBar& statusBar, Report report)
    : QObject(&statusBar), report_(std::move(report)) {
    for (LockKey key : kLockKeys) {
        const QString name = QString::fromLatin1(IndicatorName(key));
        auto* label = new QLabel(&statusBar);
        label->setObjectName("indicator" + name);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance("SCRL") + 8);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar.addPermanentWidget(label);
        labels_[static_cast<std::size_t>(key)] = label;
    }
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive) Refresh();
            });
    Refresh();
}

LockKeyIndicators::~LockKeyIndicators() { qApp->removeEventFilter(this); }

bool LockKeyIndicators::eventFilter(QObject* watched, QEvent* event) {
    // A key event reaches the window once and then each widget it propagates to: counting it
    // at the window toggles a lock once per press.
    if (event->type() == QEvent::KeyPress && qobject_cast<QWindow*>(watched) != nullptr) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (const std::optional<LockKey> lock = LockKeyOf(key->key())) {
            tracker_.Pressed(*lock, key->isAutoRepeat());
            Refresh();
        }
    }
    return QObject::eventFilter(watched, event);
}

void LockKeyIndicators::Refresh() {
    if (report_) {
        if (const std::optional<LockKeyState> reported = report_()) tracker_.Reported(*reported);
    }
    Show();
}

void LockKeyIndicators::Show() {
    for (LockKey key : kLockKeys) {
        Label(key)->setText(QString::fromLatin1(IndicatorText(key, tracker_.State())));
    }
}

}  // namespace velk::gui
