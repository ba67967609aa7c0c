// totem-server: serves the kiosks' remote data modules, or creates a demo database (--create-demo).
#include "front/AccessLog.h"
#include "store/Database.h"
#include "demo/DemoData.h"
#include "front/HttpFront.h"
#include "fleet/FleetRecorder.h"
#include "fleet/Metrics.h"
#include "http/Server.h"
#include "http/Tls.h"
#include "intake/Import.h"
#include "intake/Progress.h"
#include "store/Migrations.h"
#include "Options.h"
#include "platform/RegionalSettings.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

namespace {

using accesslog::Priority;

int createDemo(const ServerOptions& options) {
    try {
        Connection db(options.database);
        const demo::Summary summary = demo::createDemo(
            db, options.demoSize == QLatin1String("large") ? demo::Size::Large : demo::Size::Small,
            options.demoToday);
        accesslog::event(
            QStringLiteral("demo database %1 created for %2: %3 consumers, %4 sales, %5 sale lines, "
                           "%6 account movements")
                .arg(options.database.describe(), options.demoToday.toString(Qt::ISODate))
                .arg(summary.consumers)
                .arg(summary.sales)
                .arg(summary.saleLines)
                .arg(summary.movements));
        return 0;
    } catch (const StoreError& error) {
        accesslog::event(QStringLiteral("demo database not created: %1").arg(error.detail()), Priority::Error);
    } catch (const std::runtime_error& error) {
        accesslog::event(QStringLiteral("demo database not created: %1").arg(QString::fromUtf8(error.what())),
                         Priority::Error);
    }
    return 1;
}

// Opens the database, which applies its pending migrations (or writes the schema when the settings ask),
// and logs its version; raises StoreError.
void openDatabase(const DatabaseSettings& settings) {
    Connection db(settings);
    db.ensureOpen();
    accesslog::event(
        QStringLiteral("database %1 at schema version %2").arg(settings.describe()).arg(schemaVersion(db)));
}

int createSchema(const DatabaseSettings& settings) {
    try {
        openDatabase(settings);
        return 0;
    } catch (const StoreError& error) {
        accesslog::event(QStringLiteral("schema not created in %1: %2").arg(settings.describe(), error.detail()),
                         Priority::Error);
        return 1;
    }
}

// At start; a database out of reach is reported and tried again by each request.
void prepareDatabase(const DatabaseSettings& settings) {
    try {
        openDatabase(settings);
    } catch (const StoreError& error) {
        accesslog::event(
            QStringLiteral("database %1 unavailable for now: %2").arg(settings.describe(), error.detail()),
            Priority::Warning);
    }
}

// The signals one thread waits for: SIGTERM and SIGINT stop the server, SIGHUP reloads its certificate.
sigset_t controlSignals() {
    sigset_t controlSet;
    sigemptyset(&controlSet);
    sigaddset(&controlSet, SIGTERM);
    sigaddset(&controlSet, SIGINT);
    sigaddset(&controlSet, SIGHUP);
    return controlSet;
}

// A renewed certificate and key are taken without a restart; connections under way keep the old ones. Nothing
// else is read again: the other settings and the database stay as they were at the start.
void reloadTls(const ServerOptions& options, http::Server& server) {
    if (options.tlsCertificate.isEmpty()) {
        accesslog::event(QStringLiteral("SIGHUP: nothing to reload (the server speaks plain HTTP)"));
        return;
    }
    try {
        server.replaceTls(http::loadTlsContext(options.tlsCertificate, options.tlsKey));
        accesslog::event(QStringLiteral("SIGHUP: certificate %1 and key %2 reloaded; new connections use them")
                             .arg(options.tlsCertificate, options.tlsKey));
    } catch (const std::runtime_error& error) {
        accesslog::event(QStringLiteral("SIGHUP: kept the previous certificate: %1").arg(QString::fromUtf8(error.what())),
                         Priority::Error);
    }
}

bool isLoopback(const QString& address) {
    return address.startsWith(QLatin1String("127.")) || address == QLatin1String("::1") ||
           address == QLatin1String("localhost");
}

// Consumers' codes and balances must not cross a network in clear unless the operator says a proxy or a
// VPN protects them.
bool plainHttpAllowed(const ServerOptions& options) {
    if (!options.tlsCertificate.isEmpty() || options.allowPlainHttp || isLoopback(options.listenAddress)) {
        return true;
    }
    accesslog::event(QStringLiteral("refusing to serve plain HTTP on %1: give --tls-cert and --tls-key, or "
                                    "--allow-plain-http when a TLS-terminating proxy or a VPN protects the "
                                    "network")
                         .arg(options.listenAddress),
                     Priority::Error);
    return false;
}

std::optional<http::TlsContext> tlsContext(const ServerOptions& options) {
    if (options.tlsCertificate.isEmpty()) {
        return http::TlsContext{};
    }
    try {
        return http::loadTlsContext(options.tlsCertificate, options.tlsKey);
    } catch (const std::runtime_error& error) {
        accesslog::event(QStringLiteral("cannot serve HTTPS: %1").arg(QString::fromUtf8(error.what())),
                         Priority::Error);
        return std::nullopt;
    }
}

// Every connection is a descriptor: the soft limit is raised as far as the hard one allows, and the
// connection limit kept below it.
int connectionsWithinDescriptors(const ServerOptions& options) {
    constexpr int Reserved = 64;  // database connections, log, listening socket
    rlimit descriptors{};
    getrlimit(RLIMIT_NOFILE, &descriptors);
    descriptors.rlim_cur = descriptors.rlim_max;
    setrlimit(RLIMIT_NOFILE, &descriptors);
    getrlimit(RLIMIT_NOFILE, &descriptors);
    const auto room = static_cast<rlim_t>(options.maxConnections + 2 * options.workers + Reserved);
    if (descriptors.rlim_cur == RLIM_INFINITY || room <= descriptors.rlim_cur) {
        return options.maxConnections;
    }
    const int allowed = std::max(static_cast<int>(descriptors.rlim_cur) - 2 * options.workers - Reserved, 1);
    accesslog::event(QStringLiteral("--max-connections %1 lowered to %2: the process may open %3 descriptors "
                                    "(LimitNOFILE in the unit raises it)")
                         .arg(options.maxConnections)
                         .arg(allowed)
                         .arg(descriptors.rlim_cur),
                     Priority::Warning);
    return allowed;
}

http::Limits httpLimits(const ServerOptions& options) {
    http::Limits limits;
    limits.maxHeaderBytes = options.maxHeaderBytes;
    limits.maxHeaders = options.maxHeaders;
    limits.maxBodyBytes = options.maxBodyBytes;
    limits.receiveTimeout = std::chrono::milliseconds(options.receiveTimeoutMs);
    limits.keepAlive = std::chrono::seconds(options.keepAliveSeconds);
    limits.maxConnections = connectionsWithinDescriptors(options);
    limits.maxConnectionsPerAddress = options.maxConnectionsPerAddress;
    limits.unlimitedAddresses = QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("::1")} +
                                options.trustedProxies;
    // What no client can extend: a request's arrival, its database time and its answer's writing.
    limits.stopGrace = limits.receiveTimeout + std::chrono::milliseconds(options.requestTimeoutMs) +
                       limits.writeTimeout;
    return limits;
}

