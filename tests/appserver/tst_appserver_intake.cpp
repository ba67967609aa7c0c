// The network's data through files, on the real totem-server: a round trip gives back the same files, a
// load is checked whole before anything is written, and kiosks consulting meanwhile see it before or after.
#include "AppServerFixture.h"

#include "support/ChildProcess.h"
#include "support/Rows.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtConcurrent>
#include <QtTest>

#include <atomic>

namespace {

struct Run {
    int status = -1;
    QString output;
    QString errors;
};

Run totemServer(const QStringList& arguments) {
    QProcess process;
    tieToTest(process);
    process.start(ServerProcess::executable(), arguments);
    Run run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit) {
        run.status = process.exitCode();
    }
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

Run intake(const QString& command, const QString& folder, const QString& database,
           const QStringList& more = {}) {
    return totemServer(QStringList{command, folder, QStringLiteral("--database"), database} + more);
}

// Every file of the folder by name, with its bytes.
QMap<QString, QByteArray> filesOf(const QString& folder) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files); it.hasNext();) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        files.insert(it.fileName(), file.readAll());
    }
    return files;
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The files that differ between two folders, for a failure's message.
QStringList differences(const QMap<QString, QByteArray>& left, const QMap<QString, QByteArray>& right) {
    QStringList names;
    for (const QString& name : left.keys() + right.keys()) {
        if (left.value(name) != right.value(name) && !names.contains(name)) {
            names.append(name);
        }
    }
    return names;
}

// The catalogue's names with "(novo)", or the lines' employee prices (the sixth field) raised by 1000.
QByteArray raisedVersion(const QString& table, const QByteArray& original) {
    QList<QByteArray> lines = original.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QList<QByteArray> fields = lines[i].split(',');
        if (fields.size() < 4) {
            continue;
        }
        if (table == QLatin1String("PRODUTO.csv")) {
            fields[1] += " (novo)";
        } else {
            fields[5] = QByteArray::number(fields[5].toDouble() + 1000, 'f', 2);
        }
        lines[i] = fields.join(',');
    }
    return lines.join('\n');
}

