#pragma once

// Script steps and helpers shared by the suites that drive the consultation terminal against a real server.
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTest>

#include "kit/Application.h"
#include "kit/Modal.h"
#include "platform/Registry.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"
#include "terminal/TerminalContext.h"
#include "terminal/TfrmTerminalConsu.h"

#include <memory>

// What a terminal under test stands on: an isolated environment whose registry points at the server, a
// fresh TerminalContext, and an active shell window as the main form.
class TerminalStage {
public:
    TerminalStage(const QDate& today, int serverPort) : env(QDateTime(today, QTime(10, 30))) {
        pointAt(serverPort);
        TerminalContext::current() = TerminalContext();
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
    QWidget shell;
    bool shellActive = false;
};

inline QString className(const QDialog& dialog) {
    return QString::fromLatin1(dialog.metaObject()->className());
}

// Records which screen opened and closes it at once.
inline ModalScript::Step closeAndRecord(QStringList* opened) {
    return [opened](QDialog& screen) {
        opened->append(className(screen));
        screen.close();
    };
}

// Answers a message, closes any other screen, and records the class of each.
inline ModalScript::Step answerOrClose(QStringList* opened) {
    return [opened](QDialog& screen) {
        opened->append(className(screen));
        if (opened->back() == "TfrmMensagem") {
            QTest::keyClick(&screen, Qt::Key_Return);
        } else {
            screen.close();
        }
    };
}

// Records a message's text and answers it.
inline ModalScript::Step answerMessage(QStringList* texts) {
    return [texts](QDialog& message) {
        texts->append(childOf<QLabel>(message, "lblMessage").text());
        QTest::keyClick(&message, Qt::Key_Return);
    };
}

// Records the text of the application's plain error report and closes it.
inline ModalScript::Step recordReport(QString* text) {
    return [text](QDialog& report) {
        *text = static_cast<QMessageBox&>(report).text();
        report.close();
    };
}

inline std::unique_ptr<TfrmTerminalConsu> openTerminal(const QString& branch, const QString& registerCode) {
    auto terminal = std::make_unique<TfrmTerminalConsu>(branch, registerCode);
    terminal->show();
    if (!QTest::qWaitForWindowActive(terminal.get())) {
        qWarning("the terminal was not activated");
    }
    return terminal;
}

inline QString bufferOf(const TfrmTerminalConsu& terminal) {
    return childOf<QLabel>(terminal, "lblBuffer").text();
}
