#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include "app/Startup.h"
#include "app/TerminalIdentity.h"
#include "app/TfrmPrincipal.h"
#include "kit/Application.h"
#include "kit/Modal.h"
#include "kit/core/Errors.h"
#include "platform/Registry.h"
#include "support/Rows.h"
#include "support/ServerProcess.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"
#include "terminal/TerminalContext.h"

using platform::Registry;

namespace {

ModalScript::Step answerMessage(QStringList* shown) {
    return [shown](QDialog& message) {
        shown->append(childOf<QLabel>(message, "lblMessage").text());
        QTest::keyClick(&message, Qt::Key_Return);
    };
}

ModalScript::Step typeOnKeypad(const QString& text, QStringList* modes) {
    return [text, modes](QDialog& keypad) {
        modes->append(childOf<QLabel>(keypad, "lblCabec").text());
        QTest::keyClicks(&keypad, text);
        QTest::keyClick(&keypad, Qt::Key_Return);
    };
}

// Closes the consultation terminal and keeps the identity it shows.
ModalScript::Step closeTerminal(QString* identityShown) {
    return [identityShown](QDialog& terminal) {
        *identityShown = childOf<QLabel>(terminal, "lblCdFilial").text() + "/" +
                         childOf<QLabel>(terminal, "lblCdCaixa").text();
        terminal.close();
    };
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
        const QString failure = ServerProcess::createDemo(database, QDate(2024, 5, 15));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        m_server = std::make_unique<ServerProcess>(QStringList{"--database", database});
        QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
    }

    void init() {
        m_env = std::make_unique<TestEnvironment>(QDateTime(QDate(2024, 5, 15), QTime(10, 30)));
        m_env->setRegistryValue(Registry::ServerPortValue, QString::number(m_server->port()));
    }

