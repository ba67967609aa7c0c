#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

// How far a long load is, on standard error: on a terminal one line redrawn in place (a bar, rows done,
// rows a second, time left); otherwise, for a log or the journal, a plain line every few seconds.
class Progress {
public:
    Progress(qint64 totalBytes, bool terminal, std::FILE* stream = stderr);

    // Bytes read over all the files, and rows so far.
    void advance(qint64 bytesDone, qint64 rows);
    // A step that shows no fraction (checking, merging): ends the bar's line first.
    void step(const QString& text);
    void finish();

    static bool standardErrorIsTerminal();

private:
    void draw();
    QString figures() const;

    qint64 m_totalBytes;
    bool m_terminal;
    std::FILE* m_stream;
    QElapsedTimer m_started;
    qint64 m_lastDrawn;  // ms since start; -1: not yet
    qint64 m_bytesDone = 0;
    qint64 m_rows = 0;
    bool m_barShown = false;
};
