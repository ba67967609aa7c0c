#include "KioskUnderX.h"
#include "appserver/AppServerFixture.h"
#include "support/ChildProcess.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Idle = "frmTerminalConsu";
const QString Message = "frmMensagem";
const QString Simplified = "frmExtratoSimplificado";
const QString Detailed = "frmExtratoDetalhado";
const QString Group = "frmExtratoGrupo";

const QString AnasBadge = "900100010001000000123";  // read with its cut: 1001
const QString AnasHeader = "1001 - Ana Paula Ribeiro";

}  // namespace

// Each test starts the kiosk afresh on the shared display and server, swipes badges and taps the screen
// through X, and reads the result from the kiosk's own widgets.
class EndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_display = std::make_unique<XDisplay>();
        QVERIFY2(m_display->failure().isEmpty(), qPrintable(m_display->failure()));
        m_database = m_dir.filePath("totem.db");
        const QString made = ServerProcess::createDemo(m_database, QDate::currentDate());
        QVERIFY2(made.isEmpty(), qPrintable(made));
        startServer(0);
    }

    void init() { QVERIFY2(m_server && m_server->failure().isEmpty(), "the server is not running"); }

    // Every case ends on the waiting screen, where Alt+F4 must end the program with status 0 (under the leak
    // checker: with no leak).
    void cleanup() {
        if (!m_kiosk) {
            return;
        }
        if (!QTest::currentTestFailed()) {
            m_display->key("alt+F4");
            const int status = m_kiosk->waitForExit();
            QVERIFY2(status == 0, qPrintable(m_kiosk->errors() + m_kiosk->screen().summary()));
        } else {
            qWarning().noquote() << "kiosk's standard error:" << m_kiosk->errors();
        }
        m_kiosk.reset();
    }

    void detailedStatementFromBadge() {
        startKiosk("0001002");
        m_display->swipe(AnasBadge);
        Screen screen = expectActive(Detailed);
        QVERIFY2(screen.texts(Detailed).contains(AnasHeader), qPrintable(screen.summary()));
        QVERIFY(!screen.widget(Detailed, "dbgMoviCli").rows().isEmpty());
        QVERIFY(!screen.widget(Detailed, "dbgVenda").rows().isEmpty());

        tap(screen, screen.widget(Detailed, "bbbVoltar"));
        expectActive(Idle);
    }

    void groupStatementForAllStores() {
        startKiosk("0001005");
        m_display->swipe(AnasBadge);
        Screen screen = expectActive(Group);
        QVERIFY2(screen.texts(Group).contains("Ana Paula Ribeiro"), qPrintable(screen.summary()));
        QVERIFY(!screen.widget(Group, "dbgSubGrupo").rows().isEmpty());

        tap(screen, screen.widget(Group, "sbtSair"));
        expectActive(Idle);
    }

    void serverStoppedAndStartedWhileTheKioskWaits() {
        startKiosk("0001001");
        const int port = m_server->port();
        QVERIFY(m_server->terminate());

        m_display->swipe("1001");  // Ana's code
        Screen screen = expectActive("ErrorReport");
        QVERIFY2(screen.texts("ErrorReport").contains("não foi possível conectar"),
                 qPrintable(screen.summary()));
        m_display->key("Return");
        expectActive(Idle);

        // The failed look-up kept the code: once the server is back, OK alone serves the same consumer,
        // with the balances first and then the simplified statement.
        startServer(port);
        m_display->key("Return");
        screen = expectActive(Message);
        QVERIFY2(screen.texts(Message).contains("Consumidor : Ana Paula Ribeiro"),
                 qPrintable(screen.summary()));
        QVERIFY2(screen.texts(Message).contains("Saldo Total : R$ "), qPrintable(screen.summary()));
        m_display->key("Return");
        screen = expectActive(Simplified);
        QVERIFY2(screen.texts(Simplified).contains(AnasHeader), qPrintable(screen.summary()));
        QVERIFY(!screen.widget(Simplified, "dbgExtSimples").rows().isEmpty());
        tap(screen, screen.widget(Simplified, "bbbVoltar"));
        expectActive(Idle);
    }

    // Real kiosks on the display, each as an operator meets them: one whose register the server does not
    // know, one switched off, one started before its server and left on the error box, and a healthy one.
    // Each shows as such on the fleet's data and in the metrics.
    void fleetShowsEachKioskAsItIs() {
        const auto situation = [](const QHash<QString, QJsonObject>& fleet, const char* terminal) {
            return fleet.value(QString::fromLatin1(terminal)).value("situation").toString();
        };
        const QString port = QString::number(m_server->port());
        {
            KioskProcess unknown(*m_display, {port, "0001999"});
            unknown.waitFor([](const Screen& screen) { return screen.activeWindow() == Message; });
            QVERIFY(fleetBecomes([&](const auto& fleet) {
                return situation(fleet, "0001999") == "caixa desconhecido" &&
                       fleet.value("0001999").value("detail").toString() == "Caixa não cadastrado.";
            }));
            QVERIFY(m_server->get("/metrics").body.contains("\ntotem_kiosks_unknown_register 1\n"));
            m_display->key("Return");
            QCOMPARE(unknown.waitForExit(), 1);
            QVERIFY2(unknown.errors().contains("terminal 0001999: Caixa não cadastrado."),
                     qPrintable(unknown.errors()));
        }

        KioskProcess switchedOff(*m_display, {port, "0001002"});
        QVERIFY(fleetBecomes([&](const auto& fleet) { return situation(fleet, "0001002") == "ok"; }));
        switchedOff.kill();

        // Nothing listens on the stuck kiosk's port until it shows its error box; then a second server on the
        // same database answers there.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int laterPort = probe.serverPort();
        probe.close();
        KioskProcess stuck(*m_display, {QString::number(laterPort), "0001003"});
        stuck.waitFor([](const Screen& screen) { return screen.activeWindow() == "ErrorReport"; });
        const ServerProcess later({"--database", m_database, "--port", QString::number(laterPort)});
        QVERIFY2(later.failure().isEmpty(), qPrintable(later.failure()));

        KioskProcess healthy(*m_display, {port, "0001001"});
        QVERIFY(fleetBecomes([&](const auto& fleet) {
            return situation(fleet, "0001001") == "ok" &&
                   fleet.value("0001001").value("state").toString() == "waiting" &&
                   situation(fleet, "0001002") == "sem sinal" &&
                   fleet.value("0001003").value("state").toString() == "error" &&
                   fleet.value("0001003").value("detail").toString().contains("conectar");
        }));
        // Kiosks of the earlier cases have gone silent too.
        const QString metrics = QString::fromUtf8(m_server->get("/metrics").body);
        const auto stale = QRegularExpression("\ntotem_kiosks_stale (\\d+)\n").match(metrics);
        QVERIFY2(metrics.contains("\ntotem_kiosks_error_box 1\n") && stale.captured(1).toInt() >= 2,
                 qPrintable(metrics));
    }

    void versionAndHelpNeedNoDisplay_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("version") << "--version" << 0 << "totem-kiosk " TOTEM_VERSION "\n";
        QTest::newRow("help") << "--help" << 0 << "Usage: totem-kiosk";
        QTest::newRow("anything else") << "--server=x" << 2 << "unknown argument --server=x";
    }

    void versionAndHelpNeedNoDisplay() {
        QFETCH(QString, argument);
        QFETCH(int, status);
        QFETCH(QString, says);
        QProcess kiosk;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        kiosk.setProcessEnvironment(environment);
        tieToTest(kiosk);
        kiosk.start(QStringLiteral(TOTEM_KIOSK_PATH), {argument});
        QVERIFY(kiosk.waitForFinished(10000));
        QCOMPARE(kiosk.exitStatus(), QProcess::NormalExit);
        QCOMPARE(kiosk.exitCode(), status);
        const QString said = QString::fromUtf8(kiosk.readAllStandardOutput() + kiosk.readAllStandardError());
        QVERIFY2(said.contains(says), qPrintable(said));
    }