// What is wrong with a purchases answer: it failed, is empty, or mixes old and new rows.
QStringList halfLoaded(int status, const QVariant& answer) {
    if (status != 200) {
        return {QStringLiteral("status %1").arg(status)};
    }
    const DataPacket packet = packetFrom(answer);
    int raisedRows = 0;
    for (int row = 0; row < packet.rows.size(); ++row) {
        const bool renamed =
            cell(packet, row, QStringLiteral("NMPRODUTO")).toString().endsWith(QLatin1String("(novo)"));
        const bool dearer = cell(packet, row, QStringLiteral("VRUNITVEND")).toDouble() >= 1000;
        if (renamed != dearer) {
            return {QStringLiteral("row %1: a new name with an old price, or the other way").arg(row)};
        }
        raisedRows += renamed ? 1 : 0;
    }
    if (packet.rows.isEmpty() || (raisedRows != 0 && raisedRows != packet.rows.size())) {
        return {QStringLiteral("%1 of %2 rows new").arg(raisedRows).arg(packet.rows.size())};
    }
    return {};
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
        QString copy = m_dir.filePath(QStringLiteral("copy.db"));  // not yet there: the import makes it
        if (engine == Engine::Postgres) {
            QVERIFY(fixture.cluster()->createDatabase(QStringLiteral("copy")));
            copy = fixture.cluster()->url(QStringLiteral("copy"));
        }
        const QString first = m_dir.filePath(QStringLiteral("first ") + QTest::currentDataTag());
        const QString second = m_dir.filePath(QStringLiteral("second ") + QTest::currentDataTag());
        QCOMPARE(intake("export", first, fixture.database()).status, 0);
        const Run loaded = intake("import", first, copy);
        QVERIFY2(loaded.status == 0, qPrintable(loaded.errors));
        QVERIFY(loaded.output.contains(QLatin1String("ITVENDA 32470")));
        QCOMPARE(intake("export", second, copy).status, 0);
        QVERIFY2(filesOf(first) == filesOf(second),
                 qPrintable(differences(filesOf(first), filesOf(second)).join(u' ')));
        QCOMPARE(filesOf(first).size(), 11);

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

    void badFilesAreRefusedWholeWithTheirLine_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem");
        const QByteArray fifty = QString(50, QChar(u'ç')).toUtf8();
        dataRow("quote never closed", QString("CLIENTE.csv"), ClientHeader + "91,um\n92,\"dois\n93,três\n",
                QString("CLIENTE.csv:3: a quote never closed"));
        dataRow("quote inside a field", QString("CLIENTE.csv"), ClientHeader + "91,d\"ois\n",
                QString("CLIENTE.csv:2: a quote inside"));
        dataRow("wrong number of fields", QString("CLIENTE.csv"), ClientHeader + "91,um\r\n\r\n92,dois,2\r\n",
                QString("CLIENTE.csv:4: 3 fields where the header names 2"));
        dataRow("invalid UTF-8", QString("CLIENTE.csv"), ClientHeader + "91,Jos\xe9\n",
                QString("CLIENTE.csv:2: NMCLIENTE: not valid UTF-8"));
        dataRow("unknown column", QString("CLIENTE.csv"),
                QByteArray("CDCLIENTE,NMCLIENTE,NMFANTASIA\n91,um,x\n"),
                QString("CLIENTE.csv:1: NMFANTASIA: not a column of CLIENTE"));
        dataRow("missing required column", QString("CLIENTE.csv"),
                QByteArray("CDCLIENTE,VRLIMSUBCONS\n91,10.00\n"),
                QString("CLIENTE.csv:1: NMCLIENTE: missing from the header"));
        dataRow("over-wide text, in characters", QString("CLIENTE.csv"),
                ClientHeader + "91," + fifty + "\n\"9\n2\"," + fifty + "ç\n",
                QString("CLIENTE.csv:3: NMCLIENTE: 51 characters, at most 50"));
        dataRow("bad date", QString("VENDA.csv"), SaleHeader + "0001,90001,101,1,10,1001,2024-02-30,A\n",
                QString("VENDA.csv:2: DTENTRVENDA: \"2024-02-30\" is not a date"));
        dataRow("bad number", QString("ITVENDA.csv"), LineHeader + "0001,1,9,1001,1.2345,8.50,12.50\n",
                QString("ITVENDA.csv:2: QTPRODVEND: \"1.2345\" is not a number"));
        dataRow("duplicate key", QString("CLIENTE.csv"), ClientHeader + "91,um\n92,dois\n91,outro\n",
                QString("CLIENTE.csv:4: CDCLIENTE: \"91\" already on line 2"));
        dataRow("unknown consumer", QString("VENDA.csv"),
                SaleHeader + "0001,90001,101,1,10,9999,2024-02-03,A\n",
                QString("VENDA.csv:2: CDCLIENTE, CDCONSUMIDOR: no consumer \"10\", \"9999\""));
        dataRow("unknown product", QString("ITVENDA.csv"), LineHeader + "0001,1,9,NOPE,1,8.50,12.50\n",
                QString("ITVENDA.csv:2: CDPRODUTO: no product \"NOPE\""));
        dataRow("badge of another consumer", QString("CONSUMIDOR.csv"),
                QByteArray("CDCLIENTE,CDCONSUMIDOR,NMCONSUMIDOR,CDCRACHA\n10,9001,Novo,00010002\n"),
                QString("CONSUMIDOR.csv:2: CDCRACHA: \"00010002\" belongs to another row of CONSUMIDOR"));
        dataRow("0-byte file", QString("CLIENTE.csv"), QByteArray(), QString("CLIENTE.csv:1: empty"));
        dataRow("only a header", QString("CLIENTE.csv"), ClientHeader,
                QString("CLIENTE.csv:1: a header and no rows"));
        dataRow("misspelt file name", QString("CLIENTES.csv"), ClientHeader + "91,um\n",
                QString("CLIENTES.csv: not a table's file"));
    }

    // Each folder also holds a good new branch: it must not be written either.
    void badFilesAreRefusedWholeWithTheirLine() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        const QString folder = m_dir.filePath(QTest::currentDataTag());
        QVERIFY(QDir().mkpath(folder));
        write(folder + "/FILIAL.csv", "CDFILIAL,NMFILIAL\n0099,Filial Nova\n");
        write(folder + "/" + file, content);
        const QString before = sqliteFixture().checksum();
        for (const QStringList& dryRun : {QStringList{"--dry-run"}, QStringList{}}) {
            const Run refused = intake("import", folder, sqliteFixture().database(), dryRun);
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.errors.contains(problem), qPrintable(refused.errors));
            QVERIFY2(refused.output.contains(QLatin1String("nothing written")), qPrintable(refused.output));
        }
        QCOMPARE(branches(QStringLiteral("0099")), 0);
        QCOMPARE(sqliteFixture().checksum(), before);
    }

    // A dry run of good files writes nothing either; the real one writes them.
    void dryRunWritesNothing() {
        const QString folder = m_dir.filePath(QStringLiteral("good"));
        QVERIFY(QDir().mkpath(folder));
        write(folder + "/FILIAL.csv",
              "\xEF\xBB\xBF"
              "CDFILIAL,NMFILIAL\n0098,\"Filial, \"\"Sul\"\"\"\n");
        QCOMPARE(intake("import", folder, sqliteFixture().database(), {"--dry-run"}).status, 0);
        QCOMPARE(branches(QStringLiteral("0098")), 0);
        QCOMPARE(intake("import", folder, sqliteFixture().database()).status, 0);
        QCOMPARE(branches(QStringLiteral("0098")), 1);
    }

    // The problems are listed up to a bound, and all counted.
    void manyProblemsAreCounted() {
        const QString folder = m_dir.filePath(QStringLiteral("many"));
        QVERIFY(QDir().mkpath(folder));
        QByteArray sales = SaleHeader;
        for (int i = 0; i < 120; ++i) {
            sales += "0001," + QByteArray::number(80000 + i) + ",101,1,10,9999,2024-02-03,A\n";
        }
        write(folder + "/VENDA.csv", sales);
        const Run refused = intake("import", folder, sqliteFixture().database());
        QCOMPARE(refused.status, 1);
        QCOMPARE(refused.errors.count(QLatin1String("no consumer")), 50);
        QVERIFY2(refused.errors.contains(QLatin1String("... and 70 more")),
                 qPrintable(refused.errors.right(200)));
        QVERIFY(refused.output.contains(QLatin1String("120 problem(s)")));
    }

    void consultationsSeeTheLoadBeforeOrAfter_data() { roundTripGivesBackTheSameFiles_data(); }

    // Imports alternate two versions of the catalogue and the sale lines: in one, every product's name ends
    // in
    // "(novo)" and every employee's price is raised by 1000. A kiosk reads a consumer's purchases, which join
    // the two tables in one statement, without pause: every answer is whole, and all old or all new.
    void consultationsSeeTheLoadBeforeOrAfter() {
        QFETCH(Engine, engine);
        AppServerFixture fixture(engine);
        REQUIRE_SERVER(fixture);
        const QString exported = m_dir.filePath(QStringLiteral("exported ") + QTest::currentDataTag());
        QCOMPARE(intake("export", exported, fixture.database()).status, 0);
        const QString old = exported + "/old";
        const QString raised = exported + "/raised";
        QVERIFY(QDir().mkpath(old) && QDir().mkpath(raised));
        for (const QString& table : {QStringLiteral("PRODUTO.csv"), QStringLiteral("ITVENDA.csv")}) {
            QVERIFY(QFile::copy(exported + "/" + table, old + "/" + table));
            write(raised + "/" + table, raisedVersion(table, filesOf(exported).value(table)));
        }

        std::atomic<bool> loading{true};
        QFuture<QStringList> kiosk = QtConcurrent::run([&] {
            QStringList faults;
            for (int consultations = 0; loading || consultations < 10; ++consultations) {
                const QVariant answer =
                    fixture.call(QStringLiteral("Qvr.rdmExtratoDetalhado"), QStringLiteral("GetProduto"),
                                 {QStringLiteral("0001"), QStringLiteral("002"), QStringLiteral("10"),
                                  QStringLiteral("1001"), QStringLiteral("01/01/2024"), dayText(0)});
                faults += halfLoaded(fixture.lastStatus(), answer);
            }
            return faults;
        });
        for (int round = 0; round < 3; ++round) {
            for (const QString& folder : {raised, old}) {
                const Run loaded = intake("import", folder, fixture.database());
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

    int branches(const QString& code) {
        int count = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
            db.setDatabaseName(sqliteFixture().database());
            QSqlQuery query(db);
            if (db.open() &&
                query.exec(QStringLiteral("SELECT COUNT(*) FROM FILIAL WHERE CDFILIAL = '%1'").arg(code)) &&
                query.next()) {
                count = query.value(0).toInt();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("look"));
        return count;
    }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TestAppServerIntake)
#include "tst_appserver_intake.moc"
