// Soak run of the kiosk: many consultations end to end against a real totem-server, driven in-process
// through the consultation terminal's own key handlers (offscreen), the statement screens opened, filled
// from the server and closed. The process's resident memory, heap in use, open descriptors, widgets and
// windows are sampled at every twentieth of the run; after the warm-up none may grow by more than 5 %.
// It prints a markdown section (samples and verdict) and exits 1 when a figure grew or a consultation failed.
//
//   totem-soak [--consultations 20000] [--server 127.0.0.1:8211]
// Without --server it starts totem-server on a loopback port with a temporary demo database.
#include "kit/Application.h"
#include "platform/Registry.h"
#include "support/ModalScript.h"
#include "support/ServerProcess.h"
#include "support/TestEnvironment.h"
#include "terminal/TerminalContext.h"
#include "terminal/TfrmTerminalConsu.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

const QDate DemoToday(2024, 5, 15);
const QString Consumer = QStringLiteral("1001");  // a demo consumer with purchases in several stores
constexpr int Samples = 20;
constexpr int WarmUpSamples = 2;  // the first tenth of the run fills caches: fonts, glyphs, connections
constexpr double AllowedGrowth = 0.05;
constexpr int ReportedFailures = 10;

struct Sample {
    int consultations = 0;
    qint64 residentKiB = 0;
    qint64 heapKiB = 0;  // allocated and not yet freed: tells a leak from the allocator's own growth
    qint64 descriptors = 0;
    qint64 widgets = 0;
    qint64 windows = 0;
};

qint64 residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return 0;
}

Sample sample(int consultations) {
    return {consultations,
            residentKiB(),
            static_cast<qint64>(mallinfo2().uordblks / 1024),
            static_cast<qint64>(
                QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()),
            static_cast<qint64>(QApplication::allWidgets().size()),
            static_cast<qint64>(QGuiApplication::allWindows().size())};
}

// One consultation: what the register shows for it and the screens that follow, each answered or closed.
struct Plan {
    const char* statementType;
    const char* storeChoice;
    const char* balances;
    QStringList screens;
};

const std::array<Plan, 4> Plans{{
    {"1", "N", "S", {"TfrmMensagem", "TfrmExtratoSimplificado"}},
    {"2", "N", "N", {"TfrmExtratoDetalhado"}},
    {"3", "S", "N", {"TfrmPesquisa", "TfrmExtratoGrupo"}},
    {"2", "S", "S", {"TfrmMensagem", "TfrmPesquisa", "TfrmExtratoDetalhado"}},
}};

// Records each screen's class; a message is answered and a store list picks its current row, as a finger
// does; a statement is closed.
ModalScript::Step answerOrClose(QStringList* opened) {
    return [opened](QDialog& screen) {
        opened->append(QString::fromLatin1(screen.metaObject()->className()));
        if (opened->back() == QLatin1String("TfrmMensagem") ||
            opened->back() == QLatin1String("TfrmPesquisa")) {
            QTest::keyClick(&screen, Qt::Key_Return);
        } else {
            screen.close();
        }
    };
}

// Runs one consultation at the terminal; empty when it went as planned, otherwise what went wrong.
QString consult(TfrmTerminalConsu& terminal, TerminalContext& context, const Plan& plan,
                const QString& consumer) {
    context.IDTIPEXTTOT = QString::fromLatin1(plan.statementType);
    context.IDSELLOJTOT = QString::fromLatin1(plan.storeChoice);
    context.IDEXIMSGSAL = QString::fromLatin1(plan.balances);
    context.IDINFCLIECAI = false;  // consumer codes, not badge tracks
    QStringList opened;
    ModalScript script;
    for (qsizetype i = 0; i < plan.screens.size(); ++i) {
        script.then(answerOrClose(&opened));
    }
    QTest::keyClicks(&terminal, consumer);
    QTest::keyClick(&terminal, Qt::Key_Return);
    if (!script.faults().isEmpty() || opened != plan.screens) {
        return opened.join(u',') + QStringLiteral(" / ") + script.faults().join(QStringLiteral(" | "));
    }
    return {};
}

