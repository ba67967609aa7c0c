#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// Log lines for systemd's journal, shared by the kiosk and its server.
namespace platform::journal {

enum class Priority { Error = 3, Warning = 4, Info = 6 };

// "<3>" and the like when `stream` is the one the journal reads (it names it in JOURNAL_STREAM), which then
// files the line at that priority; empty otherwise.
QByteArray prefix(std::FILE* stream, Priority priority);

// One line on standard error: prefixed for the journal, or dated when a terminal or a file reads it.
void log(Priority priority, const QString& text);

}  // namespace platform::journal
