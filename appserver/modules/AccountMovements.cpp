#include "modules/AccountMovements.h"

#include "store/Database.h"
#include "modules/Module.h"
#include "modules/Packets.h"
#include "modules/Period.h"

Answer accountMovements(MethodContext& call) {
    const Period period{call.dateText(3), call.dateText(4)};
    QSqlQuery& query =
        call.db().run(QStringLiteral("SELECT CDCLIENTE, CDCONSUMIDOR, IDTIPMOCVLI, VRMOVCLI, DTMOVCLI, "
                                     "VRSALDOCONS FROM MOVCLIE "
                                     "WHERE CDCLIENTE = ? AND CDCONSUMIDOR = ? AND CDFILIAL = ? "
                                     "AND DTMOVCLI >= ? AND DTMOVCLI < ? "
                                     "ORDER BY DTMOVCLI, NRSEQMOVCLI"),
                      {call.text(1), call.text(2), call.text(0), period.from(), period.until()});
    return packetFromQuery(
        {stringField(QStringLiteral("CDCLIENTE"), 21), stringField(QStringLiteral("CDCONSUMIDOR"), 21),
         stringField(QStringLiteral("IDTIPMOCVLI"), 1), floatField(QStringLiteral("VRMOVCLI")),
         dateTimeField(QStringLiteral("DTMOVCLI")), floatField(QStringLiteral("VRSALDOCONS"))},
        query);
}
