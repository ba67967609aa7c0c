#pragma once

#include <QWidget>

class TdxfColorButton;

// The kiosk's numeric touch keypad: digits in three rows of three, then "0", "." and ",", then
// "Sair", "Corrigir" and "OK". Each button bears its name as object name (sbt1 ... sbt9, sbt0, sbtVirgula,
// sbtVirg, sbtSair, sbtCorrigir, sbtEnter); digit buttons carry their character code as tag (48 to 57).
// The form that owns the keypad connects the buttons to its own handlers.
class TKeypadPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int ButtonWidth = 72;
    static constexpr int ButtonHeight = 48;

    explicit TKeypadPanel(QWidget* parent);

    TdxfColorButton* button(const char* name) const;
    // The nine digit buttons other than "8", which has a handler of its own, plus "0".
    QList<TdxfColorButton*> sharedDigitButtons() const;

private:
    void addButton(const char* name, const QString& caption, int column, int row, int tag = 0);
};
