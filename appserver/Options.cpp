#include "Options.h"

#include <QCommandLineParser>
#include <QProcessEnvironment>

#include <array>
#include <optional>

namespace {

// A setting that comes from the command line, else from the environment.
struct Setting {
    const char* name;
    const char* valueName;
    const char* environment;
    const char* help;
};

enum SettingId {
    Listen,
    Port,
    Database,
    DateFormat,
    Workers,
    MaxBody,
    RequestTimeout,
    LockWait,
    KeepAlive,
    MaxHeaderBytes,
    MaxHeaders,
    ReceiveTimeout,
    MaxConnections,
    MaxConnectionsPerAddress,
    LookupRate,
    LookupBurst,
    TlsCertificate,
    TlsKey,
    TrustedProxies,
    HeartbeatPeriod,
    OperatorToken
};

constexpr std::array<Setting, 21> settings{{
    {"listen", "address", "TOTEM_SERVER_LISTEN", "Address to listen on (default 127.0.0.1)."},
    {"port", "port", "TOTEM_SERVER_PORT", "TCP port (default 8211; 0 picks a free one)."},
    {"database", "database", "TOTEM_SERVER_DATABASE",
     "SQLite file (default data/totem.db) or postgresql://user@host:port/name."},
    {"date-format", "form", "TOTEM_SERVER_DATE_FORMAT",
     "Form of the date texts the methods read (default dd/MM/yyyy)."},
    {"workers", "count", "TOTEM_SERVER_WORKERS",
     "Threads that serve the connections, each with its own database connection (default 16)."},
    {"max-body", "bytes", "TOTEM_SERVER_MAX_BODY", "Largest request body in bytes (default 65536)."},
    {"request-timeout", "ms", "TOTEM_SERVER_REQUEST_TIMEOUT_MS",
     "Milliseconds a request may spend in the database (default 10000)."},
    {"lock-wait", "ms", "TOTEM_SERVER_LOCK_WAIT_MS",
     "Milliseconds to wait for a locked database (default 2000)."},
    {"keep-alive", "seconds", "TOTEM_SERVER_KEEP_ALIVE",
     "Seconds a connection may stay idle before its first request and between requests (default 2)."},
    {"max-header-bytes", "bytes", "TOTEM_SERVER_MAX_HEADER_BYTES",
     "Largest request line and headers together, in bytes (default 8192)."},
    {"max-headers", "count", "TOTEM_SERVER_MAX_HEADERS", "Most header lines in a request (default 32)."},
    {"receive-timeout", "ms", "TOTEM_SERVER_RECEIVE_TIMEOUT_MS",
     "Milliseconds a whole request (or a TLS handshake) may take to arrive (default 10000)."},
    {"max-connections", "count", "TOTEM_SERVER_MAX_CONNECTIONS",
     "Connections held at once; further clients wait in the listen backlog (default 10000)."},
    {"max-connections-per-address", "count", "TOTEM_SERVER_MAX_CONNECTIONS_PER_ADDRESS",
     "Connections one client address (an IPv6 /64 network) may hold; loopback and trusted proxies are held to "
     "the total only (default 64)."},
    {"lookup-rate", "per-minute", "TOTEM_SERVER_LOOKUP_RATE",
     "Calls that name a consumer (all such methods together) a client address, and each terminal at an "
     "address, earn back per minute (default 20; 0: no limit)."},
    {"lookup-burst", "count", "TOTEM_SERVER_LOOKUP_BURST",
     "Calls that name a consumer a client address, and each terminal at an address, may make at once "
     "(default 10)."},
    {"tls-cert", "file", "TOTEM_SERVER_TLS_CERT", "PEM certificate chain: serve HTTPS (with --tls-key)."},
    {"tls-key", "file", "TOTEM_SERVER_TLS_KEY", "PEM private key of the certificate."},
    {"trusted-proxy", "addresses", "TOTEM_SERVER_TRUSTED_PROXIES",
     "Comma-separated addresses of load balancers whose X-Forwarded-For names the kiosk (loopback always)."},
    {"heartbeat-period", "seconds", "TOTEM_SERVER_HEARTBEAT_PERIOD",
     "Seconds between a kiosk's heartbeats; three missed make it stale on /fleet (default 60)."},
    {"operator-token", "token", "TOTEM_SERVER_OPERATOR_TOKEN",
     "Lets a caller other than loopback read /fleet, /fleet.json and /metrics (bearer token, or the password "
     "of basic authentication); prefer the variable, which ps does not show. Default: loopback only."},
}};

const QCommandLineOption allowPlainHttpOption(
    QStringLiteral("allow-plain-http"),
    QStringLiteral("Serve plain HTTP on an address other than loopback (behind a TLS-terminating proxy or a "
                   "VPN). Also TOTEM_SERVER_ALLOW_PLAIN_HTTP=yes."));
const QCommandLineOption logHealthOption(
    QStringLiteral("log-health"),
    QStringLiteral("Write GET /health requests to the access log too (load balancers' probes). Also "
                   "TOTEM_SERVER_LOG_HEALTH=yes."));
const QCommandLineOption createSchemaOption(
    QStringLiteral("create-schema"),
    QStringLiteral("Create the schema in the database given by --database (a new SQLite file, or a database "
                   "without it), then exit. Serving never creates it."));
const QCommandLineOption createDemoOption(
    QStringLiteral("create-demo"), QStringLiteral("Create and fill the demo database given by --database, "
                                                  "then exit."));
const QCommandLineOption dryRunOption(
    QStringLiteral("dry-run"),
    QStringLiteral("With import: check the files against the database and report, writing nothing."));
const QCommandLineOption sizeOption(QStringLiteral("size"),
                                    QStringLiteral("Demo size: small (default) or large."),
                                    QStringLiteral("size"), QStringLiteral("small"));
const QCommandLineOption todayOption(
    QStringLiteral("today"), QStringLiteral("Last day of the demo year, yyyy-MM-dd (default: today)."),
    QStringLiteral("date"));

// The switches that may also come from the environment.
struct Switch {
    const QCommandLineOption& option;
    const char* environment;
    bool ServerOptions::*target;
};
const std::array<Switch, 2> switches{
    {{allowPlainHttpOption, "TOTEM_SERVER_ALLOW_PLAIN_HTTP", &ServerOptions::allowPlainHttp},
     {logHealthOption, "TOTEM_SERVER_LOG_HEALTH", &ServerOptions::logHealth}}};

QString valueOf(const QCommandLineParser& parser, SettingId id) {
    const Setting& setting = settings.at(id);
    const QString name = QString::fromLatin1(setting.name);
    return parser.isSet(name) ? parser.value(name) : qEnvironmentVariable(setting.environment);
}

// Where a value came from, as the operator wrote it: the option, else the variable.
QString sourceOf(const QCommandLineParser& parser, SettingId id) {
    const Setting& setting = settings.at(id);
    const QString name = QString::fromLatin1(setting.name);
    return parser.isSet(name) ? QStringLiteral("--") + name : QString::fromLatin1(setting.environment);
}

// A switch is on when given on the command line, or when its variable says so in one of the usual
// spellings; nullopt when the variable says neither.
std::optional<bool> switchOf(const QCommandLineParser& parser, const Switch& entry) {
    if (parser.isSet(entry.option)) {
        return true;
    }
    const QString text = qEnvironmentVariable(entry.environment).trimmed().toLower();
    if (text.isEmpty() ||
        QStringList{QStringLiteral("0"), QStringLiteral("no"), QStringLiteral("false"), QStringLiteral("off")}
            .contains(text)) {
        return false;
    }
    if (QStringList{QStringLiteral("1"), QStringLiteral("yes"), QStringLiteral("true"), QStringLiteral("on")}
            .contains(text)) {
        return true;
    }
    return std::nullopt;
}

// Variables of our prefix that name no setting: a misspelt one would otherwise be ignored without a word.
QStringList unknownVariables() {
    QStringList known;
    for (const Setting& setting : settings) {
        known.append(QString::fromLatin1(setting.environment));
    }
    for (const Switch& entry : switches) {
        known.append(QString::fromLatin1(entry.environment));
    }
    QStringList unknown;
    for (const QString& variable : QProcessEnvironment::systemEnvironment().keys()) {
        if (variable.startsWith(QLatin1String("TOTEM_SERVER_")) && !known.contains(variable)) {
            unknown.append(QStringLiteral("%1 is not a setting of totem-server: ignored").arg(variable));
        }
    }
    return unknown;
}

void addOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Application server of the consultation kiosks: serves the remote data modules over HTTP."));
    parser.addHelpOption();
    parser.addVersionOption();
    for (const Setting& setting : settings) {
        parser.addOption({QString::fromLatin1(setting.name), QString::fromLatin1(setting.help),
                          QString::fromLatin1(setting.valueName)});
    }
    parser.addOptions({allowPlainHttpOption, logHealthOption, createSchemaOption, createDemoOption, sizeOption, todayOption,
                       dryRunOption});
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("import <folder>: load the tables' CSV files found in the folder (FILIAL.csv, VENDA.csv...) "
                       "into the database, all or nothing, then exit. export <folder>: write them from the "
                       "database, then exit. Without a command the server serves."),
        QStringLiteral("[import|export <folder>]"));
}

