#include "Options.h"

#include <QCommandLineParser>

namespace {

struct Setting {
    QCommandLineOption option;
    const char* environment;
};

QString valueOf(const QCommandLineParser& parser, const Setting& setting) {
    if (parser.isSet(setting.option)) {
        return parser.value(setting.option);
    }
    return qEnvironmentVariable(setting.environment);
}

// Applies a whole-number setting when given; false when the text is no number in the range.
bool applyNumber(const QString& text, int minimum, int maximum, int& target) {
    if (text.isEmpty()) {
        return true;
    }
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < minimum || value > maximum) {
        return false;
    }
    target = value;
    return true;
}

}  // namespace

ParsedOptions parseOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Application server of the consultation kiosks: serves the remote data modules over HTTP."));
    parser.addHelpOption();
    parser.addVersionOption();
    const Setting listen{
        {QStringLiteral("listen"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
         QStringLiteral("address")},
        "TOTEM_SERVER_LISTEN"};
    const Setting port{
        {QStringLiteral("port"), QStringLiteral("TCP port (default 8211; 0 picks a free one)."),
         QStringLiteral("port")},
        "TOTEM_SERVER_PORT"};
    const Setting database{
        {QStringLiteral("database"),
         QStringLiteral("SQLite file (default data/totem.db) or postgresql://user@host:port/name."),
         QStringLiteral("database")},
        "TOTEM_SERVER_DATABASE"};
    const Setting dateFormat{{QStringLiteral("date-format"),
                              QStringLiteral("Form of the date texts the methods read (default dd/MM/yyyy)."),
                              QStringLiteral("form")},
                             "TOTEM_SERVER_DATE_FORMAT"};
    const Setting workers{
        {QStringLiteral("workers"),
         QStringLiteral("Worker threads, each with its own database connection (default 16)."),
         QStringLiteral("count")},
        "TOTEM_SERVER_WORKERS"};
    const Setting maxBody{
        {QStringLiteral("max-body"), QStringLiteral("Largest request body in bytes (default 65536)."),
         QStringLiteral("bytes")},
        "TOTEM_SERVER_MAX_BODY"};
    const Setting timeout{
        {QStringLiteral("request-timeout"),
         QStringLiteral("Milliseconds a request may spend in the database (default 10000)."),
         QStringLiteral("ms")},
        "TOTEM_SERVER_REQUEST_TIMEOUT_MS"};
    const Setting lockWait{
        {QStringLiteral("lock-wait"),
         QStringLiteral("Milliseconds to wait for a locked database (default 2000)."), QStringLiteral("ms")},
        "TOTEM_SERVER_LOCK_WAIT_MS"};
    const Setting keepAlive{
        {QStringLiteral("keep-alive"),
         QStringLiteral("Seconds an idle keep-alive connection holds its worker (default 2)."),
         QStringLiteral("seconds")},
        "TOTEM_SERVER_KEEP_ALIVE"};
    const QCommandLineOption createDemo(
        QStringLiteral("create-demo"),
        QStringLiteral("Create and fill the demo database given by --database, then exit."));
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("Demo size: small (default) or large."),
                                  QStringLiteral("size"), QStringLiteral("small"));
    const QCommandLineOption today(QStringLiteral("today"),
                                   QStringLiteral("Last day of the demo year, yyyy-MM-dd (default: today)."),
                                   QStringLiteral("date"));
    for (const Setting* setting :
         {&listen, &port, &database, &dateFormat, &workers, &maxBody, &timeout, &lockWait, &keepAlive}) {
        parser.addOption(setting->option);
    }
    parser.addOptions({createDemo, size, today});

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
    ServerOptions options;
    if (const QString text = valueOf(parser, database); !text.isEmpty()) {
        options.database = DatabaseSettings::fromText(text);
    }
    if (const QString text = valueOf(parser, listen); !text.isEmpty()) {
        options.listenAddress = text;
    }
    if (const QString text = valueOf(parser, dateFormat); !text.isEmpty()) {
        options.dateFormat = text;
    }
    const bool numbersRead =
        applyNumber(valueOf(parser, port), 0, 65535, options.port) &&
        applyNumber(valueOf(parser, workers), 1, 256, options.workers) &&
        applyNumber(valueOf(parser, maxBody), 64, 32 * 1024 * 1024, options.maxBodyBytes) &&
        applyNumber(valueOf(parser, timeout), 100, 600000, options.requestTimeoutMs) &&
        applyNumber(valueOf(parser, lockWait), 0, 600000, options.database.lockWaitMs) &&
        applyNumber(valueOf(parser, keepAlive), 1, 3600, options.keepAliveSeconds);
    if (!numbersRead) {
        parsed.error = QStringLiteral("A numeric option is not a whole number in its range; see --help.");
        return parsed;
    }
    options.database.statementTimeoutMs = options.requestTimeoutMs;
    options.createDemo = parser.isSet(createDemo);
    options.demoSize = parser.value(size);
    options.demoToday =
        parser.isSet(today) ? QDate::fromString(parser.value(today), Qt::ISODate) : QDate::currentDate();
    if (options.demoSize != QLatin1String("small") && options.demoSize != QLatin1String("large")) {
        parsed.error = QStringLiteral("--size is small or large.");
    } else if (!options.demoToday.isValid()) {
        parsed.error = QStringLiteral("--today is a date in the form yyyy-MM-dd.");
    } else {
        parsed.options = options;
    }
    return parsed;
}
