#pragma once

#include <QPainterPath>
#include <QWidget>

// A painted panel or frame: a rounded rectangle or a circle filled with one colour, without outline.
class TBlendedShape : public QWidget {
    Q_OBJECT
public:
    enum Shape { stRoundRect, stCircle };

    explicit TBlendedShape(QWidget* parent = nullptr, Shape shape = stRoundRect, QColor brush = Qt::white);

    Shape shape() const { return m_shape; }
    void setShape(Shape shape);
    QColor brushColor() const { return m_brush; }
    void setBrushColor(const QColor& color);

    // The outline a rounded panel of this size is painted with.
    static QPainterPath roundedOutline(const QRectF& area);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Shape m_shape;
    QColor m_brush;
};
