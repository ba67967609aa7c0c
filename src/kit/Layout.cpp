#include "kit/Layout.h"

#include "kit/Colors.h"
#include "kit/Shapes.h"

#include <QLabel>

namespace layout {

QFont font(const char* family, int pixels, bool bold) {
    QFont face(QString::fromLatin1(family));
    face.setPixelSize(pixels);
    face.setBold(bold);
    return face;
}

void setColour(QWidget& widget, QPalette::ColorRole role, quint32 bgr) {
    QPalette palette = widget.palette();
    palette.setColor(role, fromBgr(bgr));
    widget.setPalette(palette);
}

QLabel* addLabel(QWidget* parent, const char* name, const QRect& geometry, const QFont& font,
                 const QString& text, Qt::Alignment alignment) {
    auto* label = place(new QLabel(text, parent), name, geometry);
    label->setFont(font);
    label->setAlignment(alignment);
    setColour(*label, QPalette::WindowText, colors::Navy);
    return label;
}

TBlendedShape* addShape(QWidget* parent, const char* name, const QRect& geometry, quint32 bgr) {
    return place(new TBlendedShape(parent, TBlendedShape::stRoundRect, fromBgr(bgr)), name, geometry);
}

}  // namespace layout
