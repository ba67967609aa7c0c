// Load benchmark of totem-server: one consultation is what a kiosk sends for one consumer (getConsumidor,
// getSaldo, then one statement call). It runs over HTTP against a running server, and the same three
// calls in-process on the same database (same SQL, same packets, no HTTP or JSON), at several numbers of
// concurrent clients; it prints p50/p99 per consultation and consultations per second.
//
//   totem-load --database <file or url> --today yyyy-MM-dd [--server 127.0.0.1:8211] [--clients 1,8,64]
//              [--seconds 10]
//
// With --kiosks it simulates kiosks instead (KioskSimulation.h): the real client and call sequences, with a
// person's pauses, many kiosks per thread; no database needed. With --hold, a hostile client meanwhile holds
// that many connections from another address (ConnectionHolder.h).
//
//   totem-load --kiosks 1,8,64,256 --today yyyy-MM-dd [--server ...] [--threads 32] [--think 1]
//              [--arrival 30] [--seconds 10] [--hold 2000 [--hold-from 127.0.0.2]]
#include "ConnectionHolder.h"
#include "store/Database.h"
#include "KioskSimulation.h"
#include "modules/Module.h"
#include "platform/RegionalSettings.h"
#include "server/HttpClient.h"
#include "server/WireFormat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

namespace {

struct Call {
    QString module;
    QString method;
    QVariantList arguments;
};

// Consumer i of the large demo network: code 2001 + i, client and branch by the generator's rule.
QList<Call> consultation(quint64 draw, const QDate& today) {
    constexpr int Consumers = 50000;
    constexpr std::array<const char*, 4> clients{"10", "20", "30", "40"};
    constexpr std::array<const char*, 4> branches{"0001", "0001", "0002", "0003"};
    const int index = static_cast<int>(draw % Consumers);
    const QString consumer = QString::number(2001 + index);
    const QString client = QString::fromLatin1(clients[static_cast<std::size_t>(index % 4)]);
    const QString branch = QString::fromLatin1(branches[static_cast<std::size_t>(index % 4)]);
    const QDate start = today.addDays(-30);
    const QString startText = start.toString(QStringLiteral("dd/MM/yyyy"));
    const QString endText = today.toString(QStringLiteral("dd/MM/yyyy"));
    QList<Call> calls{{QStringLiteral("Qvr.rdmTerminalCons"),
                       QStringLiteral("getConsumidor"),
                       {consumer, QStringLiteral("N")}},
                      {QStringLiteral("Qvr.rdmTerminalCons"),
                       QStringLiteral("getSaldo"),
                       {branch, client, consumer, startText, endText}}};
    switch (draw / Consumers % 3) {
        case 0:
            calls.append({QStringLiteral("Qvr.rdmExtratoSimplificado"),
                          QStringLiteral("getMoviClie"),
                          {branch, client, consumer, startText, endText}});
            break;
        case 1:
            calls.append({QStringLiteral("Qvr.rdmExtratoDetalhado"),
                          QStringLiteral("GetProduto"),
                          {branch, QStringLiteral("001"), client, consumer, startText, endText}});
            break;
        default:
            calls.append(
                {QStringLiteral("Qvr.rdmExtratoGrupo"),
                 QStringLiteral("getProdutos"),
                 {branch, client, consumer, QString(), start.startOfDay(), today.startOfDay(), QString()}});
    }
    return calls;
}

quint64 mix(quint64 value) {
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

// Runs one consultation; false when any call failed.
using Runner = std::function<bool(const QList<Call>&)>;
using RunnerFactory = std::function<Runner()>;

struct Result {
    std::vector<qint64> microseconds;
    int failures = 0;
};

Result measure(const RunnerFactory& factory, int clients, int seconds, const QDate& today) {
    std::vector<Result> perClient(static_cast<std::size_t>(clients));
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            Runner run = factory();
            Result& mine = perClient[static_cast<std::size_t>(c)];
            quint64 draw = mix(static_cast<quint64>(c) + 1);
            while (!go) {
                std::this_thread::yield();
            }
            QElapsedTimer total;
            total.start();
            while (total.elapsed() < seconds * 1000LL) {
                draw = mix(draw);
                const QList<Call> calls = consultation(draw % 150000, today);
                QElapsedTimer one;
                one.start();
                if (!run(calls)) {
                    ++mine.failures;
                }
                mine.microseconds.push_back(one.nsecsElapsed() / 1000);
            }
        });
    }
    go = true;
    Result all;
    for (int c = 0; c < clients; ++c) {
        threads[static_cast<std::size_t>(c)].join();
        const Result& mine = perClient[static_cast<std::size_t>(c)];
        all.microseconds.insert(all.microseconds.end(), mine.microseconds.begin(), mine.microseconds.end());
        all.failures += mine.failures;
    }
    std::sort(all.microseconds.begin(), all.microseconds.end());
    return all;
}

