#pragma once

#include "kit/Form.h"

#include <QString>

class QLabel;
class TMessages;
class TdxfColorButton;

// The set-up keypad: a small dialog through which the operator types the server address (mode "IP") or the
// terminal key (any other mode) that the kiosk keeps in its registry key.
class TfrmInformaIP : public TForm {
    Q_OBJECT
public:
    explicit TfrmInformaIP(const QString& mode, QWidget* parent = nullptr);

    // The buffer accepted by OK; empty when the dialog was closed without accepting.
    QString result() const { return m_result; }

protected:
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void FormKeyPress(QChar& key) override;

private:
    void FormCreate();
    void buildLayout();

    void sbt1Click(const TdxfColorButton& sender);
    void sbt8Click();
    void sbtVirgulaClick();
    void sbtCorrigirClick();
    void sbtEnterClick();
    void sbtSairClick();
    void sendCharacter(QChar character);
    void refuse(const char* messageKey);
    bool isAddressMode() const;

    QString m_mode;
    QString m_result;
    TMessages* msgPadrao = nullptr;
    QLabel* lblTitulo = nullptr;
    QLabel* lblCabec = nullptr;
    QLabel* lblBuffer = nullptr;
};

// Shows the set-up keypad modally in the given mode and returns the accepted text (empty when closed
// without accepting, so that a value typed for another mode is never stored by mistake).
QString ShowInformaIP(const QString& mode);
