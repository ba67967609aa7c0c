#include "server/Answers.h"

namespace {

FieldDef text(const char* name, int size) {
    return {QString::fromLatin1(name), FieldType::String, size};
}
FieldDef number(const char* name) {
    return {QString::fromLatin1(name), FieldType::Float, 0};
}
FieldDef moment(const char* name) {
    return {QString::fromLatin1(name), FieldType::DateTime, 0};
}

}  // namespace

namespace answers {

const QList<FieldDef>& registerParameters() {
    static const QList<FieldDef> fields{
        text("DSMSGINITOT", 200), text("DSMSGADITOT", 200), text("NRDIAINITOT", 2),
        text("NRDIAFINTOT", 2),   text("NRSEGFECTOT", 5),   text("IDEXIMSGSAL", 1),
        text("IDTIPEXTTOT", 1),   text("CDGRUPPROD", 10),   text("DSFUNDOTELA", 200),
        text("IDSELLOJTOT", 20),  text("IDINFCLIECAI", 1),  text("DSMSGCONTOT", 200)};
    return fields;
}

const QList<FieldDef>& codePositions() {
    static const QList<FieldDef> fields{number("NRPOSINICONS"), number("NRPOSFINCONS")};
    return fields;
}

const QList<FieldDef>& consumer() {
    static const QList<FieldDef> fields{text("CDCLIENTE", 21), text("NMCONSUMIDOR", 50),
                                        text("CDCONSUMIDOR", 21)};
    return fields;
}

const QList<FieldDef>& balances() {
    static const QList<FieldDef> fields{number("VRSALDPECONS"), number("VRSALDOCONS")};
    return fields;
}

const QList<FieldDef>& stores() {
    static const QList<FieldDef> fields{text("CDFILIAL", 4), text("CDLOJA", 10), text("NMLOJA", 50),
                                        text("CDCLIENTE", 21), text("CDCONSUMIDOR", 21)};
    return fields;
}

const QList<FieldDef>& accountMovements() {
    static const QList<FieldDef> fields{text("CDCLIENTE", 21),  text("CDCONSUMIDOR", 21),
                                        text("IDTIPMOCVLI", 1), number("VRMOVCLI"),
                                        moment("DTMOVCLI"),     number("VRSALDOCONS")};
    return fields;
}

const QList<FieldDef>& purchases() {
    static const QList<FieldDef> fields{moment("DTVENDA"),     number("QTPRODVEND"),   number("VRUNITVEND"),
                                        number("VRTOTVEND"),   text("NRSEQVENDA", 10), text("CDPRODUTO", 10),
                                        text("CDARVPROD", 20), text("NMPRODUTO", 50)};
    return fields;
}

const QList<FieldDef>& subGroups() {
    static const QList<FieldDef> fields{text("CDSUBGRPROD", 10), text("NMSUBGRPROD", 40), number("VRFUNC"),
                                        number("VRSUBS"), number("VRTOTAL")};
    return fields;
}

const QList<FieldDef>& productLines() {
    static const QList<FieldDef> fields{
        moment("DTENTRVENDA"), text("CDSUBGRPROD", 10), text("CDPRODUTO", 10), text("NMPRODUTO", 50),
        number("VRUNITVEND"),  number("VRUNITVENDCL"),  number("QTPRODVEND"),  number("VRTOTAL")};
    return fields;
}

}  // namespace answers
