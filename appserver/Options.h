#pragma once

#include "store/Database.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

// Everything totem-server is told at start: command-line options first, then TOTEM_SERVER_* variables,
// then the defaults. Loopback unless told otherwise.
struct ServerOptions {
    QString listenAddress = QStringLiteral("127.0.0.1");
    int port = 8211;  // 0: any free port (the first line on standard output names it)
    DatabaseSettings database;
    QString dateFormat = QStringLiteral("dd/MM/yyyy");
    int workers = 16;
    int maxBodyBytes = 64 * 1024;
    int requestTimeoutMs = 10000;
    int keepAliveSeconds = 2;
    // What one connection may send, and how many are held at once.
    int maxHeaderBytes = 8192;
    int maxHeaders = 32;
    int receiveTimeoutMs = 10000;
    int maxConnections = 10000;
    int maxConnectionsPerAddress = 64;
    // Consumer look-ups per terminal and per client address.
    int lookupPerMinute = 20;
    int lookupBurst = 10;
    // Peers besides loopback whose X-Forwarded-For header names the client.
    QStringList trustedProxies;
    // HTTPS when both are given; plain HTTP off loopback only when allowed.
    QString tlsCertificate;
    QString tlsKey;
    bool allowPlainHttp = false;
    // GET /health in the access log; off, since load balancers probe it every few seconds.
    bool logHealth = false;
    // The fleet: how often kiosks send their heartbeat (three missed make a kiosk stale), and the token that
    // lets a caller other than loopback read the fleet and the metrics (empty: loopback only).
    int heartbeatSeconds = 60;
    QString operatorToken;

    // Load the tables' files of a folder into the database (or only check them), or write them from it.
    enum class Intake { None, Import, Export };
    Intake intake = Intake::None;
    QString intakeFolder;
    bool dryRun = false;

    // Create the schema in the database, then exit.
    bool createSchema = false;
    // Demo data: create and fill the database, then exit.
    bool createDemo = false;
    QString demoSize = QStringLiteral("small");
    QDate demoToday;
};

struct ParsedOptions {
    std::optional<ServerOptions> options;
    QString error;  // why options is empty, naming the option or variable; empty for --help or --version
    QString help;
    QStringList warnings;  // variables of our prefix that name no setting (a misspelling, say)
};

ParsedOptions parseOptions(const QStringList& arguments);
