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
        dataRow("10 characters", "0001001999", "0001", "001");
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
        // Register 999 of branch 0001 is unknown to the server: the terminal says so and the program ends.
        ModalScript script({answerMessage(&messages), typeOnKeypad("0001999", &prompts), ModalScript::Step{},
                            answerMessage(&messages)});
        TfrmPrincipal shell;
        SetMainForm(&shell);
        shell.show();
        QTRY_VERIFY(!shell.isFirstActivationPending());
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join('\n')));
        QCOMPARE(messages, (QStringList{RegistorNCad, "Caixa não cadastrado."}));
        QVERIFY(!shell.isVisible());
        QCOMPARE(m_env->registryValue(Registry::ServerAddressValue), QStringLiteral("127.0.0.1"));
    }

    // A stored value that cannot work is asked for again; one that can is used as it stands.
    void storedValuesThatCannotWorkAreAskedAgain_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("typed");
        const QString badAddress = QStringLiteral(
            "Endereço I.P. do servidor inválido no Registro do Windows. Pressione OK para corrigi-lo.");
        const QString badKey =
            QStringLiteral("Chave do Totem inválida no Registro do Windows. Pressione OK para corrigi-la.");
        dataRow("both valid", "127.0.0.1", "0001001", QStringList{}, "");
        dataRow("host name", "localhost", "0001001", QStringList{}, "");
        dataRow("address typed with a port", ".82111,2", "0001001", QStringList{badAddress}, "127.0.0.1");
        dataRow("key of 10 characters", "127.0.0.1", "0001001999", QStringList{badKey}, "0001001");
        dataRow("key of 5 characters", "127.0.0.1", "12345", QStringList{badKey}, "0001001");
    }

    void storedValuesThatCannotWorkAreAskedAgain() {
        QFETCH(QString, address);
        QFETCH(QString, key);
        QFETCH(QStringList, messages);
        QFETCH(QString, typed);
        m_env->setRegistryValue(Registry::ServerAddressValue, address);
        m_env->setRegistryValue(Registry::TerminalKeyValue, key);
        QStringList shown;
        QStringList prompts;
        QString identity;
        ModalScript script;
        if (!typed.isEmpty()) {
            script.then(answerMessage(&shown));
            script.then(typeOnKeypad(typed, &prompts));
        }
        script.then(closeTerminal(&identity));
        TfrmPrincipal shell;
        shell.show();
        QTRY_VERIFY(!shell.isFirstActivationPending());
        VERIFY_SCRIPT(script);
        QCOMPARE(shown, messages);
        QCOMPARE(identity, QStringLiteral("0001/001"));
        const bool addressAsked = messages.size() == 1 && messages[0].contains("I.P.");
        QCOMPARE(m_env->registryValue(Registry::ServerAddressValue), addressAsked ? typed : address);
        QCOMPARE(m_env->registryValue(Registry::TerminalKeyValue), typed.isEmpty() || addressAsked ? key : typed);
        // Closed alone, the terminal leaves a kiosk that serves no one: the program ends.
        QVERIFY(!shell.isVisible());
    }

    void keypadLeftWithoutValueEndsTheProgram() {
        QStringList messages;
        ModalScript script({answerMessage(&messages), [](QDialog& keypad) {
                                QTest::keyClicks(&keypad, "10.0.0.5");
                                QTest::keyClick(&keypad, Qt::Key_F4, Qt::AltModifier);
                            }});
        TfrmPrincipal shell;
        shell.show();
        QTRY_VERIFY(!shell.isFirstActivationPending());
        VERIFY_SCRIPT(script);
        QCOMPARE(messages, QStringList{RegIPNCad});
        QVERIFY(!shell.isVisible());
        QCOMPARE(m_env->registryValue(Registry::ServerAddressValue), QString());
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

    void workingDirectoryIsCreatedWithItsParents() {
        const QString folder = QDir(m_env->root()).filePath("home/.local/share/totem");
        enterWorkingDirectory(folder);
        QCOMPARE(QDir::currentPath(), QDir(folder).canonicalPath());
        QFile blocker(QDir(m_env->root()).filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QVERIFY_THROWS_EXCEPTION(KioskError, enterWorkingDirectory(QDir(m_env->root()).filePath("file/totem")));
        QDir::setCurrent(QDir::tempPath());
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
