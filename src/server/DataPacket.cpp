#include "server/DataPacket.h"

#include "server/ServerErrors.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<FieldType, const char*>, 5> TypeNames{{
    {FieldType::String, "string"},
    {FieldType::Float, "float"},
    {FieldType::Integer, "integer"},
    {FieldType::Boolean, "boolean"},
    {FieldType::DateTime, "datetime"},
}};

}  // namespace

QString fieldTypeName(FieldType type) {
    for (const auto& [candidate, name] : TypeNames) {
        if (candidate == type) {
            return QString::fromLatin1(name);
        }
    }
    return {};
}

std::optional<FieldType> fieldTypeFromName(const QString& name) {
    for (const auto& [type, candidate] : TypeNames) {
        if (name == QLatin1String(candidate)) {
            return type;
        }
    }
    return std::nullopt;
}

qsizetype DataPacket::fieldIndex(const QString& name) const {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name) {
            return i;
        }
    }
    return -1;
}

DataPacket packetFrom(const QVariant& answer) {
    if (answer.metaType() != QMetaType::fromType<DataPacket>()) {
        throw WireError(QStringLiteral("A resposta do servidor não traz um pacote de dados."));
    }
    return answer.value<DataPacket>();
}

DataPacket packetFrom(const QVariant& answer, qsizetype index) {
    if (answer.metaType() != QMetaType::fromType<QVariantList>()) {
        throw WireError(QStringLiteral("A resposta do servidor não traz uma lista de pacotes de dados."));
    }
    const QVariantList elements = answer.toList();
    if (index < 0 || index >= elements.size()) {
        throw WireError(
            QStringLiteral("A resposta do servidor traz %1 pacote(s) de dados; faltou o de número %2.")
                .arg(elements.size())
                .arg(index + 1));
    }
    return packetFrom(elements[index]);
}
