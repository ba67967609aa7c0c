// Bad input and bad days, against the real totem-server: every fault gets a clear answer (a protocol
// fault or an error text), never a crash and never a change to the stored data; a database that is
// locked or out of reach gives an error text until it is back; SIGTERM lets requests in flight finish.
#include "AppServerFixture.h"

#include "server/WireFormat.h"
#include "support/Rows.h"

#include <QProcess>
#include <QScopeGuard>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <atomic>
#include <csignal>

namespace {

const QString TerminalCons = "Qvr.rdmTerminalCons";
const QString Balance = "/modules/Qvr.rdmTerminalCons/getSaldo";

constexpr auto callBody = &wire::encodeCall;

QByteArray balanceOf(const QString& consumer) {
    return callBody({"0001", "10", consumer, dayText(-10), dayText(0)});
}

// Ana's balance as a kiosk asks for it: the packet or the error text; invalid when the call was refused.
QVariant anasBalance(const ServerProcess& server) {
    const ServerProcess::Reply reply = server.post(Balance, balanceOf("1001"));
    return reply.status == 200 ? wire::decodeResult(reply.body) : QVariant();
}

// Takes SQLite's exclusive lock on the file, held while the connection lives.
const QStringList LockFile{"PRAGMA locking_mode = EXCLUSIVE", "BEGIN EXCLUSIVE",
                           "UPDATE FILIAL SET NMFILIAL = NMFILIAL"};

// Makes a file unwritable even for root (immutable attribute), else by its mode, or writable again; true
// when writing it is then as asked.
bool setWritable(const QString& path, bool writable) {
    QProcess::execute("chattr", {writable ? "-i" : "+i", path});
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                    (writable ? QFileDevice::WriteOwner : QFileDevice::Permissions()));
    return QFile(path).open(QIODevice::Append) == writable;
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
        const QByteArray health = m_fixture->server().get("/health").body;
        QVERIFY2(health.contains(R"("database":"ok")"), health.constData());
        QVERIFY2(health.contains("\"version\":\"" TOTEM_VERSION "\""), health.constData());
    }

    void badRequestsAreAnsweredClearly_data() {
        QTest::addColumn<QString>("request");  // "<HTTP method> <path>"
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        // Part of the {"error"} text, or of the error text answered as result; empty: an empty packet.
        QTest::addColumn<QString>("says");
        const QString consumer = "POST /modules/Qvr.rdmTerminalCons/getConsumidor";
        const QString balance = "POST " + Balance;
        const QByteArray ana = balanceOf("1001");
        dataRow("unknown module", "POST /modules/Qvr.rdmNada/getSaldo", ana, 404, "Módulo remoto");
        dataRow("unknown method", "POST /modules/Qvr.rdmTerminalCons/getNada", ana, 404, "não existe");
        dataRow("method name in another case", "POST /modules/Qvr.rdmTerminalCons/GetSaldo", ana, 404,
                "não existe");
        dataRow("too few arguments", balance, callBody({"0001"}), 400, "espera 5 argumentos");
        dataRow("too many arguments", consumer, callBody({"1001", "N", "x"}), 400, "espera 2 argumentos");
        dataRow("number for a text", consumer, callBody({1001, "N"}), 400, "deve ser um texto");
        dataRow("text for a date-time", "POST /modules/Qvr.rdmTerminalCons/getLoja",
                callBody({"0001", dayText(-10), dayText(0), "10", "1001"}), 400, "deve ser uma data-hora");
        dataRow("null argument", consumer, callBody({QVariant(), "N"}), 400, "deve ser um texto");
        dataRow("malformed JSON", consumer, QByteArray(R"({"args": ["1001", )"), 400, "Formato inválido");
        dataRow("not an object", consumer, QByteArray(R"(["1001", "N"])"), 400, "Formato inválido");
        dataRow("unknown member", consumer, QByteArray(R"({"args": ["1", "N"], "x": 1})"), 400,
                "Formato inválido");
        dataRow("empty body", consumer, QByteArray(), 400, "Formato inválido");
        const QByteArray twice = R"({"args": ["1", "N"], "\u0061rgs": ["1001", "N"]})";
        dataRow("member named twice", consumer, twice, 400, "membro repetido \"args\"");
        dataRow("oversized body", consumer, callBody({QString(70000, u'9'), "N"}), 413, "excede o limite");
        dataRow("GET on a method", "GET /modules/Qvr.rdmTerminalCons/getConsumidor", QByteArray(), 405,
                "não permitido");
        dataRow("POST on health", "POST /health", QByteArray(), 405, "não permitido");
        dataRow("unknown path", "GET /admin", QByteArray(), 404, "não encontrado");
        const QByteArray february31 = callBody({"0001", "10", "1001", "31/02/2024", dayText(0)});
        dataRow("date that does not exist", balance, february31, 200, "Data inválida: \"31/02/2024\"");
        dataRow("date in another form", "POST /modules/Qvr.rdmExtratoSimplificado/getMoviClie",
                callBody({"0001", "10", "1001", "2024-05-01", dayText(0)}), 200, "Use o formato dd/MM/yyyy");
        dataRow("date that is no date", "POST /modules/Qvr.rdmExtratoDetalhado/GetProduto",
                callBody({"0001", "002", "10", "1001", dayText(-1), "amanhã"}), 200, "Data inválida");
        dataRow("SQL in a code: no consumer", balance, balanceOf("1001' OR '1'='1"), 200, "não cadastrado");
        dataRow("SQL to drop a table: no consumer", consumer, callBody({"';DROP TABLE VENDA;--", "N"}), 200,
                "");
        dataRow("10,000-character code", "POST /modules/Qvr.rdmExtratoDetalhado/GetMoviClie",
                callBody({"0001", "10", QString(10000, u'7'), dayText(-10), dayText(0)}), 200,
                "CDCONSUMIDOR: o valor informado tem mais de 21 caracteres");
        dataRow("3,000-character code", consumer, callBody({QString(3000, u'7'), "N"}), 200,
                "Consumidor: o valor informado tem mais de 21");
        dataRow("two-letter flag", consumer, callBody({"1001", "SS"}), 200, "mais de 1 caracteres");
    }

    void badRequestsAreAnsweredClearly() {
        QFETCH(QString, request);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, says);
        const ServerProcess& server = m_fixture->server();
        const QString path = request.section(u' ', 1);
        const ServerProcess::Reply reply =
            request.startsWith("GET") ? server.get(path) : server.post(path, body);
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

    void readsDateTextsInTheConfiguredForm() {
        QVERIFY(m_fixture->startServer({"--date-format", "yyyy-MM-dd"}));
        const auto movements = [this](const QString& from, const QString& to) {
            const QVariantList period{"0001", "10", "1001", from, to};
            return m_fixture->call("Qvr.rdmExtratoSimplificado", "getMoviClie", period);
        };
        QCOMPARE(packetFrom(movements("2024-05-05", "2024-05-15")).rows.size(), 8);
        const QString kiosk = movements(dayText(-10), dayText(0)).toString();
        QVERIFY2(kiosk.contains("Use o formato yyyy-MM-dd"), qPrintable(kiosk));
        QVERIFY(m_fixture->startServer());
    }

    // A locked file: the error text while the lock wait runs out. A request still waiting when SIGTERM comes
    // is finished once the lock goes, and then the server ends.
    void lockedDatabaseAnswersErrorTextAndHoldsTheStop() {
        m_fixture->stopServer();
        auto lock = std::make_unique<DirectConnection>(m_fixture->database());
        QVERIFY(lock->exec(LockFile));
        QVERIFY(m_fixture->startServer({"--lock-wait", "200"}));
        QVERIFY(anasBalance(m_fixture->server()).toString().contains("ocupado"));
        QCOMPARE(m_fixture->server().get("/health").status, 503);

        QVERIFY(m_fixture->startServer({"--lock-wait", "3000"}));
        ServerProcess& server = m_fixture->server();
        QFuture<ServerProcess::Reply> inFlight =
            QtConcurrent::run([&server] { return server.post(Balance, balanceOf("1001")); });
        QTest::qWait(500);
        QVERIFY(::kill(static_cast<pid_t>(server.processId()), SIGTERM) == 0);
        QTest::qWait(300);
        lock.reset();
        inFlight.waitForFinished();
        QCOMPARE(inFlight.result().status, 200);
        QVERIFY(server.terminate());
        QVERIFY(server.output().contains("method=getSaldo status=200"));
        QVERIFY(server.errors().contains("stopped"));
        QVERIFY(m_fixture->startServer());
        QCOMPARE(packetFrom(anasBalance(m_fixture->server())).rows.size(), 1);
        QCOMPARE(m_fixture->checksum(), m_checksum);
    }

    void databaseFileMovedAwayIsUnavailableNeverEmpty() {
        QVERIFY(m_fixture->startServer());
        const QString path = m_fixture->database();
        const QString aside = path + ".aside";
        QVERIFY(QFile::rename(path, aside));
        const QString away = anasBalance(m_fixture->server()).toString();
        const bool existedWhileAway = QFile::exists(path);
        QVERIFY(QFile::rename(aside, path));
        QVERIFY2(away.contains("indisponível"), qPrintable(away));
        QVERIFY(!existedWhileAway);  // no empty database took its place
        QCOMPARE(packetFrom(anasBalance(m_fixture->server())).rows.size(), 1);
        QCOMPARE(m_fixture->checksum(), m_checksum);
    }

    void readOnlyDatabaseFileKeepsServingConsultations() {
        m_fixture->stopServer();
        const QString path = m_fixture->database();
        if (!setWritable(path, false)) {
            QSKIP("neither chattr +i nor a read-only mode makes the file unwritable here");
        }
        const auto writable = qScopeGuard([&path] { setWritable(path, true); });
        QVERIFY(m_fixture->startServer());
        QCOMPARE(packetFrom(anasBalance(m_fixture->server())).rows.size(), 1);
        QCOMPARE(m_fixture->server().get("/health").status, 200);
    }

    // Kiosks keep calling while the database stops and starts again: each answer is the data or the clear
    // text, and the calls are served again once it is back.
    void postgresStoppedUnderLoadAnswersEveryCallClearly() {
        AppServerFixture postgres(Engine::Postgres);
        REQUIRE_SERVER(postgres);
        std::atomic<bool> loading{true};
        const auto kiosk = [&postgres, &loading] {
            HttpClient client({"127.0.0.1", postgres.server().port(), {}}, {});
            QStringList odd;
            for (int calls = 0; loading || calls == 0; ++calls) {
                const HttpClient::Exchange reply = client.post(Balance, balanceOf("1001"));
                const QVariant answer = reply.status == 200 ? wire::decodeResult(reply.body) : QVariant();
                const bool data = answer.metaType() == QMetaType::fromType<DataPacket>() &&
                                  packetFrom(answer).rows.size() == 1;
                if (!data && !answer.toString().contains("indisponível")) {
                    odd.append(reply.status != 0 ? QString::fromUtf8(reply.body) : "no answer");
                }
            }
            return odd;
        };
        QList<QFuture<QStringList>> kiosks;
        for (int i = 0; i < 4; ++i) {
            kiosks.append(QtConcurrent::run(kiosk));
        }
        const auto stopKiosks = qScopeGuard([&] {
            loading = false;
            for (QFuture<QStringList>& calls : kiosks) {
                calls.waitForFinished();
            }
        });
        QTest::qWait(200);
        QVERIFY(postgres.cluster()->stop());
        const QString down = anasBalance(postgres.server()).toString();
        QVERIFY2(down.contains("indisponível"), qPrintable(down));
        const ServerProcess::Reply health = postgres.server().get("/health");
        QCOMPARE(health.status, 503);
        // Where the database lives is for the log, not for whoever asks.
        const QByteArray port = QByteArray::number(postgres.cluster()->port());
        QVERIFY2(!health.body.contains(port), health.body.constData());
        QTRY_VERIFY(postgres.server().errors().contains(QString::fromLatin1(port)));
        // One event, one line, however many lines the database's message has.
        for (const QString& line : postgres.server().errors().split(u'\n', Qt::SkipEmptyParts)) {
            QVERIFY2(line.front().isDigit(), qPrintable(line));
        }
        QVERIFY(postgres.cluster()->start());
        QTest::qWait(200);
        loading = false;
        for (QFuture<QStringList>& calls : kiosks) {
            const QStringList odd = calls.result();
            QVERIFY2(odd.isEmpty(), qPrintable(odd.join(u'\n')));
        }
        QCOMPARE(packetFrom(anasBalance(postgres.server())).rows.size(), 1);
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
        const QString path = dir.filePath("totem.db");
        if (kind == QLatin1String("empty")) {
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        } else if (kind == QLatin1String("bare")) {
            QCOMPARE(ServerProcess::run({"--create-schema", "--database", path}).status, 0);
        } else if (kind == QLatin1String("emptied")) {
            QVERIFY(QFile::copy(m_fixture->database(), path));
        }
        ServerProcess server({"--database", path});
        QVERIFY2(server.failure().isEmpty(), qPrintable(server.failure()));
        const QVariantList register1{"001", "0001"};
        if (kind == QLatin1String("emptied")) {
            const ServerProcess::Reply served = server.call(TerminalCons, "getParametrosCx", register1);
            QCOMPARE(packetFrom(wire::decodeResult(served.body)).rows.size(), 1);
            QVERIFY(QFile(path).resize(0));
        }
        const qint64 size = QFileInfo::exists(path) ? QFileInfo(path).size() : -1;
        // The connection that saw the file emptied reports its own failure first; the next one, what to do.
        QCOMPARE(server.get("/health").status, 503);
        const ServerProcess::Reply health = server.get("/health");
        QCOMPARE(health.status, 503);
        QVERIFY2(health.body.contains(says.toUtf8()), health.body.constData());
        const ServerProcess::Reply call = server.call(TerminalCons, "getParametrosCx", register1);
        QVERIFY2(wire::decodeResult(call.body).toString().contains("indisponível"), call.body.constData());
        QCOMPARE(QFileInfo::exists(path) ? QFileInfo(path).size() : -1, size);
    }

    void missingDatabaseFolderRecoversWhenItAppears() {
        QTemporaryDir dir;
        const QString folder = dir.filePath("later");
        const QString path = folder + "/totem.db";
        ServerProcess server({"--database", path});
        QVERIFY2(server.failure().isEmpty(), qPrintable(server.failure()));
        QVERIFY(anasBalance(server).toString().contains("indisponível"));
        QCOMPARE(server.get("/health").status, 503);

        QVERIFY(QDir().mkpath(folder));
        QVERIFY(ServerProcess::createDemo(path, AppServerFixture::DemoToday).isEmpty());
        QCOMPARE(packetFrom(anasBalance(server)).rows.size(), 1);
        QCOMPARE(server.get("/health").status, 200);
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
        QVERIFY(postgres.startServer({"--lock-wait", lockWait, "--request-timeout", requestTimeout}));
        const QVariantList arguments{"1001", "N"};
        QCOMPARE(packetFrom(postgres.call(TerminalCons, "getConsumidor", arguments)).rows.size(), 1);
        {
            DirectConnection lock(postgres.database());
            QVERIFY(lock.exec({"BEGIN", "LOCK TABLE CONSUMIDOR IN ACCESS EXCLUSIVE MODE"}));
            const QVariant locked = postgres.call(TerminalCons, "getConsumidor", arguments);
            QCOMPARE(postgres.lastStatus(), 200);
            QVERIFY2(locked.toString().contains(says), qPrintable(locked.toString()));
        }
        QCOMPARE(packetFrom(postgres.call(TerminalCons, "getConsumidor", arguments)).rows.size(), 1);
    }

    // A database without the schema is left as it is, and a server that stops answering altogether (stopped
    // with SIGSTOP: no statement_timeout of its own can end anything) costs a call no more than the server's
    // per-request time-out and a second.
    void postgresWithoutSchemaOrFrozen() {
        AppServerFixture postgres(Engine::Postgres);
        REQUIRE_SERVER(postgres);
        QVERIFY(postgres.cluster()->createDatabase("bare"));
        ServerProcess bare({"--database", postgres.cluster()->url("bare")});
        const ServerProcess::Reply health = bare.get("/health");
        QCOMPARE(health.status, 503);
        QVERIFY2(health.body.contains("has no schema"), health.body.constData());
        QCOMPARE(DirectConnection(postgres.cluster()->url("bare"))
                     .row("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = 'public'"),
                 "0/");

        QVERIFY(postgres.startServer({"--request-timeout", "1000"}));
        const QVariantList arguments{"1001", "N"};
        QCOMPARE(packetFrom(postgres.call(TerminalCons, "getConsumidor", arguments)).rows.size(), 1);
        QVERIFY(postgres.cluster()->freeze(true));
        const auto thaw = qScopeGuard([&postgres] { postgres.cluster()->freeze(false); });
        // Without the cut, the call would wait for the thaw below and then be answered.
        QFuture<QVariant> frozen = QtConcurrent::run(
            [&postgres, &arguments] { return postgres.call(TerminalCons, "getConsumidor", arguments); });
        QVERIFY(frozen.isValid());
        QTRY_VERIFY_WITH_TIMEOUT(frozen.isFinished(), 8000);
        const QString cut = frozen.result().toString();
        QVERIFY2(cut.contains("tempo limite"), qPrintable(cut));
    }

private:
    std::unique_ptr<AppServerFixture> m_fixture;
    QString m_checksum;
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "tst_appserver_faults.moc"
