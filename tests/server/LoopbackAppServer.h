#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include "http/Server.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A small application server on 127.0.0.1 for the connection tests: modules and methods are scripted by
// the test, the wire format and the HTTP front are the real ones. Runs its own thread; stop() and start()
// keep the same port.
class LoopbackAppServer {
public:
    // What a scripted method answers.
    struct Reply {
        int status = 200;
        QByteArray body;
        bool stall = false;  // never answer (until the server stops)

        static Reply result(const QVariant& value);
        static Reply fault(int status, const QString& error);
        static Reply raw(int status, const QByteArray& body);
        static Reply silence();
    };
    using Method = std::function<Reply(const QVariantList& arguments)>;

    LoopbackAppServer();
    ~LoopbackAppServer();
    LoopbackAppServer(const LoopbackAppServer&) = delete;
    LoopbackAppServer& operator=(const LoopbackAppServer&) = delete;

    int port() const { return m_port; }
    void addModule(const QString& name, const QString& guid = {});
    void addMethod(const QString& module, const QString& method, Method answer);

    // Goes away (refusing connections) and comes back on the same port.
    void stop();
    void start();

    QVariantList lastArguments() const;
    int moduleChecks() const;

private:
    http::Response answer(const http::Request& request, bool& stall);

    mutable std::mutex m_mutex;
    std::map<QString, QString> m_modules;                     // name -> GUID
    std::map<std::pair<QString, QString>, Method> m_methods;  // (module, method)
    QVariantList m_lastArguments;
    int m_moduleChecks = 0;

    int m_port = 0;
    std::unique_ptr<http::Server> m_server;
    std::vector<http::Server::Reply> m_stalled;  // on the server's thread only
    std::thread m_thread;
};

// A server on 127.0.0.1 that answers every module check and hangs up on the first `hangUps` calls without
// a word, as a server does when it dies, or when it closes a kept-alive connection just as a call arrives.
// Later calls are answered with `answer`. One connection at a time, on its own thread.
class HangingUpServer {
public:
    HangingUpServer(int hangUps, const QVariant& answer);
    ~HangingUpServer();
    HangingUpServer(const HangingUpServer&) = delete;
    HangingUpServer& operator=(const HangingUpServer&) = delete;
    int port() const { return m_port; }
    int callsReceived() const { return m_calls; }

private:
    void serve(int connection);

    int m_hangUps;
    QByteArray m_answer;
    std::atomic<int> m_calls{0};
    std::atomic<int> m_connection{-1};
    int m_socket = -1;
    int m_port = 0;
    std::thread m_thread;
};

// A server on 127.0.0.1 that answers every request with `head`, then `unit` `repeats` times, `pace` apart, then
// `tail`: an answer that never ends, or one that trickles. It stops early when the client hangs up. One
// connection at a time, on its own thread.
class EndlessAnswerServer {
public:
    struct Script {
        QByteArray head;
        QByteArray unit;
        int repeats = 0;
        std::chrono::milliseconds pace{0};
        QByteArray tail;
    };

    explicit EndlessAnswerServer(Script script);
    ~EndlessAnswerServer();
    EndlessAnswerServer(const EndlessAnswerServer&) = delete;
    EndlessAnswerServer& operator=(const EndlessAnswerServer&) = delete;
    int port() const { return m_port; }

private:
    void answer(int connection) const;

    Script m_script;
    std::atomic<bool> m_closing{false};
    int m_socket = -1;
    int m_port = 0;
    std::thread m_thread;
};

// A socket that listens on 127.0.0.1 and never accepts: connections complete, answers never come.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};
