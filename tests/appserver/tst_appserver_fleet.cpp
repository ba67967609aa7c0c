// The fleet as the operator sees it from the real totem-server: heartbeats and calls recorded, the page,
// its data and the metrics, who may read them, and the page as a real browser renders it.
#include "AppServerFixture.h"

#include "server/WireFormat.h"
#include "support/Rows.h"

#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

namespace {

using Headers = HttpClient::Headers;

QByteArray heartbeat(const QString& terminal, const QString& state, int secondsAgo = 0,
                     const QString& detail = {}) {
    QJsonObject beat{{"terminal", terminal},
                     {"version", "4.0.0"},
                     {"state", state},
                     {"since", QDateTime::currentDateTimeUtc().addSecs(-secondsAgo).toString(Qt::ISODate)},
                     {"consultations", 3}};
    if (!detail.isEmpty()) {
        beat.insert("detail", detail);
        beat.insert("lastError", detail);
    }
    return QJsonDocument(beat).toJson(QJsonDocument::Compact);
}

// A request from a client off loopback, through the proxy.
Headers remote(const QByteArray& authorization = {}) {
    Headers headers{{"X-Forwarded-For", "203.0.113.9"}};
    if (!authorization.isEmpty()) {
        headers.append({"Authorization", authorization});
    }
    return headers;
}

}  // namespace

class TestAppServerFleet : public QObject {
    Q_OBJECT
private slots:
    void heartbeatsThatSayNothingUsableAreRefused_data() {
        QTest::addColumn<QByteArray>("body");
        dataRow("not JSON", QByteArray("terminal=0001001"));
        dataRow("unknown member", heartbeat("0001001", "waiting").replace("}", R"(,"code":"1001"})"));
        dataRow("short terminal", heartbeat("000100", "waiting"));
        dataRow("unknown state", heartbeat("0001001", "sleeping"));
        dataRow("no date", heartbeat("0001001", "waiting").replace("\"since\"", "\"sinc\""));
        dataRow("negative count", heartbeat("0001001", "waiting").replace(":3", ":-3"));
    }

    void heartbeatsThatSayNothingUsableAreRefused() {
        QFETCH(QByteArray, body);
        QCOMPARE(fixture().server().post("/fleet/heartbeat", body).status, 400);
    }

