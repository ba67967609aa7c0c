#pragma once

#include "kit/Form.h"
#include "terminal/TerminalContext.h"

#include <QString>

class QLabel;
class TMessages;

namespace platform {
class Registry;
}

// The shell: a borderless 800 x 600 backdrop behind every screen, and the application's main form.
// On its first activation it establishes the terminal identity and the server address, asking the operator
// for whatever is missing, and then opens the consultation terminal. Closing it ends the program.
class TfrmPrincipal : public TForm {
    Q_OBJECT
public:
    explicit TfrmPrincipal(QWidget* parent = nullptr);

    bool isFirstActivationPending() const { return m_firstActivation; }
    // The terminal's identity and, while a consumer is served, the consultation's values.
    const TerminalContext& terminalContext() const { return m_terminal; }

protected:
    void FormActivate() override;
    void FormClose() override;

private:
    void FormCreate();
    void LoadTerminalIdentity();
    // A value of the key the set-up keypad fills: how to ask for it, and which texts can work.
    struct SetupValue {
        const char* name;
        const char* missingMessage;
        const char* invalidMessage;
        QString keypadMode;
        bool (*isValid)(const QString&);
    };
    QString storedOrAsked(platform::Registry& key, const SetupValue& value);
    void endProgram(const QString& reason);

    TMessages* msgPadrao = nullptr;
    QLabel* imgFundo = nullptr;
    TerminalContext m_terminal;
    bool m_firstActivation = false;
    bool m_loadingIdentity = false;
};
