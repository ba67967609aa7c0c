#include <QTest>

#include "kit/core/Dates.h"
#include "kit/core/Errors.h"
#include "kit/core/Formats.h"
#include "kit/core/KeypadEntry.h"
#include "kit/core/Messages.h"
#include "kit/core/ServerAddress.h"
#include "kit/core/SetupValues.h"
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
        dataRow("digits, point and comma", "0123456789.,", "0123456789.,");
        dataRow("letters blanks signs ignored", "a1 b-2+c/3", "123");
        QString controls;
        for (char16_t code = 0; code <= 7; ++code) {
            controls.append(QChar(code));
        }
        dataRow("codes 0 to 7 become digits", controls, "01234567");
        dataRow("tab becomes 9", "\t", "9");
        dataRow("backspace adds nothing", "12\b", "12");
        dataRow("the first 21 characters kept", "1234567890123456789012345", "123456789012345678901");
        dataRow("correction drops the last", "123<", "12");
        dataRow("correction of nothing", "<", "");
    }

    // Typed characters, '<' standing for the correction key.
    void keypadEntry() {
        QFETCH(QString, typed);
        QFETCH(QString, buffer);
        QString result;
        for (QChar c : typed) {
            result = c == u'<' ? keypad::corrected(result) : keypad::typed(result, c);
        }
        QCOMPARE(result, buffer);
    }

    void messageLookup_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
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
        dataRow("text", " a ", false);
    }

    void emptyString() {
        QFETCH(QString, text);
        QFETCH(bool, empty);
        QCOMPARE(EmptyString(text), empty);
    }

    void dates() {
        QCOMPARE(NomeMes(QDate(2004, 3, 1)), QStringLiteral("Março"));
        QCOMPARE(UltimoDiaMes(QDate(2024, 2, 10)), QDate(2024, 2, 29));
        QCOMPARE((YearMonth{2024, 12}.next().year), 2025);
        QCOMPARE((YearMonth{2024, 1}.previous().month), 12);
        QVERIFY_THROWS_EXCEPTION(DateError, makeDate(2023, 2, 29));
        QCOMPARE(makeDate(2024, 2, 29), QDate(2024, 2, 29));
        QVERIFY_THROWS_EXCEPTION(KioskError, parameterAsInteger("NRDIAINITOT", "abc"));
        QCOMPARE(parameterAsInteger("NRDIAINITOT", "16"), 16);
    }

    // A display pattern, "money" for the currency text, or "general" for a number without pattern.
    void numberTexts_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        dataRow("0.00 grouping off", "0.00", 1234.5, "1234,50");
        dataRow("0.00 rounds", "0.00", 0.456, "0,46");
        dataRow("0.00 negative rounding to zero", "0.00", -0.001, "0,00");
        dataRow("#,##0.00 thousands", "#,##0.00", 1234.5, "1.234,50");
        dataRow("#,##0.00 millions", "#,##0.00", -1234567.891, "-1.234.567,89");
        dataRow("0.000 quantity", "0.000", 2.5, "2,500");
        dataRow("#,##0 no decimals", "#,##0", 1234.4, "1.234");
        dataRow("money, thousands", "money", 1234.5, "R$ 1.234,50");
        dataRow("money, zero", "money", 0.0, "R$ 0,00");
        dataRow("money, negative", "money", -12.5, "-R$ 12,50");
        dataRow("general, fraction", "general", 1.5, "1,5");
        dataRow("general, 15 significant digits", "general", 1.0 / 3.0, "0,333333333333333");
    }

    void numberTexts() {
        QFETCH(QString, pattern);
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(pattern == "money"     ? formats::moneyText(value)
                 : pattern == "general" ? formats::generalNumberText(value)
                                        : formats::formatFloat(pattern, value),
                 text);
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

    // What the set-up keypad accepts as the server's address: a dotted IPv4 address or a host name.
    void usableServerAddress_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("usable");
        dataRow("IPv4", "10.0.0.255", true);
        dataRow("host name", "localhost", true);
        dataRow("qualified name, capitals, inner hyphen", "Servidor-1.rede.local", true);
        dataRow("number over 255", "10.0.0.256", false);
        dataRow("leading zero", "10.0.0.05", false);
        dataRow("name ending in digits", "rede.123", false);
        dataRow("label starting with a hyphen", "-servidor", false);
        dataRow("label of 64 characters", QString(64, u'a'), false);
        dataRow("with a port", "servidor:8211", false);
        dataRow("empty label", "servidor..local", false);
    }

    void usableServerAddress() {
        QFETCH(QString, address);
        QTEST(isUsableServerAddress(address), "usable");
    }

    void serverAddressAndPort_data() {
        QTest::addColumn<QString>("storedPort");
        QTest::addColumn<int>("port");
        dataRow("no port stored", "", DefaultServerPort);
        dataRow("port stored", "9100", 9100);
        dataRow("not a number", "abc", DefaultServerPort);
        dataRow("out of range", "70000", DefaultServerPort);
    }

    void serverAddressAndPort() {
        QFETCH(QString, storedPort);
        QFETCH(int, port);
        TestEnvironment env;
        env.setRegistryValue(platform::Registry::ServerAddressValue, "127.0.0.1");
        env.setRegistryValue(platform::Registry::ServerPortValue, storedPort);
        env.setRegistryValue(platform::Registry::ServerCaFileValue, " /etc/totem/ca.pem ");
        QCOMPARE(WebURL(), QStringLiteral("127.0.0.1"));
        QCOMPARE(WebPort(), port);
        QCOMPARE(WebCaFile(), QStringLiteral("/etc/totem/ca.pem"));
    }
};

QTEST_GUILESS_MAIN(TestKitCore)
#include "tst_kitcore.moc"