// The fleet's table is written a few times per heartbeat period, at most every five seconds.
std::chrono::milliseconds fleetWriteInterval(const ServerOptions& options) {
    const std::chrono::milliseconds quarter = std::chrono::seconds(options.heartbeatSeconds) / 4;
    return std::clamp<std::chrono::milliseconds>(quarter, std::chrono::milliseconds(250), std::chrono::seconds(5));
}

// The database connection of the server thread that answers the current request.
thread_local Connection* threadDatabase = nullptr;

int serve(const ServerOptions& options) {
    // The control signals go to one waiting thread only; every thread started after this inherits the mask.
    const sigset_t controlSet = controlSignals();
    pthread_sigmask(SIG_BLOCK, &controlSet, nullptr);
    // A peer that goes away mid-answer must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    const std::optional<http::TlsContext> tls = tlsContext(options);
    if (!tls || !plainHttpAllowed(options)) {
        return 1;
    }
    prepareDatabase(options.database);

    Metrics metrics;
    FleetRecorder fleet(options.database, fleetWriteInterval(options));
    HttpFront front(options, fleet, metrics);
    http::Server server(
        options.workers, httpLimits(options), *tls,
        [&front](const http::Request& request, const http::Server::Reply& reply) {
            reply(front.answer(request, *threadDatabase));
        },
        [logHealth = options.logHealth, &metrics](const http::Answered& answered) {
            metrics.answered(answered.path, answered.status, answered.milliseconds);
            // A load balancer's probes every few seconds would bury the kiosks' requests.
            if (logHealth || answered.path != QLatin1String("/health")) {
                accesslog::request(answered.terminal, answered.path, answered.status, answered.milliseconds);
            }
        },
        [](const QString& text) { accesslog::event(text, Priority::Warning); });
    int port = 0;
    try {
        port = server.listen(options.listenAddress, options.port);
    } catch (const std::runtime_error& error) {
        accesslog::event(QString::fromUtf8(error.what()), Priority::Error);
        return 1;
    }
    accesslog::event(*tls ? QStringLiteral("serving HTTPS with %1").arg(options.tlsCertificate)
                          : QStringLiteral("serving plain HTTP"));
    std::printf("listening on %s:%d\n", qPrintable(options.listenAddress), port);
    std::fflush(stdout);

    std::thread stopper([&server, &options, controlSet] {
        int signal = 0;
        while (sigwait(&controlSet, &signal) == 0 && signal == SIGHUP) {
            reloadTls(options, server);
        }
        accesslog::event(
            QStringLiteral("signal %1: no new connections; finishing requests in flight").arg(signal));
        server.stop();
    });
    // Each thread serves its connections and does their requests' database work on a database connection of
    // its own; idle and slow connections hold neither.
    server.run([&options](const std::function<void()>& serve) {
        Connection db(options.database);
        threadDatabase = &db;
        serve();
        threadDatabase = nullptr;
    });
    // Wakes the stopper when the server ended without a signal.
    kill(getpid(), SIGTERM);
    stopper.join();
    accesslog::event(QStringLiteral("stopped"));
    return 0;
}

