#include "KioskSimulation.h"

#include "kit/core/Errors.h"
#include "server/DataPacket.h"
#include "server/NetConnection.h"
#include "statements/GroupPeriod.h"
#include "terminal/ConsultationPeriod.h"

#include <QDateTime>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <random>
#include <thread>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

// The server's default date form; the kiosks' pt_BR short date is the same.
const QString DateForm = QStringLiteral("dd/MM/yyyy");

struct Register {
    const char* branch;
    const char* code;
};
// Every register of the demo network; their set-up decides each kiosk's calls.
constexpr std::array<Register, 9> Registers{{{"0001", "001"},
                                             {"0001", "002"},
                                             {"0001", "003"},
                                             {"0001", "004"},
                                             {"0001", "005"},
                                             {"0001", "006"},
                                             {"0002", "001"},
                                             {"0002", "002"},
                                             {"0003", "001"}}};

// Demo consumer i (code 2001 + i, badge 50000 + i) works for company i % 4: clients 10 and 20 eat at branch
// 0001, client 30 at 0002, client 40 at 0003.
int consumerOfBranch(const QString& branch, quint64 draw) {
    constexpr quint64 PerCompany = 50000 / 4;
    const int slot = static_cast<int>(draw % PerCompany) * 4;
    if (branch == QLatin1String("0002")) {
        return slot + 2;
    }
    if (branch == QLatin1String("0003")) {
        return slot + 3;
    }
    return slot + static_cast<int>(draw / PerCompany % 2);
}

double percentileMs(std::vector<qint64>& microseconds, double fraction) {
    if (microseconds.empty()) {
        return 0;
    }
    std::sort(microseconds.begin(), microseconds.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(microseconds.size() - 1));
    return static_cast<double>(microseconds[index]) / 1000.0;
}

// What every kiosk measured, under one lock (a few thousand entries a second at most).
class Statistics {
public:
    void addCall(const QString& name, qint64 microseconds, const QString& failure) {
        std::lock_guard lock(m_mutex);
        Series& series = m_calls[name];
        series.microseconds.push_back(microseconds);
        if (!failure.isEmpty()) {
            ++series.failures;
            ++m_failureTexts[failure];
        }
    }
    void addConsultation(qint64 microseconds, bool failed) {
        std::lock_guard lock(m_mutex);
        m_consultations.microseconds.push_back(microseconds);
        m_consultations.failures += failed ? 1 : 0;
    }
    void addLag(qint64 microseconds) {
        std::lock_guard lock(m_mutex);
        m_lag.push_back(microseconds);
    }

    // clientCores: the simulation's own CPU time over the run's length.
    void print(const KioskSimulation& settings, double clientCores) {
        std::lock_guard lock(m_mutex);
        const auto count = m_consultations.microseconds.size();
        std::printf(
            "| kiosks | threads | pauses | consultations | per second | p50 ms | p99 ms | failed | "
            "step lag p99 ms | client CPU cores |\n|---|---|---|---|---|---|---|---|---|---|\n");
        std::printf(
            "| %d | %d | × %.2f | %zu | %.1f | %.2f | %.2f | %d | %.2f | %.2f |\n\n", settings.kiosks,
            settings.threads, settings.thinkScale, count, static_cast<double>(count) / settings.seconds,
            percentileMs(m_consultations.microseconds, 0.5), percentileMs(m_consultations.microseconds, 0.99),
            m_consultations.failures, percentileMs(m_lag, 0.99), clientCores);
        std::printf("| call | count | p50 ms | p99 ms | failed |\n|---|---|---|---|---|\n");
        for (auto& [name, series] : m_calls) {
            std::printf("| %s | %zu | %.2f | %.2f | %d |\n", qPrintable(name), series.microseconds.size(),
                        percentileMs(series.microseconds, 0.5), percentileMs(series.microseconds, 0.99),
                        series.failures);
        }
        for (const auto& [text, times] : m_failureTexts) {
            std::printf("\n%d × %s", times, qPrintable(text));
        }
        std::printf("\n");
        std::fflush(stdout);
    }

private:
    struct Series {
        std::vector<qint64> microseconds;
        int failures = 0;
    };
    std::mutex m_mutex;
    std::map<QString, Series> m_calls;
    std::map<QString, int> m_failureTexts;
    Series m_consultations;
    std::vector<qint64> m_lag;
};

