// Bad input and bad days, against the real totem-server: every fault gets a clear answer (a protocol
// fault or an error text), never a crash and never a change to the stored data; a database that is
// locked or out of reach gives an error text until it is back; SIGTERM lets requests in flight finish.
#include "AppServerFixture.h"

#include "server/WireFormat.h"
#include "support/Rows.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <atomic>
#include <csignal>

namespace {

const QString TerminalCons = QStringLiteral("Qvr.rdmTerminalCons");
const QString Balance = QStringLiteral("/modules/Qvr.rdmTerminalCons/getSaldo");

QByteArray callBody(const QVariantList& arguments) {
    return wire::encodeCall(arguments);
}

QByteArray balanceOf(const QString& consumer) {
    return callBody({QStringLiteral("0001"), QStringLiteral("10"), consumer, dayText(-10), dayText(0)});
}

// Holds SQLite's exclusive lock on the file for as long as it lives.
class ExclusiveLock {
public:
    explicit ExclusiveLock(const QString& path) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Name);
        db.setDatabaseName(path);
        db.open();
        QSqlQuery query(db);
        query.exec(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE"));
        m_locked = query.exec(QStringLiteral("BEGIN EXCLUSIVE")) &&
                   query.exec(QStringLiteral("UPDATE FILIAL SET NMFILIAL = NMFILIAL"));
    }
    ~ExclusiveLock() {
        {
            QSqlDatabase db = QSqlDatabase::database(Name);
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            db.close();
        }
        QSqlDatabase::removeDatabase(Name);
    }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    bool locked() const { return m_locked; }

private:
    static inline const QString Name = QStringLiteral("exclusive-lock");
    bool m_locked = false;
};

// Makes a file unwritable even for root (immutable attribute), else by its mode; true when it worked.
bool makeUnwritable(const QString& path) {
    QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path});
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return !QFile(path).open(QIODevice::Append);
}

void makeWritable(const QString& path) {
    QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                    QFileDevice::ReadOther);
}

}  // namespace

class FaultsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_fixture = std::make_unique<AppServerFixture>(Engine::Sqlite);
        QVERIFY2(m_fixture->failure().isEmpty(), qPrintable(m_fixture->failure()));
        m_checksum = m_fixture->checksum();
        QVERIFY(!m_checksum.isEmpty());
    }

    void badRequestsAreAnsweredClearly_data() {
        QTest::addColumn<QString>("httpMethod");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        // Part of the {"error"} text, or of the error text answered as result; empty: an empty packet.
        QTest::addColumn<QString>("says");
        const QString consumer = QStringLiteral("/modules/Qvr.rdmTerminalCons/getConsumidor");
        dataRow("unknown module", "POST", "/modules/Qvr.rdmNada/getSaldo", balanceOf("1001"), 404,
                "Módulo remoto");
        dataRow("unknown method", "POST", "/modules/Qvr.rdmTerminalCons/getNada", balanceOf("1001"), 404,
                "não existe");
        dataRow("method name in another case", "POST", "/modules/Qvr.rdmTerminalCons/GetSaldo",
                balanceOf("1001"), 404, "não existe");
        dataRow("too few arguments", "POST", Balance, callBody({QStringLiteral("0001")}), 400,
                "espera 5 argumentos");
        dataRow("too many arguments", "POST", consumer,
                callBody({QStringLiteral("1001"), QStringLiteral("N"), QStringLiteral("x")}), 400,
                "espera 2 argumentos");
        dataRow("number for a text", "POST", consumer, callBody({1001, QStringLiteral("N")}), 400,
                "deve ser um texto");
        dataRow("text for a date-time", "POST", "/modules/Qvr.rdmTerminalCons/getLoja",
                callBody({QStringLiteral("0001"), dayText(-10), dayText(0), QStringLiteral("10"),
                          QStringLiteral("1001")}),
                400, "deve ser uma data-hora");
        dataRow("null argument", "POST", consumer, callBody({QVariant(), QStringLiteral("N")}), 400,
                "deve ser um texto");
        dataRow("malformed JSON", "POST", consumer, QByteArray("{\"args\": [\"1001\", "), 400,
                "Formato inválido");
        dataRow("not an object", "POST", consumer, QByteArray("[\"1001\", \"N\"]"), 400, "Formato inválido");
        dataRow("unknown member", "POST", consumer, QByteArray("{\"args\": [\"1\", \"N\"], \"x\": 1}"), 400,
                "Formato inválido");
        dataRow("empty body", "POST", consumer, QByteArray(), 400, "Formato inválido");
        dataRow("member named twice", "POST", consumer,
                QByteArray(R"({"args": ["1", "N"], "\u0061rgs": ["1001", "N"]})"), 400, "membro repetido \"args\"");
        dataRow("oversized body", "POST", consumer,
                callBody({QString(70000, QLatin1Char('9')), QStringLiteral("N")}), 413, "excede o limite");
        dataRow("GET on a method", "GET", consumer, QByteArray(), 405, "não permitido");
        dataRow("POST on health", "POST", "/health", QByteArray(), 405, "não permitido");
        dataRow("unknown path", "GET", "/admin", QByteArray(), 404, "não encontrado");
        dataRow("date that does not exist", "POST", Balance,
                callBody({QStringLiteral("0001"), QStringLiteral("10"), QStringLiteral("1001"),
                          QStringLiteral("31/02/2024"), dayText(0)}),
                200, "Data inválida: \"31/02/2024\"");
        dataRow("date in another form", "POST", "/modules/Qvr.rdmExtratoSimplificado/getMoviClie",
                callBody({QStringLiteral("0001"), QStringLiteral("10"), QStringLiteral("1001"),
                          QStringLiteral("2024-05-01"), dayText(0)}),
                200, "Use o formato dd/MM/yyyy");
        dataRow("date that is no date", "POST", "/modules/Qvr.rdmExtratoDetalhado/GetProduto",
                callBody({QStringLiteral("0001"), QStringLiteral("002"), QStringLiteral("10"),
                          QStringLiteral("1001"), dayText(-1), QStringLiteral("amanhã")}),
                200, "Data inválida");
        dataRow("SQL in a code: no consumer", "POST", Balance, balanceOf("1001' OR '1'='1"), 200,
                "não cadastrado");
        dataRow("SQL to drop a table: no consumer", "POST", consumer,
                callBody({QStringLiteral("';DROP TABLE VENDA;--"), QStringLiteral("N")}), 200, "");
        dataRow("SQL too long for a code", "POST", consumer,
                callBody({QStringLiteral("1'; DELETE FROM MOVCLIE;--"), QStringLiteral("S")}), 200,
                "mais de 21 caracteres");
        dataRow("10,000-character code", "POST", "/modules/Qvr.rdmExtratoDetalhado/GetMoviClie",
                callBody({QStringLiteral("0001"), QStringLiteral("10"), QString(10000, QLatin1Char('7')),
                          dayText(-10), dayText(0)}),
                200, "CDCONSUMIDOR: o valor informado tem mais de 21 caracteres");
        dataRow("3,000-character code", "POST", consumer,
                callBody({QString(3000, QLatin1Char('7')), QStringLiteral("N")}), 200,
                "Consumidor: o valor informado tem mais de 21");
        dataRow("two-letter flag", "POST", consumer, callBody({QStringLiteral("1001"), QStringLiteral("SS")}),
                200, "mais de 1 caracteres");
    }

    void badRequestsAreAnsweredClearly() {
        QFETCH(QString, httpMethod);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, says);
        const ServerProcess& server = m_fixture->server();
        const ServerProcess::Reply reply =
            httpMethod == QLatin1String("GET") ? server.get(path) : server.post(path, body);
        QCOMPARE(reply.status, status);
        if (says.isEmpty()) {
            QCOMPARE(packetFrom(wire::decodeResult(reply.body)).rows.size(), 0);
        } else {
            const QString text =
                status == 200 ? wire::decodeResult(reply.body).toString() : wire::decodeError(reply.body);
            QVERIFY2(text.contains(says), qPrintable(text));
        }
        QCOMPARE(m_fixture->checksum(), m_checksum);
    }

    void serverSurvivesAndDataUnchanged() {
        const ServerProcess::Reply health = m_fixture->server().get(QStringLiteral("/health"));
        QCOMPARE(health.status, 200);
        QVERIFY(health.body.contains("\"database\":\"ok\""));
        QVERIFY2(health.body.contains("\"version\":\"" TOTEM_VERSION "\""), health.body.constData());
        const QVariant answer = m_fixture->call(TerminalCons, QStringLiteral("getConsumidor"),
                                                {QStringLiteral("1001"), QStringLiteral("N")});
        QCOMPARE(packetFrom(answer).rows.size(), 1);
        QCOMPARE(m_fixture->checksum(), m_checksum);
    }

    void readsDateTextsInTheConfiguredForm() {
        QVERIFY(m_fixture->startServer({QStringLiteral("--date-format"), QStringLiteral("yyyy-MM-dd")}));
        const QString method = QStringLiteral("getMoviClie");
        const QString module = QStringLiteral("Qvr.rdmExtratoSimplificado");
        const QVariant iso =
            m_fixture->call(module, method,
                            {QStringLiteral("0001"), QStringLiteral("10"), QStringLiteral("1001"),
                             QStringLiteral("2024-05-05"), QStringLiteral("2024-05-15")});
        QCOMPARE(packetFrom(iso).rows.size(), 8);
        const QVariant kiosk = m_fixture->call(
            module, method,
            {QStringLiteral("0001"), QStringLiteral("10"), QStringLiteral("1001"), dayText(-10), dayText(0)});
        QVERIFY2(kiosk.toString().contains(QStringLiteral("Use o formato yyyy-MM-dd")),
                 qPrintable(kiosk.toString()));
        QVERIFY(m_fixture->startServer());
    }

    void lockedDatabaseAnswersErrorTextUntilReleased() {
        m_fixture->stopServer();
        {
            ExclusiveLock lock(m_fixture->database());
            QVERIFY(lock.locked());
            QVERIFY(m_fixture->startServer({QStringLiteral("--lock-wait"), QStringLiteral("200")}));
            const ServerProcess::Reply reply =
                m_fixture->server().post(Balance, balanceOf(QStringLiteral("1001")));
            QCOMPARE(reply.status, 200);
            QVERIFY(wire::decodeResult(reply.body).toString().contains(QStringLiteral("ocupado")));
            QCOMPARE(m_fixture->server().get(QStringLiteral("/health")).status, 503);
        }
        const ServerProcess::Reply reply =
            m_fixture->server().post(Balance, balanceOf(QStringLiteral("1001")));
        QCOMPARE(reply.status, 200);
        QCOMPARE(packetFrom(wire::decodeResult(reply.body)).rows.size(), 1);
        QCOMPARE(m_fixture->checksum(), m_checksum);
    }

    void databaseFileMovedAwayIsUnavailableNeverEmpty() {
        m_fixture->stopServer();
        QVERIFY(m_fixture->startServer());
        const QString path = m_fixture->database();
        const QString aside = path + QStringLiteral(".aside");
        QVERIFY(QFile::rename(path, aside));
        const ServerProcess::Reply reply =
            m_fixture->server().post(Balance, balanceOf(QStringLiteral("1001")));
        const bool existedWhileAway = QFile::exists(path);
        QVERIFY(QFile::rename(aside, path));
        QCOMPARE(reply.status, 200);
        QVERIFY2(wire::decodeResult(reply.body).toString().contains(QStringLiteral("indisponível")),
                 reply.body.constData());
        QVERIFY(!existedWhileAway);  // no empty database took its place

        const ServerProcess::Reply back =
            m_fixture->server().post(Balance, balanceOf(QStringLiteral("1001")));
        QCOMPARE(packetFrom(wire::decodeResult(back.body)).rows.size(), 1);
        QCOMPARE(m_fixture->checksum(), m_checksum);
    }

    void readOnlyDatabaseFileKeepsServingConsultations() {
        m_fixture->stopServer();
        const QString path = m_fixture->database();
        if (!makeUnwritable(path)) {
            QSKIP("neither chattr +i nor a read-only mode makes the file unwritable here");
        }
        const auto writable = qScopeGuard([&path] { makeWritable(path); });
        QVERIFY(m_fixture->startServer());
        const ServerProcess::Reply reply =
            m_fixture->server().post(Balance, balanceOf(QStringLiteral("1001")));
        QCOMPARE(reply.status, 200);
        QCOMPARE(packetFrom(wire::decodeResult(reply.body)).rows.size(), 1);
        QCOMPARE(m_fixture->server().get(QStringLiteral("/health")).status, 200);
    }

    void postgresRestartedUnderLoadAnswersEveryCallClearly() {
        AppServerFixture postgres(Engine::Postgres);
        REQUIRE_SERVER(postgres);
        // Kiosks keep calling while the database restarts; each answer is the data or the clear text.
        std::atomic<bool> loading{true};
        const auto kiosk = [&postgres, &loading] {
            HttpClient client({QStringLiteral("127.0.0.1"), postgres.server().port(), {}}, {});
            QStringList odd;
            int calls = 0;
            const QByteArray body = balanceOf(QStringLiteral("1001"));
            while (loading || calls == 0) {
                const HttpClient::Exchange reply = client.post(Balance, body);
                ++calls;
                const QVariant answer = reply.status == 200 ? wire::decodeResult(reply.body) : QVariant();
                const bool data = answer.metaType() == QMetaType::fromType<DataPacket>() &&
                                  packetFrom(answer).rows.size() == 1;
                if (!data && !answer.toString().contains(QStringLiteral("indisponível"))) {
                    odd.append(reply.status != 0 ? QString::fromUtf8(reply.body) : QStringLiteral("no answer"));
                }
            }
            return odd;
        };
        QList<QFuture<QStringList>> kiosks;
        for (int i = 0; i < 4; ++i) {
            kiosks.append(QtConcurrent::run(kiosk));
        }
        QTest::qWait(200);
        QVERIFY(postgres.cluster()->stop());
        QVERIFY(postgres.cluster()->start());
        QTest::qWait(200);
        loading = false;
        for (QFuture<QStringList>& calls : kiosks) {
            const QStringList odd = calls.result();
            QVERIFY2(odd.isEmpty(), qPrintable(odd.join(u'\n')));
        }
        const QVariant after = postgres.call(
            TerminalCons, QStringLiteral("getSaldo"),
            {QStringLiteral("0001"), QStringLiteral("10"), QStringLiteral("1001"), dayText(-10), dayText(0)});
        QCOMPARE(packetFrom(after).rows.size(), 1);
    }

    // A database the server must not serve as healthy: /health answers 503 and says what to do, the kiosks'
    // calls get the unavailability text, and the file is left as it was.
    void databaseWithoutNetworkIsNotServed_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        dataRow("a file that does not exist", "missing", "unavailable");
        dataRow("an empty file", "empty", "has no schema");
        dataRow("a file emptied while serving", "emptied", "has no schema");
        dataRow("the schema without any branch", "bare", "holds no branch");
    }

    void databaseWithoutNetworkIsNotServed() {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("totem.db"));
        if (kind == QLatin1String("empty")) {
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        } else if (kind == QLatin1String("bare")) {
            QVERIFY(ServerProcess::createSchema(path).isEmpty());
        } else if (kind == QLatin1String("emptied")) {
            QVERIFY(QFile::copy(m_fixture->database(), path));
        }
        ServerProcess server({QStringLiteral("--database"), path});
        QVERIFY2(server.failure().isEmpty(), qPrintable(server.failure()));
        const QVariantList register1{QStringLiteral("001"), QStringLiteral("0001")};
        if (kind == QLatin1String("emptied")) {
            const ServerProcess::Reply served = server.call(TerminalCons, QStringLiteral("getParametrosCx"), register1);
            QCOMPARE(packetFrom(wire::decodeResult(served.body)).rows.size(), 1);
            QVERIFY(QFile(path).resize(0));
        }
        const qint64 size = QFileInfo::exists(path) ? QFileInfo(path).size() : -1;
        // The connection that saw the file emptied reports its own failure first; the next one, what to do.
        QCOMPARE(server.get(QStringLiteral("/health")).status, 503);
        const ServerProcess::Reply health = server.get(QStringLiteral("/health"));
        QCOMPARE(health.status, 503);
        QVERIFY2(health.body.contains(says.toUtf8()), health.body.constData());
        const ServerProcess::Reply call = server.call(TerminalCons, QStringLiteral("getParametrosCx"), register1);
        QVERIFY2(wire::decodeResult(call.body).toString().contains(QStringLiteral("indisponível")),
                 call.body.constData());
        QCOMPARE(QFileInfo::exists(path) ? QFileInfo(path).size() : -1, size);
    }

    void missingDatabaseFolderRecoversWhenItAppears() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("later"));
        const QString path = folder + QStringLiteral("/totem.db");
        ServerProcess server({QStringLiteral("--database"), path});
        QVERIFY2(server.failure().isEmpty(), qPrintable(server.failure()));
        ServerProcess::Reply reply = server.post(Balance, balanceOf(QStringLiteral("1001")));
        QCOMPARE(reply.status, 200);
        QVERIFY(wire::decodeResult(reply.body).toString().contains(QStringLiteral("indisponível")));
        QCOMPARE(server.get(QStringLiteral("/health")).status, 503);

        QVERIFY(QDir().mkpath(folder));
        QVERIFY(ServerProcess::createDemo(path, AppServerFixture::DemoToday).isEmpty());
        reply = server.post(Balance, balanceOf(QStringLiteral("1001")));
        QCOMPARE(reply.status, 200);
        QCOMPARE(packetFrom(wire::decodeResult(reply.body)).rows.size(), 1);
        QCOMPARE(server.get(QStringLiteral("/health")).status, 200);
    }

    void postgresOutOfReachRecoversWhenBack() {
        AppServerFixture postgres(Engine::Postgres);
        REQUIRE_SERVER(postgres);
        QCOMPARE(packetFrom(postgres.call(TerminalCons, QStringLiteral("getConsumidor"),
                                          {QStringLiteral("1001"), QStringLiteral("N")}))
                     .rows.size(),
                 1);
        QVERIFY(postgres.cluster()->stop());
        const QVariant down = postgres.call(TerminalCons, QStringLiteral("getConsumidor"),
                                            {QStringLiteral("1001"), QStringLiteral("N")});
        QCOMPARE(postgres.lastStatus(), 200);
        QVERIFY2(down.toString().contains(QStringLiteral("indisponível")), qPrintable(down.toString()));
        const ServerProcess::Reply health = postgres.server().get(QStringLiteral("/health"));
        QCOMPARE(health.status, 503);
        // Where the database lives is for the log, not for whoever asks.
        QVERIFY2(!health.body.contains(QByteArray::number(postgres.cluster()->port())), health.body.constData());
        QTRY_VERIFY(postgres.server().errors().contains(QString::number(postgres.cluster()->port())));
        // One event, one line, however many lines the database's message has.
        for (const QString& line : postgres.server().errors().split(u'\n', Qt::SkipEmptyParts)) {
            QVERIFY2(line.front().isDigit(), qPrintable(line));
        }

        QVERIFY(postgres.cluster()->start());
        const QVariant back = postgres.call(TerminalCons, QStringLiteral("getConsumidor"),
                                            {QStringLiteral("1001"), QStringLiteral("N")});
        QCOMPARE(packetFrom(back).rows.size(), 1);
    }

    void postgresLockOrSlowStatementAnswersErrorText_data() {
        QTest::addColumn<QString>("lockWait");
        QTest::addColumn<QString>("requestTimeout");
        QTest::addColumn<QString>("says");
        dataRow("lock wait runs out first", "200", "10000", "ocupado");
        dataRow("request time-out runs out first", "10000", "200", "tempo limite");
    }

    void postgresLockOrSlowStatementAnswersErrorText() {
        QFETCH(QString, lockWait);
        QFETCH(QString, requestTimeout);
        QFETCH(QString, says);
        AppServerFixture postgres(Engine::Postgres);
        REQUIRE_SERVER(postgres);
        QVERIFY(postgres.startServer(
            {QStringLiteral("--lock-wait"), lockWait, QStringLiteral("--request-timeout"), requestTimeout}));
        const QVariantList arguments{QStringLiteral("1001"), QStringLiteral("N")};
        QCOMPARE(
            packetFrom(postgres.call(TerminalCons, QStringLiteral("getConsumidor"), arguments)).rows.size(),
            1);
        const QString name = QStringLiteral("table-lock");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(postgres.cluster()->port());
            db.setUserName(QStringLiteral("totem"));
            db.setDatabaseName(QStringLiteral("demo"));
            QVERIFY(db.open());
            QSqlQuery lock(db);
            QVERIFY(lock.exec(QStringLiteral("BEGIN")));
            QVERIFY(lock.exec(QStringLiteral("LOCK TABLE CONSUMIDOR IN ACCESS EXCLUSIVE MODE")));
            const QVariant locked = postgres.call(TerminalCons, QStringLiteral("getConsumidor"), arguments);
            QCOMPARE(postgres.lastStatus(), 200);
            QVERIFY2(locked.toString().contains(says), qPrintable(locked.toString()));
            QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        QCOMPARE(
            packetFrom(postgres.call(TerminalCons, QStringLiteral("getConsumidor"), arguments)).rows.size(),
            1);
    }

    // A database without the schema is left as it is, and a server that stops answering altogether (stopped
    // with SIGSTOP: no statement_timeout of its own can end anything) costs a call no more than the server's
    // per-request time-out and a second.
    void postgresWithoutSchemaOrFrozen() {
        AppServerFixture postgres(Engine::Postgres);
        REQUIRE_SERVER(postgres);
        QVERIFY(postgres.cluster()->createDatabase(QStringLiteral("bare")));
        ServerProcess bare({QStringLiteral("--database"), postgres.cluster()->url(QStringLiteral("bare"))});
        const ServerProcess::Reply health = bare.get(QStringLiteral("/health"));
        QCOMPARE(health.status, 503);
        QVERIFY2(health.body.contains("has no schema"), health.body.constData());
        QCOMPARE(postgres.cluster()->tableCount(QStringLiteral("bare")), 0);

        QVERIFY(postgres.startServer({QStringLiteral("--request-timeout"), QStringLiteral("1000")}));
        const QVariantList arguments{QStringLiteral("1001"), QStringLiteral("N")};
        QCOMPARE(packetFrom(postgres.call(TerminalCons, QStringLiteral("getConsumidor"), arguments)).rows.size(), 1);
        QVERIFY(postgres.cluster()->freeze(true));
        const auto thaw = qScopeGuard([&postgres] { postgres.cluster()->freeze(false); });
        // Without the cut, the call would wait for the thaw below and then be answered.
        QFuture<QVariant> frozen = QtConcurrent::run(
            [&postgres, &arguments] { return postgres.call(TerminalCons, QStringLiteral("getConsumidor"), arguments); });
        QVERIFY(frozen.isValid());
        QTRY_VERIFY_WITH_TIMEOUT(frozen.isFinished(), 8000);
        QVERIFY2(frozen.result().toString().contains(QStringLiteral("tempo limite")),
                 qPrintable(frozen.result().toString()));
    }

    void sigtermFinishesTheRequestInFlight() {
        m_fixture->stopServer();
        auto lock = std::make_unique<ExclusiveLock>(m_fixture->database());
        QVERIFY(lock->locked());
        QVERIFY(m_fixture->startServer({QStringLiteral("--lock-wait"), QStringLiteral("3000")}));
        ServerProcess& server = m_fixture->server();
        // The request waits on the lock while the signal arrives; releasing the lock lets it finish.
        QFuture<ServerProcess::Reply> inFlight =
            QtConcurrent::run([&server] { return server.post(Balance, balanceOf(QStringLiteral("1001"))); });
        QTest::qWait(500);
        QVERIFY(::kill(static_cast<pid_t>(server.processId()), SIGTERM) == 0);
        QTest::qWait(300);
        lock.reset();
        inFlight.waitForFinished();
        QCOMPARE(inFlight.result().status, 200);
        QVERIFY(server.terminate());
        QVERIFY(server.output().contains(QStringLiteral("method=getSaldo status=200")));
        QVERIFY(server.errors().contains(QStringLiteral("stopped")));
    }

private:
    std::unique_ptr<AppServerFixture> m_fixture;
    QString m_checksum;
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "tst_appserver_faults.moc"