    // Only loopback, or a caller with the operator's token, reads the fleet; the token is compared whole.
    void operatorsAloneReadTheFleet_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Headers>("headers");
        QTest::addColumn<int>("status");
        dataRow("loopback", "/fleet", Headers{}, 200);
        dataRow("remote without token", "/fleet.json", remote(), 401);
        dataRow("remote with bearer token", "/metrics", remote("Bearer s3cret-token"), 200);
        dataRow("remote with browser password", "/fleet",
                remote("Basic " + QByteArray("operador:s3cret-token").toBase64()), 200);
        dataRow("remote with a prefix of the token", "/fleet.json", remote("Bearer s3cret"), 401);
        dataRow("remote with a longer token", "/fleet.json", remote("Bearer s3cret-token2"), 401);
    }

    void operatorsAloneReadTheFleet() {
        QFETCH(QString, path);
        QFETCH(Headers, headers);
        QFETCH(int, status);
        QCOMPARE(m_guarded->server().get(path, headers).status, status);
    }

    // Healthy, stuck on an error box, unknown to CAIXA, switched off, never seen: each as such on the page's
    // data and in the metrics, and still there after a restart.
    void fleetShowsEachKioskAsItIs_data() {
        QTest::addColumn<Engine>("engine");
        dataRow("SQLite", Engine::Sqlite);
        dataRow("PostgreSQL", Engine::Postgres);
    }

    void fleetShowsEachKioskAsItIs() {
        QFETCH(Engine, engine);
        AppServerFixture fixture(engine);
        REQUIRE_SERVER(fixture);
        // One worker, which reads the fleet before any kiosk is seen: no read may keep an old snapshot.
        QVERIFY2(fixture.startServer({"--heartbeat-period", "1", "--workers", "1"}),
                 qPrintable(fixture.failure()));
        ServerProcess& server = fixture.server();
        QVERIFY(fleetOf(server).value("0001001").value("known").toBool());
        const auto reply = server.post("/fleet/heartbeat", heartbeat("0001003", "waiting"));
        QCOMPARE(reply.body, QByteArray(R"({"period":1})"));
        QTRY_VERIFY(fleetOf(server).value("0001003").value("situation") == "ok");
        // Three heartbeats and more without the switched-off kiosk.
        for (QDeadlineTimer silence(4500); !silence.hasExpired(); QTest::qWait(500)) {
            server.post("/fleet/heartbeat", heartbeat("0001001", "waiting"));
            server.post("/fleet/heartbeat", heartbeat("0001002", "error", 6 * 60, "Erro ao conectar."));
            server.post("/fleet/heartbeat", heartbeat("0009999", "error", 0, "Caixa não cadastrado."));
        }
        server.post("/modules/Qvr.rdmTerminalCons/getConsumidor", wire::encodeCall({"1001", "N"}),
                    {{"X-Totem-Terminal", "0001001"}});
        QHash<QString, QJsonObject> fleet;
        QTRY_VERIFY((fleet = fleetOf(server)).value("0001001").value("consultationsToday").toInt() == 1);
        QCOMPARE(fleet.value("0001001").value("situation").toString(), "ok");
        QCOMPARE(fleet.value("0001002").value("situation").toString(), "preso em erro");
        QCOMPARE(fleet.value("0001002").value("lastError").toString(), "Erro ao conectar.");
        QCOMPARE(fleet.value("0009999").value("situation").toString(), "caixa desconhecido");
        QCOMPARE(fleet.value("0001003").value("situation").toString(), "sem sinal");
        QCOMPARE(fleet.value("0002001").value("situation").toString(), "nunca visto");
        QCOMPARE(fleet.value("0001001").value("version").toString(), "4.0.0");

        const QString metrics = QString::fromUtf8(server.get("/metrics").body);
        const char* const requests =
            R"(totem_requests_total{module="Qvr.rdmTerminalCons",method="getConsumidor",status="200"} 1)";
        for (const char* line : {"totem_kiosks_stale 1", "totem_kiosks_error_box 2", "totem_kiosks_stuck 1",
                                 "totem_kiosks_unknown_register 1", requests}) {
            QVERIFY2(metrics.contains(QString::fromUtf8(line) + '\n'), line);
        }

        QVERIFY(fixture.startServer({"--heartbeat-period", "1"}));
        QCOMPARE(fleetOf(fixture.server()).value("0001001").value("consultationsToday").toInt(), 1);
    }

    // Headless Chromium loads the page from a real server, which the other cases filled, and the test reads
    // the DOM it rendered: the rows that need a look come first.
    void pageRendersInABrowser() {
        const QString chromium = QStandardPaths::findExecutable("chromium");
        if (chromium.isEmpty()) {
            QSKIP("Debian's chromium is not installed");
        }
        ServerProcess& server = fixture().server();
        server.post("/fleet/heartbeat", heartbeat("0001001", "waiting"));
        server.post("/fleet/heartbeat", heartbeat("0009999", "error", 0, "Caixa não cadastrado."));
        QTRY_VERIFY(fleetOf(server).contains("0009999"));
        QTemporaryDir profile;
        QProcess browser;
        // Everything but loopback goes to a proxy that is not there: the browser reaches nothing else.
        browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                 "--disable-background-networking", "--disable-component-update",
                                 "--proxy-server=127.0.0.1:9", "--user-data-dir=" + profile.path(),
                                 "--dump-dom", QString("http://127.0.0.1:%1/fleet").arg(server.port())});
        QVERIFY2(browser.waitForFinished(60000), "the browser did not finish");
        const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
        static const QRegularExpression row(R"re(<tr class="(\w+)" data-terminal="(\d+)">)re");
        QStringList rows;
        for (auto match = row.globalMatch(dom); match.hasNext();) {
            const auto found = match.next();
            rows.append(found.captured(1) + ' ' + found.captured(2));
        }
        QVERIFY2(rows.size() > 3, qPrintable(dom.left(2000)));
        QCOMPARE(rows.first(), "look 0009999");
        QVERIFY2(rows.contains("ok 0001001"), qPrintable(rows.join(", ")));
        QVERIFY2(dom.contains("caixa desconhecido"), qPrintable(dom.left(2000)));
    }

    void initTestCase() {
        QVERIFY2(fixture().failure().isEmpty(), qPrintable(fixture().failure()));
        m_guarded = std::make_unique<AppServerFixture>(Engine::Sqlite);
        QVERIFY(m_guarded->startServer({"--trusted-proxy", "127.0.0.1", "--operator-token", "s3cret-token"}));
    }

private:
    AppServerFixture& fixture() {
        static AppServerFixture shared(Engine::Sqlite);
        return shared;
    }

    std::unique_ptr<AppServerFixture> m_guarded;
};

QTEST_MAIN(TestAppServerFleet)
#include "tst_appserver_fleet.moc"
