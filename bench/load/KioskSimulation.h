#pragma once

#include <QDate>
#include <QString>

// Many kiosks in one process, each running the calls of the real kiosk through the real client
// (TNetConnection) with a person's pauses between them: the terminal's start-up calls, then for each
// consumer the consumer look-up, the balance when the register shows it, the store list when the register
// offers a choice, and the statement the register is set up for (the group statement sometimes goes back a
// month). Kiosks are spread over the demo network's nine registers and serve that branch's consumers.
//
// A small pool of threads runs them: each kiosk waits in one queue ordered by the moment its next step is
// due, and a free thread takes the earliest due kiosk, runs that step (one screen's calls) and puts it back.
struct KioskSimulation {
    QString host = QStringLiteral("127.0.0.1");
    int port = 8211;
    QDate today;
    int kiosks = 1;
    int threads = 1;
    int seconds = 10;
    // Multiplies every pause (1: a person's pace; 0: the next step at once, to load the server fully).
    double thinkScale = 1.0;
    // Mean seconds between one consumer leaving a kiosk and the next one arriving.
    double arrivalSeconds = 30.0;

    // Runs the kiosks and prints the figures as markdown.
    void run() const;
};
