#include <QSignalSpy>
#include <QTest>

#include "StoreRows.h"
#include "server/ClientDataSet.h"
#include "server/ServerErrors.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"

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

void declareFinal(TClientDataSet& dataSet) {
    dataSet.addField("CDSUBGRPROD", FieldType::String, 10);
    dataSet.addField("VRTOTAL", FieldType::Float).setDisplayFormat("0.00");
}

void insertFinal(TClientDataSet& dataSet, const QString& code) {
    dataSet.Insert();
    dataSet.FieldByName("CDSUBGRPROD").setValue(code);
    dataSet.FieldByName("VRTOTAL").setValue(1);
    dataSet.Post();
}

}  // namespace

class TestClientDataSet : public QObject {
    Q_OBJECT
private slots:
    void init() { m_environment = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_environment.reset(); }

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
    }

    void loadRejectsPacketThatDoesNotFit_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<FieldType>("sentType");
        QTest::addColumn<bool>("removed");
        dataRow("declared field missing", "VRMOVCLI", FieldType::Float, true);
        dataRow("float sent as text", "VRMOVCLI", FieldType::String, false);
        dataRow("text sent as float", "IDTIPMOCVLI", FieldType::Float, false);
    }

    void loadRejectsPacketThatDoesNotFit() {
        QFETCH(QString, field);
        QFETCH(FieldType, sentType);
        QFETCH(bool, removed);
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({1, 2, 3}));
        dataSet.Next();
        DataPacket bad = movementPacket({7});
        const qsizetype at = bad.fieldIndex(field);
        if (removed) {
            bad.fields.removeAt(at);
            bad.rows[0].removeAt(at);
        } else {
            bad.fields[at].type = sentType;
            bad.rows[0][at] = sentType == FieldType::String ? QVariant(QStringLiteral("7")) : QVariant(7.0);
        }
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

    void withoutDeclaredFieldsEveryFieldIsTaken() {
        TClientDataSet balance;
        DataPacket packet;
        packet.fields = {{"VRSALDPECONS", FieldType::Float, 0}, {"VRSALDOCONS", FieldType::Integer, 0}};
        packet.rows = {{10.0, qlonglong(5)}};
        balance.setData(QVariant::fromValue(packet));
        QCOMPARE(balance.fieldCount(), 2);
        QVERIFY(balance.field(0).Visible() && balance.field(1).Visible());
        QCOMPARE(balance.FieldByName("VRSALDPECONS").asFloat() + balance.FieldByName("VRSALDOCONS").asFloat(),
                 15.0);
    }

    void reloadReplacesUndeclaredFields() {
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({1}));
        DataPacket other = movementPacket({2});
        other.fields[3].name = "NOTA";
        dataSet.loadPacket(other);
        QVERIFY(dataSet.FindField("OBS") == nullptr);
        QCOMPARE(dataSet.FieldByName("NOTA").asString(), QStringLiteral("extra"));
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.FieldByName("OBS"));
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
        QCOMPARE(dataSet.RecordCount(), 0);
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

    void cursorStopsAtBothEnds() {
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({1, 2, 3}));
        QCOMPARE(dataSet.currentRow(), 0);
        QVERIFY(dataSet.Bof() && !dataSet.Eof());
        dataSet.Prior();
        QCOMPARE(dataSet.currentRow(), 0);
        QVERIFY(dataSet.Bof());
        dataSet.Next();
        QVERIFY(!dataSet.Bof() && !dataSet.Eof());
        dataSet.Next();
        QCOMPARE(dataSet.FieldByName("VRMOVCLI").asFloat(), 3.0);
        QVERIFY(!dataSet.Eof());
        dataSet.Next();
        QCOMPARE(dataSet.currentRow(), 2);
        QVERIFY(dataSet.Eof());
        dataSet.First();
        QVERIFY(dataSet.Bof() && !dataSet.Eof());
        dataSet.Last();
        QVERIFY(dataSet.Eof() && !dataSet.Bof());
        dataSet.Prior();
        QCOMPARE(dataSet.currentRow(), 1);
        QVERIFY(!dataSet.Eof());
        double sum = 0;
        for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
            sum += dataSet.FieldByName("VRMOVCLI").asFloat();
        }
        QCOMPARE(sum, 6.0);
    }

    void afterScrollFollowsEveryMove_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("notifications");
        QTest::addColumn<int>("finalRow");
        dataRow("next", "N", 1, 1);
        dataRow("next past the end", "NNNN", 4, 2);
        dataRow("prior at the start", "P", 1, 0);
        dataRow("last then prior", "LP", 2, 1);
        dataRow("first", "F", 1, 0);
        dataRow("row 2", "2", 1, 2);
        dataRow("locate found", "=", 1, 2);
        dataRow("locate not found", "?", 0, 0);
        dataRow("insert", "I", 1, 0);
        dataRow("delete", "D", 1, 0);
        dataRow("filter", "f", 1, 0);
    }

    void afterScrollFollowsEveryMove() {
        QFETCH(QString, steps);
        QFETCH(int, notifications);
        QFETCH(int, finalRow);
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
            {u'=', [&] { dataSet.Locate("VRMOVCLI", 3); }},
            {u'?', [&] { dataSet.Locate("VRMOVCLI", 9); }},
            {u'I', [&] { dataSet.Insert(); }},
            {u'D', [&] { dataSet.Delete(); }},
            {u'f', [&] { dataSet.setFilter("VRMOVCLI > 1"), dataSet.setFiltered(true); }}};
        for (QChar step : steps) {
            moves[step]();
        }
        QCOMPARE(afterScroll.count(), notifications);
        QCOMPARE(dataSet.currentRow(), finalRow);
    }

    // Each insert goes in front of the current row and becomes current, at the top as in the middle.
    void insertGoesInFrontOfCurrentRow() {
        TClientDataSet final;
        declareFinal(final);
        final.CreateDataSet();
        for (const char* code : {"A", "B", "C"}) {
            insertFinal(final, code);
            QCOMPARE(final.FieldByName("CDSUBGRPROD").asString(), code);
            QCOMPARE(final.currentRow(), 0);
        }
        QCOMPARE(column(final, "CDSUBGRPROD"), (QStringList{"C", "B", "A"}));
        final.Last();
        insertFinal(final, "middle");
        QCOMPARE(column(final, "CDSUBGRPROD"), (QStringList{"C", "B", "middle", "A"}));
        QCOMPARE(final.currentRow(), 2);
        QVERIFY(!final.Bof() && !final.Eof());
    }

    // A cancelled insert leaves no row; moving away from an inserted row posts it.
    void insertCancelledOrPostedByMoving() {
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({1, 2}));
        dataSet.Next();
        dataSet.Insert();
        QCOMPARE(dataSet.RecordCount(), 3);
        dataSet.FieldByName("VRMOVCLI").setValue(9);
        dataSet.Cancel();
        QCOMPARE(dataSet.state(), TClientDataSet::State::Browse);
        QCOMPARE(column(dataSet, "VRMOVCLI"), (QStringList{"1", "2"}));
        dataSet.First();
        dataSet.Insert();
        dataSet.FieldByName("VRMOVCLI").setValue("7.5");
        dataSet.Next();
        QCOMPARE(dataSet.state(), TClientDataSet::State::Browse);
        QCOMPARE(column(dataSet, "VRMOVCLI"), (QStringList{"7.5", "1", "2"}));
        QCOMPARE(dataSet.currentRow(), 1);
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
        dataSet.setCurrentRow(row);
        dataSet.Delete();
        QCOMPARE(column(dataSet, "VRMOVCLI"), left);
        QCOMPARE(dataSet.currentRow(), current);
        dataSet.Delete();
        dataSet.Delete();
        QVERIFY(dataSet.IsEmpty() && dataSet.Bof() && dataSet.Eof());
        QCOMPARE(dataSet.currentRow(), -1);
    }

    void locateMovesOnlyWhenFound() {
        TClientDataSet stores;
        stores.loadPacket(storePacket());
        QVERIFY(stores.Locate("cdloja", "0'3"));
        QCOMPARE(stores.currentRow(), 2);
        QVERIFY(!stores.Locate("CDLOJA", "999"));
        QCOMPARE(stores.currentRow(), 2);
        QVERIFY(stores.Locate("NRSEQ", 5));
        QCOMPARE(stores.FieldByName("CDLOJA").asString(), QStringLiteral("005"));
        QVERIFY(stores.Locate("VRTOTAL", QVariant()));
        QCOMPARE(stores.FieldByName("CDLOJA").asString(), QStringLiteral("004"));
        QVERIFY_THROWS_EXCEPTION(DataSetError, stores.Locate("CDFILIAL", "1"));
    }

    void replaceAllStoresRow() {
        TClientDataSet stores;
        stores.addField("CDLOJA", FieldType::String, 10).setDisplayLabel("Código");
        stores.addField("NMLOJA", FieldType::String, 50).setDisplayLabel("Nome");
        DataPacket packet;
        packet.fields = {{"CDLOJA", FieldType::String, 10}, {"NMLOJA", FieldType::String, 50}};
        packet.rows = {{"001", "Loja 1"}, {"T", "Velha"}, {"002", "Loja 2"}};
        stores.loadPacket(packet);
        stores.Open();
        if (stores.Locate("CDLOJA", "T")) {
            stores.Delete();
        }
        stores.Insert();
        stores.FieldByName("CDLOJA").setValue("T");
        stores.FieldByName("NMLOJA").setValue("TODAS");
        stores.Post();
        QCOMPARE(column(stores, "CDLOJA"), (QStringList{"001", "T", "002"}));
        QCOMPARE(column(stores, "NMLOJA"), (QStringList{"Loja 1", "TODAS", "Loja 2"}));
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
        names.addIndexDef("BAD", "MISSING");
        QVERIFY_THROWS_EXCEPTION(DataSetError, names.setIndexName("BAD"));
        QCOMPARE(names.IndexName(), QString());
    }

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
        stores.clearIndexDefs();
        QCOMPARE(stores.IndexName(), QString());
        QCOMPARE(stores.currentRow(), 4);
    }

    void postedRowTakesItsIndexPlace() {
        TClientDataSet stores;
        stores.loadPacket(storePacket());
        stores.addIndexDef("NMLOJA", "NMLOJA");
        stores.setIndexName("NMLOJA");
        stores.First();
        stores.Insert();
        QCOMPARE(stores.currentRow(), 0);
        stores.FieldByName("CDLOJA").setValue("T");
        stores.FieldByName("NMLOJA").setValue("TODAS");
        stores.Post();
        QCOMPARE(column(stores, "NMLOJA").last(), QStringLiteral("TODAS"));
        QCOMPARE(stores.currentRow(), stores.RecordCount() - 1);
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

    void filterSetWhileClosedAppliesOnLoad() {
        TClientDataSet stores;
        stores.setFilter("NRSEQ > 4");
        stores.setFiltered(true);
        stores.loadPacket(storePacket());
        QCOMPARE(column(stores, "CDLOJA"), (QStringList{"005", ""}));
        TClientDataSet other;
        other.setFilter("CDFILIAL = '1'");
        other.setFiltered(true);
        QVERIFY_THROWS_EXCEPTION(FilterError, other.loadPacket(storePacket()));
        QVERIFY(!other.Active());
    }

    void postedRowOutsideFilterLeavesView() {
        TClientDataSet stores;
        stores.loadPacket(storePacket());
        stores.setFilter("NRSEQ < 3");
        stores.setFiltered(true);
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

    void closeAndCreateDataSet() {
        TClientDataSet dataSet;
        declareMovements(dataSet);
        dataSet.loadPacket(movementPacket({1, 2}));
        dataSet.Close();
        QVERIFY(!dataSet.Active());
        QCOMPARE(dataSet.RecordCount(), 0);
        QCOMPARE(dataSet.fieldCount(), 3);
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.Insert());
        dataSet.CreateDataSet();
        QVERIFY(dataSet.Active() && dataSet.IsEmpty());
        dataSet.Insert();
        dataSet.Post();
        dataSet.CreateDataSet();
        QVERIFY(dataSet.IsEmpty());
        TClientDataSet undeclared;
        QVERIFY_THROWS_EXCEPTION(DataSetError, undeclared.CreateDataSet());
        QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.addField("LATE", FieldType::String));
    }

    void editingRules() {
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
    }

    // The display formats that other tests do not show: the grid model's shows "0.00", "0.000" and "DD/MM",
    // the movement rules' the date-time without a format.
    void displayTexts_data() {
        QTest::addColumn<FieldType>("type");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        dataRow("float #,##0.00", FieldType::Float, "#,##0.00", QVariant(1234.5), "1.234,50");
        dataRow("float plain", FieldType::Float, "", QVariant(1234.5), "1234,5");
        dataRow("null float", FieldType::Float, "0.00", QVariant(), "");
        dataRow("integer", FieldType::Integer, "", QVariant(qlonglong(42)), "42");
        dataRow("text", FieldType::String, "", QVariant(QStringLiteral("Açaí")), "Açaí");
    }

    void displayTexts() {
        QFETCH(FieldType, type);
        QFETCH(QString, format);
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        TClientDataSet dataSet;
        dataSet.addField("F", type).setDisplayFormat(format);
        dataSet.CreateDataSet();
        dataSet.Insert();
        dataSet.FieldByName("F").setValue(value);
        dataSet.Post();
        QCOMPARE(dataSet.FieldByName("F").DisplayText(), text);
        QCOMPARE(dataSet.displayTextAt(0, 0), text);
        dataSet.FieldByName("F").setOnGetText(
            [](const QVariant& v) { return QStringLiteral("<%1>").arg(v.toString()); });
        QCOMPARE(dataSet.FieldByName("F").DisplayText(), QStringLiteral("<%1>").arg(value.toString()));
    }

private:
    std::unique_ptr<TestEnvironment> m_environment;
};

QTEST_GUILESS_MAIN(TestClientDataSet)
#include "tst_clientdataset.moc"
