#include <QTest>

#include "kit/core/Errors.h"
#include "server/ClientDataSet.h"
#include "statements/GroupPeriod.h"
#include "statements/GroupQuery.h"
#include "statements/SubGroupTotals.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"
#include "terminal/TerminalContext.h"

namespace {

// A product line: sub-group, quantity, employee's and subsidised unit prices.
struct Line {
    QString subGroup;
    double quantity;
    double employee;
    double subsidised;
};

DataPacket productPacket(const QList<Line>& lines) {
    DataPacket packet{{{"DTENTRVENDA", FieldType::DateTime},
                       {"CDSUBGRPROD", FieldType::String, 10},
                       {"CDPRODUTO", FieldType::String, 10},
                       {"NMPRODUTO", FieldType::String, 50},
                       {"VRUNITVEND", FieldType::Float},
                       {"VRUNITVENDCL", FieldType::Float},
                       {"QTPRODVEND", FieldType::Float},
                       {"VRTOTAL", FieldType::Float}},
                      {}};
    int product = 0;
    for (const Line& line : lines) {
        ++product;
        packet.rows.append({QDateTime(QDate(2024, 5, 10), QTime(12, 0)), line.subGroup,
                            QString::number(product), QStringLiteral("Produto %1").arg(product),
                            line.employee, line.subsidised, line.quantity,
                            line.quantity * (line.employee + line.subsidised)});
    }
    return packet;
}

DataPacket subGroupPacket(const QStringList& codes) {
    DataPacket packet{{{"CDSUBGRPROD", FieldType::String, 10},
                       {"NMSUBGRPROD", FieldType::String, 40},
                       {"VRFUNC", FieldType::Float},
                       {"VRSUBS", FieldType::Float},
                       {"VRTOTAL", FieldType::Float}},
                      {}};
    for (const QString& code : codes) {
        packet.rows.append({code, QStringLiteral("Nome ") + code, 0.0, 0.0, 0.0});
    }
    return packet;
}

// The list as "code=amount" lines, top to bottom.
QStringList listRows(TClientDataSet& list) {
    QStringList rows;
    for (int row = 0; row < list.RecordCount(); ++row) {
        list.setCurrentRow(row);
        rows.append(list.FieldByName("CDSUBGRPROD").asString() + u'=' +
                    QString::number(list.FieldByName("VRTOTAL").asFloat(), 'f', 2));
    }
    return rows;
}

struct Tables {
    TClientDataSet products;
    TClientDataSet subGroups;
    TClientDataSet list;

    Tables(const QList<Line>& lines, const QStringList& codes) {
        declareProductLines(products);
        declareSubGroups(subGroups);
        declareSubGroupList(list);
        products.loadPacket(productPacket(lines));
        subGroups.loadPacket(subGroupPacket(codes));
        list.CreateDataSet();
    }
};

}  // namespace

