#include "KioskUnderX.h"
#include "support/ChildProcess.h"
#include "support/ServerProcess.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Idle = QStringLiteral("frmTerminalConsu");
const QString Message = QStringLiteral("frmMensagem");
const QString Simplified = QStringLiteral("frmExtratoSimplificado");
const QString Detailed = QStringLiteral("frmExtratoDetalhado");
const QString Group = QStringLiteral("frmExtratoGrupo");
const QString SearchList = QStringLiteral("frmPesquisa");

const QString AnasCode = QStringLiteral("1001");
const QString AnasBadge = QStringLiteral("900100010001000000123");  // read with its cut: 1001
const QString AnasHeader = QStringLiteral("1001 - Ana Paula Ribeiro");
// A register like 0001/001 whose statements close after two idle seconds.
const QString QuickRegister = QStringLiteral("0001007");
const QString QuickSeconds = QStringLiteral("2");

bool isActive(const Screen& screen, const QString& window) {
    return screen.activeWindow() == window;
}

// Adds the quick register to the demo database before the server opens it.
QString addQuickRegister(const QString& database) {
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("demo"));
        db.setDatabaseName(database);
        const bool opened = db.open();
        QSqlQuery query(db);
        const QStringList statements{
            QStringLiteral(
                "CREATE TEMP TABLE quick AS SELECT * FROM CAIXA WHERE CDFILIAL = '0001' AND CDCAIXA = '001'"),
            QStringLiteral("UPDATE quick SET CDCAIXA = '%1', NRSEGFECTOT = '%2'")
                .arg(QuickRegister.right(3), QuickSeconds),
            QStringLiteral("INSERT INTO CAIXA SELECT * FROM quick")};
        for (const QString& statement : statements) {
            if (!opened || !query.exec(statement)) {
                failure = query.lastError().text() + db.lastError().text();
                break;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("demo"));
    return failure;
}

}  // namespace

// Each test starts the kiosk afresh on the shared display and server, swipes badges and taps the screen
// through X, and reads the result from the kiosk's own widgets.
class EndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void balancesThenSimplifiedStatement();
    void detailedStatementFromBadge();
    void groupStatementForAllStores();
    void storeChosenOnTheListKeyboard();
    void unknownConsumerIsToldAndTheKioskWaitsAgain();
    void statementClosesAfterInactivity();
    void serverStoppedAndStartedWhileTheKioskWaits();
    void fleetShowsEachKioskAsItIs();
    void versionAndHelpNeedNoDisplay_data();
    void versionAndHelpNeedNoDisplay();

private:
    void startKiosk(const QString& terminal);
    void startServer(int port);
    // Polls the server's fleet until `condition` holds; false, with the last fleet read in a warning, otherwise.
    bool fleetBecomes(const std::function<bool(const QHash<QString, QJsonObject>&)>& condition);
    // Waits until `window` is the active window; fails with what the screen showed otherwise.
    Screen expectActive(const QString& window, int timeoutMs = 15000);
    void tap(const Screen& screen, const ScreenWidget& widget);
    // Enter on the balance message, then "Voltar" on the simplified statement: back to waiting.
    void closeBalancesAndStatement();

    QTemporaryDir m_dir;
    QString m_database;
    std::unique_ptr<XDisplay> m_display;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<KioskProcess> m_kiosk;
};

void EndToEnd::initTestCase() {
    m_display = std::make_unique<XDisplay>();
    QVERIFY2(m_display->failure().isEmpty(), qPrintable(m_display->failure()));
    m_database = m_dir.filePath(QStringLiteral("totem.db"));
    const QString made = ServerProcess::createDemo(m_database, QDate::currentDate());
    QVERIFY2(made.isEmpty(), qPrintable(made));
    const QString added = addQuickRegister(m_database);
    QVERIFY2(added.isEmpty(), qPrintable(added));
    startServer(0);
}

void EndToEnd::init() {
    QVERIFY2(m_server && m_server->failure().isEmpty(), "the server is not running");
}

