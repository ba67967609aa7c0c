#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <optional>

// The five value types a data packet column may have.
enum class FieldType { String, Float, Integer, Boolean, DateTime };

// The wire name of a type ("string", "float", "integer", "boolean", "datetime") and back.
QString fieldTypeName(FieldType type);
std::optional<FieldType> fieldTypeFromName(const QString& name);

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;  // declared width of a text column; 0 for the other types

    friend bool operator==(const FieldDef&, const FieldDef&) = default;
};

// A table as the server answers it. Each row holds one value per field, in field order:
// QString, double, qlonglong, bool or QDateTime as the field's type says, or a null QVariant.
struct DataPacket {
    QList<FieldDef> fields;
    QList<QVariantList> rows;

    // Position of the field with this name (exact letter case), or -1.
    qsizetype fieldIndex(const QString& name) const;

    friend bool operator==(const DataPacket&, const DataPacket&) = default;
};

Q_DECLARE_METATYPE(DataPacket)

// The packet held by a remote call's answer; raises WireError when the answer holds no packet.
DataPacket packetFrom(const QVariant& answer);
// Element `index` (0-based) of an answer that is an array of packets; raises WireError otherwise.
DataPacket packetFrom(const QVariant& answer, qsizetype index);
