#pragma once

#include "modules/Answer.h"

#include <QSqlQuery>

// A value read from SQL in the type its field declares (SQLite hands back date-times as texts).
QVariant fieldValue(const QVariant& sqlValue, FieldType type);

// Every row of the query, its columns taken in the order of the fields.
DataPacket packetFromQuery(QList<FieldDef> fields, QSqlQuery& query);