// A kiosk failure that ends the consultation (the screen would show an error and go back to waiting).
struct CallFailed {};

// Pauses of a person at the kiosk, in mean seconds.
struct Pauses {
    static constexpr double Typing = 3;          // badge or code, then Enter
    static constexpr double BalanceRead = 4;     // the balance message, then OK
    static constexpr double StoreChoice = 3;     // the search list
    static constexpr double StatementRead = 10;  // the statement, then exit or another month
    static constexpr double PreviousMonthShare = 0.3;
};

class Kiosk {
public:
    Kiosk(int number, const KioskSimulation& settings, Statistics& statistics)
        : m_settings(settings),
          m_statistics(statistics),
          m_register(Registers[static_cast<std::size_t>(number) % Registers.size()]),
          m_random(static_cast<quint64>(number) * 7919 + 1) {
        m_terminal = connection(QStringLiteral("Qvr.rdmTerminalCons"));
    }

    // Runs the step that is due; answers the pause until the next one.
    SteadyClock::duration step() {
        try {
            switch (m_next) {
                case Next::StartUp:
                    startUp();
                    return pause(m_settings.arrivalSeconds * uniform());
                case Next::Enter:
                    return enter();
                case Next::Open:
                    return open();
                case Next::Statement:
                    return statement();
                case Next::PreviousMonth:
                    groupCall(true);
                    return leave(Pauses::StatementRead);
            }
        } catch (const CallFailed&) {
            if (m_next != Next::StartUp) {
                m_statistics.addConsultation(m_consultationMicroseconds, true);
                m_next = Next::Enter;
            }
            m_statement.reset();
        }
        return pause(m_settings.arrivalSeconds);
    }

private:
    enum class Next { StartUp, Enter, Open, Statement, PreviousMonth };

    std::unique_ptr<TNetConnection> connection(const QString& module) const {
        auto link = std::make_unique<TNetConnection>();
        link->setServerName(module);
        link->setHost(m_settings.host);
        link->setPort(m_settings.port);
        link->setTerminal(QString::fromLatin1(m_register.branch) + QString::fromLatin1(m_register.code));
        return link;
    }

    double uniform() { return std::uniform_real_distribution<double>(0, 1)(m_random); }

    SteadyClock::duration pause(double meanSeconds) {
        const double seconds =
            std::exponential_distribution<double>(1.0)(m_random) * meanSeconds * m_settings.thinkScale;
        return std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
    }