class TestGroupStatementRules : public QObject {
    Q_OBJECT
private slots:
    void period_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("startDay");
        QTest::addColumn<QString>("endDay");
        QTest::addColumn<bool>("previousMonth");
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        const auto row = [](const char* name, QDate today, const char* startDay, const char* endDay,
                            QDate currentStart, QDate currentEnd, QDate previousStart, QDate previousEnd) {
            QTest::addRow("%s, current", name)
                << today << QString::fromLatin1(startDay) << QString::fromLatin1(endDay) << false
                << currentStart << currentEnd;
            QTest::addRow("%s, previous", name)
                << today << QString::fromLatin1(startDay) << QString::fromLatin1(endDay) << true
                << previousStart << previousEnd;
        };
        row("25/05 calendar month", QDate(2004, 5, 25), "", "", QDate(2004, 5, 1), QDate(2004, 5, 31),
            QDate(2004, 4, 1), QDate(2004, 4, 30));
        row("25/05 21st to 20th", QDate(2004, 5, 25), "21", "20", QDate(2004, 5, 21), QDate(2004, 6, 20),
            QDate(2004, 4, 21), QDate(2004, 5, 20));
        row("10/05 21st to 20th", QDate(2004, 5, 10), "21", "20", QDate(2004, 4, 21), QDate(2004, 5, 20),
            QDate(2004, 3, 21), QDate(2004, 4, 20));
        row("10/05 1st to 20th", QDate(2004, 5, 10), "", "20", QDate(2004, 5, 1), QDate(2004, 6, 20),
            QDate(2004, 4, 1), QDate(2004, 5, 20));
        row("10/05 21st to month end", QDate(2004, 5, 10), "21", "", QDate(2004, 4, 21), QDate(2004, 5, 31),
            QDate(2004, 3, 21), QDate(2004, 4, 30));
        row("10/01 calendar month", QDate(2004, 1, 10), "", "", QDate(2004, 1, 1), QDate(2004, 1, 31),
            QDate(2003, 12, 1), QDate(2003, 12, 31));
        row("25/12 21st to 20th", QDate(2004, 12, 25), "21", "20", QDate(2004, 12, 21), QDate(2005, 1, 20),
            QDate(2004, 11, 21), QDate(2004, 12, 20));
        row("start day 0 as blank", QDate(2004, 5, 10), "0", "", QDate(2004, 5, 1), QDate(2004, 5, 31),
            QDate(2004, 4, 1), QDate(2004, 4, 30));
        row("blank start day as blank", QDate(2004, 3, 10), "  ", "", QDate(2004, 3, 1), QDate(2004, 3, 31),
            QDate(2004, 2, 1), QDate(2004, 2, 29));
        row("start day on today", QDate(2004, 5, 21), "21", "20", QDate(2004, 5, 21), QDate(2004, 6, 20),
            QDate(2004, 4, 21), QDate(2004, 5, 20));
    }

    void period() {
        QFETCH(QDate, today);
        QFETCH(QString, startDay);
        QFETCH(QString, endDay);
        QFETCH(bool, previousMonth);
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        const GroupPeriod period = GroupPeriod::of(today, startDay, endDay, previousMonth);
        QCOMPARE(period.start, start);
        QCOMPARE(period.end, end);
    }

    void impossibleDayStops_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("startDay");
        QTest::addColumn<QString>("endDay");
        QTest::addColumn<bool>("previousMonth");
        QTest::addColumn<bool>("dateError");
        dataRow("end day 31 in June", QDate(2004, 5, 10), "", "31", false, true);
        dataRow("start day 31 in April", QDate(2004, 5, 10), "31", "", false, true);
        dataRow("start day 30 in February, previous", QDate(2004, 4, 10), "30", "", true, true);
        dataRow("end day 0", QDate(2004, 5, 10), "", "0", false, true);
        dataRow("start day no number", QDate(2004, 5, 10), "x", "", false, false);
        dataRow("end day no number", QDate(2004, 5, 10), "", "fim", false, false);
    }

    void impossibleDayStops() {
        QFETCH(QDate, today);
        QFETCH(QString, startDay);
        QFETCH(QString, endDay);
        QFETCH(bool, previousMonth);
        QFETCH(bool, dateError);
        try {
            GroupPeriod::of(today, startDay, endDay, previousMonth);
            QFAIL("no failure");
        } catch (const DateError&) {
            QVERIFY(dateError);
        } catch (const KioskError&) {
            QVERIFY(!dateError);
        }
    }

    void inactivityInterval_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<int>("interval");
        dataRow("30", "30", 30000);
        dataRow("0", "0", 0);
        dataRow("blank", "", -1);
        dataRow("blanks", "   ", -1);
        dataRow("-5", "-5", -1);
        dataRow("five digits", "99999", 99999000);
    }

    void inactivityInterval() {
        QFETCH(QString, seconds);
        QFETCH(int, interval);
        QCOMPARE(groupInactivityInterval(seconds), interval);
    }

    void subGroupList_data() {
        QTest::addColumn<QList<Line>>("lines");
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<double>("employee");
        QTest::addColumn<double>("subsidised");
        dataRow("reverse order of the server's",
                QList<Line>{{"11", 1, 8.5, 12.5}, {"22", 1, 3, 1}, {"11", 2, 1, 0}, {"31", 0.45, 20, 5}},
                QStringList{"11", "22", "31"}, QStringList{"31=11.25", "22=4.00", "11=23.00"}, 22.5, 15.75);
        dataRow("a sub-group adding up to zero is left out",
                QList<Line>{{"12", 1, 2.5, 0.5}, {"14", 1, 0, 0}, {"21", 1, 3, 0}},
                QStringList{"12", "14", "21"}, QStringList{"21=3.00", "12=3.00"}, 5.5, 0.5);
        dataRow("a return never moves the next sub-group's amount",
                QList<Line>{{"11", 1, 5, 1}, {"12", -1, 4, 0}, {"13", 1, 2, 0}},
                QStringList{"11", "12", "13"}, QStringList{"13=2.00", "11=6.00"}, 7.0, 1.0);
        dataRow("a sub-group cancelled by its return",
                QList<Line>{{"12", 1, 4, 1}, {"12", -1, 4, 1}, {"13", 1, 2, 0}}, QStringList{"12", "13"},
                QStringList{"13=2.00"}, 2.0, 0.0);
        dataRow("rounding noise is zero",
                QList<Line>{{"12", 1, 0.1, 0}, {"12", 1, 0.2, 0}, {"12", -1, 0.3, 0}}, QStringList{"12"},
                QStringList{}, 0.0, 0.0);
        dataRow("no purchases", QList<Line>{}, QStringList{}, QStringList{}, 0.0, 0.0);
    }

    void subGroupList() {
        QFETCH(QList<Line>, lines);
        QFETCH(QStringList, codes);
        QFETCH(QStringList, listed);
        QFETCH(double, employee);
        QFETCH(double, subsidised);
        Tables tables(lines, codes);
        const GrandTotals totals = buildSubGroupList(tables.subGroups, tables.products, tables.list);
        QCOMPARE(listRows(tables.list), listed);
        QCOMPARE(qRound64(totals.employee * 100), qRound64(employee * 100));
        QCOMPARE(qRound64(totals.subsidised * 100), qRound64(subsidised * 100));
    }

    void filterKeepsOneSubGroupWhateverItsCode_data() {
        QTest::addColumn<QString>("code");
        dataRow("quote", "O'1");
        dataRow("closing quote and condition", "1' OR 'a'='a");
        dataRow("empty", "");
    }

    void filterKeepsOneSubGroupWhateverItsCode() {
        QFETCH(QString, code);
        Tables tables({{code, 1, 2, 1}, {"99", 1, 7, 0}, {code, 2, 1, 0}}, {code, "99"});
        const GrandTotals totals = buildSubGroupList(tables.subGroups, tables.products, tables.list);
        QCOMPARE(listRows(tables.list), (QStringList{"99=7.00", code + "=5.00"}));
        QCOMPARE(qRound64(totals.employee * 100), 1100);
        restrictToSubGroup(tables.products, code);
        QCOMPARE(tables.products.RecordCount(), 2);
    }

    void callArgumentsAndReportText() {
        TestEnvironment env;
        TerminalContext context;
        context.branchCode = "0001";
        context.CDCLIENTE = "10";
        context.CDCONSUMIDOR = "1001";
        context.CDGRUPPROD = "1";
        const GroupQuery query = GroupQuery::of(context, QDate(2024, 4, 21), QDate(2024, 5, 20), "T");
        const QVariantList arguments = query.arguments();
        QCOMPARE(arguments.size(), 7);
        QCOMPARE(arguments.at(0), QVariant(QStringLiteral("0001")));
        QCOMPARE(arguments.at(3), QVariant(QStringLiteral("1")));
        QCOMPARE(arguments.at(4).metaType(), QMetaType::fromType<QDateTime>());
        QCOMPARE(arguments.at(4).toDateTime(), QDateTime(QDate(2024, 4, 21), QTime(0, 0)));
        QCOMPARE(arguments.at(5).toDateTime(), QDateTime(QDate(2024, 5, 20), QTime(0, 0)));
        QCOMPARE(arguments.at(6), QVariant(QStringLiteral("T")));
        QCOMPARE(query.parametersText(), QStringLiteral("0001-10-1001-1-21/04/2024-20/05/2024-T"));
    }

    void storeLine_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line");
        dataRow("no store", "", "", "");
        dataRow("blank code, a name", " ", "Cafeteria", "");
        dataRow("all stores", "T", "TODAS", "Loja  T  TODAS");
        dataRow("one store", "3", "Cafeteria", "Loja  3  Cafeteria");
    }

    void storeLine() {
        QFETCH(QString, code);
        QFETCH(QString, name);
        QFETCH(QString, line);
        QCOMPARE(groupStoreLine("Loja", code, name), line);
    }
};

QTEST_GUILESS_MAIN(TestGroupStatementRules)
#include "tst_groupstatement_rules.moc"