// Every case ends on the waiting screen, where Alt+F4 must end the program cleanly.
void EndToEnd::cleanup() {
    if (!m_kiosk) {
        return;
    }
    if (!QTest::currentTestFailed()) {
        const bool ended = m_kiosk->endWithAltF4(*m_display);
        QVERIFY2(ended, qPrintable(m_kiosk->errors() + m_kiosk->screen().summary()));
    } else {
        qWarning().noquote() << "kiosk's standard error:" << m_kiosk->errors();
    }
    m_kiosk.reset();
}

void EndToEnd::startServer(int port) {
    // Kiosks learn the heartbeat's period from the server: one a second here.
    m_server = std::make_unique<ServerProcess>(QStringList{QStringLiteral("--database"), m_database,
                                                           QStringLiteral("--port"), QString::number(port),
                                                           QStringLiteral("--heartbeat-period"), QStringLiteral("1")});
    QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
}

void EndToEnd::startKiosk(const QString& terminal) {
    m_kiosk = std::make_unique<KioskProcess>(
        *m_display, KioskProcess::Settings{QString::number(m_server->port()), terminal});
    expectActive(Idle);
}

Screen EndToEnd::expectActive(const QString& window, int timeoutMs) {
    const Screen screen =
        m_kiosk->waitFor([&](const Screen& shown) { return isActive(shown, window); }, timeoutMs);
    if (!isActive(screen, window)) {
        QTest::qFail(qPrintable(QStringLiteral("%1 is not active. %2").arg(window, screen.summary())),
                     __FILE__, __LINE__);
    }
    return screen;
}

void EndToEnd::tap(const Screen& screen, const ScreenWidget& widget) {
    QVERIFY2(widget.exists(), qPrintable(screen.summary()));
    m_display->tap(widget.centreX(), widget.centreY());
}

void EndToEnd::closeBalancesAndStatement() {
    m_display->key(QStringLiteral("Return"));
    const Screen screen = expectActive(Simplified);
    tap(screen, screen.widget(Simplified, QStringLiteral("bbbVoltar")));
    expectActive(Idle);
}

void EndToEnd::balancesThenSimplifiedStatement() {
    startKiosk(QStringLiteral("0001001"));
    m_display->swipe(AnasCode);
    Screen screen = expectActive(Message);
    QVERIFY2(screen.texts(Message).contains(QStringLiteral("Consumidor : Ana Paula Ribeiro")),
             qPrintable(screen.summary()));
    QVERIFY2(screen.texts(Message).contains(QStringLiteral("Saldo Total : R$ ")),
             qPrintable(screen.summary()));

    tap(screen, screen.widgetWithText(Message, QStringLiteral("&Ok")));
    screen = expectActive(Simplified);
    QVERIFY2(screen.texts(Simplified).contains(AnasHeader), qPrintable(screen.summary()));
    QVERIFY(!screen.widget(Simplified, QStringLiteral("dbgExtSimples")).rows().isEmpty());

    tap(screen, screen.widget(Simplified, QStringLiteral("bbbVoltar")));
    screen = expectActive(Idle);
    QVERIFY(!screen.shows(Simplified));
}

void EndToEnd::detailedStatementFromBadge() {
    startKiosk(QStringLiteral("0001002"));
    m_display->swipe(AnasBadge);
    Screen screen = expectActive(Detailed);
    QVERIFY2(screen.texts(Detailed).contains(AnasHeader), qPrintable(screen.summary()));
    QVERIFY(!screen.widget(Detailed, QStringLiteral("dbgMoviCli")).rows().isEmpty());
    QVERIFY(!screen.widget(Detailed, QStringLiteral("dbgVenda")).rows().isEmpty());

    tap(screen, screen.widget(Detailed, QStringLiteral("bbbVoltar")));
    expectActive(Idle);
}

