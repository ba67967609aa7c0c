#pragma once

#include "LookupLimiter.h"
#include "Options.h"

#include <httplib.h>

// The HTTP face of the modules: health, module connect and method call endpoints, protocol faults as
// {"error": ...} with a 4xx/5xx status, one access-log line per request, consumer look-ups held to a rate
// per terminal and per client address.
class HttpFront {
public:
    HttpFront(httplib::Server& server, ServerOptions options);
    // Call once the server is bound: the HTTP library listens with a backlog of 5, too short for a burst of
    // kiosks reconnecting at once (the overflow costs them a SYN retry of a second, or a reset).
    void widenListenBacklog() const;

private:
    void health(const httplib::Request& request, httplib::Response& response) const;
    void connect(const httplib::Request& request, httplib::Response& response) const;
    void call(const httplib::Request& request, httplib::Response& response);
    void limitLookups(const httplib::Request& request, const QString& method);

    ServerOptions m_options;
    LookupLimiter m_lookups;
    int m_listenSocket = -1;
};
