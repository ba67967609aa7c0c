#pragma once

#include "kit/Form.h"

class QLabel;
class TMessages;

// The shell: a borderless 800 x 600 backdrop behind every screen, and the application's main form.
// On its first activation it establishes the terminal identity and the server address, asking the operator
// for whatever is missing, and then opens the consultation terminal. Closing it ends the program.
class TfrmPrincipal : public TForm {
    Q_OBJECT
public:
    explicit TfrmPrincipal(QWidget* parent = nullptr);

    bool isFirstActivationPending() const { return m_firstActivation; }

protected:
    void FormActivate() override;
    void FormClose() override;

private:
    void FormCreate();
    void LoadTerminalIdentity();
    QString askOperator(const char* messageKey, const QString& keypadMode);

    TMessages* msgPadrao = nullptr;
    QLabel* imgFundo = nullptr;
    bool m_firstActivation = false;
    bool m_loadingIdentity = false;
};
