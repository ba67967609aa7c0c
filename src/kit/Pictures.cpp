#include "kit/Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pictures {

namespace {

QPixmap canvas(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

constexpr qreal AnswerScale = 0.9;

void drawSymbol(QPainter& painter, const QRectF& area, const QString& symbol, const QColor& color,
                qreal scale = 0.62) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(static_cast<int>(area.height() * scale));
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(area, Qt::AlignCenter, symbol);
}

void drawBadge(QPainter& painter, int size, const QColor& fill, const QString& symbol) {
    const QRectF area(1, 1, size - 2, size - 2);
    painter.setPen(QPen(fill.darker(140), 1.5));
    painter.setBrush(fill);
    painter.drawEllipse(area);
    drawSymbol(painter, area, symbol, Qt::white);
}

// The clear key: a box with a cross, the keyboard sign for "clear", unlike the backspace arrow beside it,
// which takes one character only.
void drawClear(QPainter& painter, int size) {
    const qreal m = size * 0.18;
    const QRectF box(m, m * 1.4, size - 2 * m, size - 2.8 * m);
    painter.setPen(QPen(QColor(0, 0, 128), size * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box, size * 0.06, size * 0.06);
    const qreal inset = box.height() * 0.25;
    const QRectF cross = box.adjusted(box.width() / 2 - box.height() / 2 + inset, inset,
                                      -(box.width() / 2 - box.height() / 2 + inset), -inset);
    painter.drawLine(cross.topLeft(), cross.bottomRight());
    painter.drawLine(cross.bottomLeft(), cross.topRight());
}

void drawArrow(QPainter& painter, int size, bool up, bool barred) {
    const qreal m = size * 0.2;
    QPainterPath path;
    if (up) {
        path.moveTo(size / 2.0, m);
        path.lineTo(size - m, size - m * 1.6);
        path.lineTo(m, size - m * 1.6);
    } else {
        path.moveTo(size / 2.0, size - m);
        path.lineTo(size - m, m * 1.6);
        path.lineTo(m, m * 1.6);
    }
    path.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 128));
    painter.drawPath(path);
    if (barred) {
        const qreal y = up ? m * 0.6 : size - m * 1.2;
        painter.drawRect(QRectF(m, y, size - 2 * m, m * 0.6));
    }
}

}  // namespace

QPixmap icon(Icon kind, int size) {
    QPixmap pixmap = canvas(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
        case Icon::Information:
            drawBadge(painter, size, QColor(0x1F, 0x5F, 0xBF), QStringLiteral("i"));
            break;
        case Icon::Question:
            drawBadge(painter, size, QColor(0x2E, 0x8B, 0x57), QStringLiteral("?"));
            break;
        case Icon::Error:
            drawBadge(painter, size, QColor(0xC6, 0x28, 0x28), QStringLiteral("×"));
            break;
        case Icon::Alert: {
            QPainterPath triangle;
            triangle.moveTo(size / 2.0, 1.5);
            triangle.lineTo(size - 1.5, size - 2.0);
            triangle.lineTo(1.5, size - 2.0);
            triangle.closeSubpath();
            painter.setPen(QPen(QColor(0x9A, 0x73, 0x00), 1.5));
            painter.setBrush(QColor(0xF5, 0xC2, 0x18));
            painter.drawPath(triangle);
            drawSymbol(painter, QRectF(0, size * 0.2, size, size * 0.8), QStringLiteral("!"), Qt::black);
            break;
        }
    }
    return pixmap;
}

QPixmap glyph(Glyph kind, int size) {
    QPixmap pixmap = canvas(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(0, 0, size, size);
    switch (kind) {
        // The answer signs fill their square: drawn smaller, they read as marks beside a caption.
        case Glyph::Ok:
        case Glyph::Yes:
            drawSymbol(painter, area, QStringLiteral("✔"), QColor(0x1B, 0x7F, 0x2A), AnswerScale);
            break;
        case Glyph::No:
            drawSymbol(painter, area, QStringLiteral("✘"), QColor(0xB0, 0x1E, 0x1E), AnswerScale);
            break;
        case Glyph::Details:
            drawSymbol(painter, area, QStringLiteral("☰"), QColor(0, 0, 128), AnswerScale);
            break;
        case Glyph::Clear:
            drawClear(painter, size);
            break;
        case Glyph::Previous:
            drawSymbol(painter, area, QStringLiteral("◀"), QColor(0, 0, 128));
            break;
        case Glyph::Next:
            drawSymbol(painter, area, QStringLiteral("▶"), QColor(0, 0, 128));
            break;
        case Glyph::ArrowUp:
            drawArrow(painter, size, true, false);
            break;
        case Glyph::ArrowDown:
            drawArrow(painter, size, false, false);
            break;
        case Glyph::First:
            drawArrow(painter, size, true, true);
            break;
        case Glyph::Last:
            drawArrow(painter, size, false, true);
            break;
        case Glyph::ExitDoor: {
            painter.setPen(QPen(QColor(0x5D, 0x40, 0x37), 2));
            painter.setBrush(QColor(0x8D, 0x6E, 0x63));
            painter.drawRect(QRectF(size * 0.25, size * 0.1, size * 0.45, size * 0.8));
            painter.setBrush(QColor(0xFF, 0xD5, 0x4F));
            painter.drawEllipse(QPointF(size * 0.6, size * 0.52), size * 0.05, size * 0.05);
            break;
        }
    }
    return pixmap;
}

// A plain gradient: any text on it showed as a second title under the terminal, or peeked out behind the
// rounded corners of the full-size screens.
QPixmap background(const QSize& size) {
    QPixmap pixmap(size);
    QPainter painter(&pixmap);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0.0, QColor(0x0B, 0x2A, 0x5B));
    gradient.setColorAt(1.0, QColor(0x8F, 0xA8, 0xC8));
    painter.fillRect(pixmap.rect(), gradient);
    return pixmap;
}

}  // namespace pictures
