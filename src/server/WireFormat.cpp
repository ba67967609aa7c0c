#include "server/WireFormat.h"

#include "server/ServerErrors.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace wire {

namespace {

const QString DateTimeKey = QStringLiteral("$dt");
constexpr double MaxExactInteger = 9007199254740992.0;  // 2^53: larger integers lose digits in JSON numbers
constexpr int MaxTextSize = 1 << 20;

[[noreturn]] void fail(const QString& detail) {
    throw WireError(QStringLiteral("Formato inválido: ") + detail);
}

QByteArray checkedSize(const QByteArray& body) {
    if (body.size() > MaxBodyBytes) {
        fail(QStringLiteral("corpo de %1 bytes excede o limite de %2 bytes.")
                 .arg(body.size())
                 .arg(MaxBodyBytes));
    }
    return body;
}

QByteArray serialized(const QJsonObject& object) {
    return checkedSize(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject parsedObject(const QByteArray& body) {
    checkedSize(body);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        fail(
            QStringLiteral("JSON malformado na posição %1 (%2).").arg(error.offset).arg(error.errorString()));
    }
    if (!document.isObject()) {
        fail(QStringLiteral("o corpo deve ser um objeto JSON."));
    }
    return document.object();
}

// The name of a member as JSON spells it, its escapes read.
std::string memberName(std::string_view quoted) {
    if (quoted.find('\\') == std::string_view::npos) {
        return std::string(quoted.substr(1, quoted.size() - 2));
    }
    const QByteArray array = '[' + QByteArray(quoted.data(), static_cast<qsizetype>(quoted.size())) + ']';
    return QJsonDocument::fromJson(array).array().at(0).toString().toStdString();
}

// QJsonDocument keeps one of two members of the same name without a word; this finds them in a text it has
// already read as valid JSON.
void refuseDuplicateMembers(const QByteArray& json) {
    struct Level {
        bool object = false;
        bool nameNext = false;
        std::unordered_set<std::string> names;
    };
    std::vector<Level> levels;
    const std::string_view text(json.constData(), static_cast<std::size_t>(json.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{' || c == '[') {
            levels.push_back({c == '{', c == '{', {}});
        } else if (c == '}' || c == ']') {
            levels.pop_back();
        } else if (c == ',' && levels.back().object) {
            levels.back().nameNext = true;
        } else if (c == '"') {
            const std::size_t start = i;
            for (++i; text[i] != '"'; ++i) {
                i += text[i] == '\\' ? 1 : 0;
            }
            Level& level = levels.back();
            if (level.nameNext) {
                std::string name = memberName(text.substr(start, i - start + 1));
                if (level.names.contains(name)) {
                    fail(QStringLiteral("membro repetido \"%1\".").arg(QString::fromStdString(name).left(64)));
                }
                level.names.insert(std::move(name));
            }
            level.nameNext = false;
        }
    }
}

// Rejects members other than the expected ones, and missing required ones.
void requireKeys(const QJsonObject& object, std::initializer_list<QLatin1String> required,
                 std::initializer_list<QLatin1String> optional, const QString& what) {
    for (const QLatin1String& key : required) {
        if (!object.contains(key)) {
            fail(QStringLiteral("%1 sem o membro \"%2\".").arg(what, key));
        }
    }
    for (auto it = object.begin(); it != object.end(); ++it) {
        const bool known = std::find(required.begin(), required.end(), it.key()) != required.end() ||
                           std::find(optional.begin(), optional.end(), it.key()) != optional.end();
        if (!known) {
            fail(QStringLiteral("%1 com membro desconhecido \"%2\".").arg(what, it.key()));
        }
    }
}

bool isIntegral(double number) {
    return std::trunc(number) == number && std::fabs(number) <= MaxExactInteger;
}

QJsonValue encodedDateTime(const QDateTime& moment) {
    if (!moment.isValid()) {
        return QJsonValue(QJsonValue::Null);
    }
    return QJsonObject{{DateTimeKey, dateTimeToWire(moment)}};
}

QDateTime decodedDateTime(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    if (!value.isObject() || object.size() != 1 || !object.value(DateTimeKey).isString()) {
        fail(QStringLiteral("data-hora deve ser {\"$dt\": \"aaaa-mm-ddThh:mm:ss.zzz\"}."));
    }
    return dateTimeFromWire(object.value(DateTimeKey).toString());
}

std::optional<double> numberOf(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
            return value.toDouble();
        default:
            return std::nullopt;
    }
}

QJsonValue encodedNumber(double number) {
    if (!std::isfinite(number)) {
        fail(QStringLiteral("número não finito."));
    }
    return number;
}

QJsonValue encodedValue(const QVariant& value, int depth) {
    if (!value.isValid()) {
        return QJsonValue(QJsonValue::Null);
    }
    if (const std::optional<double> number = numberOf(value)) {
        return encodedNumber(*number);
    }
    switch (value.typeId()) {
        case QMetaType::QString:
            return value.toString();
        case QMetaType::Bool:
            return value.toBool();
        case QMetaType::QDateTime:
            return encodedDateTime(value.toDateTime());
        case QMetaType::QDate:
            return encodedDateTime(value.toDate().startOfDay());
        case QMetaType::QVariantList:
        case QMetaType::QStringList: {
            if (depth >= MaxValueDepth) {
                fail(QStringLiteral("listas aninhadas além de %1 níveis.").arg(MaxValueDepth));
            }
            QJsonArray array;
            for (const QVariant& element : value.toList()) {
                array.append(encodedValue(element, depth + 1));
            }
            return array;
        }
        default:
            fail(QStringLiteral("valor do tipo %1 não pode ser enviado.")
                     .arg(QString::fromLatin1(value.typeName())));
    }
}

QVariant decodedValue(const QJsonValue& value, int depth) {
    switch (value.type()) {
        case QJsonValue::Null:
            return {};
        case QJsonValue::Bool:
            return value.toBool();
        case QJsonValue::Double:
            return value.toDouble();
        case QJsonValue::String:
            return value.toString();
        case QJsonValue::Object:
            return decodedDateTime(value);
        case QJsonValue::Array: {
            if (depth >= MaxValueDepth) {
                fail(QStringLiteral("listas aninhadas além de %1 níveis.").arg(MaxValueDepth));
            }
            QVariantList list;
            for (const QJsonValue& element : value.toArray()) {
                list.append(decodedValue(element, depth + 1));
            }
            return list;
        }
        case QJsonValue::Undefined:
            break;
    }
    fail(QStringLiteral("valor ausente."));
}

// ---- packets ----

QString cellPlace(qsizetype row, const FieldDef& field) {
    return QStringLiteral("linha %1, campo %2 (%3)").arg(row + 1).arg(field.name, fieldTypeName(field.type));
}

QJsonValue encodedCell(const QVariant& value, const FieldDef& field, qsizetype row) {
    if (!value.isValid()) {
        return QJsonValue(QJsonValue::Null);
    }
    const std::optional<double> number = numberOf(value);
    switch (field.type) {
        case FieldType::String:
            if (value.typeId() == QMetaType::QString) {
                return value.toString();
            }
            break;
        case FieldType::Float:
            if (number) {
                return encodedNumber(*number);
            }
            break;
        case FieldType::Integer:
            if (number && isIntegral(*number)) {
                return *number;
            }
            break;
        case FieldType::Boolean:
            if (value.typeId() == QMetaType::Bool) {
                return value.toBool();
            }
            break;
        case FieldType::DateTime:
            if (value.typeId() == QMetaType::QDateTime || value.typeId() == QMetaType::QDate) {
                return encodedValue(value, 0);
            }
            break;
    }
    fail(QStringLiteral("valor do tipo %1 não cabe na %2.")
             .arg(QString::fromLatin1(value.typeName()), cellPlace(row, field)));
}

QVariant decodedCell(const QJsonValue& value, const FieldDef& field, qsizetype row) {
    if (value.isNull()) {
        return {};
    }
    switch (field.type) {
        case FieldType::String:
            if (value.isString()) {
                return value.toString();
            }
            break;
        case FieldType::Float:
            if (value.isDouble()) {
                return value.toDouble();
            }
            break;
        case FieldType::Integer:
            if (value.isDouble() && isIntegral(value.toDouble())) {
                return static_cast<qlonglong>(value.toDouble());
            }
            break;
        case FieldType::Boolean:
            if (value.isBool()) {
                return value.toBool();
            }
            break;
        case FieldType::DateTime:
            if (value.isObject()) {
                return decodedDateTime(value);
            }
            break;
    }
    fail(QStringLiteral("valor inesperado na %1.").arg(cellPlace(row, field)));
}

void checkFieldNames(const QList<FieldDef>& fields) {
    if (fields.size() > MaxFields) {
        fail(QStringLiteral("pacote com mais de %1 campos.").arg(MaxFields));
    }
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields[i].name.isEmpty()) {
            fail(QStringLiteral("campo %1 do pacote sem nome.").arg(i + 1));
        }
        for (qsizetype j = 0; j < i; ++j) {
            if (fields[j].name == fields[i].name) {
                fail(QStringLiteral("campo %1 repetido no pacote.").arg(fields[i].name));
            }
        }
    }
}

FieldDef decodedField(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    if (!value.isObject()) {
        fail(QStringLiteral("cada campo do pacote deve ser um objeto."));
    }
    requireKeys(object, {QLatin1String("name"), QLatin1String("type")}, {QLatin1String("size")},
                QStringLiteral("campo do pacote"));
    const QJsonValue name = object.value(QLatin1String("name"));
    const std::optional<FieldType> type = fieldTypeFromName(object.value(QLatin1String("type")).toString());
    const QJsonValue size = object.value(QLatin1String("size"));
    if (!name.isString()) {
        fail(QStringLiteral("nome de campo deve ser um texto."));
    }
    if (!type) {
        fail(QStringLiteral("campo %1 com tipo desconhecido.").arg(name.toString()));
    }
    const bool sizeValid = size.isUndefined() || (size.isDouble() && isIntegral(size.toDouble()) &&
                                                  size.toDouble() >= 0 && size.toDouble() <= MaxTextSize);
    if (!sizeValid) {
        fail(QStringLiteral("campo %1 com tamanho inválido.").arg(name.toString()));
    }
    return FieldDef{name.toString(), *type, size.toInt()};
}

QJsonArray arrayMember(const QJsonObject& object, QLatin1String key, const QString& what) {
    const QJsonValue value = object.value(key);
    if (!value.isArray()) {
        fail(QStringLiteral("%1: \"%2\" deve ser uma lista.").arg(what, key));
    }
    return value.toArray();
}

}  // namespace

