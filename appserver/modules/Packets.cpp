#include "modules/Packets.h"

#include <QDateTime>

QVariant fieldValue(const QVariant& sqlValue, FieldType type) {
    switch (type) {
        case FieldType::String:
            return sqlValue.isNull() ? QString() : sqlValue.toString();
        case FieldType::Float:
            return sqlValue.toDouble();
        case FieldType::Integer:
            return sqlValue.toLongLong();
        case FieldType::Boolean:
            return sqlValue.toBool();
        case FieldType::DateTime:
            return sqlValue.isNull() ? QVariant() : QVariant(sqlValue.toDateTime());
    }
    return sqlValue;
}

DataPacket packetFromQuery(QList<FieldDef> fields, QSqlQuery& query) {
    DataPacket packet{std::move(fields), {}};
    while (query.next()) {
        QVariantList row;
        row.reserve(packet.fields.size());
        for (int column = 0; column < packet.fields.size(); ++column) {
            row.append(fieldValue(query.value(column), packet.fields.at(column).type));
        }
        packet.rows.append(row);
    }
    return packet;
}
