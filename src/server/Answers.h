#pragma once

#include "server/DataPacket.h"

// The fields of each table the application server answers, in the order it writes them. The module that
// writes a packet and the screen that declares what it loads read the same list, so the two cannot drift.
namespace answers {

const QList<FieldDef>& registerParameters();  // the register's parameters (getParametrosCx)
const QList<FieldDef>& codePositions();       // where the consumer code lies in a badge (getParaVend)
const QList<FieldDef>& consumer();            // getConsumidor
const QList<FieldDef>& balances();            // getSaldo
const QList<FieldDef>& stores();              // the stores a consumer may choose (getLoja)
const QList<FieldDef>& accountMovements();    // getMoviClie, on both statements of movements
const QList<FieldDef>& purchases();           // the detailed statement's purchases (getProduto)
const QList<FieldDef>& subGroups();           // the group statement's sub-group totals
const QList<FieldDef>& productLines();        // the group statement's product lines

}  // namespace answers
