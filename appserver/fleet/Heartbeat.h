#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// What a kiosk tells the server about itself every minute (docs/protocol.md, "Heartbeat"): never a
// consumer's code, name or amount.
struct Heartbeat {
    QString terminal;  // branch code (4 digits) and register code (3 digits)
    QString version;
    QString state;   // one of kioskStates()
    QString detail;  // the text of the error box it shows; empty otherwise
    QDateTime since;  // when it began showing it, UTC
    int consultations = 0;  // since the kiosk started
    QString lastError;  // the text of the last error box it showed
};

// What a kiosk may be showing.
const QStringList& kioskStates();

// Decodes POST /fleet/heartbeat's body; raises ProtocolFault (400) that says what is wrong. Texts are cut to
// the widths the server keeps.
Heartbeat decodeHeartbeat(const QByteArray& body);