    void identityFromTerminalKey_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("branch");
        QTest::addColumn<QString>("registerCode");
        dataRow("7 characters", "0001001", "0001", "001");
        dataRow("5 characters", "12345", "1234", "5");
        dataRow("3 characters", "123", "123", "");
        dataRow("10 characters", "0001001999", "0001", "001");
        dataRow("1 character", "7", "7", "");
    }

    void identityFromTerminalKey() {
        QFETCH(QString, key);
        QFETCH(QString, branch);
        QFETCH(QString, registerCode);
        const TerminalIdentity identity = TerminalIdentity::fromKey(key);
        QCOMPARE(identity.branchCode, branch);
        QCOMPARE(identity.registerCode, registerCode);
    }

    void placementOnScreen_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("topLeft");
        dataRow("640 x 480 overhangs evenly", QRect(0, 0, 640, 480), QPoint(-80, -60));
        dataRow("1024 x 768 centred", QRect(0, 0, 1024, 768), QPoint(112, 84));
        dataRow("800 x 600 fills it", QRect(0, 0, 800, 600), QPoint(0, 0));
    }

    void placementOnScreen() {
        QFETCH(QRect, screen);
        QFETCH(QPoint, topLeft);
        QCOMPARE(TForm::centredOn(screen, QSize(800, 600)), topLeft);
    }

    void shellIsTitledAndSized() {
        TfrmPrincipal shell;
        QCOMPARE(shell.size(), QSize(800, 600));
        QCOMPARE(shell.windowTitle(), QStringLiteral("Terminal de Consulta"));
        QVERIFY(shell.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(shell.isFirstActivationPending());
    }

    void bothValuesMissingAsksAddressThenKey() {
        QStringList messages;
        QStringList prompts;
        QString identity;
        ModalScript script({answerMessage(&messages), typeOnKeypad("127.0.0.1", &prompts),
                            answerMessage(&messages), typeOnKeypad("0001001", &prompts),
                            closeTerminal(&identity)});
        TfrmPrincipal shell;
        shell.show();
        QTRY_VERIFY(!shell.isFirstActivationPending());
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join('\n')));
        QCOMPARE(messages, (QStringList{RegIPNCad, RegistorNCad}));
        QCOMPARE(prompts.size(), 2);
        QVERIFY(prompts[0].contains("I.P."));
        QCOMPARE(m_env->registryValue(Registry::ServerAddressValue), QStringLiteral("127.0.0.1"));
        QCOMPARE(m_env->registryValue(Registry::TerminalKeyValue), QStringLiteral("0001001"));
        QCOMPARE(identity, QStringLiteral("0001/001"));
    }

    void onlyKeyMissingAsksKey() {
        m_env->setRegistryValue(Registry::ServerAddressValue, "127.0.0.1");
        QStringList messages;
        QStringList prompts;
        QString identity;
        // Register 5 of branch 1234 is unknown to the server: the terminal says so and the program ends.
        ModalScript script({answerMessage(&messages), typeOnKeypad("12345", &prompts), ModalScript::Step{},
                            answerMessage(&messages)});
        TfrmPrincipal shell;
        SetMainForm(&shell);
        shell.show();
        QTRY_VERIFY(!shell.isFirstActivationPending());
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join('\n')));
        QCOMPARE(messages, (QStringList{RegistorNCad, "Caixa não cadastrado."}));
        QCOMPARE(TerminalContext::current().branchCode, QStringLiteral("1234"));
        QCOMPARE(TerminalContext::current().registerCode, QStringLiteral("5"));
        QVERIFY(!shell.isVisible());
        QCOMPARE(m_env->registryValue(Registry::ServerAddressValue), QStringLiteral("127.0.0.1"));
    }

    void configuredTerminalOpensAtOnce() {
        m_env->setRegistryValue(Registry::ServerAddressValue, "127.0.0.1");
        m_env->setRegistryValue(Registry::TerminalKeyValue, "0001001999");
        QString identity;
        ModalScript script({closeTerminal(&identity)});
        TfrmPrincipal shell;
        shell.show();
        QTRY_VERIFY(!shell.isFirstActivationPending());
        QCOMPARE(script.shown(), QStringList{"frmTerminalConsu"});
        QCOMPARE(identity, QStringLiteral("0001/001"));
    }

    void unwritableRegistryIsReportedAndRetried() {
        // A file where the key's folder should be: nothing can be written until the operator mends it.
        const QString keyFolder = QFileInfo(m_env->registryFile()).path();
        QVERIFY(QDir(keyFolder).removeRecursively());
        QVERIFY(QFile(keyFolder).open(QIODevice::WriteOnly));
        QStringList messages;
        QStringList prompts;
        QString error;
        ModalScript script(
            {answerMessage(&messages), typeOnKeypad("10.0.0.5", &prompts),
             [&](QDialog& report) {
                 error = childOf<QLabel>(report, "qt_msgbox_label").text();
                 QVERIFY(QFile::remove(keyFolder));
                 m_env->setRegistryValue(Registry::ServerPortValue, QString::number(m_server->port()));
                 report.close();
             },
             answerMessage(&messages), typeOnKeypad("127.0.0.1", &prompts), answerMessage(&messages),
             typeOnKeypad("0001001", &prompts), [](QDialog& terminal) { terminal.close(); }});
        TfrmPrincipal shell;
        SetMainForm(&shell);
        shell.show();
        QTRY_VERIFY2(!shell.isFirstActivationPending(), qPrintable(script.shown().join(", ")));
        QVERIFY2(script.faults().isEmpty(),
                 qPrintable(script.faults().join('\n') + " / " + script.shown().join(", ")));
        QVERIFY2(error.contains("IPServidor"), qPrintable(error));
        QCOMPARE(m_env->registryValue(Registry::ServerAddressValue), QStringLiteral("127.0.0.1"));
    }

    void corruptRegistryIsReportedAndRetried() {
        const QString file = m_env->registryFile();
        QVERIFY(m_env->corruptRegistryFile());
        QString error;
        QString identity;
        ModalScript script({[&](QDialog& report) {
                                error = childOf<QLabel>(report, "qt_msgbox_label").text();
                                // The operator mends the key while the report is up.
                                QVERIFY(QFile::remove(file));
                                m_env->setRegistryValue(Registry::ServerAddressValue, "127.0.0.1");
                                m_env->setRegistryValue(Registry::ServerPortValue,
                                                        QString::number(m_server->port()));
                                m_env->setRegistryValue(Registry::TerminalKeyValue, "0001001");
                                report.close();
                            },
                            closeTerminal(&identity)});
        TfrmPrincipal shell;
        SetMainForm(&shell);
        shell.show();
        QTRY_VERIFY2(!shell.isFirstActivationPending(), qPrintable(script.shown().join(", ")));
        VERIFY_SCRIPT(script);
        QVERIFY2(error.contains(QFileInfo(file).fileName()), qPrintable(error));
        QCOMPARE(identity, QStringLiteral("0001/001"));
        SetMainForm(nullptr);
    }

    void workingDirectoryIsCreatedOneLevel() {
        const QString folder = QDir(m_env->root()).filePath("work");
        enterWorkingDirectory(folder);
        QCOMPARE(QDir::currentPath(), QDir(folder).canonicalPath());
        QVERIFY_THROWS_EXCEPTION(KioskError, enterWorkingDirectory(QDir(m_env->root()).filePath("a/b/c")));
        QDir::setCurrent(QDir::tempPath());
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