struct NumberRule {
    SettingId id;
    int minimum;
    int maximum;
    int& target;
};

// Applies the whole-number settings that were given; empty when they read, otherwise what is wrong.
QString applyNumbers(const QCommandLineParser& parser, ServerOptions& options) {
    const std::array<NumberRule, 14> rules{{{Port, 0, 65535, options.port},
                                            {Workers, 1, 256, options.workers},
                                            {MaxBody, 64, 32 * 1024 * 1024, options.maxBodyBytes},
                                            {RequestTimeout, 100, 600000, options.requestTimeoutMs},
                                            {LockWait, 0, 600000, options.database.lockWaitMs},
                                            {KeepAlive, 1, 3600, options.keepAliveSeconds},
                                            {MaxHeaderBytes, 1024, 1024 * 1024, options.maxHeaderBytes},
                                            {MaxHeaders, 4, 1000, options.maxHeaders},
                                            {ReceiveTimeout, 100, 600000, options.receiveTimeoutMs},
                                            {MaxConnections, 1, 1000000, options.maxConnections},
                                            {MaxConnectionsPerAddress, 1, 1000000,
                                             options.maxConnectionsPerAddress},
                                            {LookupRate, 0, 600000, options.lookupPerMinute},
                                            {LookupBurst, 1, 100000, options.lookupBurst},
                                            {HeartbeatPeriod, 1, 3600, options.heartbeatSeconds}}};
    for (const NumberRule& rule : rules) {
        const QString text = valueOf(parser, rule.id);
        if (text.isEmpty()) {
            continue;
        }
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < rule.minimum || value > rule.maximum) {
            return QStringLiteral("%1: \"%2\" is not a whole number from %3 to %4.")
                .arg(sourceOf(parser, rule.id), text.left(40))
                .arg(rule.minimum)
                .arg(rule.maximum);
        }
        rule.target = value;
    }
    return {};
}

