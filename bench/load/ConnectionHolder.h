#pragma once

#include <QString>

#include <atomic>
#include <thread>

// Holds connections to a server from one address, as a hostile client would: every connection sends one
// byte a second of a request that never ends, and is opened again a second after the server closes it.
// Tells what the server let it hold.
class ConnectionHolder {
public:
    struct Figures {
        double heldOnAverage = 0;  // connections open for a second or more, sampled ten times a second
        long opened = 0;
        long closedAtOnce = 0;  // closed by the server within half a second of opening
    };

    ConnectionHolder(const QString& from, const QString& host, int port, int count);
    ~ConnectionHolder();
    ConnectionHolder(const ConnectionHolder&) = delete;
    ConnectionHolder& operator=(const ConnectionHolder&) = delete;

    Figures stop();

private:
    void run(const QString& from, const QString& host, int port, int count);

    std::atomic<bool> m_running{true};
    Figures m_figures;
    std::thread m_thread;
};
