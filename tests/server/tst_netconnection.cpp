#include <QTest>

#include "LoopbackAppServer.h"
#include "StoreRows.h"
#include "server/NetConnection.h"
#include "server/ServerErrors.h"
#include "server/WireFormat.h"
#include "support/Rows.h"

using namespace std::chrono_literals;

namespace {

const QString Module = QStringLiteral("Qvr.rdmTerminalCons");
const QString Guid = QStringLiteral("{3A6445E3-6B74-407B-BF73-EE033494058A}");

// Runs `action`, expecting a ConnectionError, and gives back its text.
template <typename Action>
QString connectionErrorOf(Action action) {
    try {
        action();
    } catch (const ConnectionError& error) {
        return error.text();
    }
    return {};
}

}  // namespace

class TestNetConnection : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_guid.clear();
        m_hangUps = m_calls = m_moduleChecks = m_beforeConnects = 0;
        m_server = std::make_unique<LoopbackAppServer>([this](const auto& asked) { return serve(asked); });
    }

    void cleanup() { m_server.reset(); }

    void moduleAndGuid_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("moduleGuid");
        QTest::addColumn<QString>("expectedGuid");
        QTest::addColumn<QString>("fails");
        dataRow("no GUID expected", Module, Guid, QString(), "");
        dataRow("same GUID other case", Module, Guid, Guid.toLower(), "");
        dataRow("other GUID", Module, Guid, QStringLiteral("{00000000-0000-0000-0000-000000000000}"),
                "identificador");
        dataRow("unknown module", "Qvr.rdmNaoExiste", QString(), QString(), "não encontrado");
    }

    void moduleAndGuid() {
        QFETCH(QString, module);
        QFETCH(QString, moduleGuid);
        QFETCH(QString, expectedGuid);
        QFETCH(QString, fails);
        m_guid = moduleGuid;
        auto connection = connectionTo(m_server->port(), module);
        connection->setServerGUID(expectedGuid);
        const QString text = connectionErrorOf([&] { connection->setConnected(true); });
        QCOMPARE(connection->Connected(), fails.isEmpty());
        QVERIFY2(fails.isEmpty() || (text.contains(fails) && text.contains(module)), qPrintable(text));
    }

    // With ThrowException an error text is raised instead of returned; packets come back either way.
    void callAnswers_data() {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<bool>("throwException");
        QTest::addColumn<bool>("raised");
        dataRow("error text", QVariant(QStringLiteral("Consumidor bloqueado.")), false, false);
        dataRow("error text raised", QVariant(QStringLiteral("Consumidor bloqueado.")), true, true);
        dataRow("packet", QVariant::fromValue(storePacket()), true, false);
        const QVariantList packets{QVariant::fromValue(storePacket()), QVariant::fromValue(DataPacket{})};
        dataRow("array of packets", QVariant(packets), false, false);
    }

    void callAnswers() {
        QFETCH(QVariant, answer);
        QFETCH(bool, throwException);
        QFETCH(bool, raised);
        m_saldo = {200, wire::encodeResult(answer)};
        auto connection = connectionTo(m_server->port());
        connection->setThrowException(throwException);
        const QVariantList arguments{QStringLiteral("0001"), QStringLiteral("S"),
                                     QDateTime(QDate(2024, 4, 16), QTime(0, 0)), 2.5, QVariant()};
        try {
            const QVariant result = connection->call("getSaldo", arguments);
            QVERIFY(!raised);
            QCOMPARE(result, answer);
        } catch (const ServerError& error) {
            QVERIFY(raised);
            QCOMPARE(error.text(), answer.toString());
        }
        QCOMPARE(m_lastArguments, arguments);
    }

    // A fault fails the call, not sent again; an unreadable answer drops the connection, made anew next call.
    void protocolFaultsRaise_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expectedText");
        QTest::addColumn<bool>("staysConnected");
        dataRow("400 with error", 400, wire::encodeError("Argumentos errados."), "Argumentos errados.", true);
        dataRow("500 without body", 500, QByteArray(), "HTTP 500", true);
        dataRow("not an answer", 200, QByteArray(R"({"result":5})"), "Formato inválido", false);
        dataRow("oversized answer", 200, QByteArray(wire::MaxBodyBytes + 1, ' '), "excede o limite", false);
        dataRow("no answer", NoAnswer, QByteArray(), "não respondeu", false);
    }

    void protocolFaultsRaise() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expectedText);
        QFETCH(bool, staysConnected);
        m_saldo = {status, body};
        auto connection = connectionTo(m_server->port());
        // The oversized answer must be refused for its size even on a busy machine, not for the time it took.
        connection->setReadTimeout(status == NoAnswer ? 300ms : 10s);
        connection->setConnected(true);
        const QString text = connectionErrorOf([&] { connection->call("getSaldo"); });
        QVERIFY2(text.contains(expectedText) && text.contains(QStringLiteral("getSaldo")), qPrintable(text));
        QCOMPARE(connection->Connected(), staysConnected);
        QCOMPARE(m_calls, 1);
        QCOMPARE(connection->call("getConsumidor").value<DataPacket>(), storePacket());
        QCOMPARE(m_beforeConnects, staysConnected ? 1 : 2);
        QCOMPARE(m_moduleChecks, staysConnected ? 1 : 2);
    }

    // Each answer would fill the kiosk's memory, or hold it silent, if the client read it without bounds.
    void answersWithoutEndAreCut_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<int>("paceMs");
        QTest::addColumn<QString>("fails");
        constexpr int Endless = 1 << 20;  // of 64-byte units: 64 MiB
        const QByteArray status("HTTP/1.1 200 OK\r\n");
        dataRow("one header line without end", status + "X-Filler: ", QByteArray(64, 'a'), Endless, 0,
                "excede o limite");
        dataRow("header lines without end", status, "X-Filler: " + QByteArray(52, 'a') + "\r\n", Endless, 0,
                "excede o limite");
        dataRow("chunk-size line without end", status + "Transfer-Encoding: chunked\r\n\r\n",
                QByteArray(64, 'f'), Endless, 0, "incompleta ou malformada");
        // Each byte comes well within the read time-out, the whole answer well after it.
        dataRow("answer trickled a byte at a time", status + "Content-Length: 100\r\n\r\n", QByteArray(" "),
                100, 50, "não respondeu a tempo");
    }

    void answersWithoutEndAreCut() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, unit);
        QFETCH(int, repeats);
        QFETCH(int, paceMs);
        QFETCH(QString, fails);
        LoopbackAppServer server([&](const LoopbackAppServer::Exchange& exchange) {
            bool open = exchange.send(head);
            for (int i = 0; open && i < repeats; ++i) {
                open = exchange.send(unit);
                std::this_thread::sleep_for(std::chrono::milliseconds(paceMs));
            }
            return false;
        });
        auto connection = connectionTo(server.port());
        const QString text = connectionErrorOf([&] { connection->setConnected(true); });
        QVERIFY2(text.contains(fails), qPrintable(text));
        QVERIFY(!connection->Connected());
    }

    // Connecting checks the module once; a call connects by itself, and again once the server is back.
    void connectionIsMadeOnceAndAgainAfterTheServerCameBack() {
        auto connection = connectionTo(m_server->port());
        QVERIFY(!connection->Connected());
        connection->setConnected(true);
        connection->setConnected(true);
        QVERIFY(connection->Connected());
        QCOMPARE(m_moduleChecks, 1);
        connection->setConnected(false);
        connection->setConnected(false);
        QVERIFY(!connection->Connected());
        QCOMPARE(connection->call("getConsumidor").value<DataPacket>(), storePacket());
        QVERIFY(connection->Connected());
        connection->call("getConsumidor");
        QCOMPARE(m_beforeConnects, 2);
        QCOMPARE(m_moduleChecks, 2);
        m_server->stop();
        QVERIFY2(!connectionErrorOf([&] { connection->call("getConsumidor"); }).isEmpty(),
                 "a call to a stopped server did not fail");
        QVERIFY(!connection->Connected());
        m_server->start();
        QCOMPARE(connection->call("getConsumidor").value<DataPacket>(), storePacket());
        QVERIFY(connection->Connected());
    }

    // As a server does when it dies, or closes a kept-alive connection just as a call arrives.
    void callClosedUnansweredIsRetriedWhenReadOnly_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("hangUps");
        QTest::addColumn<int>("callsSent");
        dataRow("read-only, one hang-up", "getConsumidor", 1, 2);
        dataRow("read-only, no second retry", "getConsumidor", 2, 2);
        dataRow("not read-only", "gravaConsumo", 1, 1);
    }

    void callClosedUnansweredIsRetriedWhenReadOnly() {
        QFETCH(QString, method);
        QFETCH(int, hangUps);
        QFETCH(int, callsSent);
        const bool answered = callsSent > hangUps;
        m_hangUps = hangUps;
        auto connection = connectionTo(m_server->port());
        connection->setConnected(true);
        QVariant result;
        const QString text = connectionErrorOf([&] { result = connection->call(method); });
        QCOMPARE(text.isEmpty(), answered);
        QCOMPARE(result.value<DataPacket>() == storePacket(), answered);
        QCOMPARE(m_calls, callsSent);
        QCOMPARE(m_beforeConnects, callsSent);
    }

    void namesThatBreakThePathAreRefused_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("method");
        dataRow("slash in method", Module, "getSaldo/../x");
        dataRow("empty method", Module, "");
        dataRow("slash in module", "Qvr/rdm", "getSaldo");
    }

    void namesThatBreakThePathAreRefused() {
        QFETCH(QString, module);
        QFETCH(QString, method);
        auto connection = connectionTo(m_server->port(), module);
        QVERIFY(!connectionErrorOf([&] { connection->call(method); }).isEmpty());
        QCOMPARE(m_calls, 0);
    }

    // The address is checked once the before-connect handler had its chance to set it.
    void missingAddressFails() {
        auto connection = connectionTo(0);
        const QString text = connectionErrorOf([&] { connection->setConnected(true); });
        QVERIFY2(text.contains(QStringLiteral("endereço ou porta não informados")), qPrintable(text));
        QCOMPARE(m_beforeConnects, 1);
    }