// Qt's own warnings (a database driver's, say) become events like the server's: one line each, with their
// priority, never a line of their own on standard error that the journal would split or the log lose.
void logQtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    const Priority priority = type == QtCriticalMsg || type == QtFatalMsg ? Priority::Error
                              : type == QtWarningMsg                   ? Priority::Warning
                                                                       : Priority::Info;
    accesslog::event(text, priority);
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::cacheLocalTimeZone();
    qInstallMessageHandler(&logQtMessage);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("totem-server"));
    const ParsedOptions parsed = parseOptions(QCoreApplication::arguments());
    if (!parsed.options) {
        if (!parsed.error.isEmpty()) {
            std::fprintf(stderr, "totem-server: %s\n(totem-server --help lists the options and their ranges.)\n",
                         qPrintable(parsed.error));
            return 2;
        }
        std::printf("%s", qPrintable(parsed.help));
        return 0;
    }
    for (const QString& warning : parsed.warnings) {
        accesslog::event(warning, Priority::Warning);
    }
    const ServerOptions& options = *parsed.options;
    const int status = options.intake == ServerOptions::Intake::Import
                           ? intake::importFolder(options.database, {options.intakeFolder, options.dryRun,
                                                                     Progress::standardErrorIsTerminal()})
                       : options.intake == ServerOptions::Intake::Export ? intake::exportFolder(options.database, options.intakeFolder)
                       : options.createSchema                            ? createSchema(options.database)
                       : options.createDemo                              ? createDemo(options)
                                                                         : serve(options);
    accesslog::flush();
    return status;
}
