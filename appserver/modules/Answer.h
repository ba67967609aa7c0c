#pragma once

#include "server/DataPacket.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <variant>

// What a remote method answers: its error text, one data packet, or several packets in the order the
// method defines. The wire format (server/WireFormat.h) encodes it.
using Answer = std::variant<QString, DataPacket, QList<DataPacket>>;

// The answer as the wire encoder takes it.
QVariant wireResult(const Answer& answer);
