#include <QTest>

#include "kit/core/Dates.h"
#include "kit/core/Errors.h"
#include "kit/core/Formats.h"
#include "kit/core/KeypadEntry.h"
#include "kit/core/Messages.h"
#include "kit/core/ServerAddress.h"
#include "kit/core/Strings.h"
#include "platform/Registry.h"
#include "support/FixedClock.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"

class TestKitCore : public QObject {
    Q_OBJECT
private slots:
    void keypadEntry_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("buffer");
        dataRow("digits", "0123456789", "0123456789");
        dataRow("point and comma", "1.2,3", "1.2,3");
        dataRow("letters blanks signs ignored", "a1 b-2+c/3", "123");
        dataRow("control code 3 becomes 3", QString(QChar(3)), "3");
        QString controls;
        for (char16_t code : {0, 1, 2, 4, 5, 6, 7}) {
            controls.append(QChar(code));
        }
        dataRow("codes 0 to 7 become digits", controls, "0124567");
        dataRow("tab becomes 9", "\t", "9");
        dataRow("backspace adds nothing", "12\b", "12");
        dataRow("the first 21 characters kept", "1234567890123456789012345", "123456789012345678901");
        dataRow("enter adds nothing", "12\r", "12");
    }

    void keypadEntry() {
        QFETCH(QString, typed);
        QFETCH(QString, buffer);
        QString result;
        for (QChar c : typed) {
            result = keypad::typed(result, c);
        }
        QCOMPARE(result, buffer);
    }

    void keypadCorrection() {
        QCOMPARE(keypad::corrected(QStringLiteral("123")), QStringLiteral("12"));
        QCOMPARE(keypad::corrected(QString()), QString());
    }

    void messageLookup_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        dataRow("exact", "Loja", "Loja");
        dataRow("any letter case", "LOJA", "Loja");
        dataRow("text keeps later bars", "Pipe", "a|b");
        dataRow("trailing blank kept", "Versao", "Versão ");
        dataRow("first of two lines", "Dup", "first");
        dataRow("missing key", "Nothing", "");
    }

    void messageLookup() {
        QFETCH(QString, key);
        QFETCH(QString, text);
        const TMessages table(
            {"Loja|Loja", "Pipe|a|b", QStringLiteral("Versao|Versão "), "Dup|first", "dup|second"}, nullptr);
        QCOMPARE(table.Msg(key), text);
    }

    void emptyString_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("empty");
        dataRow("empty", "", true);
        dataRow("blanks", "   ", true);
        dataRow("tab and newline", "\t\r\n", true);
        dataRow("text", " a ", false);
        dataRow("zero", "0", false);
    }

    void emptyString() {
        QFETCH(QString, text);
        QFETCH(bool, empty);
        QCOMPARE(EmptyString(text), empty);
    }

    void monthHelpers() {
        QCOMPARE(NomeMes(QDate(2004, 5, 10)), QStringLiteral("Maio"));
        QCOMPARE(NomeMes(QDate(2004, 3, 1)), QStringLiteral("Março"));
        QCOMPARE(UltimoDiaMes(QDate(2024, 2, 10)), QDate(2024, 2, 29));
        QCOMPARE(UltimoDiaMes(QDate(2023, 2, 10)), QDate(2023, 2, 28));
        QCOMPARE(UltimoDiaMes(QDate(2024, 4, 1)), QDate(2024, 4, 30));
        QCOMPARE((YearMonth{2024, 12}.next().year), 2025);
        QCOMPARE((YearMonth{2024, 1}.previous().month), 12);
    }

    void impossibleDateRaises() {
        QVERIFY_THROWS_EXCEPTION(DateError, makeDate(2024, 4, 31));
        QVERIFY_THROWS_EXCEPTION(DateError, makeDate(2023, 2, 29));
        QCOMPARE(makeDate(2024, 2, 29), QDate(2024, 2, 29));
        QVERIFY_THROWS_EXCEPTION(KioskError, parameterAsInteger("NRDIAINITOT", "abc"));
        QCOMPARE(parameterAsInteger("NRDIAINITOT", "16"), 16);
    }

    void numberPatterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        dataRow("0.00 grouping off", "0.00", 1234.5, "1234,50");
        dataRow("0.00 negative", "0.00", -3.0, "-3,00");
        dataRow("0.00 rounds", "0.00", 0.456, "0,46");
        dataRow("0.00 negative rounding to zero", "0.00", -0.001, "0,00");
        dataRow("#,##0.00 thousands", "#,##0.00", 1234.5, "1.234,50");
        dataRow("#,##0.00 millions", "#,##0.00", -1234567.891, "-1.234.567,89");
        dataRow("#,##0.00 zero", "#,##0.00", 0.0, "0,00");
        dataRow("0.000 quantity", "0.000", 2.5, "2,500");
    }

    void numberPatterns() {
        QFETCH(QString, pattern);
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(formats::formatFloat(pattern, value), text);
    }

    void dateTexts() {
        QCOMPARE(formats::dateText(QDate(2004, 5, 10)), QStringLiteral("10/05/2004"));
        QCOMPARE(formats::dateTimeText(QDateTime(QDate(2024, 5, 10), QTime(0, 0))),
                 QStringLiteral("10/05/2024"));
        QCOMPARE(formats::dateTimeText(QDateTime(QDate(2024, 5, 10), QTime(14, 5, 9))),
                 QStringLiteral("10/05/2024 14:05:09"));
        QCOMPARE(formats::formatDate("DD/MM", QDateTime(QDate(2024, 5, 10), QTime(14, 5))),
                 QStringLiteral("10/05"));
    }

    void moneyText_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        dataRow("sum of balances", 15.5, "R$ 15,50");
        dataRow("thousands", 1234.5, "R$ 1.234,50");
        dataRow("zero", 0.0, "R$ 0,00");
        dataRow("negative", -12.5, "-R$ 12,50");
    }

    void moneyText() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(formats::moneyText(value), text);
    }

    void generalNumberText_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        dataRow("whole", 2.0, "2");
        dataRow("fraction", 1.5, "1,5");
        dataRow("no trailing zeros", 0.125, "0,125");
        dataRow("15 significant digits", 1.0 / 3.0, "0,333333333333333");
    }

    void generalNumberText() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(formats::generalNumberText(value), text);
    }

    void clockCanBeFixedAndAdvanced() {
        const QDateTime start(QDate(2024, 1, 10), QTime(8, 0));
        {
            ScopedClock outer(start);
            QCOMPARE(Clock::now(), start);
            outer.advance(1500);
            QCOMPARE(Clock::now(), start.addMSecs(1500));
            {
                ScopedClock inner(start.addDays(1));
                QCOMPARE(Clock::today(), QDate(2024, 1, 11));
            }
            QCOMPARE(Clock::now(), start.addMSecs(1500));
        }
        QVERIFY(qAbs(Clock::now().secsTo(QDateTime::currentDateTime())) < 5);
    }

    void serverAddressAndPort_data() {
        QTest::addColumn<QString>("storedPort");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("storedCa");
        QTest::addColumn<QString>("caFile");
        dataRow("no port stored", "", DefaultServerPort, "", "");
        dataRow("port stored", "9100", 9100, "", "");
        dataRow("not a number", "abc", DefaultServerPort, "", "");
        dataRow("out of range", "70000", DefaultServerPort, "", "");
        dataRow("CA file stored", "9100", 9100, " /etc/totem/ca.pem ", "/etc/totem/ca.pem");
    }

    void serverAddressAndPort() {
        QFETCH(QString, storedPort);
        QFETCH(int, port);
        QFETCH(QString, storedCa);
        QFETCH(QString, caFile);
        TestEnvironment env;
        env.setRegistryValue(platform::Registry::ServerAddressValue, "127.0.0.1");
        if (!storedPort.isEmpty()) {
            env.setRegistryValue(platform::Registry::ServerPortValue, storedPort);
        }
        if (!storedCa.isEmpty()) {
            env.setRegistryValue(platform::Registry::ServerCaFileValue, storedCa);
        }
        QCOMPARE(WebURL(), QStringLiteral("127.0.0.1"));
        QCOMPARE(WebPort(), port);
        QCOMPARE(WebCaFile(), caFile);
    }
};

QTEST_GUILESS_MAIN(TestKitCore)
#include "tst_kitcore.moc"
