#pragma once

#include "platform/Journal.h"

#include <QString>

// One line per request on standard output: when, which terminal, module, method, status, milliseconds.
// Never an argument's or an answer's content, so no consumer's name or balance reaches the log. Server
// events (start, stop, database state, clients refused) go to standard error.
//
// Lines are written by a thread of their own from a bounded queue: a reader that stalls never holds a
// request. When the queue is full, lines are dropped and counted, and the count is reported once the
// queue has room again. Each event is one line; when a stream is the journal's (JOURNAL_STREAM), its lines
// begin with their syslog priority.
namespace accesslog {

using Priority = platform::journal::Priority;

// `path`: /modules/<module>/<method>, /modules/<module>, /health, or empty when no request line was read.
void request(const QString& terminal, const QString& path, int status, double milliseconds);
// Whatever a client sends is cut short and kept to printable characters before it reaches the log.
QString printable(const QString& text, int width);
void event(const QString& text, Priority priority = Priority::Info);
// Writes what is queued; called before the process ends.
void flush();

}  // namespace accesslog
