// What a hostile client meets at the real totem-server: request limits (header size and count, slow
// requests, connections held), the consumer look-up rate, HTTPS verified by the kiosk's connection, the
// refusal to serve plain HTTP off loopback, and logs free of consumer data.
#include "AppServerFixture.h"

#include "server/NetConnection.h"
#include "server/ServerErrors.h"
#include "server/WireFormat.h"
#include "support/ChildProcess.h"
#include "support/Rows.h"

#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <sys/stat.h>

#include <csignal>

#include <atomic>

namespace {

const QString TerminalCons = QStringLiteral("Qvr.rdmTerminalCons");
const QString HeldBack = QStringLiteral("Muitas consultas seguidas");

// Sends raw bytes and reads the answer until the server closes the connection or `waitMs` passes.
QByteArray exchange(int port, const QByteArray& request, int waitMs = 5000) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    if (!socket.waitForConnected(3000)) {
        return {};
    }
    socket.write(request);
    socket.waitForBytesWritten(3000);
    QDeadlineTimer deadline(waitMs);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

QByteArray healthRequest(const QByteArray& extraHeaders) {
    return "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extraHeaders + "\r\n";
}

QByteArray headerLines(int count, int valueLength) {
    QByteArray lines;
    for (int i = 0; i < count; ++i) {
        lines += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(valueLength, 'a') + "\r\n";
    }
    return lines;
}

// A consumer look-up as a kiosk sends it, from `address` as a load balancer on loopback names it.
// `forwarded`: the X-Forwarded-For header lines, ';' apart.
QVariant lookUp(const ServerProcess& server, const QString& terminal, const QString& forwarded,
                const QString& code, const QString& method = QStringLiteral("getConsumidor")) {
    HttpClient::Headers headers{qMakePair(QByteArray("X-Totem-Terminal"), terminal.toUtf8())};
    for (const QString& line : forwarded.split(u';')) {
        headers.append(qMakePair(QByteArray("X-Forwarded-For"), line.toUtf8()));
    }
    const bool simplified = method == QLatin1String("getMoviClie");
    const QVariantList arguments =
        method == QLatin1String("getConsumidor")
            ? QVariantList{code, QStringLiteral("N")}
            : QVariantList{QStringLiteral("0001"), QStringLiteral("10"), code, dayText(-10), dayText(0)};
    const ServerProcess::Reply reply =
        server.post(QStringLiteral("/modules/%1/%2")
                        .arg(simplified ? QStringLiteral("Qvr.rdmExtratoSimplificado") : TerminalCons, method),
                    wire::encodeCall(arguments), headers);
    return reply.status == 200 ? wire::decodeResult(reply.body) : QVariant();
}

// The same look-up sent over a socket bound to another loopback address, a peer that is no local proxy.
QVariant lookUpFrom(int port, const QString& peer, const QString& terminal, const QString& forwardedFor) {
    QTcpSocket socket;
    socket.bind(QHostAddress(peer));
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    const QByteArray body = wire::encodeCall({QStringLiteral("1001"), QStringLiteral("N")});
    socket.write(
        "POST /modules/Qvr.rdmTerminalCons/getConsumidor HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
        "X-Totem-Terminal: " +
        terminal.toLatin1() + "\r\nX-Forwarded-For: " + forwardedFor.toLatin1() +
        "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    while (socket.waitForReadyRead(5000)) {
    }
    const QByteArray answer = socket.readAll();
    return wire::decodeResult(answer.mid(answer.indexOf("\r\n\r\n") + 4));
}

std::unique_ptr<QTcpSocket> connectFrom(const QString& address, int port) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(address));
    socket->connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    socket->waitForConnected(3000);
    return socket;
}

bool heldBack(const QVariant& answer) {
    return answer.toString().startsWith(HeldBack);
}

// A certificate authority, a server certificate it signed for "localhost" (and no address) and its renewal
// (same key, new serial), and a second, unrelated authority; made with the openssl command line.
class Certificates {
public:
    Certificates() {
        m_ready = openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                           "/CN=Totem Test CA", "-keyout", "ca.key", "-out", "ca.pem"}) &&
                  openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                           "/CN=Other CA", "-keyout", "other.key", "-out", "other.pem"}) &&
                  openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout",
                           "server.key", "-out", "server.csr"}) &&
                  openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                           "-CAcreateserial", "-days", "2", "-extfile", "-", "-out", "server.pem"},
                          "subjectAltName=DNS:localhost\n") &&
                  openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                           "-CAcreateserial", "-days", "2", "-extfile", "-", "-out", "renewed.pem"},
                          "subjectAltName=DNS:localhost\n");
    }
    bool ready() const { return m_ready; }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private:
    bool openssl(const QStringList& arguments, const QByteArray& input = {}) {
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral("openssl"), arguments);
        process.write(input);
        process.closeWriteChannel();
        return process.waitForFinished(30000) && process.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    bool m_ready = false;
};

}  // namespace

class SecurityTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_fixture = std::make_unique<AppServerFixture>(Engine::Sqlite);
        QVERIFY2(m_fixture->failure().isEmpty(), qPrintable(m_fixture->failure()));
    }

    // Every row breaks a limit or HTTP's framing; each is refused at once, by what it breaks, not left to the
    // receive time-out.
    void requestLimits_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<QString>("says");
        const QByteArray call = "POST /modules/Qvr.rdmTerminalCons/getConsumidor HTTP/1.1\r\nHost: x\r\n";
        const QByteArray body = wire::encodeCall({QStringLiteral("1001"), QStringLiteral("N")});
        const QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        const QByteArray chunked = call + "Transfer-Encoding: chunked\r\n\r\n";
        const QString invalid = QStringLiteral("Requisição inválida");
        const QString tooLarge = QStringLiteral("o limite do servidor");
        dataRow("headers just inside both limits", healthRequest(headerLines(8, 150)),
                QByteArray("HTTP/1.1 200"), QString());
        dataRow("header bytes over the limit", healthRequest(headerLines(1, 2100)),
                QByteArray("HTTP/1.1 431"), tooLarge);
        dataRow("request line over the limit", "GET /" + QByteArray(3000, 'a') + " HTTP/1.1\r\n\r\n",
                QByteArray("HTTP/1.1 431"), tooLarge);
        dataRow("header lines over the limit", healthRequest(headerLines(20, 1)), QByteArray("HTTP/1.1 431"),
                QStringLiteral("cabeçalhos demais"));
        dataRow("header that never ends", QByteArray("GET /health HTTP/1.1\r\nHost: x\r\n"),
                QByteArray("HTTP/1.1 408"), QStringLiteral("não chegou completa"));
        dataRow("body that never comes", call + "Content-Length: 40\r\n\r\n{\"args\":",
                QByteArray("HTTP/1.1 408"), QStringLiteral("não chegou completa"));
        dataRow("chunked body over the limit",
                chunked + QByteArray("8000\r\n" + QByteArray(0x8000, ' ') + "\r\n").repeated(3) + "0\r\n\r\n",
                QByteArray("HTTP/1.1 413"), tooLarge);
        dataRow("chunk-size line that never ends", chunked + "1;" + QByteArray(100000, 'x'),
                QByteArray("HTTP/1.1 400"), invalid);
        dataRow("chunk size past 64 bits", chunked + QByteArray(40, 'f') + "\r\n", QByteArray("HTTP/1.1 400"),
                invalid);
        dataRow("Content-Length past the limit, body not sent", call + "Content-Length: 1000000000000\r\n\r\n",
                QByteArray("HTTP/1.1 413"), tooLarge);
        dataRow("negative Content-Length", call + "Content-Length: -1\r\n\r\n" + body,
                QByteArray("HTTP/1.1 400"), invalid);
        dataRow("Content-Length that is no number", call + "Content-Length: abc\r\n\r\n" + body,
                QByteArray("HTTP/1.1 400"), invalid);
        dataRow("two different Content-Lengths", call + length + "Content-Length: 5\r\n\r\n" + body,
                QByteArray("HTTP/1.1 400"), invalid);
        dataRow("header line without a colon", healthRequest("X-Filler value\r\n"), QByteArray("HTTP/1.1 400"),
                invalid);
        dataRow("folded header line", healthRequest("X-Filler: a\r\n b\r\n"), QByteArray("HTTP/1.1 400"),
                invalid);
        dataRow("NUL byte in a header", healthRequest(QByteArray("X-Filler: a\0b\r\n", 15)),
                QByteArray("HTTP/1.1 400"), invalid);
        dataRow("compressed body", call + "Content-Encoding: gzip\r\n" + length + "\r\n" + body,
                QByteArray("HTTP/1.1 415"), QStringLiteral("codificado"));
        dataRow("transfer coding other than chunked", call + "Transfer-Encoding: gzip, chunked\r\n\r\n",
                QByteArray("HTTP/1.1 400"), invalid);
        dataRow("100-continue for a body past the limit",
                call + "Expect: 100-continue\r\nContent-Length: 10000000\r\n\r\n", QByteArray("HTTP/1.1 413"),
                tooLarge);
        dataRow("100-continue honoured",
                call + "Expect: 100-continue\r\nConnection: close\r\n" + length + "\r\n" + body,
                QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200"), QStringLiteral("Ana Paula"));
        dataRow("expectation other than 100-continue", call + "Expect: x\r\n" + length + "\r\n" + body,
                QByteArray("HTTP/1.1 417"), QStringLiteral("100-continue"));
    }

    void requestLimits() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, statusLine);
        QFETCH(QString, says);
        QVERIFY(m_fixture->startServer({QStringLiteral("--max-header-bytes"), QStringLiteral("2048"),
                                        QStringLiteral("--max-headers"), QStringLiteral("10"),
                                        QStringLiteral("--receive-timeout"), QStringLiteral("300")}));
        const QByteArray answer = exchange(m_fixture->server().port(), request);
        QVERIFY2(answer.startsWith(statusLine), answer.left(200).constData());
        QVERIFY2(QString::fromUtf8(answer).contains(says), answer.left(300).constData());
        QCOMPARE(m_fixture->server().get(QStringLiteral("/health")).status, 200);
    }

    // Idle and slow connections hold no worker; one client address holds its share and no more; past the
    // total, new clients wait in the backlog until a connection ends.
    void connectionsHoldNoWorkerAndAreCapped() {
        QVERIFY(m_fixture->startServer({QStringLiteral("--workers"), QStringLiteral("1"),
                                        QStringLiteral("--max-connections"), QStringLiteral("30"),
                                        QStringLiteral("--max-connections-per-address"), QStringLiteral("10"),
                                        QStringLiteral("--keep-alive"), QStringLiteral("60"),
                                        QStringLiteral("--receive-timeout"), QStringLiteral("60000")}));
        ServerProcess& server = m_fixture->server();
        QCOMPARE(server.get(QStringLiteral("/health")).status, 200);  // the fixture's client: 1 connection
        // One address: ten connections, each with a request begun and never finished; the eleventh is refused.
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 10; ++i) {
            held.push_back(connectFrom(QStringLiteral("127.0.0.2"), server.port()));
            held.back()->write("GET /health HTTP/1.1\r\n");
        }
        const std::unique_ptr<QTcpSocket> refused = connectFrom(QStringLiteral("127.0.0.2"), server.port());
        QVERIFY(refused->waitForDisconnected(3000));
        // The one worker is free for everyone else.
        QCOMPARE(server.get(QStringLiteral("/health")).status, 200);
        // Loopback is held to the total only: 19 more idle connections make 30.
        for (int i = 0; i < 19; ++i) {
            held.push_back(connectFrom(QStringLiteral("127.0.0.1"), server.port()));
        }
        QTest::qWait(200);
        const std::unique_ptr<QTcpSocket> waiting = connectFrom(QStringLiteral("127.0.0.3"), server.port());
        waiting->write(healthRequest({}));
        QVERIFY(!waiting->waitForReadyRead(500));
        held.back()->close();
        QVERIFY(waiting->waitForReadyRead(5000));
        QVERIFY(waiting->readAll().startsWith("HTTP/1.1 200"));
        QVERIFY(server.terminate());
        QCOMPARE(server.errors().count(QStringLiteral("client 127.0.0.2 holds 10 connections")), 1);
    }

    void badgeEnumerationIsHeldBackPerTerminalAndAddress() {
        QVERIFY(m_fixture->startServer({QStringLiteral("--lookup-rate"), QStringLiteral("1"),
                                        QStringLiteral("--lookup-burst"), QStringLiteral("3")}));
        const ServerProcess& server = m_fixture->server();
        const QString kiosk = QStringLiteral("10.0.0.1");
        // One terminal tries badge after badge: the burst passes, then every try gets the error text.
        QStringList answers;
        for (int badge = 1000; badge < 1010; ++badge) {
            const QVariant answer = lookUp(server, QStringLiteral("0001001"), kiosk, QString::number(badge));
            answers << (heldBack(answer) ? QStringLiteral("held") : QStringLiteral("served"));
        }
        QCOMPARE(answers.join(u' '),
                 QStringLiteral("served served served held held held held held held held"));
        // Another kiosk at another address goes on.
        QCOMPARE(packetFrom(lookUp(server, QStringLiteral("0001002"), QStringLiteral("10.0.0.2"),
                                   QStringLiteral("1001")))
                     .rows.size(),
                 1);
        // Forged terminal names from one address run out at the address's bucket.
        int served = 0;
        for (int forged = 0; forged < 10; ++forged) {
            served += heldBack(lookUp(server, QStringLiteral("X%1").arg(forged), QStringLiteral("10.0.0.3"),
                                      QStringLiteral("1001")))
                          ? 0
                          : 1;
        }
        QCOMPARE(served, 3);
        // A balance names a consumer too: trying consumer codes there is held back the same way.
        int balances = 0;
        for (int code = 1000; code < 1010; ++code) {
            balances += heldBack(m_fixture->call(TerminalCons, QStringLiteral("getSaldo"),
                                                 {QStringLiteral("0001"), QStringLiteral("10"),
                                                  QString::number(code), dayText(-10), dayText(0)}))
                            ? 0
                            : 1;
        }
        QCOMPARE(balances, 3);
        // Methods that name no consumer are not held back, and the log names the held-back terminal once.
        QCOMPARE(
            m_fixture->call(TerminalCons, QStringLiteral("getParaVend"), {QStringLiteral("0001")}).typeId(),
            qMetaTypeId<DataPacket>());
        QVERIFY(m_fixture->server().terminate());
        QCOMPARE(m_fixture->server().errors().count(QStringLiteral("terminal 0001001, address 10.0.0.1")), 1);
    }

    // Look-ups sent through a load balancer on loopback: each call is "method|terminal|X-Forwarded-For lines
    // (';' apart)"; the budget is 3 at once.
    void lookupBudget_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("served");  // per call: S served, H held back
        dataRow("a forged terminal from another address spends none of the kiosk's budget", QStringList(),
                QStringList(4, QStringLiteral("getConsumidor|0001001|10.0.0.9")) +
                    QStringList{QStringLiteral("getConsumidor|0001001|10.0.0.1")},
                QStringLiteral("SSSHS"));
        dataRow("one budget across the methods", QStringList(),
                QStringList{QStringLiteral("getConsumidor|T1|10.0.0.2"), QStringLiteral("getSaldo|T1|10.0.0.2"),
                            QStringLiteral("getMoviClie|T1|10.0.0.2"), QStringLiteral("getSaldo|T1|10.0.0.2")},
                QStringLiteral("SSSH"));
        dataRow("an IPv6 client counts by its /64 network", QStringList(),
                QStringList{QStringLiteral("getConsumidor|T1|2001:db8::1"),
                            QStringLiteral("getConsumidor|T2|2001:db8::2"),
                            QStringLiteral("getConsumidor|T3|2001:db8::3:4"),
                            QStringLiteral("getConsumidor|T4|2001:db8::ff")},
                QStringLiteral("SSSH"));
        dataRow("the address the proxy appended counts, not the client's own line", QStringList(),
                QStringList{QStringLiteral("getConsumidor|T1|1.1.1.1;10.0.0.5"),
                            QStringLiteral("getConsumidor|T2|1.1.1.2;10.0.0.5"),
                            QStringLiteral("getConsumidor|T3|1.1.1.3, 10.0.0.5"),
                            QStringLiteral("getConsumidor|T4|1.1.1.4;10.0.0.5")},
                QStringLiteral("SSSH"));
        dataRow("a proxy on loopback seen as ::ffff:127.0.0.1 is trusted",
                QStringList{QStringLiteral("--listen"), QStringLiteral("::"), QStringLiteral("--allow-plain-http")},
                QStringList{QStringLiteral("getConsumidor|T1|10.0.1.1"), QStringLiteral("getConsumidor|T2|10.0.1.2"),
                            QStringLiteral("getConsumidor|T3|10.0.1.3"),
                            QStringLiteral("getConsumidor|T4|10.0.1.4")},
                QStringLiteral("SSSS"));
    }

    void lookupBudget() {
        QFETCH(QStringList, options);
        QFETCH(QStringList, calls);
        QFETCH(QString, served);
        QVERIFY(m_fixture->startServer(QStringList{QStringLiteral("--lookup-rate"), QStringLiteral("1"),
                                                   QStringLiteral("--lookup-burst"), QStringLiteral("3")} +
                                       options));
        QString answers;
        for (const QString& call : calls) {
            const QVariant answer = lookUp(m_fixture->server(), call.section(u'|', 1, 1), call.section(u'|', 2),
                                           QStringLiteral("1001"), call.section(u'|', 0, 0));
            QVERIFY2(answer.isValid(), qPrintable(call));
            answers += heldBack(answer) ? u'H' : u'S';
        }
        QCOMPARE(answers, served);
    }

    void forwardedAddressIsTrustedFromProxiesOnly_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("served");
        dataRow("a peer that is no proxy", QStringList(), 3);
        dataRow("a proxy named by --trusted-proxy",
                QStringList{QStringLiteral("--trusted-proxy"), QStringLiteral("10.9.9.9, 127.0.0.2")}, 10);
    }

    void forwardedAddressIsTrustedFromProxiesOnly() {
        QFETCH(QStringList, options);
        QFETCH(int, served);
        QVERIFY(m_fixture->startServer(QStringList{QStringLiteral("--lookup-rate"), QStringLiteral("1"),
                                                   QStringLiteral("--lookup-burst"), QStringLiteral("3")} +
                                       options));
        // Each look-up claims another terminal and another kiosk address.
        int answered = 0;
        for (int i = 0; i < 10; ++i) {
            const QVariant answer =
                lookUpFrom(m_fixture->server().port(), QStringLiteral("127.0.0.2"),
                           QStringLiteral("T%1").arg(i), QStringLiteral("10.1.0.%1").arg(i));
            QVERIFY2(answer.isValid(), "no answer");
            answered += heldBack(answer) ? 0 : 1;
        }
        QCOMPARE(answered, served);
    }

    void httpsIsVerifiedByTheKiosk_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("fails");  // part of the failure's text; empty: the call works
        dataRow("certificate of the configured authority", "localhost", "ca.pem", "");
        dataRow("another authority", "localhost", "other.pem", "não é válido para este endereço");
        dataRow("host name not in the certificate", "127.0.0.1", "ca.pem", "não é válido para este endereço");
        dataRow("authority file missing", "localhost", "missing.pem", "não pôde ser lido");
        dataRow("plain HTTP to an HTTPS server", "localhost", "", "exige conexão segura (HTTPS)");
    }

    void httpsIsVerifiedByTheKiosk() {
        QFETCH(QString, host);
        QFETCH(QString, caFile);
        QFETCH(QString, fails);
        QVERIFY2(m_certificates.ready(), "the openssl command could not make the test certificates");
        QVERIFY(m_fixture->startServer({QStringLiteral("--tls-cert"), m_certificates.path("server.pem"),
                                        QStringLiteral("--tls-key"), m_certificates.path("server.key")}));
        TNetConnection connection;
        connection.setServerName(TerminalCons);
        connection.setHost(host);
        connection.setPort(m_fixture->server().port());
        connection.setCaFile(caFile.isEmpty() ? QString()
                                              : m_certificates.path(caFile.toLatin1().constData()));
        try {
            const QVariant answer = connection.call(QStringLiteral("getParaVend"), {QStringLiteral("0001")});
            QVERIFY2(fails.isEmpty(), "the call should have failed");
            QCOMPARE(packetFrom(answer).rows.size(), 1);
        } catch (const ConnectionError& error) {
            QVERIFY2(!fails.isEmpty() && error.text().contains(fails), qPrintable(error.text()));
        }
    }

    void tlsSuites_data() {
        QTest::addColumn<QSsl::SslProtocol>("protocol");
        QTest::addColumn<QString>("cipher");  // empty: the client's own choice
        QTest::addColumn<bool>("accepted");
        dataRow("TLS 1.3", QSsl::TlsV1_3, QString(), true);
        dataRow("TLS 1.2, ECDHE with AES-GCM", QSsl::TlsV1_2, QStringLiteral("ECDHE-RSA-AES128-GCM-SHA256"), true);
        dataRow("TLS 1.2, CBC with SHA-1", QSsl::TlsV1_2, QStringLiteral("ECDHE-RSA-AES128-SHA"), false);
        dataRow("TLS 1.2 without forward secrecy", QSsl::TlsV1_2, QStringLiteral("AES128-GCM-SHA256"), false);
    }

    void tlsSuites() {
        QFETCH(QSsl::SslProtocol, protocol);
        QFETCH(QString, cipher);
        QFETCH(bool, accepted);
        startTlsServer({});
        QSslSocket socket;
        QSslConfiguration configuration = verifyingConfiguration();
        configuration.setProtocol(protocol);
        if (!cipher.isEmpty()) {
            QVERIFY2(!QSslCipher(cipher).isNull(), qPrintable(cipher + QStringLiteral(" unknown to this OpenSSL")));
            configuration.setCiphers({QSslCipher(cipher)});
        }
        socket.setSslConfiguration(configuration);
        socket.connectToHostEncrypted(QStringLiteral("localhost"), static_cast<quint16>(m_fixture->server().port()));
        QCOMPARE(socket.waitForEncrypted(5000), accepted);
    }

    // A client that sends its handshake, or its request after the handshake, a byte at a time: each read is
    // quick, the whole never ends. The connection is cut at the receive time-out, with a 408 where it can
    // still be said.
    void slowTlsClientsAreCut_data() {
        QTest::addColumn<bool>("handshakeFirst");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("answer");
        // A handshake record that announces 512 bytes.
        dataRow("handshake", false, QByteArray::fromHex("1603010200") + QByteArray(100, 'x'), QByteArray());
        dataRow("request after the handshake", true, healthRequest({}), QByteArray("HTTP/1.1 408"));
    }

    void slowTlsClientsAreCut() {
        QFETCH(bool, handshakeFirst);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, answer);
        startTlsServer({QStringLiteral("--receive-timeout"), QStringLiteral("300")});
        QSslSocket socket;
        socket.setSslConfiguration(verifyingConfiguration());
        const auto port = static_cast<quint16>(m_fixture->server().port());
        if (handshakeFirst) {
            socket.connectToHostEncrypted(QStringLiteral("localhost"), port);
            QVERIFY(socket.waitForEncrypted(5000));
        } else {
            socket.connectToHost(QStringLiteral("127.0.0.1"), port);
            QVERIFY(socket.waitForConnected(3000));
        }
        QByteArray received;
        for (qsizetype sent = 0; sent < bytes.size() && socket.state() == QAbstractSocket::ConnectedState; ++sent) {
            socket.write(bytes.mid(sent, 1));
            socket.waitForDisconnected(100);
            received += socket.readAll();
        }
        QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY2(received.startsWith(answer), received.constData());
    }

    // No slow client holds the server's end: SIGTERM with one open stops it all the same.
    void stopIsNotHeldBySlowClients_data() {
        QTest::addColumn<bool>("tls");
        dataRow("plain HTTP", false);
        dataRow("HTTPS", true);
    }

    void stopIsNotHeldBySlowClients() {
        QFETCH(bool, tls);
        const QStringList timeout{QStringLiteral("--receive-timeout"), QStringLiteral("1000")};
        if (tls) {
            startTlsServer(timeout);
        } else {
            QVERIFY(m_fixture->startServer(timeout));
        }
        std::atomic<bool> trickling = true;
        // A byte every 100 ms for far longer than the receive time-out, from a thread of its own.
        QFuture<void> trickle = QtConcurrent::run([port = m_fixture->server().port(), tls, &trickling, this] {
            QSslSocket socket;
            socket.setSslConfiguration(verifyingConfiguration());
            tls ? socket.connectToHostEncrypted(QStringLiteral("localhost"), static_cast<quint16>(port))
                : socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
            if (tls ? !socket.waitForEncrypted(5000) : !socket.waitForConnected(3000)) {
                return;
            }
            for (int i = 0; i < 300 && trickling && socket.state() == QAbstractSocket::ConnectedState; ++i) {
                socket.write("G");
                socket.waitForDisconnected(100);
            }
        });
        QTest::qWait(300);
        const bool stopped = m_fixture->server().terminate(10000);
        trickling = false;
        trickle.waitForFinished();
        QVERIFY(stopped);
    }

    void serverRefusesToStart_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("says");
        dataRow("plain HTTP off loopback", QStringList{QStringLiteral("--listen"), QStringLiteral("0.0.0.0")},
                QStringLiteral("refusing to serve plain HTTP on 0.0.0.0"));
        dataRow("certificate file missing",
                QStringList{QStringLiteral("--tls-cert"), QStringLiteral("/nonexistent/server.pem"),
                            QStringLiteral("--tls-key"), QStringLiteral("/nonexistent/server.key")},
                QStringLiteral("cannot serve HTTPS: certificate /nonexistent/server.pem not loaded"));
        dataRow("key without certificate",
                QStringList{QStringLiteral("--tls-key"), QStringLiteral("/nonexistent/server.key")},
                QStringLiteral("--tls-cert and --tls-key go together"));
        dataRow("a database this server does not speak",
                QStringList{QStringLiteral("--database"), QStringLiteral("mysql://totem@db/totem")},
                QStringLiteral("--database: \"mysql\" is no database this server speaks"));
        dataRow("a PostgreSQL URL that does not read",
                QStringList{QStringLiteral("--database"), QStringLiteral("postgresql:/broken")},
                QStringLiteral("--database: the PostgreSQL URL does not read"));
    }

    void serverRefusesToStart() {
        QFETCH(QStringList, options);
        QFETCH(QString, says);
        QVERIFY(!m_fixture->startServer(options));
        QVERIFY2(m_fixture->failure().contains(says), qPrintable(m_fixture->failure()));
    }

    // An operator's mistake gets one line that names the option or variable and what it takes, and a hint,
    // not the whole help; a variable of ours that names no setting is warned about. `status` -1: it serves.
    void commandLinesSayWhatIsWrong_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        dataRow("port out of range", QStringList{"--port", "99999"}, QStringList{}, 2,
                QStringLiteral("--port: \"99999\" is not a whole number from 0 to 65535."));
        dataRow("no workers", QStringList{"--workers", "0"}, QStringList{}, 2,
                QStringLiteral("--workers: \"0\" is not a whole number from 1 to 256."));
        dataRow("workers in words", QStringList{}, QStringList{"TOTEM_SERVER_WORKERS=lots"}, 2,
                QStringLiteral("TOTEM_SERVER_WORKERS: \"lots\" is not a whole number from 1 to 256."));
        dataRow("unknown option", QStringList{"--prot", "8211"}, QStringList{}, 2, QStringLiteral("'prot'"));
        dataRow("a switch neither on nor off", QStringList{}, QStringList{"TOTEM_SERVER_LOG_HEALTH=maybe"}, 2,
                QStringLiteral("TOTEM_SERVER_LOG_HEALTH: \"maybe\" is neither yes nor no"));
        dataRow("plain HTTP allowed in words", QStringList{"--listen", "0.0.0.0"},
                QStringList{"TOTEM_SERVER_ALLOW_PLAIN_HTTP=yes"}, -1, QStringLiteral("serving plain HTTP"));
        dataRow("misspelt variable", QStringList{}, QStringList{"TOTEM_SERVER_WORKRS=4"}, -1,
                QStringLiteral("TOTEM_SERVER_WORKRS is not a setting of totem-server: ignored"));
        dataRow("port in use", QStringList{"--port", "IN-USE"}, QStringList{}, 1,
                QStringLiteral("Address already in use: another program listens there"));
        dataRow("address of another machine", QStringList{"--listen", "192.0.2.1", "--allow-plain-http"},
                QStringList{}, 1, QStringLiteral("no interface of this machine has that address"));
        dataRow("demo into a folder not made yet",
                QStringList{"--create-demo", "--database", "NEW-FOLDER/data/totem.db"}, QStringList{}, 0,
                QStringLiteral("demo database"));
    }

    void commandLinesSayWhatIsWrong() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(int, status);
        QFETCH(QString, says);
        QVERIFY(m_fixture->startServer());
        const QTemporaryDir folder;
        arguments.replaceInStrings("IN-USE", QString::number(m_fixture->server().port()));
        arguments.replaceInStrings("NEW-FOLDER", folder.path());
        if (!arguments.contains("--port")) {
            arguments += {"--port", "0"};
        }
        QProcess server;
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const QString& variable : environment) {
            variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
        }
        server.setProcessEnvironment(variables);
        tieToTest(server);
        server.start(ServerProcess::executable(), QStringList{"--database", m_fixture->database()} + arguments);
        const bool ended = server.waitForFinished(status < 0 ? 3000 : 30000);
        server.terminate();
        server.waitForFinished(10000);
        const QString errors = QString::fromUtf8(server.readAllStandardError());
        QCOMPARE(ended ? server.exitCode() : -1, status);
        QVERIFY2(errors.contains(says), qPrintable(errors));
        QVERIFY2(errors.count('\n') < 10, qPrintable(errors));  // no page of help
    }

    // SIGHUP takes a renewed certificate for new connections and keeps serving; a file that does not load is
    // reported and the certificate in use kept.
    void sighupReloadsTheCertificate() {
        QVERIFY2(m_certificates.ready(), "the openssl command could not make the test certificates");
        QTemporaryDir live;
        const QString certificate = live.filePath("server.pem");
        QVERIFY(QFile::copy(m_certificates.path("server.pem"), certificate));
        QVERIFY(m_fixture->startServer({"--tls-cert", certificate, "--tls-key", m_certificates.path("server.key")}));
        ServerProcess& server = m_fixture->server();
        const QByteArray first = presentedSerial(server.port());
        QVERIFY(!first.isEmpty());

        QVERIFY(QFile::remove(certificate) && QFile(certificate).open(QIODevice::WriteOnly));
        ::kill(static_cast<pid_t>(server.processId()), SIGHUP);
        QTRY_VERIFY(server.errors().contains("SIGHUP: kept the previous certificate"));
        QCOMPARE(presentedSerial(server.port()), first);

        QVERIFY(QFile::remove(certificate) && QFile::copy(m_certificates.path("renewed.pem"), certificate));
        ::kill(static_cast<pid_t>(server.processId()), SIGHUP);
        QTRY_VERIFY(server.errors().contains("reloaded; new connections use them"));
        const QByteArray renewed = presentedSerial(server.port());
        QVERIFY(!renewed.isEmpty() && renewed != first);
        QVERIFY(server.terminate());
    }

    void logsHoldNoConsumerData() {
        QVERIFY(m_fixture->startServer());
        const QVariant found = m_fixture->call(TerminalCons, QStringLiteral("getConsumidor"),
                                               {QStringLiteral("00010001"), QStringLiteral("S")});
        const DataPacket consumer = packetFrom(found);
        QCOMPARE(consumer.rows.size(), 1);
        const QString client = cell(consumer, 0, QStringLiteral("CDCLIENTE")).toString();
        const QString code = cell(consumer, 0, QStringLiteral("CDCONSUMIDOR")).toString();
        const QString name = cell(consumer, 0, QStringLiteral("NMCONSUMIDOR")).toString();
        const DataPacket balance =
            packetFrom(m_fixture->call(TerminalCons, QStringLiteral("getSaldo"),
                                       {QStringLiteral("0001"), client, code, dayText(-10), dayText(0)}));
        QCOMPARE(balance.rows.size(), 1);
        m_fixture->call(QStringLiteral("Qvr.rdmExtratoSimplificado"), QStringLiteral("getMoviClie"),
                        {QStringLiteral("0001"), client, code, dayText(-10), dayText(0)});
        m_fixture->call(TerminalCons, QStringLiteral("getSaldo"),
                        {QStringLiteral("0001"), client, code, QStringLiteral("31/02/2024"), dayText(0)});
        QVERIFY(m_fixture->server().terminate());
        const QString logs = m_fixture->server().output() + m_fixture->server().errors();
        QVERIFY(logs.contains(QStringLiteral("method=getSaldo status=200")));
        QStringList secrets{QStringLiteral("00010001"), name, QStringLiteral("31/02/2024")};
        for (const QString& field : {QStringLiteral("VRSALDPECONS"), QStringLiteral("VRSALDOCONS")}) {
            secrets << QString::number(cell(balance, 0, field).toDouble(), 'f', 2);
        }
        for (const QString& secret : secrets) {
            const QRegularExpression alone(
                QStringLiteral("(?<![\\d.])%1(?![\\d])").arg(QRegularExpression::escape(secret)));
            QVERIFY2(!alone.match(logs).hasMatch(), qPrintable(secret + QStringLiteral(" in the log")));
        }
        QVERIFY(
            !QRegularExpression(QStringLiteral("(?<![\\d])%1(?![\\d])").arg(code)).match(logs).hasMatch());
    }

    // A reader that stops reading the access log (a stalled pipe) holds no request: the log's own thread waits
    // for it, with a bounded queue, while the calls go on being answered.
    void stalledLogReaderHoldsNoRequest() {
        QVERIFY(m_fixture->startServer());
        ServerProcess& server = m_fixture->server();
        // Nothing reads the server's output meanwhile: the pipe fills after a few hundred lines.
        for (int call = 0; call < 1500; ++call) {
            const ServerProcess::Reply reply =
                server.call(TerminalCons, QStringLiteral("getParaVend"), {QStringLiteral("0001")});
            QVERIFY2(reply.status == 200, qPrintable(QStringLiteral("call %1 unanswered").arg(call)));
        }
        QVERIFY(server.terminate());
        QVERIFY(server.output().count(QStringLiteral("method=getParaVend")) > 0);
    }

    void healthProbesAreLoggedWhenAsked_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("logged");
        dataRow("by default", QStringList(), false);
        dataRow("with --log-health", QStringList{QStringLiteral("--log-health")}, true);
    }

    void healthProbesAreLoggedWhenAsked() {
        QFETCH(QStringList, options);
        QFETCH(bool, logged);
        QVERIFY(m_fixture->startServer(options));
        QCOMPARE(m_fixture->server().get(QStringLiteral("/health")).status, 200);
        QVERIFY(m_fixture->server().terminate());
        QCOMPARE(m_fixture->server().output().contains(QStringLiteral("module=health")), logged);
    }

    // Under systemd, standard error is the journal's stream (JOURNAL_STREAM names it): each event begins
    // with its syslog priority there, and nowhere else.
    void eventsCarryTheirPriorityForTheJournal_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QString>("line");
        dataRow("an error to the journal", QStringList{QStringLiteral("--listen"), QStringLiteral("0.0.0.0")}, true,
                "<3>");
        dataRow("information to the journal", QStringList{QStringLiteral("--create-schema")}, true, "<6>");
        dataRow("an error elsewhere", QStringList{QStringLiteral("--listen"), QStringLiteral("0.0.0.0")}, false,
                "refusing");
    }

    void eventsCarryTheirPriorityForTheJournal() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, journal);
        QFETCH(QString, line);
        QTemporaryDir dir;
        const QString errors = dir.filePath(QStringLiteral("errors"));
        QVERIFY(QFile(errors).open(QIODevice::WriteOnly));
        struct stat file {};
        QVERIFY(stat(QFile::encodeName(errors).constData(), &file) == 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("JOURNAL_STREAM"),
                           journal ? QStringLiteral("%1:%2").arg(file.st_dev).arg(file.st_ino) : QString());
        QProcess server;
        server.setProcessEnvironment(environment);
        server.setStandardErrorFile(errors);
        tieToTest(server);
        server.start(ServerProcess::executable(),
                     arguments + QStringList{QStringLiteral("--database"), dir.filePath(QStringLiteral("new.db"))});
        QVERIFY(server.waitForFinished(30000));
        QFile written(errors);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString first = QString::fromUtf8(written.readLine());
        QVERIFY2(journal ? first.startsWith(line) : !first.startsWith(u'<') && first.contains(line),
                 qPrintable(first));
    }

private:
    void startTlsServer(const QStringList& extraOptions) {
        QVERIFY2(m_certificates.ready(), "the openssl command could not make the test certificates");
        QVERIFY(m_fixture->startServer(QStringList{QStringLiteral("--tls-cert"), m_certificates.path("server.pem"),
                                                   QStringLiteral("--tls-key"), m_certificates.path("server.key")} +
                                       extraOptions));
    }

    // The serial number of the certificate the server presents to a new connection; empty when none verifies.
    QByteArray presentedSerial(int port) const {
        QSslSocket socket;
        socket.setSslConfiguration(verifyingConfiguration());
        socket.connectToHostEncrypted(QStringLiteral("localhost"), static_cast<quint16>(port));
        return socket.waitForEncrypted(5000) ? socket.peerCertificate().serialNumber() : QByteArray();
    }

    // Trusts the test authority only, and checks the name "localhost".
    QSslConfiguration verifyingConfiguration() const {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(QSslCertificate::fromPath(m_certificates.path("ca.pem")));
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        return configuration;
    }

    std::unique_ptr<AppServerFixture> m_fixture;
    Certificates m_certificates;
};

QTEST_GUILESS_MAIN(SecurityTest)
#include "tst_appserver_security.moc"
