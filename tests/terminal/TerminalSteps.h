#pragma once

// Script steps and helpers shared by the suites that drive the kiosk's screens: the consultation terminal
// against a real server, the shell and the set-up keypad.
#include <QDialog>
#include <QTest>

#include "kit/Application.h"
#include "platform/Registry.h"
#include "support/MessageSteps.h"
#include "support/ModalScript.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"
#include "terminal/TerminalContext.h"
#include "terminal/TfrmTerminalConsu.h"

#include <memory>

// The demo network's day, and the badge of its consumer Ana: characters 5 to 12 are her badge number.
inline const QDate DemoToday(2024, 5, 15);
inline const QString AnasTrack = QStringLiteral("900100010001000000123");

// What a terminal under test stands on: an isolated environment whose registry points at the server, a
// fresh TerminalContext for the terminal to fill, and an active shell window as the main form.
class TerminalStage {
public:
    TerminalStage(const QDate& today, int serverPort) : env(QDateTime(today, QTime(10, 30))) {
        pointAt(serverPort);
        shell.show();
        shellActive = QTest::qWaitForWindowActive(&shell);
        SetMainForm(&shell);
    }
    ~TerminalStage() { SetMainForm(nullptr); }
    TerminalStage(const TerminalStage&) = delete;
    TerminalStage& operator=(const TerminalStage&) = delete;

    void pointAt(int serverPort) {
        env.setRegistryValue(platform::Registry::ServerAddressValue, QStringLiteral("127.0.0.1"));
        env.setRegistryValue(platform::Registry::ServerPortValue, QString::number(serverPort));
    }

    TestEnvironment env;
    TerminalContext context;
    QWidget shell;
    bool shellActive = false;
};

// Acts on whatever the terminal opens as a consumer would and records its class: a message is answered (its
// text recorded when `texts` is given), the store list picks its current row, any other screen is closed.
inline ModalScript::Step answerOrClose(QStringList* opened, QStringList* texts = nullptr) {
    return [opened, texts](QDialog& screen) {
        opened->append(QString::fromLatin1(screen.metaObject()->className()));
        if (opened->back() == "TfrmMensagem" && texts != nullptr) {
            answerMessage(texts)(screen);
        } else if (opened->back() == "TfrmMensagem" || opened->back() == "TfrmPesquisa") {
            QTest::keyClick(&screen, Qt::Key_Return);
        } else {
            screen.close();
        }
    };
}

// Opens the terminal and waits until its start-up calls are over (or it has closed for good).
inline std::unique_ptr<TfrmTerminalConsu> openTerminal(TerminalStage& stage, const QString& branch,
                                                       const QString& registerCode) {
    auto terminal = std::make_unique<TfrmTerminalConsu>(stage.context, branch, registerCode);
    terminal->show();
    if (!QTest::qWaitForWindowActive(terminal.get()) ||
        !QTest::qWaitFor([&] { return !terminal->isFirstActivationPending() || !terminal->isVisible(); })) {
        qWarning("the terminal did not start");
    }
    return terminal;
}

// Types the code on the keyboard and sends it with Enter.
inline void consult(QWidget& terminal, const QString& code) {
    QTest::keyClicks(&terminal, code);
    QTest::keyClick(&terminal, Qt::Key_Return);
}
