#pragma once

#include <QString>

// One line per request on standard output: when, which terminal, module, method, status, milliseconds.
// Never an argument's or an answer's content, so no consumer's name or balance reaches the log.
namespace accesslog {

// Called as a request starts, on the thread that will answer it.
void begin(const QString& terminal);
// The terminal as the call's arguments name it, when the request carried no X-Totem-Terminal header.
void nameTerminalIfUnknown(const QString& terminal);
// Writes the line for the request this thread has just answered.
void end(const QString& path, int status);
// Whatever a client sends is cut short and kept to printable characters before it reaches the log.
QString printable(const QString& text, int width);
// Server events (start, stop, database state) on standard error.
void event(const QString& text);

}  // namespace accesslog
