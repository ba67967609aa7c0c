#pragma once

#include "Options.h"

#include <httplib.h>

// The HTTP face of the modules: health, module connect and method call endpoints, protocol faults as
// {"error": ...} with a 4xx/5xx status, one access-log line per request.
class HttpFront {
public:
    HttpFront(httplib::Server& server, ServerOptions options);

private:
    void health(const httplib::Request& request, httplib::Response& response) const;
    void connect(const httplib::Request& request, httplib::Response& response) const;
    void call(const httplib::Request& request, httplib::Response& response) const;

    ServerOptions m_options;
};
