#pragma once

#include "front/LookupLimiter.h"
#include "Options.h"
#include "http/Server.h"

#include <mutex>

class Connection;
class FleetRecorder;
class Metrics;

// The protocol's endpoints over the HTTP front: health, module connect and method call, protocol faults as
// {"error": ...} with a 4xx/5xx status, consumer look-ups held to a rate per client address and per
// terminal at an address; the kiosks' heartbeats, and for the operator the fleet's page, its data and the
// metrics. Runs on the server's threads, each with its own database connection.
class HttpFront {
public:
    HttpFront(ServerOptions options, FleetRecorder& fleet, Metrics& metrics);

    // Never raises: an unexpected failure is answered 500.
    http::Response answer(const http::Request& request, Connection& db);

private:
    http::Response route(const http::Request& request, Connection& db);
    http::Response health(Connection& db);
    void reportHealth(const QString& failure);
    http::Response connect(const QString& moduleName) const;
    http::Response call(const http::Request& request, const QString& moduleName, const QString& methodName,
                        Connection& db);
    void limitLookups(const http::Request& request);
    http::Response heartbeat(const http::Request& request);
    http::Response forOperator(const http::Request& request, Connection& db);
    bool operatorMay(const http::Request& request) const;

    ServerOptions m_options;
    FleetRecorder& m_fleet;
    Metrics& m_metrics;
    LookupLimiter m_lookups;
    std::mutex m_healthMutex;
    QString m_lastHealthFailure;
};