private:
    void startServer(int port) {
        // Kiosks learn the heartbeat's period from the server: one a second here.
        const QStringList options{"--port", QString::number(port), "--heartbeat-period", "1"};
        m_server = std::make_unique<ServerProcess>(QStringList{"--database", m_database} + options);
        QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
    }

    void startKiosk(const QString& terminal) {
        m_kiosk = std::make_unique<KioskProcess>(
            *m_display, KioskProcess::Settings{QString::number(m_server->port()), terminal});
        expectActive(Idle);
    }

    // Waits until `window` is the active window; fails with what the screen showed otherwise.
    Screen expectActive(const QString& window, int timeoutMs = 15000) {
        const Screen screen =
            m_kiosk->waitFor([&](const Screen& shown) { return shown.activeWindow() == window; }, timeoutMs);
        if (screen.activeWindow() != window) {
            QTest::qFail(qPrintable(QStringLiteral("%1 is not active. %2").arg(window, screen.summary())),
                         __FILE__, __LINE__);
        }
        return screen;
    }

    void tap(const Screen& screen, const ScreenWidget& widget) {
        QVERIFY2(!widget.json.isEmpty(), qPrintable(screen.summary()));
        m_display->tap(widget.centreX(), widget.centreY());
    }

    // Polls the server's fleet until `condition` holds; false, with the fleet in a warning, otherwise.
    bool fleetBecomes(const std::function<bool(const QHash<QString, QJsonObject>&)>& condition) {
        for (QDeadlineTimer deadline(20000); !deadline.hasExpired(); QTest::qWait(250)) {
            if (condition(fleetOf(*m_server))) {
                return true;
            }
        }
        qWarning().noquote() << "the fleet:" << m_server->get("/fleet.json").body;
        return false;
    }

    QTemporaryDir m_dir;
    QString m_database;
    std::unique_ptr<XDisplay> m_display;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<KioskProcess> m_kiosk;
};

QTEST_GUILESS_MAIN(EndToEnd)
#include "tst_endtoend.moc"
