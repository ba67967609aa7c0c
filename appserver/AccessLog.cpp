#include "AccessLog.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>
#include <mutex>

namespace accesslog {
namespace {

struct Trace {
    QElapsedTimer started;
    QString terminal;
};

thread_local Trace trace;
std::mutex outputMutex;

void write(std::FILE* stream, const QString& line) {
    const QByteArray bytes = line.toUtf8();
    std::lock_guard lock(outputMutex);
    std::fprintf(stream, "%s\n", bytes.constData());
    std::fflush(stream);
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

void begin(const QString& terminal) {
    trace.started.start();
    trace.terminal = terminal;
}

void nameTerminalIfUnknown(const QString& terminal) {
    if (trace.terminal.isEmpty()) {
        trace.terminal = terminal;
    }
}

void end(const QString& path, int status) {
    // Path: /modules/<module>/<method>, /modules/<module> or /health.
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QString module = parts.value(0) == QLatin1String("modules") ? parts.value(1) : parts.value(0);
    const QString method = parts.value(0) == QLatin1String("modules") ? parts.value(2) : QString();
    const QString elapsed =
        trace.started.isValid()
            ? QString::number(static_cast<double>(trace.started.nsecsElapsed()) / 1e6, 'f', 2)
            : QStringLiteral("-");
    write(stdout, QStringLiteral("%1 terminal=%2 module=%3 method=%4 status=%5 ms=%6")
                      .arg(now(), printable(trace.terminal, 16), printable(module, 40), printable(method, 40))
                      .arg(status)
                      .arg(elapsed));
    trace = Trace{};
}

void event(const QString& text) {
    write(stderr, QStringLiteral("%1 %2").arg(now(), text));
}

}  // namespace accesslog
