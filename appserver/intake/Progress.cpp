#include "intake/Progress.h"

#include <unistd.h>

#include <algorithm>

namespace {

constexpr qint64 TerminalRedrawMs = 200;
constexpr qint64 LogLineMs = 5000;
constexpr int BarWidth = 30;

QString duration(qint64 seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

Progress::Progress(qint64 totalBytes, bool terminal, std::FILE* stream)
    : m_totalBytes(std::max<qint64>(totalBytes, 1)), m_terminal(terminal), m_stream(stream) {
    m_started.start();
    // A log's first line comes after its first interval, with figures that mean something.
    m_lastDrawn = terminal ? -1 : 0;
}

bool Progress::standardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void Progress::advance(qint64 bytesDone, qint64 rows) {
    m_bytesDone = bytesDone;
    m_rows = rows;
    const qint64 now = m_started.elapsed();
    if (m_lastDrawn < 0 || now - m_lastDrawn >= (m_terminal ? TerminalRedrawMs : LogLineMs)) {
        m_lastDrawn = now;
        draw();
    }
}

QString Progress::figures() const {
    const double seconds = std::max<double>(static_cast<double>(m_started.elapsed()) / 1000.0, 0.001);
    const qint64 rowsPerSecond = static_cast<qint64>(static_cast<double>(m_rows) / seconds);
    const double bytesPerSecond = static_cast<double>(m_bytesDone) / seconds;
    // The first second's pace says little about the rest.
    const QString left =
        m_bytesDone > 0 && m_started.elapsed() >= 1000
            ? duration(static_cast<qint64>(static_cast<double>(m_totalBytes - m_bytesDone) / bytesPerSecond))
            : QStringLiteral("?");
    return QStringLiteral("%1 rows read, %2 rows/s, %3 left").arg(m_rows).arg(rowsPerSecond).arg(left);
}

void Progress::draw() {
    const int percent = static_cast<int>(100 * m_bytesDone / m_totalBytes);
    if (m_terminal) {
        const int filled = BarWidth * percent / 100;
        const QString bar = QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('-'));
        std::fprintf(m_stream, "\r[%s] %3d%%  %s\x1b[K", qPrintable(bar), percent, qPrintable(figures()));
        m_barShown = true;
    } else {
        std::fprintf(m_stream, "reading: %d%%, %s\n", percent, qPrintable(figures()));
    }
    std::fflush(m_stream);
}

void Progress::step(const QString& text) {
    if (m_barShown) {
        m_bytesDone = m_totalBytes;
        draw();
        std::fputc('\n', m_stream);
        m_barShown = false;
    }
    std::fprintf(m_stream, "%s (%s elapsed)\n", qPrintable(text),
                 qPrintable(duration(m_started.elapsed() / 1000)));
    std::fflush(m_stream);
}

void Progress::finish() {
    step(QStringLiteral("done"));
}
