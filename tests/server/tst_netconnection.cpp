#include <QSignalSpy>
#include <QTest>

#include <atomic>

#include "LoopbackAppServer.h"
#include "server/DataPacket.h"
#include "server/NetConnection.h"
#include "server/ServerErrors.h"
#include "server/WireFormat.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"

using namespace std::chrono_literals;
using Reply = LoopbackAppServer::Reply;

namespace {

const QString Module = QStringLiteral("Qvr.rdmTerminalCons");
const QString Guid = QStringLiteral("{3A6445E3-6B74-407B-BF73-EE033494058A}");

DataPacket consumerPacket() {
    DataPacket packet;
    packet.fields = {{"CDCLIENTE", FieldType::String, 21}, {"NMCONSUMIDOR", FieldType::String, 50}};
    packet.rows = {{QStringLiteral("0001"), QStringLiteral("João")}};
    return packet;
}

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
        m_environment = std::make_unique<TestEnvironment>();
        m_server = std::make_unique<LoopbackAppServer>();
        m_server->addModule(Module);
        m_server->addMethod(Module, "getConsumidor", [](const QVariantList&) {
            return Reply::result(QVariant::fromValue(consumerPacket()));
        });
        m_beforeConnects = 0;
    }

    void cleanup() {
        m_server.reset();
        m_environment.reset();
    }

    void connectRunsBeforeConnectAndChecksModule() {
        auto connection = connectionTo(m_server->port());
        QVERIFY(!connection->Connected());
        connection->setConnected(true);
        QVERIFY(connection->Connected());
        QCOMPARE(m_beforeConnects, 1);
        QCOMPARE(m_server->moduleChecks(), 1);
        connection->setConnected(true);
        QCOMPARE(m_beforeConnects, 1);
    }

    void disconnectIsIdempotent() {
        auto connection = connectionTo(m_server->port());
        connection->setConnected(true);
        connection->setConnected(false);
        QVERIFY(!connection->Connected());
        connection->setConnected(false);
        QVERIFY(!connection->Connected());
    }

    void unknownModuleFailsToConnect() {
        auto connection = connectionTo(m_server->port(), QStringLiteral("Qvr.rdmNaoExiste"));
        const QString text = connectionErrorOf([&] { connection->setConnected(true); });
        QVERIFY2(text.contains(QStringLiteral("Qvr.rdmNaoExiste")) &&
                     text.contains(QStringLiteral("não encontrado")),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("127.0.0.1:%1").arg(m_server->port())), qPrintable(text));
        QVERIFY(!connection->Connected());
    }

    void serverGuid_data() {
        QTest::addColumn<QString>("moduleGuid");
        QTest::addColumn<QString>("expectedGuid");
        QTest::addColumn<bool>("connects");
        dataRow("no GUID expected", Guid, QString(), true);
        dataRow("same GUID", Guid, Guid, true);
        dataRow("same GUID other case", Guid, Guid.toLower(), true);
        dataRow("other GUID", Guid, QStringLiteral("{00000000-0000-0000-0000-000000000000}"), false);
        dataRow("module without GUID", QString(), Guid, false);
    }

    void serverGuid() {
        QFETCH(QString, moduleGuid);
        QFETCH(QString, expectedGuid);
        QFETCH(bool, connects);
        m_server->addModule(QStringLiteral("Qvr.rdmExtratoDetalhado"), moduleGuid);
        auto connection = connectionTo(m_server->port(), QStringLiteral("Qvr.rdmExtratoDetalhado"));
        connection->setServerGUID(expectedGuid);
        const QString text = connectionErrorOf([&] { connection->setConnected(true); });
        QCOMPARE(connection->Connected(), connects);
        QCOMPARE(text.isEmpty(), connects);
    }

    void callSendsArgumentsInOrder() {
        auto connection = connectionTo(m_server->port());
        const QDateTime start(QDate(2024, 4, 16), QTime(0, 0));
        connection->call("getConsumidor",
                         {QStringLiteral("0001"), QStringLiteral("S"), start, 2.5, QVariant()});
        const QVariantList received = m_server->lastArguments();
        QCOMPARE(received,
                 (QVariantList{QStringLiteral("0001"), QStringLiteral("S"), start, 2.5, QVariant()}));
    }

    void callAnswers_data() {
        QTest::addColumn<QVariant>("answer");
        dataRow("error text", QVariant(QStringLiteral("Consumidor bloqueado.")));
        dataRow("packet", QVariant::fromValue(consumerPacket()));
        dataRow("array of packets", QVariant(QVariantList{QVariant::fromValue(consumerPacket()),
                                                          QVariant::fromValue(DataPacket{})}));
    }

    void callAnswers() {
        QFETCH(QVariant, answer);
        m_server->addMethod(Module, "getSaldo",
                            [answer](const QVariantList&) { return Reply::result(answer); });
        auto connection = connectionTo(m_server->port());
        const QVariant result = connection->call("getSaldo", {QStringLiteral("0001")});
        QCOMPARE(result.metaType(), answer.metaType());
        QCOMPARE(result, answer);
    }

    void errorTextIsRaisedWithThrowException() {
        m_server->addMethod(Module, "getSaldo", [](const QVariantList&) {
            return Reply::result(QStringLiteral("Consumidor bloqueado."));
        });
        auto connection = connectionTo(m_server->port());
        connection->setThrowException(true);
        try {
            connection->call("getSaldo");
            QFAIL("the error text was not raised");
        } catch (const ServerError& error) {
            QCOMPARE(error.text(), QStringLiteral("Consumidor bloqueado."));
        }
        QCOMPARE(connection->call("getConsumidor").metaType(), QMetaType::fromType<DataPacket>());
    }

    void protocolFaultsRaise_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expectedText");
        QTest::addColumn<bool>("staysConnected");
        dataRow("unknown method", "getNada", 0, QByteArray(), "Método desconhecido.", true);
        dataRow("400 with error", "getSaldo", 400, wire::encodeError("Argumentos errados."),
                "Argumentos errados.", true);
        dataRow("500 without body", "getSaldo", 500, QByteArray(), "HTTP 500", true);
        dataRow("truncated answer", "getSaldo", 200, QByteArray(R"({"result":{"fields":)"),
                "Formato inválido", false);
        dataRow("oversized answer", "getSaldo", 200, QByteArray(wire::MaxBodyBytes + 1, ' '),
                "excede o limite", false);
        dataRow("number answer", "getSaldo", 200, QByteArray(R"({"result":5})"), "Formato inválido", false);
    }

    void protocolFaultsRaise() {
        QFETCH(QString, method);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expectedText);
        QFETCH(bool, staysConnected);
        m_server->addMethod(Module, "getSaldo",
                            [=](const QVariantList&) { return Reply::raw(status, body); });
        auto connection = connectionTo(m_server->port());
        // Every answer here comes at once; the oversized one must be refused for its size even on a busy
        // machine, never reach the read time-out first.
        connection->setReadTimeout(10s);
        connection->setConnected(true);
        const QString text = connectionErrorOf([&] { connection->call(method); });
        QVERIFY2(text.contains(expectedText) && text.contains(method), qPrintable(text));
        QCOMPARE(connection->Connected(), staysConnected);
    }

    // Each answer would fill the kiosk's memory, or hold it silent, if the client read it without bounds.
    void answersWithoutEndAreCut_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<int>("paceMs");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("fails");
        constexpr int Endless = 1 << 20;  // of 64-byte units: 64 MiB
        const QByteArray status("HTTP/1.1 200 OK\r\n");
        const QByteArray module = wire::encodeModule({Module, {}});
        dataRow("one header line without end", status + "X-Filler: ", QByteArray(64, 'a'), Endless, 0,
                QByteArray(), "excede o limite");
        dataRow("header lines without end", status, "X-Filler: " + QByteArray(52, 'a') + "\r\n", Endless, 0,
                QByteArray(), "excede o limite");
        dataRow("chunk-size line without end", status + "Transfer-Encoding: chunked\r\n\r\n", QByteArray(64, 'f'),
                Endless, 0, QByteArray(), "incompleta ou malformada");
        dataRow("answer trickled a byte at a time",
                status + "Content-Length: " + QByteArray::number(100 + module.size()) + "\r\n\r\n",
                QByteArray(" "), 100, 50, module, "não respondeu a tempo");
    }

    void answersWithoutEndAreCut() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, unit);
        QFETCH(int, repeats);
        QFETCH(int, paceMs);
        QFETCH(QByteArray, tail);
        QFETCH(QString, fails);
        EndlessAnswerServer server({head, unit, repeats, std::chrono::milliseconds(paceMs), tail});
        auto connection = connectionTo(server.port());
        const QString text = connectionErrorOf([&] { connection->setConnected(true); });
        QVERIFY2(text.contains(fails), qPrintable(text));
    }

    void callConnectsByItself() {
        auto connection = connectionTo(m_server->port());
        QCOMPARE(connection->call("getConsumidor").value<DataPacket>(), consumerPacket());
        QVERIFY(connection->Connected());
        QCOMPARE(m_beforeConnects, 1);
        connection->call("getConsumidor");
        QCOMPARE(m_beforeConnects, 1);
    }

    void silentServerFailsConnectWithinReadTimeout() {
        SilentListener silent;
        auto connection = connectionTo(silent.port());
        const QString text = connectionErrorOf([&] { connection->setConnected(true); });
        QVERIFY2(text.contains(QStringLiteral("não respondeu")), qPrintable(text));
        QVERIFY(!connection->Connected());
    }

    void stalledCallFailsAndNextCallReconnects() {
        std::atomic<int> calls = 0;
        m_server->addMethod(Module, "getSaldo", [&calls](const QVariantList&) {
            ++calls;
            return Reply::silence();
        });
        auto connection = connectionTo(m_server->port());
        connection->setConnected(true);
        const QString text = connectionErrorOf([&] { connection->call("getSaldo"); });
        QVERIFY2(text.contains(QStringLiteral("getSaldo")) && text.contains(QStringLiteral("não respondeu")),
                 qPrintable(text));
        QCOMPARE(calls, 1);  // a read-only call that timed out is not sent again
        QVERIFY(!connection->Connected());
        QCOMPARE(connection->call("getConsumidor").value<DataPacket>(), consumerPacket());
        QCOMPARE(m_beforeConnects, 2);
        QCOMPARE(m_server->moduleChecks(), 2);
    }

    void serverThatGoesAwayIsReconnected() {
        auto connection = connectionTo(m_server->port());
        connection->call("getConsumidor");
        m_server->stop();
        const QString text = connectionErrorOf([&] { connection->call("getConsumidor"); });
        QVERIFY2(!text.isEmpty(), "a call to a stopped server did not fail");
        QVERIFY(!connection->Connected());
        m_server->start();
        QCOMPARE(connection->call("getConsumidor").value<DataPacket>(), consumerPacket());
        QVERIFY(connection->Connected());
    }

    void callClosedUnansweredIsRetriedWhenReadOnly_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("hangUps");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<int>("callsSent");
        dataRow("read-only, one hang-up", "getConsumidor", 1, true, 2);
        dataRow("read-only, no second retry", "getConsumidor", 2, false, 2);
        dataRow("not read-only", "gravaConsumo", 1, false, 1);
    }

    void callClosedUnansweredIsRetriedWhenReadOnly() {
        QFETCH(QString, method);
        QFETCH(int, hangUps);
        QFETCH(bool, answered);
        QFETCH(int, callsSent);
        HangingUpServer server(hangUps, QVariant::fromValue(consumerPacket()));
        auto connection = connectionTo(server.port());
        connection->setConnected(true);
        QVariant result;
        const QString text = connectionErrorOf([&] { result = connection->call(method); });
        QCOMPARE(text.isEmpty(), answered);
        QCOMPARE(result.value<DataPacket>() == consumerPacket(), answered);
        QCOMPARE(server.callsReceived(), callsSent);
        QCOMPARE(m_beforeConnects, callsSent);
    }

    void namesThatBreakThePathAreRefused_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("method");
        dataRow("slash in method", Module, "getSaldo/../x");
        dataRow("blank in method", Module, "get Saldo");
        dataRow("empty method", Module, "");
        dataRow("slash in module", "Qvr/rdm", "getSaldo");
    }

    void namesThatBreakThePathAreRefused() {
        QFETCH(QString, module);
        QFETCH(QString, method);
        auto connection = connectionTo(m_server->port(), module);
        QVERIFY(!connectionErrorOf([&] { connection->call(method); }).isEmpty());
    }

    void missingAddressFails() {
        TNetConnection connection;
        connection.setServerName(Module);
        QSignalSpy beforeConnect(&connection, &TNetConnection::BeforeConnect);
        const QString text = connectionErrorOf([&] { connection.setConnected(true); });
        QVERIFY2(text.startsWith(QStringLiteral("Erro durante conexão")), qPrintable(text));
        QCOMPARE(beforeConnect.count(), 1);
    }

private:
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

    std::unique_ptr<TestEnvironment> m_environment;
    std::unique_ptr<LoopbackAppServer> m_server;
    int m_beforeConnects = 0;
};

QTEST_GUILESS_MAIN(TestNetConnection)
#include "tst_netconnection.moc"