double growth(qint64 from, qint64 to) {
    return from > 0 ? static_cast<double>(to - from) / static_cast<double>(from) : 0.0;
}

QString percent(double share) {
    return QStringLiteral("%1%2 %")
        .arg(share >= 0 ? QStringLiteral("+") : QString())
        .arg(share * 100, 0, 'f', 1);
}

struct Verdict {
    QStringList grown;  // the figures that grew beyond the allowance
    QString text;
};

Verdict judge(const std::vector<Sample>& samples) {
    const Sample& base = samples.at(std::min<std::size_t>(WarmUpSamples, samples.size() - 1));
    const Sample& last = samples.back();
    const std::array<std::pair<const char*, std::pair<qint64, qint64>>, 5> figures{{
        {"resident memory", {base.residentKiB, last.residentKiB}},
        {"heap in use", {base.heapKiB, last.heapKiB}},
        {"open descriptors", {base.descriptors, last.descriptors}},
        {"widgets", {base.widgets, last.widgets}},
        {"windows", {base.windows, last.windows}},
    }};
    Verdict verdict;
    QStringList parts;
    for (const auto& [name, values] : figures) {
        const double share = growth(values.first, values.second);
        parts.append(QStringLiteral("%1 %2").arg(QString::fromLatin1(name), percent(share)));
        if (share > AllowedGrowth) {
            verdict.grown.append(QString::fromLatin1(name));
        }
    }
    verdict.text = QStringLiteral("From consultation %1 to %2: %3.")
                       .arg(base.consultations)
                       .arg(last.consultations)
                       .arg(parts.join(QStringLiteral(", ")));
    return verdict;
}

void printReport(const std::vector<Sample>& samples, int failures, qint64 elapsedMs, const QString& server) {
    const Verdict verdict = judge(samples);
    const int consultations = samples.back().consultations;
    std::printf("## Soak: %d consultations at the kiosk\n\n", consultations);
    std::printf(
        "`totem-soak --consultations %d` against %s: each consultation types a consumer's code at the "
        "consultation terminal (offscreen), which looks the consumer up on the server; balances, store "
        "list and the three statement screens follow in turn, each filled from the server and closed. "
        "%.1f s in all (%.1f ms per consultation); %d consultations failed.\n\n",
        consultations, qPrintable(server), static_cast<double>(elapsedMs) / 1000.0,
        static_cast<double>(elapsedMs) / std::max(consultations, 1), failures);
    std::printf(
        "| Consultations | Resident memory (KiB) | Heap in use (KiB) | Open descriptors | Widgets | Windows "
        "|\n");
    std::printf("|---:|---:|---:|---:|---:|---:|\n");
    for (const Sample& s : samples) {
        std::printf("| %d | %lld | %lld | %lld | %lld | %lld |\n", s.consultations,
                    static_cast<long long>(s.residentKiB), static_cast<long long>(s.heapKiB),
                    static_cast<long long>(s.descriptors), static_cast<long long>(s.widgets),
                    static_cast<long long>(s.windows));
    }
    const bool passed = verdict.grown.isEmpty() && failures == 0;
    std::printf("\n%s Allowed after warm-up (the first %d samples): +%.0f %%. Verdict: **%s**%s.\n",
                qPrintable(verdict.text), WarmUpSamples, AllowedGrowth * 100, passed ? "pass" : "fail",
                verdict.grown.isEmpty()
                    ? ""
                    : qPrintable(QStringLiteral(" (grown: %1)").arg(verdict.grown.join(", "))));
    std::fflush(stdout);
}

struct Options {
    int consultations = 20000;
    QString server;  // host:port; empty: start one
};

