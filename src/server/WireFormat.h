#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariant>

#include "server/DataPacket.h"

// The one encoder and decoder of the kiosk's link to its application server, shared by both programs.
// docs/protocol.md describes the format; every decoder here is strict and raises WireError, in Portuguese,
// on malformed, truncated, oversized or misshapen input.
namespace wire {

// Limits that both sides enforce.
constexpr qsizetype MaxBodyBytes = 32 * 1024 * 1024;
constexpr int MaxArguments = 64;
constexpr int MaxValueDepth = 16;  // arrays nested inside an argument
constexpr int MaxFields = 1024;

inline constexpr char ContentType[] = "application/json; charset=utf-8";

// The TLS 1.2 suites both sides accept: forward secrecy and authenticated encryption only. Every TLS 1.3
// suite is such a suite.
inline constexpr char Tls12Ciphers[] =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:"
    "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";

// Values: QString <-> text, double/int/qlonglong <-> number (decoded as double), bool <-> true/false,
// null QVariant <-> null, QDateTime (or QDate, at midnight) <-> {"$dt": "yyyy-MM-ddTHH:mm:ss.zzz"} in the
// kiosk's local time, QVariantList <-> array.
QJsonValue encodeValue(const QVariant& value);
QVariant decodeValue(const QJsonValue& value);

// Date-times in the wire's text form, local time.
QString dateTimeToWire(const QDateTime& moment);
QDateTime dateTimeFromWire(const QString& text);

// A packet's JSON object and back. Encoding checks that each row fits the fields.
QJsonObject encodePacket(const DataPacket& packet);
DataPacket decodePacket(const QJsonObject& object);

// Call body: {"args": [...]}.
QByteArray encodeCall(const QVariantList& arguments);
QVariantList decodeCall(const QByteArray& body);

// Answer body: {"result": R}; R is a text (QString), a packet (DataPacket) or an array of packets
// (QVariantList of DataPacket).
QByteArray encodeResult(const QVariant& result);
QVariant decodeResult(const QByteArray& body);

// Protocol fault body: {"error": "..."}. Decoding is lenient: a body without a readable error gives "".
QByteArray encodeError(const QString& message);
QString decodeError(const QByteArray& body);

// Module description answered by GET /modules/<name>: {"module": name, "guid": guid-or-empty}.
struct ModuleInfo {
    QString name;
    QString guid;
};
QByteArray encodeModule(const ModuleInfo& module);
ModuleInfo decodeModule(const QByteArray& body);

}  // namespace wire
