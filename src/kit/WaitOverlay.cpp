#include "kit/WaitOverlay.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace {

// A small frameless window above every screen. It is a tool-tip kind of window so that no platform gives
// it the activation, which would be taken from the screen underneath. The remote calls it covers block the
// user-interface thread, so it is painted once, at once, and shows a still picture.
class WaitOverlay final : public QWidget {
public:
    WaitOverlay()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus) {
        setObjectName(QStringLiteral("WaitOverlay"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TranslucentBackground);
        resize(260, 90);
    }

    void setKind(int kind) {
        m_text = kind == 0 ? QStringLiteral("Conectando ao servidor...") : QStringLiteral("Aguarde...");
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 64, 220));
        painter.drawRoundedRect(rect(), 14, 14);
        const QRectF spinner(18, 25, 40, 40);
        for (int i = 0; i < 8; ++i) {
            painter.setBrush(QColor(255, 255, 255, 60 + i * 24));
            const qreal angle = i * 45.0 * 3.14159265 / 180.0;
            painter.drawEllipse(spinner.center() + QPointF(16 * std::cos(angle), 16 * std::sin(angle)), 4, 4);
        }
        QFont font(QStringLiteral("Tahoma"));
        font.setPixelSize(17);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(70, 0, -10, 0), Qt::AlignVCenter | Qt::AlignLeft, m_text);
    }

private:
    QString m_text;
};

// Made once and then shown and hidden: every remote call shows it, and a new native window each time cost
// more than a short call.
QPointer<WaitOverlay> g_overlay;

QRect areaToCover(QWidget* form) {
    if (form != nullptr && form->isVisible()) {
        return form->frameGeometry();
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry() : QRect(0, 0, 800, 600);
}

}  // namespace

void ActiveShowAvi(QWidget* form, int kind) {
    if (g_overlay == nullptr) {
        g_overlay = new WaitOverlay;
    }
    g_overlay->setKind(kind);
    g_overlay->move(areaToCover(form).center() - g_overlay->rect().center());
    g_overlay->show();
    g_overlay->raise();
    g_overlay->repaint();
}

void DeactiveShowAvi() {
    if (g_overlay != nullptr) {
        g_overlay->hide();
    }
}

bool isShowAviActive() {
    return g_overlay != nullptr && g_overlay->isVisible();
}
