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

#include <atomic>
#include <csignal>

namespace {

const QString TerminalCons = "Qvr.rdmTerminalCons";

// A connection to the server from one of loopback's addresses: 127.0.0.1 is the local proxy, others are not.
std::unique_ptr<QTcpSocket> connectFrom(int port, const QString& address = "127.0.0.1") {
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(address));
    socket->connectToHost("127.0.0.1", static_cast<quint16>(port));
    socket->waitForConnected(3000);
    return socket;
}

// Sends raw bytes and reads the answer until the server closes the connection or five seconds pass.
QByteArray exchange(int port, const QByteArray& request, const QString& from = "127.0.0.1") {
    const std::unique_ptr<QTcpSocket> socket = connectFrom(port, from);
    socket->write(request);
    socket->waitForBytesWritten(3000);
    for (QDeadlineTimer deadline(5000);
         socket->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired();) {
        socket->waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
    }
    return socket->readAll();
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

// A call as a load balancer forwards it: "method|terminal|X-Forwarded-For lines (';' apart)|peer", the
// peer being the loopback address it comes from (127.0.0.1, the local proxy, when not given).
QVariant lookUp(int port, const QString& call) {
    const QString method = call.section(u'|', 0, 0);
    const QVariantList arguments = method == "getConsumidor" ? QVariantList{"1001", "N"}
                                   : method == "getParaVend"
                                       ? QVariantList{"0001"}
                                       : QVariantList{"0001", "10", "1001", dayText(-10), dayText(0)};
    const QByteArray body = wire::encodeCall(arguments);
    const QByteArray module = method == "getMoviClie" ? "Qvr.rdmExtratoSimplificado" : "Qvr.rdmTerminalCons";
    QByteArray request =
        "POST /modules/" + module + '/' + method.toLatin1() +
        " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nX-Totem-Terminal: " + call.section(u'|', 1, 1).toLatin1() + "\r\n";
    for (const QString& line : call.section(u'|', 2, 2).split(u';', Qt::SkipEmptyParts)) {
        request += "X-Forwarded-For: " + line.toLatin1() + "\r\n";
    }
    const QString peer = call.section(u'|', 3);
    const QByteArray answer = exchange(port, request + "\r\n" + body, peer.isEmpty() ? "127.0.0.1" : peer);
    return answer.startsWith("HTTP/1.1 200") ? wire::decodeResult(answer.mid(answer.indexOf("\r\n\r\n") + 4))
                                             : QVariant();
}

// A certificate authority, a server certificate it signed for "localhost" (and no address) and its renewal
// (same key, new serial), and a second, unrelated authority; made with the openssl command line.
class Certificates {
public:
    Certificates() {
        const QStringList root{"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj"};
        const QStringList signedByIt{
            "x509",  "-req", "-in",      "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "2",    "-extfile", "-",          "-out"};
        m_ready = openssl(root + QStringList{"/CN=Totem Test CA", "-keyout", "ca.key", "-out", "ca.pem"}) &&
                  openssl(root + QStringList{"/CN=Other CA", "-keyout", "other.key", "-out", "other.pem"}) &&
                  openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout",
                           "server.key", "-out", "server.csr"}) &&
                  openssl(signedByIt + QStringList{"server.pem"}) &&
                  openssl(signedByIt + QStringList{"renewed.pem"});
    }
    bool ready() const { return m_ready; }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    // The extension file, read from standard input, names the host.
    bool openssl(const QStringList& arguments) {
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.start("openssl", arguments);
        process.write("subjectAltName=DNS:localhost\n");
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
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const QByteArray call = "POST /modules/Qvr.rdmTerminalCons/getConsumidor HTTP/1.1\r\nHost: x\r\n";
        const QByteArray body = wire::encodeCall({"1001", "N"});
        const QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        const QByteArray chunked = call + "Transfer-Encoding: chunked\r\n\r\n";
        const QString invalid = "Requisição inválida";
        const QString tooLarge = "o limite do servidor";
        const QString incomplete = "não chegou completa";
        dataRow("headers just inside both limits", healthRequest(headerLines(8, 150)), 200, QString());
        dataRow("header bytes over the limit", healthRequest(headerLines(1, 2100)), 431, tooLarge);
        dataRow("request line over the limit", "GET /" + QByteArray(3000, 'a') + " HTTP/1.1\r\n\r\n", 431,
                tooLarge);
        dataRow("header lines over the limit", healthRequest(headerLines(20, 1)), 431, "cabeçalhos demais");
        dataRow("header that never ends", QByteArray("GET /health HTTP/1.1\r\nHost: x\r\n"), 408, incomplete);
        dataRow("body that never comes", call + "Content-Length: 40\r\n\r\n{\"args\":", 408, incomplete);
        dataRow("chunked body over the limit",
                chunked + QByteArray("8000\r\n" + QByteArray(0x8000, ' ') + "\r\n").repeated(3) + "0\r\n\r\n",
                413, tooLarge);
        dataRow("chunk-size line that never ends", chunked + "1;" + QByteArray(100000, 'x'), 400, invalid);
        dataRow("chunk size past 64 bits", chunked + QByteArray(40, 'f') + "\r\n", 400, invalid);
        dataRow("Content-Length past the limit, body not sent",
                call + "Content-Length: 1000000000000\r\n\r\n", 413, tooLarge);
        dataRow("negative Content-Length", call + "Content-Length: -1\r\n\r\n" + body, 400, invalid);
        dataRow("Content-Length that is no number", call + "Content-Length: abc\r\n\r\n" + body, 400,
                invalid);
        dataRow("two different Content-Lengths", call + length + "Content-Length: 5\r\n\r\n" + body, 400,
                invalid);
        dataRow("header line without a colon", healthRequest("X-Filler value\r\n"), 400, invalid);
        dataRow("folded header line", healthRequest("X-Filler: a\r\n b\r\n"), 400, invalid);
        dataRow("NUL byte in a header", healthRequest(QByteArray("X-Filler: a\0b\r\n", 15)), 400, invalid);
        dataRow("compressed body", call + "Content-Encoding: gzip\r\n" + length + "\r\n" + body, 415,
                "codificado");
        dataRow("transfer coding other than chunked", call + "Transfer-Encoding: gzip, chunked\r\n\r\n", 400,
                invalid);
        dataRow("100-continue for a body past the limit",
                call + "Expect: 100-continue\r\nContent-Length: 10000000\r\n\r\n", 413, tooLarge);
        dataRow("100-continue honoured",
                call + "Expect: 100-continue\r\nConnection: close\r\n" + length + "\r\n" + body, 100,
                "Ana Paula");
        dataRow("expectation other than 100-continue", call + "Expect: x\r\n" + length + "\r\n" + body, 417,
                "100-continue");
    }

    void requestLimits() {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QString, says);
        QVERIFY(m_fixture->startServer(
            {"--max-header-bytes", "2048", "--max-headers", "10", "--receive-timeout", "300"}));
        const QByteArray answer = exchange(m_fixture->server().port(), request);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + QByteArray::number(status)), answer.left(200).constData());
        QVERIFY2(QString::fromUtf8(answer).contains(says), answer.left(300).constData());
        QCOMPARE(m_fixture->server().get("/health").status, 200);
    }

    // Idle and slow connections hold no worker; one client address holds its share and no more; past the
    // total, new clients wait in the backlog until a connection ends.
    void connectionsHoldNoWorkerAndAreCapped() {
        QVERIFY(m_fixture->startServer({"--workers", "1", "--max-connections", "30",
                                        "--max-connections-per-address", "10", "--keep-alive", "60",
                                        "--receive-timeout", "60000"}));
        ServerProcess& server = m_fixture->server();
        QCOMPARE(server.get("/health").status, 200);  // the fixture's client: 1 connection
        // One address: ten connections, each with a request begun, never finished; the eleventh is refused.
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 10; ++i) {
            held.push_back(connectFrom(server.port(), "127.0.0.2"));
            held.back()->write("GET /health HTTP/1.1\r\n");
        }
        QVERIFY(connectFrom(server.port(), "127.0.0.2")->waitForDisconnected(3000));
        // The one worker is free for everyone else.
        QCOMPARE(server.get("/health").status, 200);
        // Loopback is held to the total only: 19 more idle connections make 30.
        for (int i = 0; i < 19; ++i) {
            held.push_back(connectFrom(server.port()));
        }
        QTest::qWait(200);
        const std::unique_ptr<QTcpSocket> waiting = connectFrom(server.port(), "127.0.0.3");
        waiting->write(healthRequest({}));
        QVERIFY(!waiting->waitForReadyRead(500));
        held.back()->close();
        QVERIFY(waiting->waitForReadyRead(5000));
        QVERIFY(waiting->readAll().startsWith("HTTP/1.1 200"));
        QVERIFY(server.terminate());
        QCOMPARE(server.errors().count("client 127.0.0.2 holds 10 connections"), 1);
    }

    // Calls that name a consumer, with a budget of 3 at once (see lookUp for how a call is written).
    void lookupBudget_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("served");  // per call: S served, H held back
        QTest::addColumn<QString>("logged");  // named once in the log, when given
        // `count` calls alike but for "#", the call's number.
        const auto calls = [](int count, const QString& call) {
            QStringList list;
            for (int i = 0; i < count; ++i) {
                list << QString(call).replace('#', QString::number(i));
            }
            return list;
        };
        const QStringList none;
        dataRow("one terminal trying badge after badge", none, calls(6, "getConsumidor|0001001|10.0.0.1"),
                "SSSHHH", "held back: terminal 0001001, address 10.0.0.1");
        dataRow("a forged terminal from another address spends none of the kiosk's budget", none,
                calls(4, "getConsumidor|0001001|10.0.0.9") + calls(1, "getConsumidor|0001001|10.0.0.1"),
                "SSSHS", "");
        dataRow("forged terminal names from one address share its budget", none,
                calls(4, "getConsumidor|X#|10.0.0.3"), "SSSH", "");
        dataRow("one budget across the methods", none,
                QStringList{"getConsumidor|T1|10.0.0.2", "getSaldo|T1|10.0.0.2", "getMoviClie|T1|10.0.0.2",
                            "getSaldo|T1|10.0.0.2"},
                "SSSH", "");
        dataRow("a method that names no consumer is not held back", none,
                calls(4, "getConsumidor|T1|10.0.0.4") + calls(1, "getParaVend|T1|10.0.0.4"), "SSSHS", "");
        dataRow("an IPv6 client counts by its /64 network", none,
                QStringList{"getConsumidor|T1|2001:db8::1", "getConsumidor|T2|2001:db8::2",
                            "getConsumidor|T3|2001:db8::3:4", "getConsumidor|T4|2001:db8::ff"},
                "SSSH", "");
        dataRow("the address the proxy appended counts, not the client's own line", none,
                QStringList{"getConsumidor|T1|1.1.1.1;10.0.0.5", "getConsumidor|T2|1.1.1.2;10.0.0.5",
                            "getConsumidor|T3|1.1.1.3, 10.0.0.5", "getConsumidor|T4|1.1.1.4;10.0.0.5"},
                "SSSH", "");
        dataRow("a proxy on loopback seen as ::ffff:127.0.0.1 is trusted",
                QStringList{"--listen", "::", "--allow-plain-http"}, calls(4, "getConsumidor|T#|10.0.1.#"),
                "SSSS", "");
        dataRow("a peer that is no proxy is known by its own address", none,
                calls(4, "getConsumidor|T#|10.1.0.#|127.0.0.2"), "SSSH", "");
        dataRow("a proxy named by --trusted-proxy", QStringList{"--trusted-proxy", "10.9.9.9, 127.0.0.2"},
                calls(4, "getConsumidor|T#|10.1.0.#|127.0.0.2"), "SSSS", "");
    }

    void lookupBudget() {
        QFETCH(QStringList, options);
        QFETCH(QStringList, calls);
        QFETCH(QString, served);
        QFETCH(QString, logged);
        QVERIFY(m_fixture->startServer(QStringList{"--lookup-rate", "1", "--lookup-burst", "3"} + options));
        QString answers;
        for (const QString& call : calls) {
            const QVariant answer = lookUp(m_fixture->server().port(), call);
            QVERIFY2(answer.isValid(), qPrintable(call));
            answers += answer.toString().startsWith("Muitas consultas seguidas") ? u'H' : u'S';
        }
        QCOMPARE(answers, served);
        if (!logged.isEmpty()) {
            QVERIFY(m_fixture->server().terminate());
            QCOMPARE(m_fixture->server().errors().count(logged), 1);
        }
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
        startServer(true, {});
        TNetConnection connection;
        connection.setServerName(TerminalCons);
        connection.setHost(host);
        connection.setPort(m_fixture->server().port());
        connection.setCaFile(caFile.isEmpty() ? QString() : m_certificates.path(caFile));
        try {
            const QVariant answer = connection.call("getParaVend", {"0001"});
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
        dataRow("TLS 1.2, ECDHE with AES-GCM", QSsl::TlsV1_2, QString("ECDHE-RSA-AES128-GCM-SHA256"), true);
        dataRow("TLS 1.2, CBC with SHA-1", QSsl::TlsV1_2, QString("ECDHE-RSA-AES128-SHA"), false);
        dataRow("TLS 1.2 without forward secrecy", QSsl::TlsV1_2, QString("AES128-GCM-SHA256"), false);
    }

    void tlsSuites() {
        QFETCH(QSsl::SslProtocol, protocol);
        QFETCH(QString, cipher);
        QFETCH(bool, accepted);
        startServer(true, {});
        QSslSocket socket;
        QSslConfiguration configuration = verifyingConfiguration();
        configuration.setProtocol(protocol);
        if (!cipher.isEmpty()) {
            QVERIFY2(!QSslCipher(cipher).isNull(), qPrintable(cipher + " unknown to this OpenSSL"));
            configuration.setCiphers({QSslCipher(cipher)});
        }
        socket.setSslConfiguration(configuration);
        socket.connectToHostEncrypted("localhost", static_cast<quint16>(m_fixture->server().port()));
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
        startServer(true, {"--receive-timeout", "300"});
        QSslSocket socket;
        QVERIFY(connectTo(socket, m_fixture->server().port(), handshakeFirst));
        QByteArray received;
        const auto connected = [&socket] { return socket.state() == QAbstractSocket::ConnectedState; };
        for (qsizetype sent = 0; sent < bytes.size() && connected(); ++sent) {
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
        startServer(tls, {"--receive-timeout", "1000"});
        std::atomic<bool> trickling = true;
        // A byte every 100 ms for far longer than the receive time-out, from a thread of its own.
        QFuture<void> trickle = QtConcurrent::run([port = m_fixture->server().port(), tls, &trickling, this] {
            QSslSocket socket;
            const bool connected = connectTo(socket, port, tls);
            for (int i = 0; connected && i < 300 && trickling && socket.state() == QSslSocket::ConnectedState;
                 ++i) {
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

    // An operator's mistake gets one line that names the option or variable and what it takes, and a hint,
    // not the whole help; a variable of ours that names no setting is warned about. `status` -1: it serves.
    // Where standard error is the journal's (JOURNAL_STREAM=STDERR here), each event begins with its syslog
    // priority, and nowhere else.
    void commandLinesSayWhatIsWrong_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        dataRow("port out of range", QStringList{"--port", "99999"}, QStringList{}, 2,
                "--port: \"99999\" is not a whole number from 0 to 65535.");
        dataRow("no workers", QStringList{"--workers", "0"}, QStringList{}, 2,
                "--workers: \"0\" is not a whole number from 1 to 256.");
        dataRow("workers in words", QStringList{}, QStringList{"TOTEM_SERVER_WORKERS=lots"}, 2,
                "TOTEM_SERVER_WORKERS: \"lots\" is not a whole number from 1 to 256.");
        dataRow("unknown option", QStringList{"--prot", "8211"}, QStringList{}, 2, "'prot'");
        dataRow("a switch neither on nor off", QStringList{}, QStringList{"TOTEM_SERVER_LOG_HEALTH=maybe"}, 2,
                "TOTEM_SERVER_LOG_HEALTH: \"maybe\" is neither yes nor no");
        dataRow("plain HTTP off loopback", QStringList{"--listen", "0.0.0.0"}, QStringList{}, 1,
                "refusing to serve plain HTTP on 0.0.0.0");
        dataRow("plain HTTP allowed in words", QStringList{"--listen", "0.0.0.0"},
                QStringList{"TOTEM_SERVER_ALLOW_PLAIN_HTTP=yes"}, -1, "serving plain HTTP");
        dataRow("certificate file missing",
                QStringList{"--tls-cert", "/nonexistent/server.pem", "--tls-key", "/nonexistent/server.key"},
                QStringList{}, 1, "cannot serve HTTPS: certificate /nonexistent/server.pem not loaded");
        dataRow("key without certificate", QStringList{"--tls-key", "/nonexistent/server.key"}, QStringList{},
                2, "--tls-cert and --tls-key go together");
        dataRow("a database this server does not speak", QStringList{"--database", "mysql://totem@db/totem"},
                QStringList{}, 2, "--database: \"mysql\" is no database this server speaks");
        dataRow("a PostgreSQL URL that does not read", QStringList{"--database", "postgresql:/broken"},
                QStringList{}, 2, "--database: the PostgreSQL URL does not read");
        dataRow("misspelt variable", QStringList{}, QStringList{"TOTEM_SERVER_WORKRS=4"}, -1,
                "TOTEM_SERVER_WORKRS is not a setting of totem-server: ignored");
        dataRow("port in use", QStringList{"--port", "IN-USE"}, QStringList{}, 1,
                "Address already in use: another program listens there");
        dataRow("address of another machine", QStringList{"--listen", "192.0.2.1", "--allow-plain-http"},
                QStringList{}, 1, "no interface of this machine has that address");
        dataRow("demo into a folder not made yet",
                QStringList{"--create-demo", "--database", "NEW-FOLDER/data/totem.db"}, QStringList{}, 0,
                "demo database");
        const QStringList journal{"JOURNAL_STREAM=STDERR"};
        dataRow("an error to the journal", QStringList{"--listen", "0.0.0.0"}, journal, 1, "<3>");
        dataRow("information to the journal",
                QStringList{"--create-schema", "--database", "NEW-FOLDER/new.db"}, journal, 0, "<6>");
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
        const QString errorsFile = folder.filePath("errors");
        struct stat file {};
        QVERIFY(QFile(errorsFile).open(QIODevice::WriteOnly));
        QVERIFY(stat(QFile::encodeName(errorsFile).constData(), &file) == 0);
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        variables.insert("JOURNAL_STREAM", QString());
        for (QString variable : environment) {
            variable.replace("STDERR", QStringLiteral("%1:%2").arg(file.st_dev).arg(file.st_ino));
            variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
        }
        QProcess server;
        server.setProcessEnvironment(variables);
        server.setStandardErrorFile(errorsFile);
        tieToTest(server);
        server.start(ServerProcess::executable(),
                     QStringList{"--database", m_fixture->database()} + arguments);
        const bool ended = server.waitForFinished(status < 0 ? 3000 : 30000);
        server.terminate();
        server.waitForFinished(10000);
        QFile written(errorsFile);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString errors = QString::fromUtf8(written.readAll());
        QCOMPARE(ended ? server.exitCode() : -1, status);
        const bool journal = !environment.filter("JOURNAL_STREAM").isEmpty();
        QVERIFY2(journal ? errors.startsWith(says) : errors.contains(says) && !errors.startsWith(u'<'),
                 qPrintable(errors));
        QVERIFY2(errors.count('\n') < 10, qPrintable(errors));  // no page of help
    }

    // SIGHUP takes a renewed certificate for new connections and keeps serving; a file that does not load is
    // reported and the certificate in use kept.
    void sighupReloadsTheCertificate() {
        QVERIFY2(m_certificates.ready(), "the openssl command could not make the test certificates");
        QTemporaryDir live;
        const QString certificate = live.filePath("server.pem");
        QVERIFY(QFile::copy(m_certificates.path("server.pem"), certificate));
        const QString key = m_certificates.path("server.key");
        QVERIFY(m_fixture->startServer({"--tls-cert", certificate, "--tls-key", key}));
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

    // The access log names each call, never a consumer's badge, code, name or balances, nor a date sent.
    void logsHoldNoConsumerData() {
        QVERIFY(m_fixture->startServer());
        const DataPacket consumer =
            packetFrom(m_fixture->call(TerminalCons, "getConsumidor", {"00010001", "S"}));
        QCOMPARE(consumer.rows.size(), 1);
        const QString code = cell(consumer, 0, "CDCONSUMIDOR").toString();
        QVariantList period{"0001", cell(consumer, 0, "CDCLIENTE"), code, dayText(-10), dayText(0)};
        const DataPacket balance = packetFrom(m_fixture->call(TerminalCons, "getSaldo", period));
        QCOMPARE(balance.rows.size(), 1);
        m_fixture->call("Qvr.rdmExtratoSimplificado", "getMoviClie", period);
        period[3] = "31/02/2024";
        m_fixture->call(TerminalCons, "getSaldo", period);
        QCOMPARE(m_fixture->server().get("/health").status, 200);
        QVERIFY(m_fixture->server().terminate());
        const QString logs = m_fixture->server().output() + m_fixture->server().errors();
        QVERIFY(logs.contains("terminal=0001 module=Qvr.rdmTerminalCons method=getSaldo status=200 ms="));
        QVERIFY(logs.contains("module=Qvr.rdmTerminalCons method=getConsumidor status=200"));
        QVERIFY(!logs.contains("module=health"));  // a load balancer's probes only when asked, below
        QStringList secrets{"00010001", code, cell(consumer, 0, "NMCONSUMIDOR").toString(), "31/02/2024"};
        secrets << cell(balance, 0, "VRSALDPECONS").toString() << cell(balance, 0, "VRSALDOCONS").toString();
        // An amount may be written with its trailing zeros.
        for (const QString& secret : secrets) {
            const QRegularExpression alone(
                QStringLiteral("(?<![\\d.])%10*(?![\\d])").arg(QRegularExpression::escape(secret)));
            QVERIFY2(!alone.match(logs).hasMatch(), qPrintable(secret + " in the log"));
        }
    }

    // A reader that stops reading the access log (a stalled pipe) holds no request: the log's own thread
    // waits for it, with a bounded queue, while the calls go on being answered.
    void stalledLogReaderHoldsNoRequest() {
        QVERIFY(m_fixture->startServer({"--log-health"}));
        ServerProcess& server = m_fixture->server();
        QCOMPARE(server.get("/health").status, 200);
        // Nothing reads the server's output meanwhile: the pipe fills after a few hundred lines.
        for (int call = 0; call < 1500; ++call) {
            const ServerProcess::Reply reply = server.call(TerminalCons, "getParaVend", {"0001"});
            QVERIFY2(reply.status == 200, qPrintable(QStringLiteral("call %1 unanswered").arg(call)));
        }
        QVERIFY(server.terminate());
        QVERIFY(server.output().count("method=getParaVend") > 0);
        QVERIFY(server.output().contains("module=health"));
    }

private:
    // The server with the extra options, over HTTPS with the test certificate where `tls`.
    void startServer(bool tls, const QStringList& extraOptions) {
        QVERIFY2(!tls || m_certificates.ready(), "the openssl command could not make the test certificates");
        const QStringList files{"--tls-cert", m_certificates.path("server.pem"), "--tls-key",
                                m_certificates.path("server.key")};
        QVERIFY(m_fixture->startServer((tls ? files : QStringList()) + extraOptions));
    }

    // Connects to the server, over TLS verified against the test authority for "localhost" or in plain TCP.
    bool connectTo(QSslSocket& socket, int port, bool tls) const {
        socket.setSslConfiguration(verifyingConfiguration());
        if (tls) {
            socket.connectToHostEncrypted("localhost", static_cast<quint16>(port));
            return socket.waitForEncrypted(5000);
        }
        socket.connectToHost("127.0.0.1", static_cast<quint16>(port));
        return socket.waitForConnected(3000);
    }

    // The serial number of the certificate the server presents to a new connection; empty when none verifies.
    QByteArray presentedSerial(int port) const {
        QSslSocket socket;
        return connectTo(socket, port, true) ? socket.peerCertificate().serialNumber() : QByteArray();
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
