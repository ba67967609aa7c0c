#pragma once

#include <QProcess>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

// A child a test starts (a server, a kiosk, its X server) ends with the test process: a suite killed by its
// time-out, or crashed, leaves nothing running. The signal comes when the thread that started the child ends,
// so children are started from the test's own thread.
inline void tieToTest(QProcess& process) {
    const pid_t test = getpid();
    process.setChildProcessModifier([test] {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != test) {
            _exit(1);  // the test ended before the child could ask
        }
    });
}