    template <typename Action>
    void timed(const QString& name, Action action) {
        const auto start = SteadyClock::now();
        QString failure;
        try {
            failure = action();
        } catch (const KioskError& error) {
            failure = error.text();
        }
        const qint64 microseconds =
            std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - start).count();
        m_consultationMicroseconds += microseconds;
        m_statistics.addCall(name, microseconds, failure);
        if (!failure.isEmpty()) {
            throw CallFailed{};
        }
    }

    void connect(TNetConnection& link) {
        timed(QStringLiteral("connect ") + link.ServerName(), [&link] {
            link.setConnected(true);
            return QString();
        });
    }

    // One remote call; its packets (a text answer is the server's error and fails the consultation).
    QVariant call(TNetConnection& link, const QString& method, const QVariantList& arguments) {
        QVariant answer;
        timed(method, [&] {
            answer = link.call(method, arguments);
            return answer.typeId() == QMetaType::QString ? answer.toString() : QString();
        });
        return answer;
    }

    static QString text(const DataPacket& packet, const char* field, int row = 0) {
        const qsizetype column = packet.fieldIndex(QString::fromLatin1(field));
        return column < 0 || row >= packet.rows.size() ? QString() : packet.rows[row][column].toString();
    }

    void startUp() {
        m_consultationMicroseconds = 0;
        connect(*m_terminal);
        const QString branch = QString::fromLatin1(m_register.branch);
        const DataPacket setup = packetFrom(call(*m_terminal, QStringLiteral("getParametrosCx"),
                                                 {QString::fromLatin1(m_register.code), branch}));
        const DataPacket sales = packetFrom(call(*m_terminal, QStringLiteral("getParaVend"), {branch}));
        for (const char* field : {"NRDIAINITOT", "NRDIAFINTOT", "CDGRUPPROD", "IDEXIMSGSAL", "IDTIPEXTTOT",
                                  "IDSELLOJTOT", "IDINFCLIECAI"}) {
            m_setup[QString::fromLatin1(field)] = text(setup, field);
        }
        m_badgeFirst = qRound(text(sales, "NRPOSINICONS").toDouble());
        m_badgeLast = qRound(text(sales, "NRPOSFINCONS").toDouble());
        const ConsultationPeriod period =
            ConsultationPeriod::containing(m_settings.today, m_setup.value(QStringLiteral("NRDIAINITOT")),
                                           m_setup.value(QStringLiteral("NRDIAFINTOT")));
        m_period = {period.start, period.end};
        m_next = Next::Enter;
    }

    bool is(const char* field, const char* value) const {
        return m_setup.value(QString::fromLatin1(field)) == QLatin1String(value);
    }

    // The consumer typed a code or passed a badge, then Enter.
    SteadyClock::duration enter() {
        m_consultationMicroseconds = 0;
        const QString branch = QString::fromLatin1(m_register.branch);
        const int consumer = consumerOfBranch(branch, m_random());
        const bool badge = is("IDINFCLIECAI", "S");
        QString code = QString::number(2001 + consumer);
        if (badge) {
            // The reader sends a track around the badge number; the register keeps its configured part.
            const QString track =
                QStringLiteral("9000%1%2").arg(50000 + consumer, 8, 10, QLatin1Char('0')).arg(7);
            code = m_badgeFirst > 0 && m_badgeLast >= m_badgeFirst
                       ? track.mid(m_badgeFirst - 1, m_badgeLast - m_badgeFirst + 1)
                       : track;
        }
        const DataPacket found = packetFrom(call(*m_terminal, QStringLiteral("getConsumidor"),
                                                 {code, badge ? QStringLiteral("S") : QStringLiteral("N")}));
        if (found.rows.isEmpty()) {
            m_statistics.addCall(QStringLiteral("getConsumidor"), 0,
                                 QStringLiteral("consumidor não encontrado"));
            throw CallFailed{};
        }
        m_client = text(found, "CDCLIENTE");
        m_consumer = text(found, "CDCONSUMIDOR");
        if (is("IDEXIMSGSAL", "S")) {
            call(*m_terminal, QStringLiteral("getSaldo"),
                 {branch, m_client, m_consumer, m_period.first.toString(DateForm),
                  m_period.second.toString(DateForm)});
            m_next = Next::Open;
            return pause(Pauses::BalanceRead);
        }
        return open();
    }

    // After the balance: the store list when the register offers a choice, else the statement.
    SteadyClock::duration open() {
        m_storeCode.clear();
        if (!is("IDTIPEXTTOT", "1") && is("IDSELLOJTOT", "S")) {
            const DataPacket stores =
                packetFrom(call(*m_terminal, QStringLiteral("getLoja"),
                                {QString::fromLatin1(m_register.branch), m_period.first.startOfDay(),
                                 m_period.second.startOfDay(), m_client, m_consumer}));
            if (!stores.rows.isEmpty()) {
                const auto pick = static_cast<int>(m_random() % static_cast<quint64>(stores.rows.size() + 1));
                m_storeCode = pick == stores.rows.size() ? QStringLiteral("T") : text(stores, "CDLOJA", pick);
                m_next = Next::Statement;
                return pause(Pauses::StoreChoice);
            }
        }
        return statement();
    }

    SteadyClock::duration statement() {
        const QString branch = QString::fromLatin1(m_register.branch);
        const QString start = m_period.first.toString(DateForm);
        const QString end = m_period.second.toString(DateForm);
        if (is("IDTIPEXTTOT", "1")) {
            m_statement = connection(QStringLiteral("Qvr.rdmExtratoSimplificado"));
            connect(*m_statement);
            call(*m_statement, QStringLiteral("getMoviClie"), {branch, m_client, m_consumer, start, end});
        } else if (is("IDTIPEXTTOT", "2")) {
            m_statement = connection(QStringLiteral("Qvr.rdmExtratoDetalhado"));
            m_statement->setServerGUID(QStringLiteral("{3A6445E3-6B74-407B-BF73-EE033494058A}"));
            connect(*m_statement);
            call(*m_statement, QStringLiteral("GetMoviClie"), {branch, m_client, m_consumer, start, end});
            call(*m_statement, QStringLiteral("GetProduto"),
                 {branch, QString::fromLatin1(m_register.code), m_client, m_consumer, start, end});
        } else {
            m_statement = connection(QStringLiteral("Qvr.rdmExtratoGrupo"));
            connect(*m_statement);
            groupCall(false);
        }
        m_statistics.addConsultation(m_consultationMicroseconds, false);
        if (is("IDTIPEXTTOT", "3") && uniform() < Pauses::PreviousMonthShare) {
            m_next = Next::PreviousMonth;
            return pause(Pauses::StatementRead);
        }
        return leave(Pauses::StatementRead);
    }

    void groupCall(bool previousMonth) {
        const GroupPeriod period =
            GroupPeriod::of(m_settings.today, m_setup.value(QStringLiteral("NRDIAINITOT")),
                            m_setup.value(QStringLiteral("NRDIAFINTOT")), previousMonth);
        call(*m_statement, QStringLiteral("getProdutos"),
             {QString::fromLatin1(m_register.branch), m_client, m_consumer,
              m_setup.value(QStringLiteral("CDGRUPPROD")), period.start.startOfDay(), period.end.startOfDay(),
              m_storeCode});
    }

    // The consumer reads, the statement closes, and the kiosk waits for the next consumer.
    SteadyClock::duration leave(double readingSeconds) {
        m_statement.reset();
        m_next = Next::Enter;
        return pause(readingSeconds) + pause(m_settings.arrivalSeconds);
    }

    const KioskSimulation& m_settings;
    Statistics& m_statistics;
    Register m_register;
    std::mt19937_64 m_random;
    std::unique_ptr<TNetConnection> m_terminal;
    std::unique_ptr<TNetConnection> m_statement;
    Next m_next = Next::StartUp;
    QMap<QString, QString> m_setup;
    int m_badgeFirst = 0;
    int m_badgeLast = 0;
    std::pair<QDate, QDate> m_period;
    QString m_client;
    QString m_consumer;
    QString m_storeCode;
    qint64 m_consultationMicroseconds = 0;
};

