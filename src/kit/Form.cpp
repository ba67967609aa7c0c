#include "kit/Form.h"

#include "kit/ErrorReport.h"
#include "kit/Shapes.h"
#include "kit/core/VirtualKeys.h"

#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include <utility>

TForm::TForm(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint) {}

void TForm::setClientSize(int width, int height) {
    setFixedSize(width, height);
}

void TForm::previewKeysOf(QWidget* control) {
    control->installEventFilter(this);
}

void TForm::deliverKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text) {
    dispatchKey(qtKey, modifiers, text);
}

bool TForm::dispatchKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text) {
    int key = vk::fromQtKey(qtKey);
    if (key != 0) {
        runGuarded([&] { FormKeyDown(key, modifiers); });
        if (key == 0) {
            return true;
        }
    }
    // A character typed with Alt is a menu accelerator, not text.
    if (text.size() != 1 || modifiers.testFlag(Qt::AltModifier)) {
        return false;
    }
    QChar typed = text.front();
    runGuarded([&] { FormKeyPress(typed); });
    return typed.isNull();
}

bool TForm::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            // Seen here before QWidget::event, so that Tab reaches the handlers instead of moving the focus.
            // A key that a previewed control ignored comes up here again; it has been handled already.
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool previewed = std::exchange(m_previewed, nullptr) == event;
            if (!previewed && dispatchKey(key->key(), key->modifiers(), key->text())) {
                return true;
            }
            break;
        }
        case QEvent::WindowActivate:
            // Queued: the handler may show modal screens, which must not run inside the activation itself.
            // A screen closed meanwhile does nothing more.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (isVisible()) {
                        runGuarded([this] { FormActivate(); });
                        ++m_activations;
                    }
                },
                Qt::QueuedConnection);
            break;
        default:
            break;
    }
    return QDialog::event(event);
}

bool TForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        m_previewed = event;
        return dispatchKey(key->key(), key->modifiers(), key->text());
    }
    return QDialog::eventFilter(watched, event);
}

// The kiosk's screens have no default keys: Escape and Enter do only what each screen's handlers say.
void TForm::keyPressEvent(QKeyEvent* event) {
    event->ignore();
}

// Every way a screen ends (close, a key, a script rejecting it) passes through here once.
void TForm::done(int result) {
    runGuarded([this] { FormClose(); });
    QDialog::done(result);
}

void TForm::showEvent(QShowEvent* event) {
    centreOnScreen();
    shapeToBackground();
    QDialog::showEvent(event);
    // Without a window manager nothing activates a new window, and the activation handlers must still run.
    QTimer::singleShot(0, this, [this] { activateWindow(); });
}

// A form drawn on a rounded panel that fills it takes the panel's outline as its window's shape: the
// window's square corners would otherwise show behind the rounded ones.
void TForm::shapeToBackground() {
    for (const TBlendedShape* shape : findChildren<TBlendedShape*>()) {
        if (shape->shape() == TBlendedShape::stRoundRect && QRect(shape->mapTo(this, QPoint()), shape->size()) == rect()) {
            setMask(QRegion(TBlendedShape::roundedOutline(QRectF(rect())).toFillPolygon().toPolygon()));
            return;
        }
    }
}

QPoint TForm::centredOn(const QRect& area, const QSize& size) {
    return area.topLeft() + QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2);
}

void TForm::centreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        move(centredOn(screen->geometry(), size()));
    }
}
