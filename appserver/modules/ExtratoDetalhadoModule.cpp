// Qvr.rdmExtratoDetalhado: the detailed statement's account movements and purchases.
#include "modules/AccountMovements.h"
#include "modules/Module.h"
#include "modules/Packets.h"
#include "modules/Period.h"
#include "server/Answers.h"
#include "store/Database.h"

namespace {

// The consumer's purchases (lines of sales not cancelled) at any store of the branch in the period,
// oldest first; the prices are the employee's, the part charged to the consumer's account. The register
// code names the asking terminal and restricts nothing.
Answer GetProduto(MethodContext& call) {
    const Period period{call.dateText(4), call.dateText(5)};
    QSqlQuery& query =
        call.db().run(QStringLiteral("SELECT V.DTENTRVENDA, I.QTPRODVEND, I.VRUNITVEND, V.NRSEQVENDA, "
                                     "P.CDPRODUTO, P.CDARVPROD, P.NMPRODUTO "
                                     "FROM VENDA V JOIN ITVENDA I "
                                     "ON I.CDFILIAL = V.CDFILIAL AND I.NRSEQVENDA = V.NRSEQVENDA "
                                     "JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO "
                                     "WHERE V.CDCLIENTE = ? AND V.CDCONSUMIDOR = ? AND V.CDFILIAL = ? "
                                     "AND V.DTENTRVENDA >= ? AND V.DTENTRVENDA < ? "
                                     "AND V.IDSITUVENDA = 'A' "
                                     "ORDER BY V.DTENTRVENDA, V.NRSEQVENDA, I.NRSEQITVEND"),
                      {call.text(2), call.text(3), call.text(0), period.from(), period.until()});
    DataPacket packet{answers::purchases(), {}};
    while (query.next()) {
        const double quantity = query.value(1).toDouble();
        const double unitPrice = query.value(2).toDouble();
        packet.rows.append({fieldValue(query.value(0), FieldType::DateTime), quantity, unitPrice,
                            roundedTo(quantity * unitPrice, 2), query.value(3).toString(),
                            query.value(4).toString(), query.value(5).toString(), query.value(6).toString()});
    }
    return packet;
}

}  // namespace

const Module& extratoDetalhadoModule() {
    using namespace arguments;
    static const Module module{QStringLiteral("Qvr.rdmExtratoDetalhado"),
                               QStringLiteral("{3A6445E3-6B74-407B-BF73-EE033494058A}"),
                               {{QStringLiteral("GetMoviClie"),
                                 {branch(), client(), consumer(), startText(), endText()},
                                 &accountMovements,
                                 0},
                                {QStringLiteral("GetProduto"),
                                 {branch(), registerCode(), client(), consumer(), startText(), endText()},
                                 &GetProduto,
                                 0,
                                 1}}};
    return module;
}
