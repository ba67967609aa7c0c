#include <QTest>
#include <QTimer>

#include "kit/core/Errors.h"
#include "kit/core/Formats.h"
#include "kit/core/Messages.h"
#include "server/ClientDataSet.h"
#include "statements/MovementRules.h"
#include "support/Rows.h"

using namespace movements;

namespace {

QDate day(const QString& text) {
    return QDate::fromString(text, QStringLiteral("dd/MM/yyyy"));
}

// A loaded list of movements whose balances after each movement are the given ones.
void loadBalances(TClientDataSet& list, const QList<double>& balances) {
    DataPacket packet;
    packet.fields = {{QStringLiteral("IDTIPMOCVLI"), FieldType::String, 1},
                     {QStringLiteral("VRSALDOCONS"), FieldType::Float, 0}};
    for (double balance : balances) {
        packet.rows.append({QStringLiteral("C"), balance});
    }
    list.loadPacket(packet);
}

}  // namespace

class TestMovementRules : public QObject {
    Q_OBJECT
private slots:
    void movementType_data() {
        QTest::addColumn<QVariant>("code");
        QTest::addColumn<QString>("text");
        dataRow("credit", QVariant("C"), "Crédito");
        dataRow("debit", QVariant("D"), "Débito");
        dataRow("adjustment", QVariant("A"), "Ajuste de Saldo");
        dataRow("cancelled", QVariant("X"), "Cancelado");
        dataRow("lower-case c", QVariant("c"), "");
        dataRow("lower-case x", QVariant("x"), "");
        dataRow("blank", QVariant(" "), "");
        dataRow("empty", QVariant(""), "");
        dataRow("no value", QVariant(), "");
        dataRow("other letter", QVariant("Z"), "");
        dataRow("key with a blank", QVariant("C "), "");
    }
    void movementType() {
        QFETCH(QVariant, code);
        QFETCH(QString, text);
        const TMessages table(movementTypeLines(), nullptr);
        QCOMPARE(movementTypeText(code, table), text);
    }

