#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/Startup.h"
#include "app/TfrmPrincipal.h"
#include "kit/core/Errors.h"
#include "support/Rows.h"
#include "support/ServerProcess.h"
#include "terminal/TerminalSteps.h"

#include <deque>
#include <functional>
#include <stdexcept>

using platform::Registry;

namespace {

// What the shell's start showed, and what the operator does while an error report is up.
struct Seen {
    QStringList messages;
    QString identity;  // of the consultation terminal, "branch/register"
    QString report;
    std::function<void()> mend;
};

// One step of the shell's start: "message" answers a message; "ip:TEXT" and "key:TEXT" type on the set-up
// keypad, which must be in that mode, and press Enter (Alt+F4 with ":leave" after the text); "report" mends
// what the error report tells of and closes it; "terminal" closes the consultation terminal; "closes" expects
// a screen that closes by itself.
ModalScript::Step step(const QString& action, Seen* seen) {
    const QStringList parts = action.split(u':');
    if (action == "message") {
        return answerMessage(&seen->messages);
    }
    if (action == "report") {
        return [seen](QDialog& report) {
            seen->mend();
            answerErrorReport (&seen->report)(report);
        };
    }
    if (action == "terminal") {
        return [seen](QDialog& terminal) {
            seen->identity = childOf<QLabel>(terminal, "lblCdFilial").text() + "/" +
                             childOf<QLabel>(terminal, "lblCdCaixa").text();
            terminal.close();
        };
    }
    if (action == "closes") {
        return {};
    }
    return [parts](QDialog& keypad) {
        if (childOf<QLabel>(keypad, "lblCabec").text().contains("I.P.") != (parts[0] == "ip")) {
            throw std::runtime_error("the keypad is not in the mode " + parts[0].toStdString());
        }
        QTest::keyClicks(&keypad, parts[1]);
        const bool leave = parts.size() > 2;
        QTest::keyClick(&keypad, leave ? Qt::Key_F4 : Qt::Key_Return,
                        leave ? Qt::AltModifier : Qt::NoModifier);
    };
}

std::deque<ModalScript::Step> steps(const QStringList& actions, Seen* seen) {
    std::deque<ModalScript::Step> script;
    for (const QString& action : actions) {
        script.push_back(step(action, seen));
    }
    return script;
}

// Shows the shell and lets its start run; true when the shell is still up after it, or it never ended.
bool runShell() {
    TfrmPrincipal shell;
    SetMainForm(&shell);
    shell.show();
    const bool ended = QTest::qWaitFor([&shell] { return !shell.isFirstActivationPending(); });
    SetMainForm(nullptr);
    return !ended || shell.isVisible();
}

const QString RegIPNCad = QStringLiteral(
    "Endereço I.P. do servidor não encontrado no Registro do Windows. Pressione OK para inclui-lo.");
const QString RegistorNCad =
    QStringLiteral("Chave do Totem não encontrada no Registro do  Windows. Pressione OK para criá-la.");

}  // namespace

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { m_env.reset(); }

    // The terminal opened by the shell talks to a real server with the demo network.
    void initTestCase() {
        const QString database = m_dir.filePath("demo.db");
        const QString failure = ServerProcess::createDemo(database, DemoToday);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        m_server = std::make_unique<ServerProcess>(QStringList{"--database", database});
        QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
    }

    void init() {
        m_env = std::make_unique<TestEnvironment>(QDateTime(DemoToday, QTime(10, 30)));
        m_env->setRegistryValue(Registry::ServerPortValue, QString::number(m_server->port()));
    }

    // The registry's values as the shell finds them: one missing or that cannot work is asked for on the
    // set-up keypad and stored; one that can is used as it stands. A registry key that cannot be written or
    // read is reported, and the start goes on once the operator has mended it. Whichever way the terminal
    // closes, or the keypad is left without a value, the program ends.
    void startup_data() {
        QTest::addColumn<QString>("registry");  // "unwritable" or "corrupt" at the start
        QTest::addColumn<QString>("address");   // stored before the start, "" none
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("report");         // a part of the error report's text
        QTest::addColumn<QString>("storedAddress");  // after it
        QTest::addColumn<QString>("storedKey");
        QTest::addColumn<QString>("identity");
        const QStringList badAddress{QStringLiteral(
            "Endereço I.P. do servidor inválido no Registro do Windows. Pressione OK para corrigi-lo.")};
        const QStringList badKey{
            QStringLiteral("Chave do Totem inválida no Registro do Windows. Pressione OK para corrigi-la.")};
        const QString local = QStringLiteral("127.0.0.1"), good = QStringLiteral("0001001");
        const QString served = QStringLiteral("0001/001");
        const QStringList none, terminal{"terminal"}, bothMissing{RegIPNCad, RegistorNCad};
        const QStringList askAddress{"message", "ip:127.0.0.1", "terminal"};
        const QStringList askKey{"message", "key:0001001", "terminal"};
        const QStringList askBoth{"message", "ip:127.0.0.1", "message", "key:0001001", "terminal"};
        dataRow("both missing: address, then key", "", "", "", askBoth, bothMissing, "", local, good, served);
        // Register 999 of branch 0001 is unknown to the server: the terminal says so and the program ends.
        dataRow("key missing", "", local, "", QStringList{"message", "key:0001999", "closes", "message"},
                QStringList{RegistorNCad, "Caixa não cadastrado."}, "", local, "0001999", "");
        dataRow("keypad left without an address", "", "", "", QStringList{"message", "ip:10.0.0.5:leave"},
                QStringList{RegIPNCad}, "", "", "", "");
        dataRow("both valid", "", local, good, terminal, none, "", local, good, served);
        dataRow("host name", "", "localhost", good, terminal, none, "", "localhost", good, served);
        dataRow("address with a port", "", ".82111,2", good, askAddress, badAddress, "", local, good, served);
        dataRow("key of 10 characters", "", local, "0001001999", askKey, badKey, "", local, good, served);
        const QStringList refused{"message", "ip:10.0.0.5", "report"};  // the address typed cannot be stored
        dataRow("unwritable key", "unwritable", "", "", refused + askBoth,
                QStringList{RegIPNCad} + bothMissing, "IPServidor", local, good, served);
        dataRow("corrupt key", "corrupt", "", "", QStringList{"report"} + askBoth, bothMissing, "Strovel.ini",
                local, good, served);
    }

    void startup() {
        QFETCH(QString, registry);
        QFETCH(QString, address);
        QFETCH(QString, key);
        QFETCH(QStringList, steps);
        QFETCH(QString, report);
        for (const auto& [name, value] :
             {std::pair(Registry::ServerAddressValue, address), std::pair(Registry::TerminalKeyValue, key)}) {
            if (!value.isEmpty()) {
                m_env->setRegistryValue(name, value);
            }
        }
        const QString file = m_env->registryFile(), folder = QFileInfo(file).path();
        if (registry == "unwritable") {  // a file where the key's folder should be
            QVERIFY(QDir(folder).removeRecursively() && QFile(folder).open(QIODevice::WriteOnly));
        } else if (registry == "corrupt") {
            QVERIFY(m_env->corruptRegistryFile());
        }
        Seen seen;
        seen.mend = [&] {
            QVERIFY(QFile::remove(registry == "unwritable" ? folder : file));
            m_env->setRegistryValue(Registry::ServerPortValue, QString::number(m_server->port()));
        };
        const ModalScript script(::steps(steps, &seen));
        QVERIFY(!runShell());
        VERIFY_SCRIPT(script);
        QTEST(seen.messages, "messages");
        QVERIFY2(seen.report.contains(report) && seen.report.isEmpty() == report.isEmpty(),
                 qPrintable(seen.report));
        QTEST(m_env->registryValue(Registry::ServerAddressValue), "storedAddress");
        QTEST(m_env->registryValue(Registry::TerminalKeyValue), "storedKey");
        QTEST(seen.identity, "identity");
    }

    void workingDirectoryIsCreatedWithItsParents() {
        const QString folder = QDir(m_env->root()).filePath("home/.local/share/totem");
        enterWorkingDirectory(folder);
        QCOMPARE(QDir::currentPath(), QDir(folder).canonicalPath());
        QFile blocker(QDir(m_env->root()).filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString underAFile = QDir(m_env->root()).filePath("file/totem");
        QVERIFY_THROWS_EXCEPTION(KioskError, enterWorkingDirectory(underAFile));
        QDir::setCurrent(QDir::tempPath());
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
