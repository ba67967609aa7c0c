#include "kit/Buttons.h"

#include "kit/Colors.h"

#include <QPainter>
#include <QStyle>

namespace {

void paintFace(QPainter& painter, const QRectF& area, bool circle, const QColor& face, const QColor& accent) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(accent.isValid() ? QPen(accent, 2) : Qt::NoPen);
    painter.setBrush(face);
    const QRectF inner = area.adjusted(1, 1, -1, -1);
    if (circle) {
        painter.drawEllipse(inner);
    } else {
        const qreal radius = std::min(inner.width(), inner.height()) * 0.25;
        painter.drawRoundedRect(inner, radius, radius);
    }
}

}  // namespace

BlendedButtonBase::BlendedButtonBase(QWidget* parent)
    : QAbstractButton(parent),
      m_brush(fromBgr(colors::Silver)),
      m_down(fromBgr(colors::Gray)),
      m_downFont(fromBgr(colors::White)),
      m_disabled(fromBgr(colors::Gray)),
      m_disabledFont(fromBgr(colors::Silver)),
      m_font(fromBgr(colors::Navy)) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void BlendedButtonBase::setShape(Shape shape) {
    m_shape = shape;
    update();
}

void BlendedButtonBase::setGlyph(const QPixmap& glyph) {
    m_glyph = glyph;
    update();
}

void BlendedButtonBase::assign(QColor& member, const QColor& color) {
    member = color;
    update();
}

void BlendedButtonBase::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool pressed = isDown() || isChecked();
    const QColor face = !isEnabled() ? m_disabled : pressed ? m_down : m_brush;
    const QColor ink = !isEnabled() ? m_disabledFont : pressed ? m_downFont : m_font;
    paintFace(painter, rect(), m_shape == Circle, face, m_accent);

    QRect area = rect().adjusted(4, 2, -4, -2);
    if (!m_glyph.isNull()) {
        const QSize glyphSize = m_glyph.deviceIndependentSize().toSize().boundedTo(area.size());
        const bool glyphOnly = text().isEmpty();
        const QPoint topLeft = glyphOnly
                                   ? area.center() - QPoint(glyphSize.width() / 2, glyphSize.height() / 2)
                                   : QPoint(area.left() + 4, area.center().y() - glyphSize.height() / 2);
        painter.setOpacity(isEnabled() ? 1.0 : 0.45);
        painter.drawPixmap(QRect(topLeft, glyphSize), m_glyph);
        painter.setOpacity(1.0);
        area.setLeft(glyphOnly ? area.right() : topLeft.x() + glyphSize.width() + 2);
    }
    if (!text().isEmpty()) {
        painter.setPen(ink);
        painter.setFont(font());
        painter.drawText(area, Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextWordWrap, text());
    }
}

TdxfColorButton::TdxfColorButton(QWidget* parent)
    : QAbstractButton(parent), m_color(fromBgr(colors::ButtonFace)) {
    setFocusPolicy(Qt::NoFocus);
}

void TdxfColorButton::setCaptionStrings(const QStringList& lines) {
    m_caption = lines;
    setText(lines.value(0));
}

void TdxfColorButton::setColor(const QColor& color) {
    m_color = color;
    update();
}

void TdxfColorButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // A disabled key still reads as a key: its own face, paled toward the panel and outlined, with a grey
    // caption; silver alone vanished into the silver panel and left a stray character.
    const QColor panel = fromBgr(colors::Silver);
    const QColor muted = QColor::fromRgbF((m_color.redF() + panel.redF()) / 2, (m_color.greenF() + panel.greenF()) / 2,
                                          (m_color.blueF() + panel.blueF()) / 2);
    const QColor face = !isEnabled() ? muted : isDown() ? m_color.darker(130) : m_color;
    paintFace(painter, rect(), false, face, isEnabled() ? QColor() : panel.darker(120));
    painter.setPen(isEnabled() ? palette().color(QPalette::ButtonText) : fromBgr(colors::Gray));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}