std::optional<Options> parseOptions(const QApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak run of the kiosk against a real totem-server."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("consultations"), QStringLiteral("Consultations to run."),
                      QStringLiteral("count"), QStringLiteral("20000")});
    parser.addOption({QStringLiteral("server"),
                      QStringLiteral("A running server with the demo data (host:port); default: start one."),
                      QStringLiteral("address")});
    parser.process(application);
    Options options;
    bool ok = false;
    options.consultations = parser.value(QStringLiteral("consultations")).toInt(&ok);
    if (!ok || options.consultations < Samples) {
        std::fprintf(stderr, "--consultations must be a number of at least %d\n", Samples);
        return std::nullopt;
    }
    options.server = parser.value(QStringLiteral("server"));
    return options;
}

class Soak {
public:
    explicit Soak(const Options& options) : m_options(options) {}

    // Returns the process's exit code.
    int run() {
        if (!pointAtServer()) {
            return 2;
        }
        QWidget shell;
        shell.show();
        SetMainForm(&shell);
        int exitCode = consultAll();
        SetMainForm(nullptr);
        return exitCode;
    }

private:
    bool pointAtServer() {
        QString address = m_options.server;
        if (address.isEmpty()) {
            const QString database = m_dir.filePath(QStringLiteral("demo.db"));
            const QString failure = ServerProcess::createDemo(database, DemoToday);
            if (failure.isEmpty()) {
                m_server =
                    std::make_unique<ServerProcess>(QStringList{QStringLiteral("--database"), database});
            }
            if (!failure.isEmpty() || !m_server->failure().isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(failure.isEmpty() ? m_server->failure() : failure));
                return false;
            }
            address = QStringLiteral("127.0.0.1:%1").arg(m_server->port());
        }
        m_serverText = address;
        const QStringList parts = address.split(u':');
        m_environment.setRegistryValue(platform::Registry::ServerAddressValue, parts.value(0));
        m_environment.setRegistryValue(platform::Registry::ServerPortValue, parts.value(1));
        return true;
    }

    int consultAll() {
        TerminalContext context;
        TfrmTerminalConsu terminal(context, QStringLiteral("0001"), QStringLiteral("005"));
        terminal.show();
        const bool loaded = QTest::qWaitFor([&] { return !terminal.isFirstActivationPending(); }, 30000);
        if (!loaded) {
            std::fprintf(stderr, "the terminal did not load its register's parameters\n");
            return 2;
        }
        std::vector<Sample> samples;
        int failures = 0;
        const int every = m_options.consultations / Samples;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < m_options.consultations; ++i) {
            const Plan& plan = Plans.at(static_cast<std::size_t>(i) % Plans.size());
            if (const QString fault = consult(terminal, context, plan, Consumer); !fault.isEmpty()) {
                if (++failures <= ReportedFailures) {
                    std::fprintf(stderr, "consultation %d: %s\n", i + 1, qPrintable(fault));
                }
            }
            if (m_server) {
                m_server->discardOutput();
            }
            if ((i + 1) % every == 0) {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                samples.push_back(sample(i + 1));
            }
        }
        printReport(samples, failures, clock.elapsed(), m_serverText);
        return judge(samples).grown.isEmpty() && failures == 0 ? 0 : 1;
    }

    Options m_options;
    QTemporaryDir m_dir;
    TestEnvironment m_environment{QDateTime(DemoToday, QTime(10, 30))};
    std::unique_ptr<ServerProcess> m_server;
    QString m_serverText;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    // A Brazilian kiosk, as the demo server reads its dates.
    qputenv("LC_ALL", "pt_BR.UTF-8");
    qputenv("LANG", "pt_BR.UTF-8");
    qputenv("LANGUAGE", "pt_BR");
    QApplication application(argc, argv);
    // The kiosk's own run-time settings (src/app/Startup.cpp).
    installFontSubstitutes();
    disablePixmapCache();
    const std::optional<Options> options = parseOptions(application);
    if (!options) {
        return 2;
    }
    return Soak(*options).run();
}
