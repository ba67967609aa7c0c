#pragma once

// What the statement suites share: a kiosk pointed at the real server, its consumer, answers to reports.

#include <QDialog>
#include <QLabel>
#include <QTextEdit>

#include "appserver/AppServerFixture.h"
#include "platform/Registry.h"
#include "support/MessageSteps.h"
#include "support/ModalScript.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"
#include "terminal/TerminalContext.h"

#include <memory>

// Every dialog the script expects was shown and no step recorded a fault.
#define VERIFY_SCRIPT_RAN(script)                                         \
    QVERIFY2((script).faults().isEmpty() && (script).pendingSteps() == 0, \
             qPrintable((script).faults().join(u'\n') +                   \
                        QStringLiteral(" (%1 steps left)").arg((script).pendingSteps())))

inline QString labelText(const QWidget& screen, const char* name) {
    return childOf<QLabel>(screen, name).text();
}

inline void pointKioskAt(TestEnvironment& env, int port) {
    env.setRegistryValue(platform::Registry::ServerAddressValue, QStringLiteral("127.0.0.1"));
    env.setRegistryValue(platform::Registry::ServerPortValue, QString::number(port));
}

// The consumer identified at the kiosk (client 10) by the code typed or swiped.
inline void consultAs(TerminalContext& terminal, const QString& consumer, const QString& name,
                      const QString& typedCode) {
    terminal.CDCLIENTE = QStringLiteral("10");
    terminal.CDCONSUMIDOR = consumer;
    terminal.NMCONSUMIDOR = name;
    terminal.typedCode = typedCode;
}

// A kiosk on the demo's today at register 002 of branch 0001, whose screens close after 30 seconds and
// add a message, pointed at the server on `port`; `terminal` starts afresh.
inline std::unique_ptr<TestEnvironment> kioskAt(int port, TerminalContext& terminal) {
    auto env = std::make_unique<TestEnvironment>(QDateTime(AppServerFixture::DemoToday, QTime(10, 30)));
    pointKioskAt(*env, port);
    terminal = TerminalContext{};
    terminal.branchCode = QStringLiteral("0001");
    terminal.registerCode = QStringLiteral("002");
    terminal.NRSEGFECTOT = QStringLiteral("30");
    terminal.DSMSGADITOT = QStringLiteral("Bom apetite!");
    return env;
}