// The kiosks waiting for their next step, earliest first; each kiosk is in it at most once, so one thread
// at a time runs it.
class Schedule {
public:
    void put(SteadyClock::time_point due, Kiosk* kiosk) {
        {
            std::lock_guard lock(m_mutex);
            m_due.push({due, kiosk});
        }
        m_changed.notify_one();
    }

    // The earliest kiosk once it is due, with how late it is taken; nullptr at the deadline.
    std::pair<Kiosk*, SteadyClock::duration> take(SteadyClock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            const auto now = SteadyClock::now();
            if (now >= deadline) {
                return {nullptr, {}};
            }
            if (!m_due.empty() && m_due.top().at <= now) {
                const Entry entry = m_due.top();
                m_due.pop();
                return {entry.kiosk, now - entry.at};
            }
            m_changed.wait_until(lock, m_due.empty() ? deadline : std::min(deadline, m_due.top().at));
        }
    }

private:
    struct Entry {
        SteadyClock::time_point at;
        Kiosk* kiosk;
        bool operator>(const Entry& other) const { return at > other.at; }
    };
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> m_due;
};

}  // namespace

namespace {

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

void KioskSimulation::run() const {
    const double cpuAtStart = processCpuSeconds();
    Statistics statistics;
    Schedule schedule;
    std::vector<std::unique_ptr<Kiosk>> all;
    const auto start = SteadyClock::now();
    // Kiosks switched on one after another over the first fifth of a consumer's arrival time, not all in
    // the same instant.
    std::mt19937_64 spread(1);
    const double switchOnSeconds = arrivalSeconds * thinkScale / 5;
    for (int number = 0; number < kiosks; ++number) {
        all.push_back(std::make_unique<Kiosk>(number, *this, statistics));
        const double at = std::uniform_real_distribution<double>(0, switchOnSeconds)(spread);
        schedule.put(
            start + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(at)),
            all.back().get());
    }
    const auto deadline = start + std::chrono::seconds(seconds);
    std::vector<std::thread> pool;
    for (int thread = 0; thread < threads; ++thread) {
        pool.emplace_back([&] {
            for (auto [kiosk, lag] = schedule.take(deadline); kiosk != nullptr;
                 std::tie(kiosk, lag) = schedule.take(deadline)) {
                statistics.addLag(std::chrono::duration_cast<std::chrono::microseconds>(lag).count());
                schedule.put(SteadyClock::now() + kiosk->step(), kiosk);
            }
        });
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
    statistics.print(*this, (processCpuSeconds() - cpuAtStart) / seconds);
}
