#include "fleet/Heartbeat.h"

#include "modules/MethodCall.h"
#include "kit/core/SetupValues.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int MaxVersion = 20;
constexpr int MaxDetail = 120;
constexpr int MaxError = 200;

[[noreturn]] void refuse(const QString& what) {
    throw ProtocolFault{400, QStringLiteral("Batimento inválido: %1.").arg(what)};
}

QString text(const QJsonObject& object, const char* name, int width, bool required) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (value.isUndefined() && !required) {
        return {};
    }
    if (!value.isString()) {
        refuse(QStringLiteral("\"%1\" deve ser um texto").arg(QLatin1String(name)));
    }
    return value.toString().left(width);
}

}  // namespace

const QStringList& kioskStates() {
    static const QStringList states{QStringLiteral("starting"), QStringLiteral("waiting"),
                                    QStringLiteral("statement"), QStringLiteral("store-list"),
                                    QStringLiteral("message"), QStringLiteral("error"),
                                    QStringLiteral("setup")};
    return states;
}

Heartbeat decodeHeartbeat(const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        refuse(QStringLiteral("o corpo deve ser um objeto JSON"));
    }
    const QJsonObject object = document.object();
    const QStringList known{QStringLiteral("terminal"), QStringLiteral("version"), QStringLiteral("state"),
                            QStringLiteral("detail"), QStringLiteral("since"), QStringLiteral("consultations"),
                            QStringLiteral("lastError")};
    for (const QString& key : object.keys()) {
        if (!known.contains(key)) {
            refuse(QStringLiteral("membro desconhecido \"%1\"").arg(key.left(40)));
        }
    }
    Heartbeat beat;
    beat.terminal = text(object, "terminal", 7, true);
    if (!isTerminalKey(beat.terminal)) {
        refuse(QStringLiteral("\"terminal\" deve ter 7 dígitos"));
    }
    beat.version = text(object, "version", MaxVersion, true);
    beat.state = text(object, "state", MaxDetail, true);
    if (!kioskStates().contains(beat.state)) {
        refuse(QStringLiteral("\"state\" desconhecido"));
    }
    beat.detail = text(object, "detail", MaxDetail, false);
    beat.since = QDateTime::fromString(text(object, "since", 30, true), Qt::ISODate);
    if (!beat.since.isValid()) {
        refuse(QStringLiteral("\"since\" deve ser uma data-hora ISO 8601"));
    }
    const QJsonValue consultations = object.value(QLatin1String("consultations"));
    if (!consultations.isDouble() || consultations.toDouble() < 0 || consultations.toDouble() > 1e9) {
        refuse(QStringLiteral("\"consultations\" deve ser um número de 0 em diante"));
    }
    beat.consultations = consultations.toInt();
    beat.lastError = text(object, "lastError", MaxError, false);
    return beat;
}
