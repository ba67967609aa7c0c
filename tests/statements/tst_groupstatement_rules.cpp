#include <QTest>

#include "kit/core/Errors.h"
#include "server/ClientDataSet.h"
#include "statements/GroupPeriod.h"
#include "statements/GroupQuery.h"
#include "statements/SubGroupTotals.h"
#include "support/Rows.h"

namespace {

// A product line: sub-group, quantity, employee's and subsidised unit prices.
struct Line {
    QString subGroup;
    double quantity;
    double employee;
    double subsidised;
};

// The rows in a packet of the table's own fields, as the server sends them.
void load(TClientDataSet& table, const QList<QVariantList>& rows) {
    DataPacket packet{{}, rows};
    for (int index = 0; index < table.fieldCount(); ++index) {
        const TField& field = table.field(index);
        packet.fields.append({field.FieldName(), field.DataType(), field.Size()});
    }
    table.loadPacket(packet);
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
        QList<QVariantList> productRows;
        for (const Line& line : lines) {
            productRows.append({QVariant(), line.subGroup, QVariant(), QVariant(), line.employee,
                                line.subsidised, line.quantity, QVariant()});
        }
        QList<QVariantList> subGroupRows;
        for (const QString& code : codes) {
            subGroupRows.append({code, QStringLiteral("Nome ") + code, QVariant(), QVariant(), QVariant()});
        }
        load(products, productRows);
        load(subGroups, subGroupRows);
        list.CreateDataSet();
    }
};

}  // namespace

class TestGroupStatementRules : public QObject {
    Q_OBJECT
private slots:
    // The period of the current month and of the one before as "start-end", or the failure: "date" for a day
    // no month has, "number" for a text. An empty one adds no row.
    void period_data() {
        QTest::addColumn<QString>("today");
        QTest::addColumn<QString>("startDay");
        QTest::addColumn<QString>("endDay");
        QTest::addColumn<bool>("previousMonth");
        QTest::addColumn<QString>("period");
        const auto row = [](const char* name, const char* today, const char* startDay, const char* endDay,
                            const char* current, const char* previous) {
            for (const bool previousMonth : {false, true}) {
                const QString period = QString::fromLatin1(previousMonth ? previous : current);
                if (!period.isEmpty()) {
                    QTest::addRow("%s, %s", name, previousMonth ? "previous" : "current")
                        << QString::fromLatin1(today) << QString::fromLatin1(startDay)
                        << QString::fromLatin1(endDay) << previousMonth << period;
                }
            }
        };
        row("25/05 calendar month", "25/05/2004", "", "", "01/05/2004-31/05/2004", "01/04/2004-30/04/2004");
        row("25/05 21st to 20th", "25/05/2004", "21", "20", "21/05/2004-20/06/2004", "21/04/2004-20/05/2004");
        row("10/05 21st to 20th", "10/05/2004", "21", "20", "21/04/2004-20/05/2004", "21/03/2004-20/04/2004");
        row("10/05 1st to 20th", "10/05/2004", "", "20", "01/05/2004-20/06/2004", "01/04/2004-20/05/2004");
        row("10/05 21st to end", "10/05/2004", "21", "", "21/04/2004-31/05/2004", "21/03/2004-30/04/2004");
        row("10/01 calendar month", "10/01/2004", "", "", "01/01/2004-31/01/2004", "01/12/2003-31/12/2003");
        row("25/12 21st to 20th", "25/12/2004", "21", "20", "21/12/2004-20/01/2005", "21/11/2004-20/12/2004");
        row("start day 0 as blank", "10/05/2004", "0", "", "01/05/2004-31/05/2004", "01/04/2004-30/04/2004");
        row("start day on today", "21/05/2004", "21", "20", "21/05/2004-20/06/2004", "21/04/2004-20/05/2004");
        row("end day 31 in June", "10/05/2004", "", "31", "date", "");
        row("start day 31 in April", "10/05/2004", "31", "", "date", "");
        row("start day 30 in February", "10/04/2004", "30", "", "", "date");
        row("start day no number", "10/05/2004", "x", "", "number", "");
        row("end day no number", "10/05/2004", "", "fim", "number", "");
    }

    void period() {
        QFETCH(QString, today);
        QFETCH(QString, startDay);
        QFETCH(QString, endDay);
        QFETCH(bool, previousMonth);
        QFETCH(QString, period);
        const QString format = QStringLiteral("dd/MM/yyyy");
        QString shown;
        try {
            const GroupPeriod range =
                GroupPeriod::of(QDate::fromString(today, format), startDay, endDay, previousMonth);
            shown = range.start.toString(format) + u'-' + range.end.toString(format);
        } catch (const DateError&) {
            shown = QStringLiteral("date");
        } catch (const KioskError&) {
            shown = QStringLiteral("number");
        }
        QCOMPARE(shown, period);
    }

    void inactivityInterval_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<int>("interval");
        dataRow("30", "30", 30000);
        dataRow("-5", "-5", -1);
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
        dataRow("rounding noise is zero",
                QList<Line>{{"12", 1, 0.1, 0}, {"12", 1, 0.2, 0}, {"12", -1, 0.3, 0}}, QStringList{"12"},
                QStringList{}, 0.0, 0.0);
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

    // A blank store code is no store, whatever its name.
    void storeLine() {
        QCOMPARE(groupStoreLine("Loja", " ", "Cafeteria"), QString());
        QCOMPARE(groupStoreLine("Loja", "3", "Cafeteria"), QStringLiteral("Loja  3  Cafeteria"));
    }
};

QTEST_GUILESS_MAIN(TestGroupStatementRules)
#include "tst_groupstatement_rules.moc"
