#include <QTest>
#include <QTimer>

#include "kit/core/Errors.h"
#include "kit/core/Messages.h"
#include "server/ClientDataSet.h"
#include "statements/MovementRules.h"
#include "support/Rows.h"

using namespace movements;

namespace {

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
    // What the statements show for a movement's type, its amount and a balance.
    void texts_data() {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        dataRow("credit", "type", QVariant("C"), "Crédito");
        dataRow("debit", "type", QVariant("D"), "Débito");
        dataRow("adjustment", "type", QVariant("A"), "Ajuste de Saldo");
        dataRow("cancelled", "type", QVariant("X"), "Cancelado");
        dataRow("lower-case c", "type", QVariant("c"), "");
        dataRow("no value", "type", QVariant(), "");
        dataRow("key with a blank", "type", QVariant("C "), "");
        dataRow("amount: no thousands separator, rounded", "amount", QVariant(1234567.891), "1234567,89");
        dataRow("amount -0.5", "amount", QVariant(-0.5), "-0,50");
        dataRow("amount without a value", "amount", QVariant(), "0,00");
        dataRow("balance: no thousands separator", "balance", QVariant(1234.5), "R$1234,50");
        dataRow("balance -12.5", "balance", QVariant(-12.5), "(R$12,50)");
        dataRow("balance zero", "balance", QVariant(0.0), "R$0,00");
    }
    void texts() {
        QFETCH(QString, rule);
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        const TMessages types(movementTypeLines(), nullptr);
        QCOMPARE(rule == "type"     ? movementTypeText(value, types)
                 : rule == "amount" ? amountText(value)
                                    : balanceText(value.toDouble()),
                 text);
    }

    // The period as the screen shows it, or the failure: "date" for a day no month has, "number" for a text.
    void period_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("startDay");
        QTest::addColumn<QString>("endDay");
        QTest::addColumn<QString>("period");
        const QDate may15(2024, 5, 15);
        dataRow("both empty: the month", may15, "", "", "01/05/2024  -  31/05/2024");
        dataRow("start 0", may15, "0", "", "01/05/2024  -  31/05/2024");
        dataRow("start with a leading zero", may15, "05", "", "05/05/2024  -  31/05/2024");
        dataRow("16-15 after the start", QDate(2024, 1, 20), "16", "15", "16/01/2024  -  15/02/2024");
        dataRow("16-15 before the start", QDate(2024, 1, 10), "16", "15", "16/12/2023  -  15/01/2024");
        dataRow("on the start day", QDate(2024, 1, 16), "16", "15", "16/01/2024  -  15/02/2024");
        dataRow("December to January", QDate(2024, 12, 20), "16", "15", "16/12/2024  -  15/01/2025");
        dataRow("31 into a leap February", QDate(2024, 1, 12), "10", "31", "10/01/2024  -  29/02/2024");
        dataRow("30 into February", QDate(2025, 1, 12), "10", "30", "10/01/2025  -  28/02/2025");
        dataRow("1-31 always into next month", QDate(2024, 4, 10), "1", "31", "01/04/2024  -  31/05/2024");
        dataRow("end empty, began last month", QDate(2024, 3, 10), "16", "", "16/02/2024  -  31/03/2024");
        dataRow("end empty, began this month", QDate(2024, 3, 20), "16", "", "16/03/2024  -  31/03/2024");
        dataRow("end 31 limited in this month", QDate(2024, 4, 10), "16", "31", "16/03/2024  -  30/04/2024");
        dataRow("start not a number", may15, "1a", "", "number");
        dataRow("end not a number", may15, "", "x", "number");
        dataRow("end 0", may15, "10", "0", "date");
        dataRow("end 32", may15, "10", "32", "date");
        dataRow("start 30 after February", QDate(2024, 3, 10), "30", "15", "date");
    }
    void period() {
        QFETCH(QDate, today);
        QFETCH(QString, startDay);
        QFETCH(QString, endDay);
        QFETCH(QString, period);
        QString shown;
        try {
            shown = periodText(StatementPeriod::of(today, startDay, endDay));
        } catch (const DateError&) {
            shown = QStringLiteral("date");
        } catch (const KioskError&) {
            shown = QStringLiteral("number");
        }
        QCOMPARE(shown, period);
    }

    // The message box grows by a line every 76 characters, up from the band's foot, until it takes the band.
    void messageBox_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("height");
        dataRow("75", 75, 524, 20);
        dataRow("76", 76, 514, 40);
        dataRow("152", 152, 504, 60);
        dataRow("228: the whole band", 228, 495, 68);
    }
    void messageBox() {
        QFETCH(int, length);
        QFETCH(int, top);
        QFETCH(int, height);
        const BoxPlace place = fitMessageBox(QString(length, u'á'), {524, 20});
        QCOMPARE(place.top, top);
        QCOMPARE(place.height, height);
    }

    // Milliseconds, or -1 where the parameter is refused.
    void interval_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<int>("milliseconds");
        dataRow("blank", "", 10000);
        dataRow("30", "30", 30000);
        dataRow("0: never", "0", 0);
        dataRow("letters", "abc", -1);
        dataRow("negative", "-5", -1);
        dataRow("beyond a timer", "3000000", -1);
    }
    void interval() {
        QFETCH(QString, seconds);
        QFETCH(int, milliseconds);
        if (milliseconds < 0) {
            QVERIFY_THROWS_EXCEPTION(KioskError, inactivityInterval(seconds));
        } else {
            QCOMPARE(inactivityInterval(seconds), milliseconds);
        }
    }

    void balances_data() {
        QTest::addColumn<QList<double>>("rows");
        QTest::addColumn<double>("initial");
        QTest::addColumn<double>("final");
        dataRow("several", QList<double>{341.5, 330.0, -12.5, 303.8}, 341.5, 303.8);
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
        // A list never loaded has no balance field to read: it reads as an empty one.
        TClientDataSet unloaded;
        QCOMPARE(readBalances(unloaded).finalBalance, 0.0);
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
        dataRow("an empty list", 0, -1, true, -1);
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