private:
    static constexpr int NoAnswer = 0;

    // The one module, with m_guid; getSaldo answers m_saldo (or never: NoAnswer), every other method the
    // stores' packet; the first m_hangUps calls are hung up on.
    bool serve(const LoopbackAppServer::Exchange& exchange) {
        // The request line's path: /modules/<module> or /modules/<module>/<method>.
        const QList<QByteArray> path = exchange.head.split(' ').value(1).split('/');
        if (path.size() == 3) {
            ++m_moduleChecks;
            return path[2] == Module.toUtf8()
                       ? exchange.answer(200, wire::encodeModule({Module, m_guid}))
                       : exchange.answer(404, wire::encodeError(QStringLiteral("Módulo desconhecido.")));
        }
        if (++m_calls <= m_hangUps) {
            return false;
        }
        m_lastArguments = wire::decodeCall(exchange.body);
        if (path.value(3) != "getSaldo") {
            return exchange.answer(200, wire::encodeResult(QVariant::fromValue(storePacket())));
        }
        if (m_saldo.first == NoAnswer) {
            exchange.awaitHangUp();
            return false;
        }
        return exchange.answer(m_saldo.first, m_saldo.second);
    }

    // A connection whose before-connect handler points it at the test server, as screens do with WebURL.
    std::unique_ptr<TNetConnection> connectionTo(int port, const QString& module = Module) {
        auto connection = std::make_unique<TNetConnection>();
        connection->setServerName(module);
        connection->setConnectTimeout(2s);
        connection->setReadTimeout(300ms);
        connect(connection.get(), &TNetConnection::BeforeConnect, this, [this, raw = connection.get(), port] {
            ++m_beforeConnects;
            raw->setHost(QStringLiteral("127.0.0.1"));
            raw->setPort(port);
        });
        return connection;
    }

    std::unique_ptr<LoopbackAppServer> m_server;
    // Set by the test, read by the server's thread; its counts are read once the client has its answer.
    QString m_guid;
    std::pair<int, QByteArray> m_saldo;
    int m_hangUps = 0;
    std::atomic<int> m_calls = 0;
    std::atomic<int> m_moduleChecks = 0;
    QVariantList m_lastArguments;
    int m_beforeConnects = 0;
};

QTEST_GUILESS_MAIN(TestNetConnection)
#include "tst_netconnection.moc"