QString dateTimeToWire(const QDateTime& moment) {
    return moment.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

QDateTime dateTimeFromWire(const QString& text) {
    static const QString shape = QStringLiteral("9999-99-99T99:99:99.999");
    bool shaped = text.size() == shape.size();
    for (qsizetype i = 0; shaped && i < shape.size(); ++i) {
        shaped = shape[i] == u'9' ? (text[i] >= u'0' && text[i] <= u'9') : text[i] == shape[i];
    }
    // Digits read in place: a statement carries thousands of date-times and format parsing would dominate.
    const auto number = [&text](qsizetype at, qsizetype length) {
        int value = 0;
        for (qsizetype i = at; i < at + length; ++i) {
            value = value * 10 + (text[i].unicode() - u'0');
        }
        return value;
    };
    const QDate date = shaped ? QDate(number(0, 4), number(5, 2), number(8, 2)) : QDate();
    const QTime time = shaped ? QTime(number(11, 2), number(14, 2), number(17, 2), number(20, 3)) : QTime();
    if (!date.isValid() || !time.isValid()) {
        fail(QStringLiteral("data-hora \"%1\" fora da forma aaaa-mm-ddThh:mm:ss.zzz.").arg(text.left(40)));
    }
    return QDateTime(date, time);
}

QJsonValue encodeValue(const QVariant& value) {
    return encodedValue(value, 0);
}

QVariant decodeValue(const QJsonValue& value) {
    return decodedValue(value, 0);
}

QJsonObject encodePacket(const DataPacket& packet) {
    checkFieldNames(packet.fields);
    QJsonArray fields;
    for (const FieldDef& field : packet.fields) {
        fields.append(QJsonObject{
            {QStringLiteral("name"), field.name},
            {QStringLiteral("type"), fieldTypeName(field.type)},
            {QStringLiteral("size"), field.size},
        });
    }
    QJsonArray rows;
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const QVariantList& row = packet.rows[r];
        if (row.size() != packet.fields.size()) {
            fail(QStringLiteral("linha %1 com %2 valores para %3 campos.")
                     .arg(r + 1)
                     .arg(row.size())
                     .arg(packet.fields.size()));
        }
        QJsonArray cells;
        for (qsizetype c = 0; c < row.size(); ++c) {
            cells.append(encodedCell(row[c], packet.fields[c], r));
        }
        rows.append(cells);
    }
    return QJsonObject{{QStringLiteral("fields"), fields}, {QStringLiteral("rows"), rows}};
}

