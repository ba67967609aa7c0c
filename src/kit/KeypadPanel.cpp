#include "kit/KeypadPanel.h"

#include "kit/Buttons.h"
#include "kit/Colors.h"

namespace {
constexpr int ColumnPitch = 78;
constexpr int RowPitch = 48;
constexpr int LeftMargin = 8;
constexpr quint32 KeyColour = 0xF2D9B8;  // light steel blue
}  // namespace

TKeypadPanel::TKeypadPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("panTeclado"));
    for (int digit = 1; digit <= 9; ++digit) {
        const QString caption = QString::number(digit);
        addButton(qPrintable(QStringLiteral("sbt") + caption), caption, (digit - 1) % 3, (digit - 1) / 3,
                  u'0' + digit);
    }
    addButton("sbt0", QStringLiteral("0"), 0, 3, u'0');
    addButton("sbtVirgula", QStringLiteral("."), 1, 3);
    addButton("sbtVirg", QStringLiteral(","), 2, 3);
    addButton("sbtSair", QStringLiteral("Sair"), 0, 4);
    addButton("sbtCorrigir", QStringLiteral("Corrigir"), 1, 4);
    addButton("sbtEnter", QStringLiteral("OK"), 2, 4);
    button("sbtVirg")->setEnabled(false);
}

TdxfColorButton* TKeypadPanel::button(const char* name) const {
    return findChild<TdxfColorButton*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

QList<TdxfColorButton*> TKeypadPanel::sharedDigitButtons() const {
    QList<TdxfColorButton*> digits;
    for (const char* name : {"sbt1", "sbt2", "sbt3", "sbt4", "sbt5", "sbt6", "sbt7", "sbt9", "sbt0"}) {
        digits.append(button(name));
    }
    return digits;
}

void TKeypadPanel::addButton(const char* name, const QString& caption, int column, int row, int tag) {
    auto* key = new TdxfColorButton(this);
    key->setObjectName(QString::fromLatin1(name));
    key->setCaptionStrings({caption});
    key->setTag(tag);
    key->setColor(fromBgr(KeyColour));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(caption.size() > 1 ? 15 : 22);
    font.setBold(true);
    key->setFont(font);
    key->setGeometry(LeftMargin + column * ColumnPitch, 1 + row * RowPitch, ButtonWidth, ButtonHeight);
}
