#include "fleet/FleetView.h"

#include "store/Database.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

constexpr qint64 StuckSeconds = 5 * 60;
constexpr qint64 RecentSeconds = 5 * 60;
constexpr int RefreshSeconds = 30;

// Date-times of the fleet's table are UTC wall-clock times.
QDateTime utc(const QVariant& value) {
    const QDateTime read = value.typeId() == QMetaType::QDateTime
                               ? value.toDateTime()
                               : QDateTime::fromString(value.toString(), Qt::ISODate);
    return read.isValid() ? QDateTime(read.date(), read.time(), Qt::UTC) : QDateTime();
}

FleetEntry entryOf(const QSqlQuery& row, const QDateTime& now, std::chrono::seconds heartbeatPeriod) {
    FleetEntry entry;
    entry.branch = row.value(0).toString();
    entry.registerCode = row.value(1).toString();
    entry.known = !row.value(2).isNull();
    entry.name = row.value(2).toString();
    entry.lastSeen = utc(row.value(3));
    entry.seen = entry.lastSeen.isValid();
    entry.address = row.value(4).toString();
    entry.version = row.value(5).toString();
    entry.state = row.value(6).toString();
    entry.detail = row.value(7).toString();
    entry.stateSince = utc(row.value(8));
    entry.lastError = row.value(9).toString();
    entry.consultationsToday =
        row.value(10).toString() == QDate::currentDate().toString(Qt::ISODate) ? row.value(11).toInt() : 0;
    entry.stale = entry.seen && entry.lastSeen.secsTo(now) > 3 * heartbeatPeriod.count();
    entry.stuck = !entry.stale && entry.state == QLatin1String("error") && entry.stateSince.isValid() &&
                  entry.stateSince.secsTo(now) > StuckSeconds;
    return entry;
}

// "há 3 min": how long ago, roughly.
QString ago(const QDateTime& moment, const QDateTime& now) {
    if (!moment.isValid()) {
        return QStringLiteral("nunca");
    }
    const qint64 seconds = std::max<qint64>(moment.secsTo(now), 0);
    if (seconds < 60) {
        return QStringLiteral("há %1 s").arg(seconds);
    }
    if (seconds < 3600) {
        return QStringLiteral("há %1 min").arg(seconds / 60);
    }
    if (seconds < 86400) {
        return QStringLiteral("há %1 h").arg(seconds / 3600);
    }
    return QStringLiteral("há %1 dias").arg(seconds / 86400);
}

QString stateText(const FleetEntry& entry) {
    static const QHash<QString, QString> names{
        {QStringLiteral("starting"), QStringLiteral("iniciando")},
        {QStringLiteral("waiting"), QStringLiteral("aguardando consumidor")},
        {QStringLiteral("statement"), QStringLiteral("mostrando extrato")},
        {QStringLiteral("store-list"), QStringLiteral("lista de lojas")},
        {QStringLiteral("message"), QStringLiteral("mensagem na tela")},
        {QStringLiteral("error"), QStringLiteral("erro na tela")},
        {QStringLiteral("setup"), QStringLiteral("configuração")}};
    const QString name = names.value(entry.state, entry.seen ? QStringLiteral("sem batimento") : QString());
    return entry.detail.isEmpty() ? name : QStringLiteral("%1: %2").arg(name, entry.detail);
}

QString situation(const FleetEntry& entry) {
    if (!entry.seen) {
        return QStringLiteral("nunca visto");
    }
    if (entry.stale) {
        return QStringLiteral("sem sinal");
    }
    if (entry.seen && !entry.known) {
        return QStringLiteral("caixa desconhecido");
    }
    return entry.stuck ? QStringLiteral("preso em erro") : QStringLiteral("ok");
}

int rank(const FleetEntry& entry) {
    return entry.needsLook() ? 0 : entry.seen ? 1 : 2;
}

}  // namespace

QList<FleetEntry> readFleet(Connection& db, const QDateTime& now, std::chrono::seconds heartbeatPeriod) {
    const QString columns = QStringLiteral(
        "T.DTULTVISTO, T.DSENDERECO, T.DSVERSAO, T.DSESTADO, T.DSDETALHE, T.DTESTADO, T.DSULTERRO, "
        "T.DTCONSULTAS, T.QTCONSULTAS");
    QSqlQuery& rows = db.run(
        QStringLiteral("SELECT C.CDFILIAL, C.CDCAIXA, C.NMCAIXA, %1 FROM CAIXA C LEFT JOIN TOTEM T "
                       "ON T.CDFILIAL = C.CDFILIAL AND T.CDCAIXA = C.CDCAIXA "
                       "UNION ALL SELECT T.CDFILIAL, T.CDCAIXA, NULL, %1 FROM TOTEM T WHERE NOT EXISTS "
                       "(SELECT 1 FROM CAIXA C WHERE C.CDFILIAL = T.CDFILIAL AND C.CDCAIXA = T.CDCAIXA)")
            .arg(columns));
    QList<FleetEntry> fleet;
    while (rows.next()) {
        fleet.append(entryOf(rows, now, heartbeatPeriod));
    }
    rows.finish();
    std::stable_sort(fleet.begin(), fleet.end(), [](const FleetEntry& a, const FleetEntry& b) {
        return std::tuple(rank(a), a.branch, a.registerCode) < std::tuple(rank(b), b.branch, b.registerCode);
    });
    return fleet;
}

