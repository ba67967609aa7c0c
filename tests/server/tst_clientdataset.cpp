#include <QSignalSpy>
#include <QTest>

#include "StoreRows.h"
#include "server/ClientDataSet.h"
#include "server/ServerErrors.h"
#include "support/Rows.h"

#include <functional>

namespace {

DataPacket movementPacket(const QList<double>& amounts) {
    DataPacket packet;
    packet.fields = {{"CDCLIENTE", FieldType::String, 21},
                     {"IDTIPMOCVLI", FieldType::String, 1},
                     {"VRMOVCLI", FieldType::Float, 0},
                     {"OBS", FieldType::String, 20}};
    for (double amount : amounts) {
        packet.rows.append({QStringLiteral("0001"), QStringLiteral("C"), amount, QStringLiteral("extra")});
    }
    return packet;
}

void declareMovements(TClientDataSet& dataSet) {
    dataSet.addField("CDCLIENTE", FieldType::String, 21).setVisible(false);
    dataSet.addField("IDTIPMOCVLI", FieldType::String, 1);
    dataSet.addField("VRMOVCLI", FieldType::Float);
}

QStringList column(TClientDataSet& dataSet, const QString& field) {
    QStringList values;
    for (int row = 0; row < dataSet.RecordCount(); ++row) {
        values.append(dataSet.valueAt(row, dataSet.FieldByName(field).Index()).toString());
    }
    return values;
}

}  // namespace

