#include <QTest>

#include "setup/TfrmInformaIP.h"
#include "support/MessageSteps.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"

class TestInformaIP : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    // What reaches the buffer: "sbtX" taps a key of the keypad, "key:Name" presses a key, "^C" sends the
    // character code 3 that some devices send, anything else is typed.
    void entry_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("buffer");
        dataRow("typed keys follow the entry rules", QStringList{"1a2.3,4 -", "key:Tab", "^C"}, "12.3,493");
        dataRow("keypad keys, Vírgula disabled",
                QStringList{"sbt1", "sbt8", "sbt0", "sbtVirgula", "sbt9", "sbtVirg", "8"}, "180.98");
        dataRow("Backspace", QStringList{"123", "key:Backspace"}, "12");
        dataRow("Corrigir", QStringList{"123", "sbtCorrigir"}, "12");
        dataRow("Delete", QStringList{"1234", "key:Del"}, "");
    }

    void entry() {
        QFETCH(QStringList, steps);
        TfrmInformaIP dialog("IP");
        dialog.show();
        for (const QString& step : steps) {
            if (step.startsWith(u"sbt")) {
                press(dialog, qPrintable(step));
            } else if (step.startsWith(u"key:")) {
                QTest::keyClick(&dialog, QKeySequence(step.mid(4))[0].key());
            } else if (step == u"^C") {
                QTest::sendKeyEvent(QTest::Click, &dialog, Qt::Key_C, QChar(3), Qt::ControlModifier);
            } else {
                QTest::keyClicks(&dialog, step);
            }
        }
        QTEST(bufferOf(dialog), "buffer");
    }

    // The keypad asks for the mode's value; only what can work is stored: anything else is refused with a
    // message, the keypad stays open with it for correction, and then takes a good value.
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
        dataRow("lower-case ip asks for a key", "ip", "10.0.0.5", badKey);
    }

    void okRefusesWhatCannotWork() {
        QFETCH(QString, mode);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        const bool address = mode == "IP";
        const QString good = address ? QStringLiteral("10.0.0.5") : QStringLiteral("0001001");
        QStringList shown;
        QString prompt, kept;
        bool stayedOpen = false;
        ModalScript script({[&](QDialog& keypad) {
                                prompt = childOf<QLabel>(keypad, "lblCabec").text();
                                QTest::keyClicks(&keypad, typed);
                                QTest::keyClick(&keypad, Qt::Key_Return);  // the message below answers itself
                                stayedOpen = keypad.isVisible();
                                kept = bufferOf(keypad);
                                QTest::keyClick(&keypad, Qt::Key_Delete);
                                QTest::keyClicks(&keypad, good);
                                press(keypad, "sbtEnter");
                            },
                            answerMessage(&shown)});
        QCOMPARE(ShowInformaIP(mode), good);
        VERIFY_SCRIPT(script);
        const QString addressPrompt = QStringLiteral("Digite o código I.P. do servidor e tecle enter.");
        const QString keyPrompt =
            QStringLiteral("Informe o código da filial e o código do caixa sem espaços e tecle enter");
        QCOMPARE(prompt, address ? addressPrompt : keyPrompt);
        QCOMPARE(shown, QStringList{message});
        QVERIFY(stayedOpen);
        QCOMPARE(kept, typed);  // to be corrected, not typed again
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
        TfrmInformaIP dialog("XX");
        dialog.show();
        QTest::keyClicks(&dialog, "0001001");
        QTest::keyClick(&dialog, Qt::Key_F4, Qt::KeyboardModifiers(modifiers));
        QTEST(!dialog.isVisible(), "closes");
        QCOMPARE(dialog.result(), QString());  // nothing accepted either way
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestInformaIP)
#include "tst_informaip.moc"