void EndToEnd::groupStatementForAllStores() {
    startKiosk(QStringLiteral("0001005"));
    m_display->swipe(AnasBadge);
    Screen screen = expectActive(Group);
    QVERIFY2(screen.texts(Group).contains(QStringLiteral("Ana Paula Ribeiro")), qPrintable(screen.summary()));
    QVERIFY(!screen.widget(Group, QStringLiteral("dbgSubGrupo")).rows().isEmpty());

    tap(screen, screen.widget(Group, QStringLiteral("sbtSair")));
    expectActive(Idle);
}

void EndToEnd::storeChosenOnTheListKeyboard() {
    startKiosk(QStringLiteral("0001004"));
    m_display->swipe(AnasCode);
    Screen screen = expectActive(Message);
    m_display->key(QStringLiteral("Return"));
    screen = expectActive(SearchList);
    for (const QString& key : {QStringLiteral("L"), QStringLiteral("A"), QStringLiteral("N")}) {
        tap(screen, screen.widgetWithText(SearchList, key));
    }
    screen = m_kiosk->waitFor([](const Screen& shown) {
        return shown.widget(SearchList, QStringLiteral("dbgPesquisa")).rows().size() == 1;
    });
    const QJsonArray rows = screen.widget(SearchList, QStringLiteral("dbgPesquisa")).rows();
    QVERIFY2(rows.size() == 1 && rows.first().toArray().contains(QStringLiteral("Lanchonete")),
             qPrintable(screen.summary()));

    m_display->key(QStringLiteral("Return"));
    screen = expectActive(Group);
    QVERIFY2(screen.widget(Group, QStringLiteral("lblLoja")).text().contains(QStringLiteral("Lanchonete")),
             qPrintable(screen.summary()));

    tap(screen, screen.widget(Group, QStringLiteral("sbtSair")));
    expectActive(Idle);
}

void EndToEnd::unknownConsumerIsToldAndTheKioskWaitsAgain() {
    startKiosk(QStringLiteral("0001001"));
    m_display->swipe(QStringLiteral("99999"));
    Screen screen = expectActive(Message);
    QVERIFY2(screen.texts(Message).contains(QStringLiteral("Consumidor não cadastrado.")),
             qPrintable(screen.summary()));
    m_display->key(QStringLiteral("Return"));
    expectActive(Idle);

    m_display->swipe(AnasCode);
    expectActive(Message);
    closeBalancesAndStatement();
}

void EndToEnd::statementClosesAfterInactivity() {
    startKiosk(QuickRegister);
    m_display->swipe(AnasCode);
    expectActive(Message);
    m_display->key(QStringLiteral("Return"));
    expectActive(Simplified);
    const Screen screen = expectActive(Idle, 10000);
    QVERIFY(!screen.shows(Simplified));
}

void EndToEnd::serverStoppedAndStartedWhileTheKioskWaits() {
    startKiosk(QStringLiteral("0001001"));
    const int port = m_server->port();
    QVERIFY(m_server->terminate());

    m_display->swipe(AnasCode);
    Screen screen = expectActive(QStringLiteral("ErrorReport"));
    QVERIFY2(
        screen.texts(QStringLiteral("ErrorReport")).contains(QStringLiteral("não foi possível conectar")),
        qPrintable(screen.summary()));
    m_display->key(QStringLiteral("Return"));
    expectActive(Idle);

    // The failed look-up kept the code: once the server is back, OK alone serves the same consumer.
    startServer(port);
    m_display->key(QStringLiteral("Return"));
    screen = expectActive(Message);
    QVERIFY2(screen.texts(Message).contains(QStringLiteral("Ana Paula Ribeiro")),
             qPrintable(screen.summary()));
    closeBalancesAndStatement();
}