// Empty when the texts read; otherwise what is wrong with them.
QString applyTexts(const QCommandLineParser& parser, ServerOptions& options) {
    if (const QString text = valueOf(parser, Database); !text.isEmpty()) {
        QString error;
        const std::optional<DatabaseSettings> database = DatabaseSettings::fromText(text, &error);
        if (!database) {
            return QStringLiteral("--database: %1.").arg(error);
        }
        options.database = *database;
    }
    if (const QString text = valueOf(parser, Listen); !text.isEmpty()) {
        options.listenAddress = text;
    }
    if (const QString text = valueOf(parser, DateFormat); !text.isEmpty()) {
        options.dateFormat = text;
    }
    options.tlsCertificate = valueOf(parser, TlsCertificate);
    options.operatorToken = valueOf(parser, OperatorToken);
    options.tlsKey = valueOf(parser, TlsKey);
    options.trustedProxies = valueOf(parser, TrustedProxies).split(u',', Qt::SkipEmptyParts);
    for (QString& address : options.trustedProxies) {
        address = address.trimmed();
    }
    for (const Switch& entry : switches) {
        const std::optional<bool> on = switchOf(parser, entry);
        if (!on) {
            return QStringLiteral("%1: \"%2\" is neither yes nor no (1, yes, true, on / 0, no, false, off).")
                .arg(QString::fromLatin1(entry.environment), qEnvironmentVariable(entry.environment).left(40));
        }
        options.*entry.target = *on;
    }
    return {};
}