// Thousands of simulated kiosks and held connections need more descriptors than a shell's default.
void raiseDescriptorLimit() {
    rlimit descriptors{};
    getrlimit(RLIMIT_NOFILE, &descriptors);
    descriptors.rlim_cur = descriptors.rlim_max;
    setrlimit(RLIMIT_NOFILE, &descriptors);
}

double percentileMs(const std::vector<qint64>& sorted, double fraction) {
    if (sorted.empty()) {
        return 0;
    }
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return static_cast<double>(sorted[index]) / 1000.0;
}

RunnerFactory overHttp(const QString& server) {
    const QString host = server.section(QLatin1Char(':'), 0, 0);
    const int port = server.section(QLatin1Char(':'), 1, 1).toInt();
    return [host, port] {
        HttpClient::Limits limits;
        limits.answerTimeout = std::chrono::seconds(30);
        // The kiosk's own client, kept alive across consultations as a kiosk keeps it.
        auto client = std::make_shared<HttpClient>(HttpClient::Target{host, port, {}}, limits);
        const HttpClient::Headers headers{qMakePair(QByteArray("Content-Type"), QByteArray(wire::ContentType))};
        return [client, headers](const QList<Call>& calls) {
            for (const Call& call : calls) {
                const HttpClient::Exchange answer =
                    client->post(QStringLiteral("/modules/%1/%2").arg(call.module, call.method),
                                 wire::encodeCall(call.arguments), headers);
                // Decoding is part of what a kiosk pays for a call.
                if (answer.status != 200 || wire::decodeResult(answer.body).typeId() == QMetaType::QString) {
                    return false;
                }
            }
            return true;
        };
    };
}

RunnerFactory inProcess(const DatabaseSettings& database) {
    return [database] {
        auto connection = std::make_shared<Connection>(database);
        return [connection](const QList<Call>& calls) {
            for (const Call& call : calls) {
                const Method* method = findModule(call.module)->method(call.method);
                const Answer answer =
                    invoke(*method, *connection, call.arguments, QStringLiteral("dd/MM/yyyy"));
                if (std::holds_alternative<QString>(answer)) {
                    return false;
                }
            }
            return true;
        };
    };
}

}  // namespace

