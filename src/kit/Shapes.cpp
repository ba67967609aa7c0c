#include "kit/Shapes.h"

#include <QPainter>

TBlendedShape::TBlendedShape(QWidget* parent, Shape shape, QColor brush)
    : QWidget(parent), m_shape(shape), m_brush(brush) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TBlendedShape::setShape(Shape shape) {
    m_shape = shape;
    update();
}

void TBlendedShape::setBrushColor(const QColor& color) {
    m_brush = color;
    update();
}

void TBlendedShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_brush);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_shape == stCircle) {
        painter.drawEllipse(area);
    } else {
        painter.drawPath(roundedOutline(area));
    }
}

QPainterPath TBlendedShape::roundedOutline(const QRectF& area) {
    const qreal radius = std::min(area.width(), area.height()) / 8;
    QPainterPath outline;
    outline.addRoundedRect(area, radius, radius);
    return outline;
}