class TestClientDataSet : public QObject {
    Q_OBJECT
private slots:
    // Undeclared fields of a packet are kept, hidden, until the next load replaces them.
    void loadKeepsDeclaredAndUndeclaredFields() {
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({10, -2.5}));
        QVERIFY(dataSet.Active());
        QCOMPARE(dataSet.fieldCount(), 4);
        QCOMPARE(dataSet.field(3).FieldName(), QStringLiteral("OBS"));
        QVERIFY(!dataSet.field(3).Declared());
        QVERIFY(!dataSet.field(3).Visible());
        QCOMPARE(dataSet.FieldByName("obs").asString(), QStringLiteral("extra"));
        QCOMPARE(dataSet.FieldByName("VRMOVCLI").asFloat(), 10.0);
        DataPacket other = movementPacket({2});
        other.fields[3].name = "NOTA";
        dataSet.loadPacket(other);
        QVERIFY(dataSet.FindField("OBS") == nullptr);
        QCOMPARE(dataSet.FieldByName("NOTA").asString(), QStringLiteral("extra"));
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.FieldByName("OBS"));
    }

    // The declared field is sent under another name, or with another type; what was loaded stays.
    void loadRejectsPacketThatDoesNotFit_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("sentName");
        QTest::addColumn<FieldType>("sentType");
        dataRow("declared field missing", "VRMOVCLI", "VRMOV", FieldType::Float);
        dataRow("float sent as text", "VRMOVCLI", "VRMOVCLI", FieldType::String);
        dataRow("text sent as float", "IDTIPMOCVLI", "IDTIPMOCVLI", FieldType::Float);
    }

    void loadRejectsPacketThatDoesNotFit() {
        QFETCH(QString, field);
        QFETCH(QString, sentName);
        QFETCH(FieldType, sentType);
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({1, 2, 3}));
        dataSet.Next();
        DataPacket bad = movementPacket({7});
        const qsizetype at = bad.fieldIndex(field);
        bad.fields[at] = {sentName, sentType, 0};
        bad.rows[0][at] = sentType == FieldType::String ? QVariant(QStringLiteral("7")) : QVariant(7.0);
        try {
            dataSet.loadPacket(bad);
            QFAIL("the packet was accepted");
        } catch (const DataSetError& error) {
            QVERIFY2(error.text().contains(field), qPrintable(error.text()));
        }
        QCOMPARE(dataSet.RecordCount(), 3);
        QCOMPARE(dataSet.currentRow(), 1);
        QCOMPARE(dataSet.FieldByName("VRMOVCLI").asFloat(), 2.0);
    }

    void fieldReadsOnCurrentRecord() {
        TClientDataSet stores;
        stores.loadPacket(storePacket());
        stores.Locate("CDLOJA", "004");
        QVERIFY(stores.FieldByName("VRTOTAL").isNull());
        QCOMPARE(stores.FieldByName("VRTOTAL").asFloat(), 0.0);
        QCOMPARE(stores.FieldByName("NRSEQ").asInteger(), 4);
        QCOMPARE(stores.FieldByName("DTMOV").asDateTime(), QDateTime(QDate(2024, 5, 3), QTime(0, 0)));
        stores.First();
        QCOMPARE(stores.FieldByName("VRTOTAL").asString(), QStringLiteral("10,5"));
        QCOMPARE(stores.FieldByName("VRTOTAL").asInteger(), 11);
        QVERIFY(stores.FieldByName("IDATIVO").asBoolean());
    }

    void emptyDataSetHasNoCurrentRecord() {
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({}));
        QVERIFY(dataSet.IsEmpty());
        QCOMPARE(dataSet.currentRow(), -1);
        QVERIFY(dataSet.Bof() && dataSet.Eof());
        dataSet.Next();
        dataSet.Prior();
        dataSet.Last();
        QVERIFY(dataSet.Bof() && dataSet.Eof());
        QVERIFY(dataSet.FieldByName("VRMOVCLI").isNull());
        QCOMPARE(dataSet.FieldByName("VRMOVCLI").asFloat(), 0.0);
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.Delete());
    }

    // The cursor stops at both ends, with Bof and Eof set there ("B", "E"), and every move is announced.
    void cursorMoves_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("notifications");
        QTest::addColumn<int>("finalRow");
        QTest::addColumn<QString>("ends");
        dataRow("loaded", "", 0, 0, "B");
        dataRow("next to the last row", "NN", 2, 2, "");
        dataRow("next past the end", "NNN", 3, 2, "E");
        dataRow("prior at the start", "P", 1, 0, "B");
        dataRow("last", "L", 1, 2, "E");
        dataRow("last then prior", "LP", 2, 1, "");
        dataRow("first", "NF", 2, 0, "B");
        dataRow("row 2", "2", 1, 2, "");
        dataRow("insert", "I", 1, 0, "");
        dataRow("delete", "D", 1, 0, "");
        dataRow("filter", "f", 1, 0, "B");
        dataRow("index keeping the current row", "No", 2, 1, "");
    }

    void cursorMoves() {
        QFETCH(QString, steps);
        QFETCH(int, notifications);
        QFETCH(int, finalRow);
        QFETCH(QString, ends);
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({1, 2, 3}));
        QSignalSpy afterScroll(&dataSet, &TClientDataSet::AfterScroll);
        const QHash<QChar, std::function<void()>> moves{
            {u'N', [&] { dataSet.Next(); }},
            {u'P', [&] { dataSet.Prior(); }},
            {u'F', [&] { dataSet.First(); }},
            {u'L', [&] { dataSet.Last(); }},
            {u'2', [&] { dataSet.setCurrentRow(2); }},
            {u'I', [&] { dataSet.Insert(); }},
            {u'D', [&] { dataSet.Delete(); }},
            {u'f', [&] { dataSet.setFilter("VRMOVCLI > 1"), dataSet.setFiltered(true); }},
            {u'o', [&] { dataSet.addIndexDef("AMOUNT", "VRMOVCLI"), dataSet.setIndexName("AMOUNT"); }}};
        for (QChar step : steps) {
            moves[step]();
        }
        QCOMPARE(afterScroll.count(), notifications);
        QCOMPARE(dataSet.currentRow(), finalRow);
        QCOMPARE(dataSet.Bof(), ends.contains(u'B'));
        QCOMPARE(dataSet.Eof(), ends.contains(u'E'));
        QCOMPARE(dataSet.FieldByName("VRMOVCLI").asString(), column(dataSet, "VRMOVCLI").at(finalRow));
    }

    // An insert goes in front of the current row and becomes current; cancelled it goes, moving posts it.
    void insertGoesInFrontOfCurrentRow() {
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.CreateDataSet();
        for (int amount : {1, 2, 3}) {
            dataSet.Insert();
            dataSet.FieldByName("VRMOVCLI").setValue(amount);
            dataSet.Post();
            QCOMPARE(dataSet.currentRow(), 0);
        }
        QCOMPARE(column(dataSet, "VRMOVCLI"), (QStringList{"3", "2", "1"}));
        dataSet.Last();
        dataSet.Insert();
        QCOMPARE(dataSet.RecordCount(), 4);
        QCOMPARE(dataSet.currentRow(), 2);
        QVERIFY(!dataSet.Bof() && !dataSet.Eof());
        dataSet.FieldByName("VRMOVCLI").setValue(9);
        dataSet.Cancel();
        QCOMPARE(dataSet.state(), TClientDataSet::State::Browse);
        QCOMPARE(column(dataSet, "VRMOVCLI"), (QStringList{"3", "2", "1"}));
        dataSet.Insert();
        dataSet.FieldByName("VRMOVCLI").setValue("7.5");
        dataSet.Next();
        QCOMPARE(dataSet.state(), TClientDataSet::State::Browse);
        QCOMPARE(column(dataSet, "VRMOVCLI"), (QStringList{"3", "2", "7.5", "1"}));
        QCOMPARE(dataSet.currentRow(), 3);
    }

    void deleteMakesFollowingRowCurrent_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("current");
        dataRow("first", 0, QStringList{"2", "3"}, 0);
        dataRow("middle", 1, QStringList{"1", "3"}, 1);
        dataRow("last", 2, QStringList{"1", "2"}, 1);
    }

    void deleteMakesFollowingRowCurrent() {
        QFETCH(int, row);
        QFETCH(QStringList, left);
        QFETCH(int, current);
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({1, 2, 3}));
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.setCurrentRow(3));
        dataSet.setCurrentRow(row);
        dataSet.Delete();
        QCOMPARE(column(dataSet, "VRMOVCLI"), left);
        QCOMPARE(dataSet.currentRow(), current);
        dataSet.Delete();
        dataSet.Delete();
        QVERIFY(dataSet.IsEmpty() && dataSet.Bof() && dataSet.Eof());
        QCOMPARE(dataSet.currentRow(), -1);
    }

    // From the last row (whose code is empty): the first row whose value equals the key becomes current.
    void locateMovesOnlyWhenFound_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("key");
        QTest::addColumn<QString>("code");
        dataRow("text, field name in any case", "cdloja", QVariant("0'3"), "0'3");
        dataRow("text not found", "CDLOJA", QVariant("999"), "");
        dataRow("integer", "NRSEQ", QVariant(5), "005");
        dataRow("null", "VRTOTAL", QVariant(), "004");
        dataRow("boolean", "IDATIVO", QVariant(false), "002");
        dataRow("date-time", "DTMOV", QVariant(QDateTime(QDate(2024, 5, 2), QTime(8, 0))), "002");
        dataRow("date-time, other hour", "DTMOV", QVariant(QDateTime(QDate(2024, 5, 2), QTime(0, 0))), "");
    }

    void locateMovesOnlyWhenFound() {
        QFETCH(QString, field);
        QFETCH(QVariant, key);
        QFETCH(QString, code);
        TClientDataSet stores;
        stores.loadPacket(storePacket());
        stores.Last();
        QCOMPARE(stores.Locate(field, key), !code.isEmpty());
        QCOMPARE(stores.FieldByName("CDLOJA").asString(), code);
    }

    void indexSortsIgnoringCaseAndAccentsStably() {
        TClientDataSet names;
        names.addField("CODE", FieldType::String);
        names.addField("NAME", FieldType::String);
        DataPacket packet;
        packet.fields = {{"CODE", FieldType::String, 0}, {"NAME", FieldType::String, 0}};
        packet.rows = {{"1", "banana"}, {"2", "Açaí"}, {"3", "abacate"}, {"4", "Banana"},
                       {"5", "avião"},  {"6", "Açaí"}, {"7", QVariant()}};
        names.loadPacket(packet);
        names.addIndexDef("NAME", "NAME");
        names.setIndexName("name");
        QCOMPARE(column(names, "CODE"), (QStringList{"7", "3", "2", "6", "5", "4", "1"}));
        names.setIndexName("");
        QCOMPARE(column(names, "CODE"), (QStringList{"1", "2", "3", "4", "5", "6", "7"}));
        QVERIFY_THROWS_EXCEPTION(DataSetError, names.setIndexName("CODE"));
        QVERIFY_THROWS_EXCEPTION(DataSetError, names.addIndexDef("name", "CODE"));  // the name is taken
        names.addIndexDef("BAD", "MISSING");
        QVERIFY_THROWS_EXCEPTION(DataSetError, names.setIndexName("BAD"));
        QCOMPARE(names.IndexName(), QString());
    }

    // A key decides only between rows its earlier keys hold equal; equal keys keep the packet's order.
    void indexOrdersByKeysInTurn_data() {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QStringList>("codes");
        dataRow("date-time, then quantity", "WHEN;QTY", QStringList{"B", "D", "C", "A"});
        dataRow("quantity, then date-time", "QTY;WHEN", QStringList{"B", "C", "D", "A"});
        dataRow("equal quantities", "QTY", QStringList{"B", "C", "A", "D"});
    }

    void indexOrdersByKeysInTurn() {
        QFETCH(QString, fields);
        QFETCH(QStringList, codes);
        const QDateTime first(QDate(2024, 5, 1), QTime(10, 0));
        const QDateTime second = first.addDays(1);
        DataPacket packet;
        packet.fields = {
            {"CODE", FieldType::String, 1}, {"WHEN", FieldType::DateTime, 0}, {"QTY", FieldType::Float, 0}};
        packet.rows = {{"A", second, 2.0}, {"B", first, 1.0}, {"C", second, 1.0}, {"D", first, 2.0}};
        TClientDataSet rows;
        rows.loadPacket(packet);
        rows.addIndexDef("ORDER", fields);
        rows.setIndexName("ORDER");
        QCOMPARE(column(rows, "CODE"), codes);
    }

    // Changing the order keeps the current record, and a posted row takes its place in the order.
    void indexKeepsCurrentRecord() {
        TClientDataSet stores;
        stores.loadPacket(storePacket());
        stores.addIndexDef("NMLOJA", "NMLOJA");
        stores.Locate("CDLOJA", "005");
        QSignalSpy afterScroll(&stores, &TClientDataSet::AfterScroll);
        stores.setIndexName("NMLOJA");
        QCOMPARE(stores.FieldByName("CDLOJA").asString(), QStringLiteral("005"));
        QCOMPARE(stores.currentRow(), 0);
        QCOMPARE(afterScroll.count(), 1);
        stores.Insert();
        QCOMPARE(stores.currentRow(), 0);
        stores.FieldByName("CDLOJA").setValue("T");
        stores.FieldByName("NMLOJA").setValue("TODAS");
        stores.Post();
        QCOMPARE(column(stores, "NMLOJA").last(), QStringLiteral("TODAS"));
        QCOMPARE(stores.currentRow(), stores.RecordCount() - 1);
        stores.clearIndexDefs();
        QCOMPARE(stores.IndexName(), QString());
        QCOMPARE(column(stores, "CDLOJA"), (QStringList{"001", "002", "0'3", "004", "T", "005", ""}));
        QCOMPARE(stores.FieldByName("CDLOJA").asString(), QStringLiteral("T"));
    }

    void filterAndIndexWorkTogether() {
        TClientDataSet stores;
        stores.loadPacket(storePacket());
        stores.addIndexDef("NMLOJA", "NMLOJA");
        stores.addIndexDef("CDLOJA", "CDLOJA");
        stores.setIndexName("NMLOJA");
        stores.setFilter("UPPER(NMLOJA) LIKE 'C%' OR UPPER(NMLOJA) LIKE 'Ç%'");
        stores.setFiltered(true);
        QCOMPARE(column(stores, "CDLOJA"), (QStringList{"001", "002", "0'3", "004"}));
        stores.Last();
        stores.setIndexName("CDLOJA");
        QCOMPARE(column(stores, "CDLOJA"), (QStringList{"0'3", "001", "002", "004"}));
        QCOMPARE(stores.FieldByName("CDLOJA").asString(), QStringLiteral("004"));
        stores.setFilter("UPPER(NMLOJA) LIKE 'CA%'");
        QCOMPARE(column(stores, "CDLOJA"), (QStringList{"001", "002"}));
        QCOMPARE(stores.currentRow(), 0);
        stores.setFiltered(false);
        QCOMPARE(column(stores, "CDLOJA"), (QStringList{"", "0'3", "001", "002", "004", "005"}));
        stores.clearIndexDefs();
        QCOMPARE(column(stores, "CDLOJA"), (QStringList{"001", "002", "0'3", "004", "005", ""}));
    }

    // A filter set before the load applies to it; a row posted outside the filter leaves the view.
    void filterSetWhileClosedAppliesOnLoad() {
        TClientDataSet other;
        other.setFilter("CDFILIAL = '1'");
        other.setFiltered(true);
        QVERIFY_THROWS_EXCEPTION(FilterError, other.loadPacket(storePacket()));
        QVERIFY(!other.Active());
        TClientDataSet stores;
        stores.setFilter("NRSEQ < 3");
        stores.setFiltered(true);
        stores.loadPacket(storePacket());
        QCOMPARE(column(stores, "CDLOJA"), (QStringList{"001", "002"}));
        stores.Last();
        stores.Edit();
        stores.FieldByName("NRSEQ").setValue(10);
        stores.Post();
        QCOMPARE(column(stores, "CDLOJA"), QStringList{"001"});
        QCOMPARE(stores.currentRow(), 0);
        stores.setFiltered(false);
        QVERIFY(stores.Locate("NRSEQ", 10));
        QCOMPARE(stores.FieldByName("CDLOJA").asString(), QStringLiteral("002"));
    }

    void editingOpeningAndClosing() {
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.FieldByName("CDCLIENTE").setReadOnly(true);
        dataSet.loadPacket(movementPacket({1, 2}));
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.FieldByName("VRMOVCLI").setValue(5));
        dataSet.Edit();
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.FieldByName("CDCLIENTE").setValue("x"));
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.FieldByName("VRMOVCLI").setValue("abc"));
        dataSet.FieldByName("VRMOVCLI").setValue(5);
        QCOMPARE(dataSet.FieldByName("VRMOVCLI").asFloat(), 5.0);
        dataSet.Cancel();
        QCOMPARE(dataSet.FieldByName("VRMOVCLI").asFloat(), 1.0);
        dataSet.Edit();
        dataSet.FieldByName("VRMOVCLI").setValue(6);
        dataSet.Post();
        QCOMPARE(column(dataSet, "VRMOVCLI"), (QStringList{"6", "2"}));
        dataSet.Open();
        QCOMPARE(dataSet.RecordCount(), 2);
        dataSet.Close();
        QVERIFY(!dataSet.Active());
        QCOMPARE(dataSet.RecordCount(), 0);
        QCOMPARE(dataSet.fieldCount(), 3);
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.Insert());
        dataSet.Open();
        QVERIFY(dataSet.Active() && dataSet.IsEmpty());
        dataSet.Insert();
        dataSet.Post();
        dataSet.CreateDataSet();
        QVERIFY(dataSet.IsEmpty());
        TClientDataSet undeclared;
        QVERIFY_THROWS_EXCEPTION(DataSetError, undeclared.CreateDataSet());
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.addField("LATE", FieldType::String));
    }

    // Formats the grid model's test does not show ("0.00", "0.000", "DD/MM" are there).
    void displayTexts_data() {
        QTest::addColumn<FieldType>("type");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        dataRow("float #,##0.00", FieldType::Float, "#,##0.00", QVariant(1234.5), "1.234,50");
        dataRow("float plain", FieldType::Float, "", QVariant(1234.5), "1234,5");
        dataRow("null float", FieldType::Float, "0.00", QVariant(), "");
        dataRow("integer", FieldType::Integer, "", QVariant(qlonglong(42)), "42");
    }

    void displayTexts() {
        QFETCH(FieldType, type);
        QFETCH(QString, format);
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        TClientDataSet dataSet;
        dataSet.addField("F", type).setDisplayFormat(format);
        dataSet.loadPacket(DataPacket{{{"F", type, 0}}, {QVariantList{value}}});
        QCOMPARE(dataSet.FieldByName("F").DisplayText(), text);
        QCOMPARE(dataSet.displayTextAt(0, 0), text);
        dataSet.FieldByName("F").setOnGetText(
            [](const QVariant& v) { return QStringLiteral("<%1>").arg(v.toString()); });
        QCOMPARE(dataSet.FieldByName("F").DisplayText(), QStringLiteral("<%1>").arg(value.toString()));
    }
};

QTEST_GUILESS_MAIN(TestClientDataSet)
#include "tst_clientdataset.moc"