int main(int argc, char* argv[]) {
    // As the kiosk and the server do: otherwise every local date-time decoded asks the C library to read
    // the zone file again.
    platform::cacheLocalTimeZone();
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Large demo database."),
                                      QStringLiteral("database"));
    const QCommandLineOption today(QStringLiteral("today"), QStringLiteral("The demo's today, yyyy-MM-dd."),
                                   QStringLiteral("date"));
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("host:port of totem-server."),
                                    QStringLiteral("address"), QStringLiteral("127.0.0.1:8211"));
    const QCommandLineOption clients(QStringLiteral("clients"),
                                     QStringLiteral("Concurrent clients, comma-separated."),
                                     QStringLiteral("list"), QStringLiteral("1,8,64"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Seconds per measurement."),
                                     QStringLiteral("seconds"), QStringLiteral("10"));
    const QCommandLineOption kiosks(QStringLiteral("kiosks"),
                                    QStringLiteral("Simulate kiosks: their numbers, comma-separated."),
                                    QStringLiteral("list"));
    const QCommandLineOption threads(
        QStringLiteral("threads"),
        QStringLiteral("Threads running the simulated kiosks (at most one per kiosk)."),
        QStringLiteral("count"), QStringLiteral("32"));
    const QCommandLineOption think(QStringLiteral("think"),
                                   QStringLiteral("Scale of the kiosk users' pauses (0: none)."),
                                   QStringLiteral("factor"), QStringLiteral("1"));
    const QCommandLineOption arrival(QStringLiteral("arrival"),
                                     QStringLiteral("Mean seconds between consumers at one kiosk."),
                                     QStringLiteral("seconds"), QStringLiteral("30"));
    const QCommandLineOption hold(QStringLiteral("hold"),
                                  QStringLiteral("Connections a hostile client holds while the kiosks run."),
                                  QStringLiteral("count"), QStringLiteral("0"));
    const QCommandLineOption holdFrom(QStringLiteral("hold-from"),
                                      QStringLiteral("The hostile client's loopback address."),
                                      QStringLiteral("address"), QStringLiteral("127.0.0.2"));
    parser.addOptions({database, today, server, clients, seconds, kiosks, threads, think, arrival, hold, holdFrom});
    parser.process(application);
    raiseDescriptorLimit();
    const QDate demoToday = QDate::fromString(parser.value(today), Qt::ISODate);
    if (parser.isSet(kiosks) && demoToday.isValid()) {
        KioskSimulation simulation;
        simulation.host = parser.value(server).section(QLatin1Char(':'), 0, 0);
        simulation.port = parser.value(server).section(QLatin1Char(':'), 1, 1).toInt();
        simulation.today = demoToday;
        simulation.seconds = parser.value(seconds).toInt();
        simulation.thinkScale = parser.value(think).toDouble();
        simulation.arrivalSeconds = parser.value(arrival).toDouble();
        std::optional<ConnectionHolder> holder;
        if (const int held = parser.value(hold).toInt(); held > 0) {
            holder.emplace(parser.value(holdFrom), simulation.host, simulation.port, held);
            std::this_thread::sleep_for(std::chrono::seconds(3));  // until they are held
        }
        for (const QString& count : parser.value(kiosks).split(QLatin1Char(','))) {
            simulation.kiosks = count.toInt();
            simulation.threads = std::min(simulation.kiosks, parser.value(threads).toInt());
            simulation.run();
        }
        if (holder) {
            const ConnectionHolder::Figures figures = holder->stop();
            std::printf("Meanwhile %s asked for %d connections: %.0f held on average, %ld opened, %ld closed by "
                        "the server at once.\n",
                        qPrintable(parser.value(holdFrom)), parser.value(hold).toInt(), figures.heldOnAverage,
                        figures.opened, figures.closedAtOnce);
        }
        return 0;
    }
    if (!parser.isSet(database) || !demoToday.isValid()) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    QString error;
    const std::optional<DatabaseSettings> settings = DatabaseSettings::fromText(parser.value(database), &error);
    if (!settings) {
        std::fprintf(stderr, "--database: %s\n", qPrintable(error));
        return 2;
    }
    std::printf(
        "| clients | path | consultations | per second | p50 ms | p99 ms | failures "
        "|\n|---|---|---|---|---|---|---|\n");
    for (const QString& count : parser.value(clients).split(QLatin1Char(','))) {
        for (const auto& [name, factory] : {std::pair{"HTTP", overHttp(parser.value(server))},
                                            std::pair{"in-process", inProcess(*settings)}}) {
            const Result result = measure(factory, count.toInt(), parser.value(seconds).toInt(), demoToday);
            std::printf("| %d | %s | %zu | %.0f | %.2f | %.2f | %d |\n", count.toInt(), name,
                        result.microseconds.size(),
                        static_cast<double>(result.microseconds.size()) / parser.value(seconds).toDouble(),
                        percentileMs(result.microseconds, 0.5), percentileMs(result.microseconds, 0.99),
                        result.failures);
            std::fflush(stdout);
        }
    }
    return 0;
}