// Empty when the demo options read; otherwise what is wrong with them.
QString applyDemo(const QCommandLineParser& parser, ServerOptions& options) {
    options.createDemo = parser.isSet(createDemoOption);
    options.createSchema = parser.isSet(createSchemaOption);
    // Only these two write the schema into a database; serving never does.
    options.database.createSchema = options.createDemo || options.createSchema;
    options.demoSize = parser.value(sizeOption);
    options.demoToday = parser.isSet(todayOption) ? QDate::fromString(parser.value(todayOption), Qt::ISODate)
                                                  : QDate::currentDate();
    if (options.demoSize != QLatin1String("small") && options.demoSize != QLatin1String("large")) {
        return QStringLiteral("--size is small or large.");
    }
    if (!options.demoToday.isValid()) {
        return QStringLiteral("--today is a date in the form yyyy-MM-dd.");
    }
    return {};
}

// Empty when the command, if any, reads; otherwise what is wrong with it.
QString applyCommand(const QCommandLineParser& parser, ServerOptions& options) {
    const QStringList words = parser.positionalArguments();
    options.dryRun = parser.isSet(dryRunOption);
    if (words.isEmpty()) {
        return options.dryRun ? QStringLiteral("--dry-run goes with import <folder>.") : QString();
    }
    const QString command = words.first();
    if (command != QLatin1String("import") && command != QLatin1String("export")) {
        return QStringLiteral("\"%1\" is not a command: the commands are import <folder> and export <folder>.")
            .arg(command.left(40));
    }
    if (words.size() != 2) {
        return QStringLiteral("%1 takes one folder: totem-server %1 <folder>.").arg(command);
    }
    if (options.dryRun && command == QLatin1String("export")) {
        return QStringLiteral("--dry-run goes with import, not export.");
    }
    options.intake = command == QLatin1String("import") ? ServerOptions::Intake::Import : ServerOptions::Intake::Export;
    options.intakeFolder = words.at(1);
    // An import may write the network into a new database (a dry run leaves it as it is); neither waits on a
    // kiosk's time-out.
    options.database.createSchema =
        options.database.createSchema || (options.intake == ServerOptions::Intake::Import && !options.dryRun);
    options.database.statementTimeoutMs = 0;
    return {};
}

}  // namespace

ParsedOptions parseOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    addOptions(parser);
    ParsedOptions parsed;
    parsed.help = parser.helpText();
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parsed.help = QStringLiteral("totem-server %1\n").arg(QStringLiteral(TOTEM_VERSION));
        return parsed;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        return parsed;
    }
    parsed.warnings = unknownVariables();
    ServerOptions options;
    parsed.error = applyTexts(parser, options);
    if (!parsed.error.isEmpty()) {
        return parsed;
    }
    parsed.error = applyNumbers(parser, options);
    if (!parsed.error.isEmpty()) {
        return parsed;
    }
    if (options.tlsCertificate.isEmpty() != options.tlsKey.isEmpty()) {
        parsed.error = QStringLiteral("--tls-cert and --tls-key go together.");
        return parsed;
    }
    // The database gives up on a statement when the request's time is up.
    options.database.statementTimeoutMs = options.requestTimeoutMs;
    parsed.error = applyDemo(parser, options);
    if (parsed.error.isEmpty()) {
        parsed.error = applyCommand(parser, options);
    }
    if (parsed.error.isEmpty()) {
        parsed.options = options;
    }
    return parsed;
}
