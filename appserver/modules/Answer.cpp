#include "modules/Answer.h"

QVariant wireResult(const Answer& answer) {
    if (const auto* text = std::get_if<QString>(&answer)) {
        return *text;
    }
    if (const auto* packet = std::get_if<DataPacket>(&answer)) {
        return QVariant::fromValue(*packet);
    }
    QVariantList packets;
    for (const DataPacket& packet : std::get<QList<DataPacket>>(answer)) {
        packets.append(QVariant::fromValue(packet));
    }
    return packets;
}
