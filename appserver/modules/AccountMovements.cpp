#include "modules/AccountMovements.h"

#include "modules/Module.h"
#include "modules/Packets.h"
#include "modules/Period.h"
#include "server/Answers.h"
#include "store/Database.h"

Answer accountMovements(MethodContext& call) {
    const Period period{call.dateText(3), call.dateText(4)};
    QSqlQuery& query =
        call.db().run(QStringLiteral("SELECT CDCLIENTE, CDCONSUMIDOR, IDTIPMOCVLI, VRMOVCLI, DTMOVCLI, "
                                     "VRSALDOCONS FROM MOVCLIE "
                                     "WHERE CDCLIENTE = ? AND CDCONSUMIDOR = ? AND CDFILIAL = ? "
                                     "AND DTMOVCLI >= ? AND DTMOVCLI < ? "
                                     "ORDER BY DTMOVCLI, NRSEQMOVCLI"),
                      {call.text(1), call.text(2), call.text(0), period.from(), period.until()});
    return packetFromQuery(answers::accountMovements(), query);
}
