// What a consumer waits for at the kiosk: from the Enter key on the consultation terminal to the first paint
// of the statement screen, against a real totem-server, set beside the server's own time for the requests
// of that consultation (the sum of their `ms=` in the server's access log). Runs offscreen, in-process,
// through the terminal's own key handlers; prints a markdown table.
//
//   totem-paint --server 127.0.0.1:8311 --access-log access.log --today 2026-12-06 [--consultations 30]
//
// The server must serve the large demo network and log to the given file; nothing else may call it.
#include "kit/Application.h"
#include "platform/Registry.h"
#include "support/ModalScript.h"
#include "support/TestEnvironment.h"
#include "terminal/TerminalContext.h"
#include "terminal/TfrmTerminalConsu.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

// Notes the first paint of any widget of a statement screen.
class FirstPaint : public QObject {
public:
    void arm() { m_painted.reset(); }
    std::optional<SteadyClock::time_point> painted() const { return m_painted; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_painted) {
            const auto* widget = qobject_cast<QWidget*>(watched);
            if (widget != nullptr &&
                QByteArray(widget->window()->metaObject()->className()).startsWith("TfrmExtrato")) {
                m_painted = SteadyClock::now();
            }
        }
        return false;
    }

private:
    std::optional<SteadyClock::time_point> m_painted;
};

// The server's milliseconds for the requests logged since the last read.
class AccessLog {
public:
    explicit AccessLog(const QString& path) : m_file(path) {
        m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        m_file.readAll();
    }
    double newMilliseconds() {
        static const QRegularExpression duration(QStringLiteral(" ms=([0-9.]+)$"));
        double total = 0;
        for (const QByteArray& line : m_file.readAll().split('\n')) {
            const QRegularExpressionMatch match = duration.match(QString::fromUtf8(line));
            total += match.hasMatch() ? match.captured(1).toDouble() : 0.0;
        }
        return total;
    }

private:
    QFile m_file;
};

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

struct Statement {
    const char* name;
    const char* type;  // IDTIPEXTTOT
};
constexpr std::array<Statement, 3> Statements{{{"simplified", "1"}, {"detailed", "2"}, {"group", "3"}}};

class PaintBench {
public:
    PaintBench(const QString& server, const QString& accessLog, const QDate& today, int consultations)
        : m_environment(QDateTime(today, QTime(10, 30))), m_log(accessLog), m_consultations(consultations) {
        m_environment.setRegistryValue(platform::Registry::ServerAddressValue, server.section(u':', 0, 0));
        m_environment.setRegistryValue(platform::Registry::ServerPortValue, server.section(u':', 1, 1));
    }

    int run() {
        QWidget shell;
        shell.show();
        SetMainForm(&shell);
        TfrmTerminalConsu terminal(m_context, QStringLiteral("0001"), QStringLiteral("005"));
        terminal.show();
        if (!QTest::qWaitFor([&] { return !terminal.isFirstActivationPending(); }, 30000)) {
            std::fprintf(stderr, "the terminal did not load its register's parameters\n");
            return 2;
        }
        qApp->installEventFilter(&m_paint);
        std::printf(
            "| statement | consultations | Enter to first paint p50 ms | p99 ms | server's own time p50 ms | "
            "ratio of p50s |\n|---|---|---|---|---|---|\n");
        int failures = 0;
        for (const Statement& statement : Statements) {
            failures += measure(terminal, statement);
        }
        SetMainForm(nullptr);
        return failures == 0 ? 0 : 1;
    }

private:
    // Consumers of client 10 at branch 0001 in the large demo network.
    QString consumer() { return QString::number(2001 + 4 * (m_next++ * 7919 % 12500)); }

    int measure(TfrmTerminalConsu& terminal, const Statement& statement) {
        m_context.IDTIPEXTTOT = QString::fromLatin1(statement.type);
        m_context.IDSELLOJTOT = QStringLiteral("N");
        m_context.IDEXIMSGSAL = QStringLiteral("N");
        m_context.IDINFCLIECAI = false;
        std::vector<double> paint;
        std::vector<double> server;
        int failures = 0;
        for (int i = 0; i < m_consultations; ++i) {
            ModalScript script;
            script.then([this](QDialog& screen) {
                // A screen that does not paint in time is closed all the same and counted as a failure.
                static_cast<void>(QTest::qWaitFor([this] { return m_paint.painted().has_value(); }, 5000));
                screen.close();
            });
            QTest::keyClicks(&terminal, consumer());
            m_log.newMilliseconds();
            m_paint.arm();
            const auto enter = SteadyClock::now();
            QTest::keyClick(&terminal, Qt::Key_Return);
            if (!script.faults().isEmpty() || !m_paint.painted()) {
                std::fprintf(stderr, "%s: %s\n", statement.name, qPrintable(script.faults().join(u'|')));
                ++failures;
                continue;
            }
            paint.push_back(std::chrono::duration<double, std::milli>(*m_paint.painted() - enter).count());
            // The server writes its log in batches 20 ms apart.
            QTest::qWait(60);
            server.push_back(m_log.newMilliseconds());
        }
        const double paintMedian = percentile(paint, 0.5);
        const double serverMedian = percentile(server, 0.5);
        std::printf("| %s | %zu | %.2f | %.2f | %.2f | %.2f |\n", statement.name, paint.size(), paintMedian,
                    percentile(paint, 0.99), serverMedian,
                    serverMedian > 0 ? paintMedian / serverMedian : 0.0);
        std::fflush(stdout);
        return failures;
    }

    TestEnvironment m_environment;
    TerminalContext m_context;
    AccessLog m_log;
    FirstPaint m_paint;
    int m_consultations;
    int m_next = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    qputenv("LC_ALL", "pt_BR.UTF-8");  // a Brazilian kiosk, as the demo server reads its dates
    qputenv("LANG", "pt_BR.UTF-8");
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions(
        {{QStringLiteral("server"), QStringLiteral("host:port"), QStringLiteral("address")},
         {QStringLiteral("access-log"), QStringLiteral("The server's access log."), QStringLiteral("file")},
         {QStringLiteral("today"), QStringLiteral("The demo's today, yyyy-MM-dd."), QStringLiteral("date")},
         {QStringLiteral("consultations"), QStringLiteral("Per statement."), QStringLiteral("count"),
          QStringLiteral("30")}});
    parser.process(application);
    const QDate today = QDate::fromString(parser.value(QStringLiteral("today")), Qt::ISODate);
    if (!parser.isSet(QStringLiteral("server")) || !parser.isSet(QStringLiteral("access-log")) ||
        !today.isValid()) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    return PaintBench(parser.value(QStringLiteral("server")), parser.value(QStringLiteral("access-log")),
                      today, parser.value(QStringLiteral("consultations")).toInt())
        .run();
}
