#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QPixmap>
#include <QStringList>

// A touch-style push button painted as a rounded rectangle or a circle, with an optional glyph and a
// caption that may carry an "&" accelerator. It never takes the input focus.
class BlendedButtonBase : public QAbstractButton {
    Q_OBJECT
public:
    enum Shape { RoundRect, Circle };

    explicit BlendedButtonBase(QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }
    int Tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    void setShape(Shape shape);
    void setGlyph(const QPixmap& glyph);
    const QPixmap& glyph() const { return m_glyph; }

    QColor brushColor() const { return m_brush; }
    void setBrushColor(const QColor& color) { assign(m_brush, color); }
    void setDownColor(const QColor& color) { assign(m_down, color); }
    void setDownFontColor(const QColor& color) { assign(m_downFont, color); }
    void setDisabledColor(const QColor& color) { assign(m_disabled, color); }
    void setDisabledFontColor(const QColor& color) { assign(m_disabledFont, color); }
    QColor accentColor() const { return m_accent; }
    void setAccentColor(const QColor& color) { assign(m_accent, color); }
    void setFontColor(const QColor& color) { assign(m_font, color); }

    QSize sizeHint() const override { return {75, 25}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void assign(QColor& member, const QColor& color);

    Shape m_shape = RoundRect;
    int m_tag = 0;
    QPixmap m_glyph;
    QColor m_brush;
    QColor m_down;
    QColor m_downFont;
    QColor m_disabled;
    QColor m_disabledFont;
    QColor m_accent;
    QColor m_font;
};

// The kit's bitmap button (glyph and caption).
class TBlendedBitBtn : public BlendedButtonBase {
    Q_OBJECT
public:
    using BlendedButtonBase::BlendedButtonBase;
};

// The kit's plain shaped button (the on-screen keyboard's keys).
class TBlendedButton : public BlendedButtonBase {
    Q_OBJECT
public:
    using BlendedButtonBase::BlendedButtonBase;
};

// A touch button of dialogs whose buttons are created at run time; found by class for accelerators.
class TTouchButton : public BlendedButtonBase {
    Q_OBJECT
public:
    using BlendedButtonBase::BlendedButtonBase;
};

// A coloured keypad button whose caption is a list of lines, of which the first is shown.
class TdxfColorButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TdxfColorButton(QWidget* parent = nullptr);

    const QStringList& CaptionStrings() const { return m_caption; }
    void setCaptionStrings(const QStringList& lines);
    int Tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    QColor color() const { return m_color; }
    void setColor(const QColor& color);

    QSize sizeHint() const override { return {72, 48}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList m_caption;
    int m_tag = 0;
    QColor m_color;
};