DataPacket decodePacket(const QJsonObject& object) {
    const QString what = QStringLiteral("pacote de dados");
    requireKeys(object, {QLatin1String("fields"), QLatin1String("rows")}, {}, what);
    DataPacket packet;
    for (const QJsonValue& field : arrayMember(object, QLatin1String("fields"), what)) {
        packet.fields.append(decodedField(field));
        checkFieldNames(packet.fields);
    }
    const QJsonArray rows = arrayMember(object, QLatin1String("rows"), what);
    packet.rows.reserve(rows.size());
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QJsonArray cells = rows[r].toArray();
        if (!rows[r].isArray() || cells.size() != packet.fields.size()) {
            fail(QStringLiteral("linha %1 deve ser uma lista de %2 valores.")
                     .arg(r + 1)
                     .arg(packet.fields.size()));
        }
        QVariantList row;
        row.reserve(cells.size());
        for (qsizetype c = 0; c < cells.size(); ++c) {
            row.append(decodedCell(cells[c], packet.fields[c], r));
        }
        packet.rows.append(std::move(row));
    }
    return packet;
}

QByteArray encodeCall(const QVariantList& arguments) {
    if (arguments.size() > MaxArguments) {
        fail(QStringLiteral("chamada com mais de %1 argumentos.").arg(MaxArguments));
    }
    QJsonArray args;
    for (const QVariant& argument : arguments) {
        args.append(encodeValue(argument));
    }
    return serialized(QJsonObject{{QStringLiteral("args"), args}});
}

