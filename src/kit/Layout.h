#pragma once

#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>

class QLabel;
class QWidget;
class TBlendedShape;

// Small helpers with which every screen lays out its components as its layout table states them.
namespace layout {

// A face at a character height in pixels, as the layouts give font sizes.
QFont font(const char* family, int pixels, bool bold = true);
inline QFont tahoma(int pixels, bool bold = true) {
    return font("Tahoma", pixels, bold);
}
inline QFont verdana(int pixels, bool bold = true) {
    return font("Verdana", pixels, bold);
}

// Sets one colour of a widget's palette from a 0x00BBGGRR value.
void setColour(QWidget& widget, QPalette::ColorRole role, quint32 bgr);

// Names a component (tests find it by that name) and puts it in its place.
template <typename Widget>
Widget* place(Widget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

// A label of the kiosk's usual kind: navy text on a transparent background.
QLabel* addLabel(QWidget* parent, const char* name, const QRect& geometry, const QFont& font,
                 const QString& text = {}, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

// A rounded panel of one colour.
TBlendedShape* addShape(QWidget* parent, const char* name, const QRect& geometry, quint32 bgr);

}  // namespace layout
