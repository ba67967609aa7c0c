// totem-server: serves the kiosks' remote data modules, or creates a demo database (--create-demo).
#include "AccessLog.h"
#include "Database.h"
#include "DemoData.h"
#include "FrontServer.h"
#include "HttpFront.h"
#include "Migrations.h"
#include "Options.h"
#include "platform/RegionalSettings.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

namespace {

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
        accesslog::event(QStringLiteral("demo database not created: %1").arg(error.detail()));
    } catch (const std::runtime_error& error) {
        accesslog::event(
            QStringLiteral("demo database not created: %1").arg(QString::fromUtf8(error.what())));
    }
    return 1;
}

// Applies the migrations at start; a database out of reach is reported and tried again by each request.
void prepareDatabase(const DatabaseSettings& settings) {
    try {
        Connection db(settings);
        db.ensureOpen();
        accesslog::event(QStringLiteral("database %1 at schema version %2")
                             .arg(settings.describe())
                             .arg(schemaVersion(db)));
    } catch (const StoreError& error) {
        accesslog::event(
            QStringLiteral("database %1 unavailable for now: %2").arg(settings.describe(), error.detail()));
    }
}

sigset_t stopSignals() {
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGTERM);
    sigaddset(&stopSet, SIGINT);
    return stopSet;
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
                         .arg(options.listenAddress));
    return false;
}

std::optional<SslContext> tlsContext(const ServerOptions& options) {
    if (options.tlsCertificate.isEmpty()) {
        return SslContext{};
    }
    try {
        return loadTlsContext(options.tlsCertificate, options.tlsKey);
    } catch (const std::runtime_error& error) {
        accesslog::event(QStringLiteral("cannot serve HTTPS: %1").arg(QString::fromUtf8(error.what())));
        return std::nullopt;
    }
}

ConnectionLimits connectionLimits(const ServerOptions& options) {
    ConnectionLimits limits;
    limits.maxHeaderBytes = options.maxHeaderBytes;
    limits.maxHeaders = options.maxHeaders;
    limits.receiveTimeoutMs = options.receiveTimeoutMs;
    limits.keepAliveSeconds = options.keepAliveSeconds;
    return limits;
}

int serve(const ServerOptions& options) {
    // The stop stopSet go to one waiting thread only; every thread started after this inherits the mask.
    const sigset_t stopSet = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);
    // A TLS peer that goes away mid-answer must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    const std::optional<SslContext> tls = tlsContext(options);
    if (!tls || !plainHttpAllowed(options)) {
        return 1;
    }
    prepareDatabase(options.database);
    ServerOptions serving = options;
    serving.database.createSqliteFile = false;

    FrontServer server(connectionLimits(options), *tls);
    HttpFront front(server, serving);
    const std::string address = options.listenAddress.toStdString();
    const int port = options.port == 0 ? server.bind_to_any_port(address) : options.port;
    if (port <= 0 || (options.port != 0 && !server.bind_to_port(address, port))) {
        accesslog::event(
            QStringLiteral("cannot listen on %1:%2").arg(options.listenAddress).arg(options.port));
        return 1;
    }
    front.widenListenBacklog();
    accesslog::event(*tls ? QStringLiteral("serving HTTPS with %1").arg(options.tlsCertificate)
                          : QStringLiteral("serving plain HTTP"));
    std::printf("listening on %s:%d\n", address.c_str(), port);
    std::fflush(stdout);

    std::thread stopper([&server, stopSet] {
        int signal = 0;
        sigwait(&stopSet, &signal);
        accesslog::event(
            QStringLiteral("signal %1: no new connections; finishing requests in flight").arg(signal));
        server.stop();
    });
    const bool listened = server.listen_after_bind();
    // Wakes the stopper when the server ended without a signal.
    kill(getpid(), SIGTERM);
    stopper.join();
    accesslog::event(QStringLiteral("stopped"));
    return listened ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::cacheLocalTimeZone();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("totem-server"));
    const ParsedOptions parsed = parseOptions(QCoreApplication::arguments());
    if (!parsed.options) {
        if (!parsed.error.isEmpty()) {
            std::fprintf(stderr, "%s\n\n%s", qPrintable(parsed.error), qPrintable(parsed.help));
            return 2;
        }
        std::printf("%s", qPrintable(parsed.help));
        return 0;
    }
    return parsed.options->createDemo ? createDemo(*parsed.options) : serve(*parsed.options);
}
