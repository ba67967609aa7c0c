#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "StoreRows.h"
#include "server/ClientDataSet.h"
#include "server/DataSetModel.h"
#include "support/Widgets.h"

namespace {

void declareProducts(TClientDataSet& products) {
    products.addField("DTENTRVENDA", FieldType::DateTime).setDisplayLabel("Data").setDisplayFormat("DD/MM");
    products.addField("CDSUBGRPROD", FieldType::String, 10).setVisible(false);
    products.addField("NMPRODUTO", FieldType::String, 50).setDisplayLabel("Produto");
    products.addField("QTPRODVEND", FieldType::Float).setDisplayLabel("Qtde.").setDisplayFormat("0.000");
    products.addField("VRTOTAL", FieldType::Float).setDisplayLabel("Vr.Total").setDisplayFormat("0.00");
}

DataPacket productPacket() {
    DataPacket packet;
    packet.fields = {{"DTENTRVENDA", FieldType::DateTime, 0},
                     {"CDSUBGRPROD", FieldType::String, 10},
                     {"NMPRODUTO", FieldType::String, 50},
                     {"QTPRODVEND", FieldType::Float, 0},
                     {"VRTOTAL", FieldType::Float, 0}};
    const QDateTime day(QDate(2024, 5, 10), QTime(12, 0));
    packet.rows = {{day, "01", "Arroz", 1.0, 12.5},
                   {day.addDays(1), "02", "Feijão", 0.5, 1234.5},
                   {day.addDays(2), "01", "Suco", 2.0, QVariant()}};
    return packet;
}

}  // namespace

class TestDataSetModel : public QObject {
    Q_OBJECT
private slots:
    // The visible fields are the columns, in their formats and text handlers; numbers to the right.
    void visibleFieldsAreColumns() {
        TClientDataSet products;
        declareProducts(products);
        products.FieldByName("NMPRODUTO").setOnGetText([](const QVariant& name) {
            return name.toString().toUpper();
        });
        DataSetModel model(products);
        QCOMPARE(model.columnCount(), 4);
        QCOMPARE(model.rowCount(), 0);
        products.loadPacket(productPacket());
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(modelColumn(model, 0), (QStringList{"10/05", "11/05", "12/05"}));
        QCOMPARE(modelColumn(model, 1), (QStringList{"ARROZ", "FEIJÃO", "SUCO"}));
        QCOMPARE(modelColumn(model, 2), (QStringList{"1,000", "0,500", "2,000"}));
        QCOMPARE(modelColumn(model, 3), (QStringList{"12,50", "1234,50", ""}));
        const auto aligned = [](const QVariant& alignment) {
            return alignment.value<Qt::Alignment>() & Qt::AlignHorizontal_Mask;
        };
        QCOMPARE(aligned(model.data(model.index(0, 3), Qt::TextAlignmentRole)), Qt::AlignRight);
        QCOMPARE(aligned(model.data(model.index(0, 1), Qt::TextAlignmentRole)), Qt::AlignLeft);
        QCOMPARE(aligned(model.headerData(3, Qt::Horizontal, Qt::TextAlignmentRole)), Qt::AlignRight);
        QCOMPARE(model.data(model.index(1, 3), Qt::EditRole), QVariant(1234.5));
    }

    void columnListChosenByScreen() {
        TClientDataSet products;
        declareProducts(products);
        products.loadPacket(productPacket());
        DataSetModel model(products);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setColumns({"VRTOTAL", "CDSUBGRPROD", "NOTYET"});
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("CDSUBGRPROD"));
        QCOMPARE(products.field(model.fieldIndex(0)).FieldName(), QStringLiteral("VRTOTAL"));
        QCOMPARE(modelColumn(model, 1), (QStringList{"01", "02", "01"}));
    }

    // Views learn of every change and see what the dataset holds; a packet's fields need no declaration.
    void staysConsistentThroughEveryChange() {
        TClientDataSet stores;
        DataSetModel model(stores);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto matchesDataSet = [&] {
            QCOMPARE(model.rowCount(), stores.RecordCount());
            QCOMPARE(model.currentRow(), stores.currentRow());
            for (int row = 0; row < stores.RecordCount(); ++row) {
                QCOMPARE(model.data(model.index(row, 1)).toString(), stores.displayTextAt(row, 1));
            }
        };
        QCOMPARE(model.columnCount(), 0);
        stores.loadPacket(storePacket());
        matchesDataSet();
        QCOMPARE(model.columnCount(), 6);
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("VRTOTAL"));
        stores.addIndexDef("NMLOJA", "NMLOJA");
        stores.setIndexName("NMLOJA");
        matchesDataSet();
        stores.setFilter("UPPER(NMLOJA) LIKE 'C%'");
        stores.setFiltered(true);
        matchesDataSet();
        stores.Insert();
        matchesDataSet();
        stores.FieldByName("NMLOJA").setValue("Cantina");
        QCOMPARE(model.data(model.index(stores.currentRow(), 1)).toString(), QStringLiteral("Cantina"));
        stores.Post();
        matchesDataSet();
        QCOMPARE(modelColumn(model, 1), (QStringList{"Café Central", "cafeteria do Zé", "Cantina"}));
        stores.Delete();
        matchesDataSet();
        stores.setFilter("UPPER(NMLOJA) LIKE 'X%'");
        matchesDataSet();
        stores.setFiltered(false);
        matchesDataSet();
        stores.Close();
        matchesDataSet();
        QCOMPARE(model.columnCount(), 0);
        stores.loadPacket(storePacket());
        matchesDataSet();
    }

    void currentRowFollowsDataSet() {
        TClientDataSet stores;
        stores.loadPacket(storePacket());
        DataSetModel model(stores);
        QSignalSpy changed(&model, &DataSetModel::currentRowChanged);
        QSignalSpy afterScroll(&stores, &TClientDataSet::AfterScroll);
        // Structural changes announce the current row even where its number stays.
        stores.Insert();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last().first().toInt(), 0);
        stores.Cancel();
        QCOMPARE(changed.count(), 2);
        stores.setFilter("NRSEQ > 0");
        stores.setFiltered(true);
        QCOMPARE(changed.count(), 3);
        changed.clear();
        afterScroll.clear();
        model.setCurrentRow(3);
        QCOMPARE(stores.FieldByName("CDLOJA").asString(), QStringLiteral("004"));
        model.setCurrentRow(3);
        QCOMPARE(afterScroll.count(), 1);
        QCOMPARE(changed.count(), 1);
        stores.First();
        changed.clear();
        QCOMPARE(model.currentRow(), 0);
        stores.Next();
        stores.Next();
        QCOMPARE(model.currentRow(), 2);
        QCOMPARE(changed.count(), 2);
        stores.Last();
        stores.Next();
        QCOMPARE(changed.count(), 3);
        QCOMPARE(changed.last().first().toInt(), 5);
        stores.setFilter("NRSEQ > 4");
        QCOMPARE(model.currentRow(), 0);
        stores.Last();
        stores.Delete();
        QCOMPARE(model.currentRow(), 0);
        stores.Delete();
        QCOMPARE(model.currentRow(), -1);
        QCOMPARE(changed.last().first().toInt(), -1);
    }
};

QTEST_GUILESS_MAIN(TestDataSetModel)
#include "tst_datasetmodel.moc"