bool EndToEnd::fleetBecomes(const std::function<bool(const QHash<QString, QJsonObject>&)>& condition) {
    QByteArray read;
    for (QDeadlineTimer deadline(20000); !deadline.hasExpired(); QTest::qWait(250)) {
        read = m_server->get(QStringLiteral("/fleet.json")).body;
        QHash<QString, QJsonObject> fleet;
        for (const QJsonValue entry : QJsonDocument::fromJson(read).object().value("terminals").toArray()) {
            fleet.insert(entry["branch"].toString() + entry["register"].toString(), entry.toObject());
        }
        if (condition(fleet)) {
            return true;
        }
    }
    qWarning().noquote() << "the fleet:" << read;
    return false;
}

// Real kiosks on the display, each as an operator meets them: one whose register the server does not know,
// one switched off, one started before its server and left on the error box, and a healthy one. Each shows
// as such on the fleet's data and in the metrics.
void EndToEnd::fleetShowsEachKioskAsItIs() {
    const auto situation = [](const QHash<QString, QJsonObject>& fleet, const char* terminal) {
        return fleet.value(QString::fromLatin1(terminal)).value(QStringLiteral("situation")).toString();
    };
    const QString port = QString::number(m_server->port());
    {
        KioskProcess unknown(*m_display, {port, QStringLiteral("0001999")});
        unknown.waitFor([](const Screen& screen) { return isActive(screen, Message); });
        QVERIFY(fleetBecomes([&](const auto& fleet) {
            return situation(fleet, "0001999") == "caixa desconhecido" &&
                   fleet.value("0001999").value("detail").toString() == "Caixa não cadastrado.";
        }));
        QVERIFY(m_server->get("/metrics").body.contains("\ntotem_kiosks_unknown_register 1\n"));
        m_display->key(QStringLiteral("Return"));
        QCOMPARE(unknown.waitForExit(), 1);
        QVERIFY2(unknown.errors().contains("terminal 0001999: Caixa não cadastrado."), qPrintable(unknown.errors()));
    }

    KioskProcess switchedOff(*m_display, {port, QStringLiteral("0001002")});
    QVERIFY(fleetBecomes([&](const auto& fleet) { return situation(fleet, "0001002") == "ok"; }));
    switchedOff.kill();

    // Nothing listens on the stuck kiosk's port until it shows its error box; then a second server on the
    // same database answers there.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const int laterPort = probe.serverPort();
    probe.close();
    KioskProcess stuck(*m_display, {QString::number(laterPort), QStringLiteral("0001003")});
    stuck.waitFor([](const Screen& screen) { return isActive(screen, QStringLiteral("ErrorReport")); });
    const ServerProcess later({"--database", m_database, "--port", QString::number(laterPort)});
    QVERIFY2(later.failure().isEmpty(), qPrintable(later.failure()));

    KioskProcess healthy(*m_display, {port, QStringLiteral("0001001")});
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
    QVERIFY2(metrics.contains("\ntotem_kiosks_error_box 1\n") && stale.captured(1).toInt() >= 2, qPrintable(metrics));
}

void EndToEnd::versionAndHelpNeedNoDisplay_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("version") << "--version" << 0 << "totem-kiosk " TOTEM_VERSION "\n";
    QTest::newRow("help") << "--help" << 0 << "Usage: totem-kiosk";
    QTest::newRow("anything else") << "--server=x" << 2 << "unknown argument --server=x";
}

void EndToEnd::versionAndHelpNeedNoDisplay() {
    QFETCH(QString, argument);
    QFETCH(int, status);
    QFETCH(QString, says);
    QProcess kiosk;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    kiosk.setProcessEnvironment(environment);
    tieToTest(kiosk);
    kiosk.start(QStringLiteral(TOTEM_KIOSK_PATH), {argument});
    QVERIFY(kiosk.waitForFinished(10000));
    QCOMPARE(kiosk.exitStatus(), QProcess::NormalExit);
    QCOMPARE(kiosk.exitCode(), status);
    const QString said = QString::fromUtf8(kiosk.readAllStandardOutput() + kiosk.readAllStandardError());
    QVERIFY2(said.contains(says), qPrintable(said));
}

QTEST_GUILESS_MAIN(EndToEnd)
#include "tst_endtoend.moc"