FleetCounts countFleet(const QList<FleetEntry>& fleet, const QDateTime& now) {
    FleetCounts counts;
    for (const FleetEntry& entry : fleet) {
        counts.seenRecently += entry.seen && entry.lastSeen.secsTo(now) <= RecentSeconds ? 1 : 0;
        counts.stale += entry.stale ? 1 : 0;
        counts.onErrorBox += !entry.stale && entry.state == QLatin1String("error") ? 1 : 0;
        counts.stuck += entry.stuck ? 1 : 0;
        counts.unknownRegisters += entry.seen && !entry.known ? 1 : 0;
    }
    return counts;
}

QByteArray fleetJson(const QList<FleetEntry>& fleet, const QDateTime& now) {
    QJsonArray entries;
    for (const FleetEntry& entry : fleet) {
        entries.append(QJsonObject{
            {QStringLiteral("branch"), entry.branch},
            {QStringLiteral("register"), entry.registerCode},
            {QStringLiteral("name"), entry.name},
            {QStringLiteral("known"), entry.known},
            {QStringLiteral("situation"), situation(entry)},
            {QStringLiteral("lastSeen"), entry.seen ? entry.lastSeen.toString(Qt::ISODate) : QJsonValue()},
            {QStringLiteral("address"), entry.address},
            {QStringLiteral("version"), entry.version},
            {QStringLiteral("state"), entry.state},
            {QStringLiteral("detail"), entry.detail},
            {QStringLiteral("stateSince"),
             entry.stateSince.isValid() ? entry.stateSince.toString(Qt::ISODate) : QJsonValue()},
            {QStringLiteral("lastError"), entry.lastError},
            {QStringLiteral("consultationsToday"), entry.consultationsToday},
            {QStringLiteral("stale"), entry.stale},
            {QStringLiteral("stuck"), entry.stuck}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("generatedAt"), now.toString(Qt::ISODate)},
                                     {QStringLiteral("terminals"), entries}})
        .toJson(QJsonDocument::Compact);
}

QByteArray fleetPage(const QList<FleetEntry>& fleet, const QDateTime& now) {
    QString rows;
    for (const FleetEntry& entry : fleet) {
        const QString kind = entry.needsLook() ? QStringLiteral("look") : entry.seen ? QStringLiteral("ok")
                                                                                      : QStringLiteral("never");
        const QString shown = entry.stateSince.isValid()
                                  ? QStringLiteral("%1 <span class=\"when\">(%2)</span>")
                                        .arg(stateText(entry).toHtmlEscaped(), ago(entry.stateSince, now))
                                  : stateText(entry).toHtmlEscaped();
        rows += QStringLiteral("<tr class=\"%1\" data-terminal=\"%2%3\"><td>%2</td><td>%3</td><td>%4</td>"
                               "<td class=\"situation\">%5</td><td>%6</td><td class=\"when\">%7</td><td>%8</td>"
                               "<td>%9</td>")
                    .arg(kind, entry.branch.toHtmlEscaped(), entry.registerCode.toHtmlEscaped(),
                         entry.name.toHtmlEscaped(), situation(entry), shown, ago(entry.lastSeen, now),
                         entry.version.toHtmlEscaped(), entry.lastError.toHtmlEscaped()) +
                QStringLiteral("<td class=\"number\">%1</td></tr>\n").arg(entry.consultationsToday);
    }
    const int needLook = static_cast<int>(std::count_if(fleet.begin(), fleet.end(),
                                                        [](const FleetEntry& entry) { return entry.needsLook(); }));
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"pt-BR\"><head><meta charset=\"utf-8\">"
               "<meta http-equiv=\"refresh\" content=\"%1\"><title>Terminais de Consulta</title><style>"
               "body{font-family:sans-serif;margin:1.5em;color:#1b1f3a;background:#f4f5f7}"
               "h1{font-size:1.4em;margin:0 0 .2em}p{margin:.2em 0 1em;color:#555}"
               "table{border-collapse:collapse;width:100%;background:#fff}"
               "th,td{padding:.35em .6em;border-bottom:1px solid #dde;text-align:left;font-size:.92em}"
               "th{background:#1b1f3a;color:#fff}td.number{text-align:right}"
               "tr.look td{background:#fde2e1}tr.look td.situation{color:#a4161a;font-weight:bold}"
               "tr.never td{color:#999}.when{white-space:nowrap;color:#555}</style></head><body>"
               "<h1>Terminais de Consulta</h1><p id=\"summary\">%2 terminais, %3 pedem atenção. "
               "Atualizado em %4 UTC; a página se atualiza a cada %1 s.</p>"
               "<table><thead><tr><th>Filial</th><th>Caixa</th><th>Nome</th><th>Situação</th><th>Tela</th>"
               "<th>Visto</th><th>Versão</th><th>Último erro</th><th>Consultas hoje</th></tr></thead>"
               "<tbody>%5</tbody></table></body></html>\n")
        .arg(RefreshSeconds)
        .arg(fleet.size())
        .arg(needLook)
        .arg(now.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), rows)
        .toUtf8();
}