QVariantList decodeCall(const QByteArray& body) {
    const QJsonObject object = parsedObject(body);
    refuseDuplicateMembers(body);
    const QString what = QStringLiteral("chamada");
    requireKeys(object, {QLatin1String("args")}, {}, what);
    const QJsonArray args = arrayMember(object, QLatin1String("args"), what);
    if (args.size() > MaxArguments) {
        fail(QStringLiteral("chamada com mais de %1 argumentos.").arg(MaxArguments));
    }
    QVariantList arguments;
    for (const QJsonValue& argument : args) {
        arguments.append(decodeValue(argument));
    }
    return arguments;
}

QByteArray encodeResult(const QVariant& result) {
    QJsonValue encoded;
    if (result.typeId() == QMetaType::QString) {
        encoded = result.toString();
    } else if (result.metaType() == QMetaType::fromType<DataPacket>()) {
        encoded = encodePacket(result.value<DataPacket>());
    } else if (result.typeId() == QMetaType::QVariantList) {
        QJsonArray packets;
        for (const QVariant& element : result.toList()) {
            if (element.metaType() != QMetaType::fromType<DataPacket>()) {
                fail(QStringLiteral("uma lista de resultado só pode conter pacotes de dados."));
            }
            packets.append(encodePacket(element.value<DataPacket>()));
        }
        encoded = packets;
    } else {
        fail(QStringLiteral("resultado deve ser um texto, um pacote ou uma lista de pacotes."));
    }
    return serialized(QJsonObject{{QStringLiteral("result"), encoded}});
}

QVariant decodeResult(const QByteArray& body) {
    const QJsonObject object = parsedObject(body);
    requireKeys(object, {QLatin1String("result")}, {}, QStringLiteral("resposta"));
    const QJsonValue result = object.value(QLatin1String("result"));
    if (result.isString()) {
        return result.toString();
    }
    if (result.isObject()) {
        return QVariant::fromValue(decodePacket(result.toObject()));
    }
    if (result.isArray()) {
        QVariantList packets;
        for (const QJsonValue& element : result.toArray()) {
            if (!element.isObject()) {
                fail(QStringLiteral("uma lista de resultado só pode conter pacotes de dados."));
            }
            packets.append(QVariant::fromValue(decodePacket(element.toObject())));
        }
        return packets;
    }
    fail(QStringLiteral("resultado deve ser um texto, um pacote ou uma lista de pacotes."));
}

QByteArray encodeError(const QString& message) {
    return serialized(QJsonObject{{QStringLiteral("error"), message}});
}

QString decodeError(const QByteArray& body) {
    if (body.size() > MaxBodyBytes) {
        return {};
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    return document.object().value(QLatin1String("error")).toString();
}

QByteArray encodeModule(const ModuleInfo& module) {
    return serialized(
        QJsonObject{{QStringLiteral("module"), module.name}, {QStringLiteral("guid"), module.guid}});
}

ModuleInfo decodeModule(const QByteArray& body) {
    const QJsonObject object = parsedObject(body);
    requireKeys(object, {QLatin1String("module"), QLatin1String("guid")}, {}, QStringLiteral("módulo"));
    const QJsonValue name = object.value(QLatin1String("module"));
    const QJsonValue guid = object.value(QLatin1String("guid"));
    if (!name.isString() || !guid.isString()) {
        fail(QStringLiteral("módulo e guid devem ser textos."));
    }
    return ModuleInfo{name.toString(), guid.toString()};
}

}  // namespace wire