    void amount_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        dataRow("1234.5", QVariant(1234.5), "1234,50");
        dataRow("-3", QVariant(-3.0), "-3,00");
        dataRow("0.456 rounds", QVariant(0.456), "0,46");
        dataRow("-0.5", QVariant(-0.5), "-0,50");
        dataRow("no thousands separator", QVariant(1234567.891), "1234567,89");
        dataRow("zero", QVariant(0.0), "0,00");
        dataRow("no value", QVariant(), "0,00");
        dataRow("an integer", QVariant(7), "7,00");
    }
    void amount() {
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        QCOMPARE(amountText(value), text);
    }

    void balance_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        dataRow("250", 250.0, "R$250,00");
        dataRow("-12.5", -12.5, "(R$12,50)");
        dataRow("-0.5", -0.5, "(R$0,50)");
        dataRow("zero", 0.0, "R$0,00");
        dataRow("no thousands separator", 1234.5, "R$1234,50");
    }
    void balance() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(balanceText(value), text);
    }

    void period_data() {
        QTest::addColumn<QString>("today");
        QTest::addColumn<QString>("startDay");
        QTest::addColumn<QString>("endDay");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        dataRow("both empty: the month", "15/05/2024", "", "", "01/05/2024", "31/05/2024");
        dataRow("blanks count as empty", "15/05/2024", "  ", " ", "01/05/2024", "31/05/2024");
        dataRow("start 0", "15/05/2024", "0", "", "01/05/2024", "31/05/2024");
        dataRow("start below 0 as text", "15/05/2024", "-5", "", "01/05/2024", "31/05/2024");
        dataRow("16-15 after the start", "20/01/2024", "16", "15", "16/01/2024", "15/02/2024");
        dataRow("16-15 before the start", "10/01/2024", "16", "15", "16/12/2023", "15/01/2024");
        dataRow("on the start day", "16/01/2024", "16", "15", "16/01/2024", "15/02/2024");
        dataRow("the day before the start", "15/01/2024", "16", "15", "16/12/2023", "15/01/2024");
        dataRow("December to January", "20/12/2024", "16", "15", "16/12/2024", "15/01/2025");
        dataRow("31 into a leap February", "12/01/2024", "10", "31", "10/01/2024", "29/02/2024");
        dataRow("30 into a leap February", "12/01/2024", "10", "30", "10/01/2024", "29/02/2024");
        dataRow("30 into February", "12/01/2025", "10", "30", "10/01/2025", "28/02/2025");
        dataRow("31 into April", "12/03/2024", "10", "31", "10/03/2024", "30/04/2024");
        dataRow("31 into March", "12/02/2024", "10", "31", "10/02/2024", "31/03/2024");
        dataRow("1-31 always into next month", "10/04/2024", "1", "31", "01/04/2024", "31/05/2024");
        dataRow("end empty, began last month", "10/03/2024", "16", "", "16/02/2024", "31/03/2024");
        dataRow("end empty, began this month", "20/03/2024", "16", "", "16/03/2024", "31/03/2024");
        dataRow("end 31 limited in this month", "10/04/2024", "16", "31", "16/03/2024", "30/04/2024");
    }
    void period() {
        QFETCH(QString, today);
        QFETCH(QString, startDay);
        QFETCH(QString, endDay);
        QFETCH(QString, start);
        QFETCH(QString, end);
        const StatementPeriod period = StatementPeriod::of(day(today), startDay, endDay);
        QCOMPARE(formats::dateText(period.start), start);
        QCOMPARE(formats::dateText(period.end), end);
    }

    void periodFails_data() {
        QTest::addColumn<QString>("today");
        QTest::addColumn<QString>("startDay");
        QTest::addColumn<QString>("endDay");
        QTest::addColumn<bool>("notANumber");
        dataRow("start not a number", "15/05/2024", "1a", "", true);
        dataRow("end not a number", "15/05/2024", "", "x", true);
        dataRow("end 0", "15/05/2024", "10", "0", false);
        dataRow("end 32", "15/05/2024", "10", "32", false);
        dataRow("end 45 into February", "15/01/2024", "10", "45", false);
        dataRow("start 30 after February", "10/03/2024", "30", "15", false);
    }
    void periodFails() {
        QFETCH(QString, today);
        QFETCH(QString, startDay);
        QFETCH(QString, endDay);
        QFETCH(bool, notANumber);
        try {
            StatementPeriod::of(day(today), startDay, endDay);
            QFAIL("no failure");
        } catch (const DateError&) {
            QVERIFY(!notANumber);
        } catch (const KioskError&) {
            QVERIFY(notANumber);
        }
    }

    void texts() {
        QCOMPARE(headerText("1001", "Ana Paula Ribeiro"), QString("1001 - Ana Paula Ribeiro"));
        QCOMPARE(periodText({QDate(2023, 12, 16), QDate(2024, 1, 15)}), QString("16/12/2023  -  15/01/2024"));
    }

    void dateTimes_data() {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QString>("text");
        dataRow("midnight shows the date alone", QDateTime(QDate(2024, 5, 10), QTime(0, 0)), "10/05/2024");
        dataRow("a time", QDateTime(QDate(2024, 5, 10), QTime(12, 30, 5)), "10/05/2024 12:30:05");
        dataRow("five past midnight", QDateTime(QDate(2024, 5, 15), QTime(0, 5)), "15/05/2024 00:05:00");
    }
    void dateTimes() {
        QFETCH(QDateTime, moment);
        QFETCH(QString, text);
        TClientDataSet list;
        list.addField(QStringLiteral("DTMOVCLI"), FieldType::DateTime);
        list.loadPacket({{{QStringLiteral("DTMOVCLI"), FieldType::DateTime, 0}}, {{moment}}});
        QCOMPARE(list.displayTextAt(0, 0), text);
    }

    void messageBox_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("height");
        dataRow("empty", 0, 524, 20);
        dataRow("75", 75, 524, 20);
        dataRow("76", 76, 514, 40);
        dataRow("151", 151, 514, 40);
        dataRow("152", 152, 504, 60);
        dataRow("160", 160, 504, 60);
        dataRow("200", 200, 504, 60);
        dataRow("227", 227, 504, 60);
        dataRow("228: the whole band", 228, 495, 68);
        dataRow("400", 400, 495, 68);
    }
    void messageBox() {
        QFETCH(int, length);
        QFETCH(int, top);
        QFETCH(int, height);
        const BoxPlace place = fitMessageBox(QString(length, u'á'), {524, 20});
        QCOMPARE(place.top, top);
        QCOMPARE(place.height, height);
    }

    void interval_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<int>("milliseconds");
        dataRow("blank", "", 10000);
        dataRow("blanks", "   ", 10000);
        dataRow("30", "30", 30000);
        dataRow("15", "15", 15000);
        dataRow("0: never", "0", 0);
        dataRow("the widest parameter", "99999", 99999000);
    }
    void interval() {
        QFETCH(QString, seconds);
        QFETCH(int, milliseconds);
        QCOMPARE(inactivityInterval(seconds), milliseconds);
    }

    void intervalFails_data() {
        QTest::addColumn<QString>("seconds");
        dataRow("letters", "abc");
        dataRow("negative", "-5");
        dataRow("beyond a timer", "3000000");
    }
    void intervalFails() {
        QFETCH(QString, seconds);
        QVERIFY_THROWS_EXCEPTION(KioskError, inactivityInterval(seconds));
    }

    void balances_data() {
        QTest::addColumn<QList<double>>("rows");
        QTest::addColumn<double>("initial");
        QTest::addColumn<double>("final");
        dataRow("several", QList<double>{341.5, 330.0, -12.5, 303.8}, 341.5, 303.8);
        dataRow("one", QList<double>{250.0}, 250.0, 250.0);
        dataRow("none", QList<double>{}, 0.0, 0.0);
    }
    void balances() {
        QFETCH(QList<double>, rows);
        QFETCH(double, initial);
        QFETCH(double, final);
        TClientDataSet list;
        loadBalances(list, rows);
        list.Last();
        const Balances read = readBalances(list);
        QCOMPARE(read.initialBalance, initial);
        QCOMPARE(read.finalBalance, final);
        QCOMPARE(list.currentRow(), rows.isEmpty() ? -1 : 0);
    }

    void balancesOfAnUnloadedList() {
        TClientDataSet list;
        const Balances read = readBalances(list);
        QCOMPARE(read.initialBalance, 0.0);
        QCOMPARE(read.finalBalance, 0.0);
    }

    void paging_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("from");
        QTest::addColumn<bool>("next");
        QTest::addColumn<int>("to");
        dataRow("next", 3, 0, true, 1);
        dataRow("previous", 3, 2, false, 1);
        dataRow("next on the last row", 3, 2, true, 2);
        dataRow("previous on the first row", 3, 0, false, 0);
        dataRow("next on an empty list", 0, -1, true, -1);
        dataRow("previous on an empty list", 0, -1, false, -1);
        dataRow("an unloaded list", -1, -1, true, -1);
    }
    void paging() {
        QFETCH(int, rows);
        QFETCH(int, from);
        QFETCH(bool, next);
        QFETCH(int, to);
        TClientDataSet list;
        if (rows >= 0) {
            loadBalances(list, QList<double>(rows, 1.0));
        }
        if (from >= 0) {
            list.setCurrentRow(from);
        }
        QTimer countdown;
        countdown.setTimerType(Qt::PreciseTimer);
        countdown.start(60000);
        QTest::qWait(30);
        const int left = countdown.remainingTime();
        page(list, next ? Paging::Next : Paging::Previous, countdown);
        QCOMPARE(list.currentRow(), to);
        // The countdown began afresh: more time is left than before the press.
        QVERIFY(countdown.isActive());
        QVERIFY2(countdown.remainingTime() > left, qPrintable(QString::number(countdown.remainingTime())));
    }
};

QTEST_GUILESS_MAIN(TestMovementRules)
#include "tst_movementrules.moc"
