// Qvr.rdmTerminalCons: what the consultation terminal asks before and while it serves a consumer.
#include "modules/Module.h"
#include "modules/Packets.h"
#include "modules/Period.h"
#include "server/Answers.h"
#include "store/Database.h"

namespace {

Answer getParametrosCx(MethodContext& call) {
    QSqlQuery& query =
        call.db().run(QStringLiteral("SELECT DSMSGINITOT, DSMSGADITOT, NRDIAINITOT, NRDIAFINTOT, "
                                     "NRSEGFECTOT, IDEXIMSGSAL, IDTIPEXTTOT, "
                                     "CDGRUPPROD, DSFUNDOTELA, IDSELLOJTOT, IDINFCLIECAI, DSMSGCONTOT "
                                     "FROM CAIXA WHERE CDFILIAL = ? AND CDCAIXA = ?"),
                      {call.text(1), call.text(0)});
    return packetFromQuery(answers::registerParameters(), query);
}

Answer getParaVend(MethodContext& call) {
    QSqlQuery& query = call.db().run(
        QStringLiteral("SELECT NRPOSINICONS, NRPOSFINCONS FROM FILIAL WHERE CDFILIAL = ?"), {call.text(0)});
    return packetFromQuery(answers::codePositions(), query);
}

// Flag "S": the register read a badge, so the code is the badge number (cut from the badge's track when
// the branch says so). Any other flag: the code is the consumer code. Only active consumers are found.
Answer getConsumidor(MethodContext& call) {
    const bool badge = call.text(1) == QLatin1String("S");
    const QString sql = badge ? QStringLiteral(
                                    "SELECT CDCLIENTE, NMCONSUMIDOR, CDCONSUMIDOR FROM CONSUMIDOR "
                                    "WHERE CDCRACHA = ? AND IDATIVO = 'S'")
                              : QStringLiteral(
                                    "SELECT CDCLIENTE, NMCONSUMIDOR, CDCONSUMIDOR FROM CONSUMIDOR "
                                    "WHERE CDCONSUMIDOR = ? AND IDATIVO = 'S'");
    QSqlQuery& query = call.db().run(sql, {call.text(0)});
    return packetFromQuery(answers::consumer(), query);
}

// The consumer's account balance: the balance after the last movement at the branch up to the end of
// the period; none yet reads as 0.
double personalBalance(Connection& db, const QString& branch, const QString& client, const QString& consumer,
                       const Period& period) {
    QSqlQuery& query =
        db.run(QStringLiteral("SELECT VRSALDOCONS FROM MOVCLIE "
                              "WHERE CDCLIENTE = ? AND CDCONSUMIDOR = ? AND CDFILIAL = ? "
                              "AND DTMOVCLI < ? ORDER BY DTMOVCLI DESC, NRSEQMOVCLI DESC LIMIT 1"),
               {client, consumer, branch, period.until()});
    return query.next() ? query.value(0).toDouble() : 0.0;
}

// What the employer still pays in the period: the company's allowance per consumer less the subsidised
// part of the consumer's purchases at the branch in the period (cancelled sales do not count).
double companyBalance(Connection& db, double allowance, const QString& branch, const QString& client,
                      const QString& consumer, const Period& period) {
    QSqlQuery& query =
        db.run(QStringLiteral("SELECT COALESCE(SUM(I.QTPRODVEND * I.VRUNITVENDCL), 0) "
                              "FROM VENDA V JOIN ITVENDA I "
                              "ON I.CDFILIAL = V.CDFILIAL AND I.NRSEQVENDA = V.NRSEQVENDA "
                              "WHERE V.CDCLIENTE = ? AND V.CDCONSUMIDOR = ? AND V.CDFILIAL = ? "
                              "AND V.DTENTRVENDA >= ? AND V.DTENTRVENDA < ? AND V.IDSITUVENDA = 'A'"),
               {client, consumer, branch, period.from(), period.until()});
    query.next();
    return roundedTo(allowance - query.value(0).toDouble(), 2);
}

Answer getSaldo(MethodContext& call) {
    const QString branch = call.text(0);
    const QString client = call.text(1);
    const QString consumer = call.text(2);
    const Period period{call.dateText(3), call.dateText(4)};
    QSqlQuery& allowance = call.db().run(QStringLiteral("SELECT C.VRLIMSUBCONS FROM CONSUMIDOR N "
                                                        "JOIN CLIENTE C ON C.CDCLIENTE = N.CDCLIENTE "
                                                        "WHERE N.CDCLIENTE = ? AND N.CDCONSUMIDOR = ?"),
                                         {client, consumer});
    if (!allowance.next()) {
        throw MethodFailure(QStringLiteral("Consumidor não cadastrado."));
    }
    DataPacket packet{answers::balances(), {}};
    packet.rows.append(
        {personalBalance(call.db(), branch, client, consumer, period),
         companyBalance(call.db(), allowance.value(0).toDouble(), branch, client, consumer, period)});
    return packet;
}

// The stores of the branch where the consumer has purchases (not cancelled) in the period, by name.
Answer getLoja(MethodContext& call) {
    const Period period{call.dateOfDateTime(1), call.dateOfDateTime(2)};
    QSqlQuery& query = call.db().run(
        QStringLiteral("SELECT L.CDFILIAL, L.CDLOJA, L.NMLOJA, ?, ? FROM LOJA L "
                       "WHERE L.CDFILIAL = ? AND EXISTS (SELECT 1 FROM VENDA V "
                       "WHERE V.CDCLIENTE = ? AND V.CDCONSUMIDOR = ? AND V.CDFILIAL = L.CDFILIAL "
                       "AND V.DTENTRVENDA >= ? AND V.DTENTRVENDA < ? AND V.IDSITUVENDA = 'A' "
                       "AND V.CDLOJA = L.CDLOJA) "
                       "ORDER BY L.NMLOJA, L.CDLOJA"),
        {call.text(3), call.text(4), call.text(0), call.text(3), call.text(4), period.from(),
         period.until()});
    return packetFromQuery(answers::stores(), query);
}

}  // namespace

const Module& terminalConsModule() {
    using namespace arguments;
    static const Module module{
        QStringLiteral("Qvr.rdmTerminalCons"),
        QStringLiteral("{6B1F0C52-3D8E-4A57-9C21-5E0A7D4B9F10}"),
        {{QStringLiteral("getParametrosCx"), {registerCode(), branch()}, &getParametrosCx, 1, 0},
         {QStringLiteral("getParaVend"), {branch()}, &getParaVend, 0},
         {QStringLiteral("getConsumidor"),
          {{QStringLiteral("Consumidor"), ArgumentKind::Text, 21, true},
           {QStringLiteral("Crachá"), ArgumentKind::Text, 1}},
          &getConsumidor},
         {QStringLiteral("getSaldo"), {branch(), client(), consumer(), startText(), endText()}, &getSaldo, 0},
         {QStringLiteral("getLoja"),
          {branch(), startMoment(), endMoment(), client(), consumer()},
          &getLoja,
          0}}};
    return module;
}
