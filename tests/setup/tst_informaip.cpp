#include <QLabel>
#include <QTest>

#include "kit/Buttons.h"
#include "kit/Modal.h"
#include "setup/TfrmInformaIP.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"

namespace {

QString bufferOf(const QDialog& dialog) {
    return childOf<QLabel>(dialog, "lblBuffer").text();
}

// Answers a message form with Enter and records its text.
ModalScript::Step answerMessage(QString* text) {
    return [text](QDialog& message) {
        *text = childOf<QLabel>(message, "lblMessage").text();
        QTest::keyClick(&message, Qt::Key_Return);
    };
}

}  // namespace

class TestInformaIP : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void promptFollowsMode_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("prompt");
        dataRow("IP", "IP", QStringLiteral("Digite o código I.P. do servidor e tecle enter."));
        dataRow("XX", "XX",
                QStringLiteral("Informe o código da filial e o código do caixa sem espaços e tecle enter"));
        dataRow("lower-case ip is a key", "ip",
                QStringLiteral("Informe o código da filial e o código do caixa sem espaços e tecle enter"));
    }

    void promptFollowsMode() {
        QFETCH(QString, mode);
        QFETCH(QString, prompt);
        TfrmInformaIP dialog(mode);
        QCOMPARE(childOf<QLabel>(dialog, "lblCabec").text(), prompt);
        QCOMPARE(dialog.size(), QSize(496, 285));
    }

    void typedKeysFollowEntryRules() {
        TfrmInformaIP dialog("IP");
        dialog.show();
        QTest::keyClicks(&dialog, "1a2.3,4 -");
        QTest::keyClick(&dialog, Qt::Key_Tab);
        QTest::sendKeyEvent(QTest::Click, &dialog, Qt::Key_C, QChar(3),
                            Qt::ControlModifier);  // a device's code 3
        QCOMPARE(bufferOf(dialog), QStringLiteral("12.3,493"));
        QTest::keyClicks(&dialog, "1234567890123456789");
        QCOMPARE(bufferOf(dialog).size(), 21);
        QCOMPARE(bufferOf(dialog), QStringLiteral("12.3,4931234567890123"));
    }

    void buttonsSendTheirCharacters() {
        TfrmInformaIP dialog("IP");
        dialog.show();
        for (const char* name : {"sbt1", "sbt8", "sbt0", "sbtVirgula", "sbt9"}) {
            press(dialog, name);
        }
        press(dialog, "sbtVirg");  // disabled
        QCOMPARE(bufferOf(dialog), QStringLiteral("180.9"));
        QTest::keyClick(&dialog, Qt::Key_8);
        QCOMPARE(bufferOf(dialog), QStringLiteral("180.98"));
    }

    void editingKeys() {
        TfrmInformaIP dialog("IP");
        dialog.show();
        press(dialog, "sbtCorrigir");
        QCOMPARE(bufferOf(dialog), QString());
        QTest::keyClicks(&dialog, "123");
        QTest::keyClick(&dialog, Qt::Key_Backspace);
        QCOMPARE(bufferOf(dialog), QStringLiteral("12"));
        press(dialog, "sbtCorrigir");
        QCOMPARE(bufferOf(dialog), QStringLiteral("1"));
        QTest::keyClicks(&dialog, "234");
        QTest::keyClick(&dialog, Qt::Key_Delete);
        QCOMPARE(bufferOf(dialog), QString());
    }

    // Only what can work is stored: the dialog refuses anything else with a message and stays open, and then
    // accepts a good value.
    void okRefusesWhatCannotWork_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        const QString badAddress =
            QStringLiteral("Código I.P. inválido: digite quatro números de 0 a 255 separados por pontos.");
        const QString badKey =
            QStringLiteral("Filial e Caixa inválidos: digite os 4 dígitos da filial e os 3 do caixa.");
        dataRow("empty address", "IP", "", QStringLiteral("Código I.P. deve ser informado."));
        dataRow("empty key", "XX", "", QStringLiteral("Filial e Caixa devem ser informados."));
        dataRow("host and port typed", "IP", ".82111,2", badAddress);
        dataRow("three numbers", "IP", "10.0.5", badAddress);
        dataRow("number over 255", "IP", "10.0.256.5", badAddress);
        dataRow("leading zero", "IP", "10.0.0.05", badAddress);
        dataRow("empty part", "IP", "10..0.5", badAddress);
        dataRow("short key", "XX", "12", badKey);
        dataRow("long key", "XX", "00010012", badKey);
        dataRow("key with a point", "XX", "0001.01", badKey);
    }

    void okRefusesWhatCannotWork() {
        QFETCH(QString, mode);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        const QString good = mode == "IP" ? QStringLiteral("10.0.0.5") : QStringLiteral("0001001");
        QString shown;
        bool stayedOpen = false;
        QString kept;
        ModalScript script;
        script.then([&](QDialog& keypad) {
            QTest::keyClicks(&keypad, typed);
            QTest::keyClick(&keypad, Qt::Key_Return);  // the message below answers itself
            stayedOpen = keypad.isVisible();
            kept = bufferOf(keypad);
            QTest::keyClick(&keypad, Qt::Key_Delete);
            QTest::keyClicks(&keypad, good);
            QTest::keyClick(&keypad, Qt::Key_Return);
        });
        script.then(answerMessage(&shown));
        QCOMPARE(ShowInformaIP(mode), good);
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join('\n')));
        QCOMPARE(shown, message);
        QVERIFY(stayedOpen);
        QCOMPARE(kept, typed);  // to be corrected, not typed again
    }

    void okAcceptsBuffer() {
        ModalScript script;
        script.then([](QDialog& keypad) {
            QTest::keyClicks(&keypad, "10.0.0.5");
            press(keypad, "sbtEnter");
        });
        QCOMPARE(ShowInformaIP("IP"), QStringLiteral("10.0.0.5"));
        QVERIFY(script.faults().isEmpty());
    }

    void onlyAltAloneWithF4Closes_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("closes");
        dataRow("Alt+F4", int(Qt::AltModifier), true);
        dataRow("Ctrl+F4", int(Qt::ControlModifier), false);
        dataRow("Alt+Shift+F4", int(Qt::AltModifier | Qt::ShiftModifier), false);
        dataRow("F4", int(Qt::NoModifier), false);
    }

    void onlyAltAloneWithF4Closes() {
        QFETCH(int, modifiers);
        QFETCH(bool, closes);
        TfrmInformaIP dialog("XX");
        dialog.show();
        QTest::keyClicks(&dialog, "0001001");
        QTest::keyClick(&dialog, Qt::Key_F4, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(!dialog.isVisible(), closes);
        QCOMPARE(dialog.result(), QString());  // nothing accepted either way
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestInformaIP)
#include "tst_informaip.moc"
