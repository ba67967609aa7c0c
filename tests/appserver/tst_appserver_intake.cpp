// The network's data through files, on the real totem-server: a round trip gives back the same files, a
// load is checked whole before anything is written, and kiosks consulting meanwhile see it before or after.
#include "AppServerFixture.h"

#include "support/Rows.h"

#include <QDir>
#include <QSet>
#include <QtConcurrent>
#include <QtTest>

#include <atomic>

namespace {

ServerProcess::Run intake(const QString& command, const QString& folder, const QString& database,
                          const QStringList& more = {}) {
    return ServerProcess::run(QStringList{command, folder, "--database", database} + more);
}

// Every file of the folder by name, with its bytes.
QMap<QString, QByteArray> filesOf(const QString& folder) {
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        QFile file(folder + '/' + name);
        files.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return files;
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The catalogue's names with "(novo)", or the lines' employee prices (the sixth field) raised by 1000.
QByteArray raisedVersion(const QString& table, const QByteArray& original) {
    QList<QByteArray> lines = original.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QList<QByteArray> fields = lines[i].split(',');
        if (fields.size() < 4) {
            continue;
        }
        if (table == "PRODUTO.csv") {
            fields[1] += " (novo)";
        } else {
            fields[5] = QByteArray::number(fields[5].toDouble() + 1000, 'f', 2);
        }
        lines[i] = fields.join(',');
    }
    return lines.join('\n');
}

// What is wrong with a purchases answer: it failed, is empty, or mixes old and new rows.
QString halfLoaded(int status, const QVariant& answer) {
    if (status != 200) {
        return QString("status %1").arg(status);
    }
    const DataPacket packet = packetFrom(answer);
    QSet<QString> versions;  // per row, whether its name and its price are new
    for (int row = 0; row < packet.rows.size(); ++row) {
        versions << QString("name %1, price %2")
                        .arg(cell(packet, row, "NMPRODUTO").toString().endsWith("(novo)") ? "new" : "old",
                             cell(packet, row, "VRUNITVEND").toDouble() >= 1000 ? "new" : "old");
    }
    const QStringList found = versions.values();
    return found == QStringList{"name old, price old"} || found == QStringList{"name new, price new"}
               ? QString()
               : "rows with " + found.join("; ");
}

const QByteArray ClientHeader = "CDCLIENTE,NMCLIENTE\n";
const QByteArray SaleHeader =
    "CDFILIAL,NRSEQVENDA,CDCAIXA,CDLOJA,CDCLIENTE,CDCONSUMIDOR,DTENTRVENDA,IDSITUVENDA\n";
const QByteArray LineHeader =
    "CDFILIAL,NRSEQVENDA,NRSEQITVEND,CDPRODUTO,QTPRODVEND,VRUNITVEND,VRUNITVENDCL\n";

}  // namespace

class TestAppServerIntake : public QObject {
    Q_OBJECT
private slots:
    void roundTripGivesBackTheSameFiles_data() {
        QTest::addColumn<Engine>("engine");
        dataRow("SQLite", Engine::Sqlite);
        dataRow("PostgreSQL", Engine::Postgres);
    }

    // Demo network, export, import into an empty database, export again: the same files. Importing them
    // once more changes nothing, and a corrected row replaces its old self.
    void roundTripGivesBackTheSameFiles() {
        QFETCH(Engine, engine);
        AppServerFixture fixture(engine);
        REQUIRE_SERVER(fixture);
        QString copy = m_dir.filePath("copy.db");  // not yet there: the import makes it
        if (engine == Engine::Postgres) {
            QVERIFY(fixture.cluster()->createDatabase("copy"));
            copy = fixture.cluster()->url("copy");
        }
        const QString first = m_dir.filePath(QString("first ") + QTest::currentDataTag());
        const QString second = m_dir.filePath(QString("second ") + QTest::currentDataTag());
        QCOMPARE(intake("export", first, fixture.database()).status, 0);
        const auto loaded = intake("import", first, copy);
        QVERIFY2(loaded.status == 0, qPrintable(loaded.errors));
        QVERIFY(loaded.output.contains("ITVENDA 32470"));
        QCOMPARE(intake("export", second, copy).status, 0);
        const QMap<QString, QByteArray> exported = filesOf(first);
        const QMap<QString, QByteArray> reexported = filesOf(second);
        QCOMPARE(exported.size(), 11);
        QCOMPARE(reexported.keys(), exported.keys());
        for (auto [name, bytes] : exported.asKeyValueRange()) {
            QVERIFY2(reexported.value(name) == bytes, qPrintable(name));
        }

        QCOMPARE(intake("import", first, copy).status, 0);
        write(first + "/CLIENTE.csv", ClientHeader + "10,Metalúrgica Horizonte S.A.\n");
        QVERIFY(QFile::remove(first + "/VENDA.csv") && QFile::remove(first + "/ITVENDA.csv"));
        QCOMPARE(intake("import", first, copy).status, 0);
        QCOMPARE(intake("export", second, copy).status, 0);
        const QMap<QString, QByteArray> after = filesOf(second);
        QVERIFY(after.value("CLIENTE.csv").contains("10,Metalúrgica Horizonte S.A.,300.00\n"));
        // One row corrected, none of the others gone: the import never deletes.
        QCOMPARE(after.value("CLIENTE.csv").count('\n'), 5);
        QVERIFY(after.value("VENDA.csv").count('\n') > 17000);
    }

