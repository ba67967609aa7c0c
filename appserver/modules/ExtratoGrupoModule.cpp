// Qvr.rdmExtratoGrupo: the group statement's product lines and their sub-groups.
#include "modules/Module.h"
#include "modules/Packets.h"
#include "modules/Period.h"
#include "server/Answers.h"
#include "store/Database.h"

#include <map>

namespace {

struct SubGroupTotals {
    QString name;
    double employee = 0;
    double subsidised = 0;
};

// The filters are fixed SQL fragments chosen by whether a value was given; the values themselves are
// always bound, never written into the text.
QString productLinesSql(bool byGroup, bool byStore) {
    QString sql = QStringLiteral(
        "SELECT V.DTENTRVENDA, S.CDSUBGRPROD, P.CDPRODUTO, P.NMPRODUTO, I.VRUNITVEND, "
        "I.VRUNITVENDCL, I.QTPRODVEND, S.NMSUBGRPROD "
        "FROM VENDA V JOIN ITVENDA I "
        "ON I.CDFILIAL = V.CDFILIAL AND I.NRSEQVENDA = V.NRSEQVENDA "
        "JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO "
        "JOIN SUBGRPROD S ON S.CDSUBGRPROD = P.CDSUBGRPROD "
        "WHERE V.CDCLIENTE = ? AND V.CDCONSUMIDOR = ? AND V.CDFILIAL = ? "
        "AND V.DTENTRVENDA >= ? AND V.DTENTRVENDA < ? AND V.IDSITUVENDA = 'A'");
    if (byGroup) {
        sql += QStringLiteral(" AND S.CDGRUPPROD = ?");
    }
    if (byStore) {
        sql += QStringLiteral(" AND V.CDLOJA = ?");
    }
    return sql + QStringLiteral(" ORDER BY V.DTENTRVENDA, V.NRSEQVENDA, I.NRSEQITVEND");
}

DataPacket subGroupPacket(const std::map<QString, SubGroupTotals>& totals) {
    DataPacket packet{answers::subGroups(), {}};
    for (const auto& [code, subGroup] : totals) {
        const double employee = roundedTo(subGroup.employee, 2);
        const double subsidised = roundedTo(subGroup.subsidised, 2);
        packet.rows.append({code, subGroup.name, employee, subsidised, roundedTo(employee + subsidised, 2)});
    }
    return packet;
}

// Every line of the consumer's purchases (sales not cancelled) at the branch in the period, restricted to
// the product group CDGRUPPROD unless it is empty and to one store unless the store code is empty or "T"
// (all stores), oldest first; then the sub-groups of those lines, by code, with their amounts.
Answer getProdutos(MethodContext& call) {
    const QString group = call.text(3);
    const QString store = call.text(6);
    const Period period{call.dateOfDateTime(4), call.dateOfDateTime(5)};
    const bool byGroup = !group.isEmpty();
    const bool byStore = !store.isEmpty() && store != QLatin1String("T");
    QVariantList values{call.text(1), call.text(2), call.text(0), period.from(), period.until()};
    if (byGroup) {
        values.append(group);
    }
    if (byStore) {
        values.append(store);
    }
    QSqlQuery& query = call.db().run(productLinesSql(byGroup, byStore), values);

    DataPacket lines{answers::productLines(), {}};
    std::map<QString, SubGroupTotals> subGroups;
    while (query.next()) {
        const QString subGroup = query.value(1).toString();
        const double employeePrice = query.value(4).toDouble();
        const double subsidisedPrice = query.value(5).toDouble();
        const double quantity = query.value(6).toDouble();
        lines.rows.append({fieldValue(query.value(0), FieldType::DateTime), subGroup,
                           query.value(2).toString(), query.value(3).toString(), employeePrice,
                           subsidisedPrice, quantity,
                           roundedTo(quantity * (employeePrice + subsidisedPrice), 2)});
        SubGroupTotals& totals = subGroups[subGroup];
        totals.name = query.value(7).toString();
        totals.employee += quantity * employeePrice;
        totals.subsidised += quantity * subsidisedPrice;
    }
    return QList<DataPacket>{lines, subGroupPacket(subGroups)};
}

}  // namespace

const Module& extratoGrupoModule() {
    using namespace arguments;
    static const Module module{QStringLiteral("Qvr.rdmExtratoGrupo"),
                               QStringLiteral("{8E93B7A1-5C24-4D6F-A0B8-3F17E2C94D65}"),
                               {{QStringLiteral("getProdutos"),
                                 {branch(),
                                  client(),
                                  consumer(),
                                  {QStringLiteral("CDGRUPPROD"), ArgumentKind::Text, 10},
                                  startMoment(),
                                  endMoment(),
                                  {QStringLiteral("Loja"), ArgumentKind::Text, 10}},
                                 &getProdutos,
                                 0}}};
    return module;
}
