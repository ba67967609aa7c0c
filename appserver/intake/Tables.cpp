#include "intake/Tables.h"

namespace intake {

namespace {

using Type = Column::Type;

Column text(const char* name, int width) {
    return {QString::fromLatin1(name), Type::Text, width};
}

// A text column the schema fills with a default when the file leaves it out.
Column optionalText(const char* name, int width) {
    Column column = text(name, width);
    column.required = false;
    return column;
}

Column choice(const char* name, const char* choices, bool required = true) {
    Column column = text(name, 1);
    column.choices = QString::fromLatin1(choices);
    column.required = required;
    return column;
}

Column integer(const char* name, bool required = true) {
    return {QString::fromLatin1(name), Type::Integer, 0, 0, required};
}

Column decimal(const char* name, int scale, bool required = true) {
    return {QString::fromLatin1(name), Type::Decimal, 12, scale, required};
}

Column timestamp(const char* name) {
    return {QString::fromLatin1(name), Type::Timestamp};
}

QStringList names(std::initializer_list<const char*> list) {
    QStringList result;
    for (const char* name : list) {
        result.append(QString::fromLatin1(name));
    }
    return result;
}

Reference reference(std::initializer_list<const char*> columns, const char* table,
                    std::initializer_list<const char*> parentColumns, const char* what) {
    return {names(columns), QString::fromLatin1(table), names(parentColumns), QString::fromLatin1(what)};
}

Reference branch() {
    return reference({"CDFILIAL"}, "FILIAL", {"CDFILIAL"}, "branch");
}

Reference consumer() {
    return reference({"CDCLIENTE", "CDCONSUMIDOR"}, "CONSUMIDOR", {"CDCLIENTE", "CDCONSUMIDOR"}, "consumer");
}

Reference sale() {
    return reference({"CDFILIAL", "NRSEQVENDA"}, "VENDA", {"CDFILIAL", "NRSEQVENDA"}, "sale");
}

QList<Table> describeTables() {
    Column saleOfMovement = text("NRSEQVENDA", 10);
    saleOfMovement.required = false;
    saleOfMovement.nullable = true;
    return {
        {QStringLiteral("FILIAL"),
         {text("CDFILIAL", 4), text("NMFILIAL", 50), integer("NRPOSINICONS", false),
          integer("NRPOSFINCONS", false)},
         names({"CDFILIAL"}),
         {},
         {}},
        {QStringLiteral("CAIXA"),
         {text("CDFILIAL", 4), text("CDCAIXA", 3), text("NMCAIXA", 30), optionalText("DSMSGINITOT", 200),
          optionalText("DSMSGADITOT", 200), optionalText("NRDIAINITOT", 2), optionalText("NRDIAFINTOT", 2),
          optionalText("NRSEGFECTOT", 5), optionalText("IDEXIMSGSAL", 1), optionalText("IDTIPEXTTOT", 1),
          optionalText("CDGRUPPROD", 10), optionalText("DSFUNDOTELA", 200), optionalText("IDSELLOJTOT", 20),
          optionalText("IDINFCLIECAI", 1), optionalText("DSMSGCONTOT", 200)},
         names({"CDFILIAL", "CDCAIXA"}),
         {},
         {branch()}},
        {QStringLiteral("CLIENTE"),
         {text("CDCLIENTE", 21), text("NMCLIENTE", 50), decimal("VRLIMSUBCONS", 2, false)},
         names({"CDCLIENTE"}),
         {},
         {}},
        {QStringLiteral("CONSUMIDOR"),
         {text("CDCLIENTE", 21), text("CDCONSUMIDOR", 21), text("NMCONSUMIDOR", 50), text("CDCRACHA", 21),
          choice("IDATIVO", "SN", false)},
         names({"CDCLIENTE", "CDCONSUMIDOR"}),
         {names({"CDCONSUMIDOR"}), names({"CDCRACHA"})},
         {reference({"CDCLIENTE"}, "CLIENTE", {"CDCLIENTE"}, "client company")}},
        {QStringLiteral("LOJA"),
         {text("CDFILIAL", 4), text("CDLOJA", 10), text("NMLOJA", 50)},
         names({"CDFILIAL", "CDLOJA"}),
         {},
         {branch()}},
        {QStringLiteral("GRUPPROD"),
         {text("CDGRUPPROD", 10), text("NMGRUPPROD", 40)},
         names({"CDGRUPPROD"}),
         {},
         {}},
        {QStringLiteral("SUBGRPROD"),
         {text("CDSUBGRPROD", 10), text("NMSUBGRPROD", 40), text("CDGRUPPROD", 10)},
         names({"CDSUBGRPROD"}),
         {},
         {reference({"CDGRUPPROD"}, "GRUPPROD", {"CDGRUPPROD"}, "product group")}},
        {QStringLiteral("PRODUTO"),
         {text("CDPRODUTO", 10), text("NMPRODUTO", 50), text("CDSUBGRPROD", 10), text("CDARVPROD", 20)},
         names({"CDPRODUTO"}),
         {},
         {reference({"CDSUBGRPROD"}, "SUBGRPROD", {"CDSUBGRPROD"}, "product sub-group")}},
        {QStringLiteral("VENDA"),
         {text("CDFILIAL", 4), text("NRSEQVENDA", 10), text("CDCAIXA", 3), text("CDLOJA", 10),
          text("CDCLIENTE", 21), text("CDCONSUMIDOR", 21), timestamp("DTENTRVENDA"),
          choice("IDSITUVENDA", "AX")},
         names({"CDFILIAL", "NRSEQVENDA"}),
         {},
         {consumer(), reference({"CDFILIAL", "CDLOJA"}, "LOJA", {"CDFILIAL", "CDLOJA"}, "store")}},
        {QStringLiteral("ITVENDA"),
         {text("CDFILIAL", 4), text("NRSEQVENDA", 10), integer("NRSEQITVEND"), text("CDPRODUTO", 10),
          decimal("QTPRODVEND", 3), decimal("VRUNITVEND", 2), decimal("VRUNITVENDCL", 2)},
         names({"CDFILIAL", "NRSEQVENDA", "NRSEQITVEND"}),
         {},
         {sale(), reference({"CDPRODUTO"}, "PRODUTO", {"CDPRODUTO"}, "product")}},
        {QStringLiteral("MOVCLIE"),
         {text("CDFILIAL", 4),
          {QStringLiteral("NRSEQMOVCLI"), Type::BigInteger},
          text("CDCLIENTE", 21),
          text("CDCONSUMIDOR", 21),
          timestamp("DTMOVCLI"),
          choice("IDTIPMOCVLI", "CDAX"),
          decimal("VRMOVCLI", 2),
          decimal("VRSALDOCONS", 2),
          saleOfMovement},
         names({"CDFILIAL", "NRSEQMOVCLI"}),
         {},
         {branch(), consumer(), sale()}},
    };
}

}  // namespace

const Column* Table::column(const QString& wanted) const {
    for (const Column& candidate : columns) {
        if (candidate.name == wanted) {
            return &candidate;
        }
    }
    return nullptr;
}

bool Table::needsValue(const Column& wanted) const {
    if (wanted.nullable) {
        return false;
    }
    if (key.contains(wanted.name)) {
        return true;
    }
    for (const QStringList& unique : uniques) {
        if (unique.contains(wanted.name)) {
            return true;
        }
    }
    for (const Reference& reference : references) {
        if (reference.columns.contains(wanted.name)) {
            return true;
        }
    }
    return false;
}

const QList<Table>& tables() {
    static const QList<Table> described = describeTables();
    return described;
}

}  // namespace intake