    // The problem names the file, which holds the content.
    void badFilesAreRefusedWholeWithTheirLine_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem");
        const QByteArray fifty = QString(50, u'ç').toUtf8();
        dataRow("quote never closed", ClientHeader + "91,um\n92,\"dois\n93,três\n",
                "CLIENTE.csv:3: a quote never closed");
        dataRow("quote inside a field", ClientHeader + "91,d\"ois\n", "CLIENTE.csv:2: a quote inside");
        dataRow("wrong number of fields", ClientHeader + "91,um\r\n\r\n92,dois,2\r\n",
                "CLIENTE.csv:4: 3 fields where the header names 2");
        dataRow("invalid UTF-8", ClientHeader + "91,Jos\xe9\n", "CLIENTE.csv:2: NMCLIENTE: not valid UTF-8");
        dataRow("unknown column", QByteArray("CDCLIENTE,NMCLIENTE,NMFANTASIA\n91,um,x\n"),
                "CLIENTE.csv:1: NMFANTASIA: not a column of CLIENTE");
        dataRow("missing required column", QByteArray("CDCLIENTE,VRLIMSUBCONS\n91,10.00\n"),
                "CLIENTE.csv:1: NMCLIENTE: missing from the header");
        dataRow("over-wide text, in characters", ClientHeader + "91," + fifty + "\n\"9\n2\"," + fifty + "ç\n",
                "CLIENTE.csv:3: NMCLIENTE: 51 characters, at most 50");
        dataRow("bad date", SaleHeader + "0001,90001,101,1,10,1001,2024-02-30,A\n",
                "VENDA.csv:2: DTENTRVENDA: \"2024-02-30\" is not a date");
        dataRow("bad number", LineHeader + "0001,1,9,1001,1.2345,8.50,12.50\n",
                "ITVENDA.csv:2: QTPRODVEND: \"1.2345\" is not a number");
        dataRow("duplicate key", ClientHeader + "91,um\n92,dois\n91,outro\n",
                "CLIENTE.csv:4: CDCLIENTE: \"91\" already on line 2");
        dataRow("unknown consumer", SaleHeader + "0001,90001,101,1,10,9999,2024-02-03,A\n",
                "VENDA.csv:2: CDCLIENTE, CDCONSUMIDOR: no consumer \"10\", \"9999\"");
        dataRow("unknown product", LineHeader + "0001,1,9,NOPE,1,8.50,12.50\n",
                "ITVENDA.csv:2: CDPRODUTO: no product \"NOPE\"");
        dataRow("badge of another consumer",
                QByteArray("CDCLIENTE,CDCONSUMIDOR,NMCONSUMIDOR,CDCRACHA\n10,9001,Novo,00010002\n"),
                "CONSUMIDOR.csv:2: CDCRACHA: \"00010002\" belongs to another row of CONSUMIDOR");
        dataRow("0-byte file", QByteArray(), "CLIENTE.csv:1: empty");
        dataRow("only a header", ClientHeader, "CLIENTE.csv:1: a header and no rows");
        dataRow("misspelt file name", ClientHeader + "91,um\n", "CLIENTES.csv: not a table's file");
    }

    // Each folder also holds a good new branch: it must not be written either.
    void badFilesAreRefusedWholeWithTheirLine() {
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        const QString folder = m_dir.filePath(QTest::currentDataTag());
        QVERIFY(QDir().mkpath(folder));
        write(folder + "/FILIAL.csv", "CDFILIAL,NMFILIAL\n0099,Filial Nova\n");
        write(folder + "/" + problem.section(':', 0, 0), content);
        const QString before = sqliteFixture().checksum();
        for (const QStringList& dryRun : {QStringList{"--dry-run"}, QStringList{}}) {
            const auto refused = intake("import", folder, sqliteFixture().database(), dryRun);
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.errors.contains(problem), qPrintable(refused.errors));
            QVERIFY2(refused.output.contains("nothing written"), qPrintable(refused.output));
        }
        QCOMPARE(branches("0099"), "0/");
        QCOMPARE(sqliteFixture().checksum(), before);
    }

    // A dry run of good files writes nothing either; the real one writes them.
    void dryRunWritesNothing() {
        const QString folder = m_dir.filePath("good");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray byteOrderMark = "\xEF\xBB\xBF";
        write(folder + "/FILIAL.csv", byteOrderMark + "CDFILIAL,NMFILIAL\n0098,\"Filial, \"\"Sul\"\"\"\n");
        QCOMPARE(intake("import", folder, sqliteFixture().database(), {"--dry-run"}).status, 0);
        QCOMPARE(branches("0098"), "0/");
        QCOMPARE(intake("import", folder, sqliteFixture().database()).status, 0);
        QCOMPARE(branches("0098"), "1/");
    }

    // The problems are listed up to a bound, and all counted.
    void manyProblemsAreCounted() {
        const QString folder = m_dir.filePath("many");
        QVERIFY(QDir().mkpath(folder));
        QByteArray sales = SaleHeader;
        for (int i = 0; i < 120; ++i) {
            sales += "0001," + QByteArray::number(80000 + i) + ",101,1,10,9999,2024-02-03,A\n";
        }
        write(folder + "/VENDA.csv", sales);
        const auto refused = intake("import", folder, sqliteFixture().database());
        QCOMPARE(refused.status, 1);
        QCOMPARE(refused.errors.count("no consumer"), 50);
        QVERIFY2(refused.errors.contains("... and 70 more"), qPrintable(refused.errors.right(200)));
        QVERIFY(refused.output.contains("120 problem(s)"));
    }

    void consultationsSeeTheLoadBeforeOrAfter_data() { roundTripGivesBackTheSameFiles_data(); }

    // Imports alternate two versions of the catalogue and the sale lines: in one, every product's name ends
    // in "(novo)" and every employee's price is raised by 1000. A kiosk reads a consumer's purchases, which
    // join the two tables in one statement, without pause: every answer is whole, and all old or all new.
    void consultationsSeeTheLoadBeforeOrAfter() {
        QFETCH(Engine, engine);
        AppServerFixture fixture(engine);
        REQUIRE_SERVER(fixture);
        const QString exported = m_dir.filePath(QString("exported ") + QTest::currentDataTag());
        QCOMPARE(intake("export", exported, fixture.database()).status, 0);
        const QString old = exported + "/old";
        const QString raised = exported + "/raised";
        QVERIFY(QDir().mkpath(old) && QDir().mkpath(raised));
        for (const char* table : {"PRODUTO.csv", "ITVENDA.csv"}) {
            QVERIFY(QFile::copy(exported + "/" + table, old + "/" + table));
            write(raised + "/" + table, raisedVersion(table, filesOf(exported).value(table)));
        }

        std::atomic<bool> loading{true};
        QFuture<QStringList> kiosk = QtConcurrent::run([&] {
            QStringList faults;
            for (int consultations = 0; loading || consultations < 10; ++consultations) {
                const QVariant answer = fixture.call("Qvr.rdmExtratoDetalhado", "GetProduto",
                                                     {"0001", "002", "10", "1001", "01/01/2024", dayText(0)});
                if (const QString fault = halfLoaded(fixture.lastStatus(), answer); !fault.isEmpty()) {
                    faults << fault;
                }
            }
            return faults;
        });
        for (int round = 0; round < 3; ++round) {
            for (const QString& folder : {raised, old}) {
                const auto loaded = intake("import", folder, fixture.database());
                QVERIFY2(loaded.status == 0, qPrintable(loaded.errors));
            }
        }
        loading = false;
        const QStringList faults = kiosk.result();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.mid(0, 10).join(u'\n')));
    }

private:
    AppServerFixture& sqliteFixture() {
        static AppServerFixture shared(Engine::Sqlite);
        return shared;
    }

    QString branches(const QString& code) {
        return DirectConnection(sqliteFixture().database())
            .row(QStringLiteral("SELECT COUNT(*) FROM FILIAL WHERE CDFILIAL = '%1'").arg(code));
    }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TestAppServerIntake)
#include "tst_appserver_intake.moc"
