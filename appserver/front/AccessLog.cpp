#include "front/AccessLog.h"

#include <QDateTime>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace accesslog {
namespace {

constexpr std::size_t MaxQueuedLines = 10000;
// Lines are gathered this long before they are written: one wake-up of the writer per batch, not per line.
constexpr std::chrono::milliseconds BatchWait{20};
// The longest the server's end waits for a stalled reader to take the last lines.
constexpr std::chrono::seconds FlushWait{2};

// The queue and the thread that writes it. It lives as long as the process: a thread blocked on a stalled
// reader must not hold the process's end.
class Writer {
public:
    Writer() { std::thread([this] { run(); }).detach(); }

    void add(std::FILE* stream, Priority priority, const QString& line) {
        bool first = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_lines.size() >= MaxQueuedLines) {
                ++m_dropped;
                return;
            }
            first = m_lines.empty();
            m_lines.push_back({stream, platform::journal::prefix(stream, priority) + line.toUtf8()});
        }
        if (first) {
            m_ready.notify_one();
        }
    }

    void flush() {
        std::unique_lock lock(m_mutex);
        m_written.wait_for(lock, FlushWait, [this] { return m_lines.empty() && !m_writing; });
    }

private:
    struct Line {
        std::FILE* stream;
        QByteArray text;
    };

    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [this] { return !m_lines.empty(); });
            lock.unlock();
            std::this_thread::sleep_for(BatchWait);
            lock.lock();
            std::deque<Line> batch;
            batch.swap(m_lines);
            const quint64 dropped = std::exchange(m_dropped, 0);
            m_writing = true;
            lock.unlock();
            if (dropped > 0) {
                write({stderr, platform::journal::prefix(stderr, Priority::Warning) +
                                   QStringLiteral("%1 log lines dropped: the log's reader fell behind")
                                       .arg(dropped)
                                       .toUtf8()});
            }
            for (const Line& line : batch) {
                write(line);
            }
            lock.lock();
            m_writing = false;
            m_written.notify_all();
        }
    }

    static void write(const Line& line) {
        std::fprintf(line.stream, "%s\n", line.text.constData());
        std::fflush(line.stream);
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_written;
    std::deque<Line> m_lines;
    quint64 m_dropped = 0;
    bool m_writing = false;
};

Writer& writer() {
    static Writer* const instance = new Writer;
    return *instance;
}

QString now() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

}  // namespace

QString printable(const QString& text, int width) {
    QString kept;
    for (const QChar c : text.left(width)) {
        kept.append(c.isPrint() && !c.isSpace() ? c : QLatin1Char('?'));
    }
    return kept.isEmpty() ? QStringLiteral("-") : kept;
}

void request(const QString& terminal, const QString& path, int status, double milliseconds) {
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const bool module = parts.value(0) == QLatin1String("modules");
    writer().add(stdout, Priority::Info, QStringLiteral("%1 terminal=%2 module=%3 method=%4 status=%5 ms=%6")
                             .arg(now(), printable(terminal, 16), printable(parts.value(module ? 1 : 0), 40),
                                  printable(module ? parts.value(2) : QString(), 40))
                             .arg(status)
                             .arg(milliseconds, 0, 'f', 2));
}

void event(const QString& text, Priority priority) {
    // One event, one line: a database's message may hold several.
    QString line = text.trimmed();
    line.replace(QLatin1Char('\n'), QLatin1String(" | ")).remove(QLatin1Char('\r'));
    writer().add(stderr, priority, QStringLiteral("%1 %2").arg(now(), line));
}

void flush() {
    writer().flush();
}

}  // namespace accesslog
