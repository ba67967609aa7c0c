#pragma once

#include "modules/Answer.h"

#include <QSqlQuery>

// Field declarations as the kiosk's screens declare them.
inline FieldDef stringField(const QString& name, int size) {
    return {name, FieldType::String, size};
}
inline FieldDef floatField(const QString& name) {
    return {name, FieldType::Float, 0};
}
inline FieldDef dateTimeField(const QString& name) {
    return {name, FieldType::DateTime, 0};
}

// A value read from SQL in the type its field declares (SQLite hands back date-times as texts).
QVariant fieldValue(const QVariant& sqlValue, FieldType type);

// Every row of the query, its columns taken in the order of the fields.
DataPacket packetFromQuery(QList<FieldDef> fields, QSqlQuery& query);
