#include "statements/SubGroupTotals.h"

#include "server/Answers.h"
#include "server/ClientDataSet.h"
#include "server/FilterExpression.h"

#include <cmath>
#include <tuple>

namespace {

struct SubGroupSums {
    double employee = 0;
    double subsidised = 0;

    // Compared in cents, so that the rounding noise of a sum that is zero never lists it.
    bool isPositive() const { return std::llround((employee + subsidised) * 100) > 0; }
};

SubGroupSums sumLines(TClientDataSet& products) {
    const TField& quantity = products.FieldByName(QStringLiteral("QTPRODVEND"));
    const TField& employeePrice = products.FieldByName(QStringLiteral("VRUNITVEND"));
    const TField& subsidisedPrice = products.FieldByName(QStringLiteral("VRUNITVENDCL"));
    SubGroupSums sums;
    for (products.First(); !products.Eof(); products.Next()) {
        sums.employee += quantity.asFloat() * employeePrice.asFloat();
        sums.subsidised += quantity.asFloat() * subsidisedPrice.asFloat();
    }
    return sums;
}

void insertInFront(TClientDataSet& list, const QString& code, const QString& name, double amount) {
    list.Insert();
    list.FieldByName(QStringLiteral("CDSUBGRPROD")).setValue(code);
    list.FieldByName(QStringLiteral("NMSUBGRPROD")).setValue(name);
    list.FieldByName(QStringLiteral("VRTOTAL")).setValue(amount);
    list.Post();
}

}  // namespace

void declareProductLines(TClientDataSet& products) {
    products.addFields(answers::productLines());
    products.FieldByName(QStringLiteral("DTENTRVENDA"))
        .setDisplayLabel(QStringLiteral("Data"))
        .setDisplayFormat(QStringLiteral("DD/MM"));
    products.hideFields({QStringLiteral("CDSUBGRPROD"), QStringLiteral("CDPRODUTO")});
    products.FieldByName(QStringLiteral("NMPRODUTO")).setDisplayLabel(QStringLiteral("Produto"));
    for (const auto& [name, label, format] :
         {std::tuple{"VRUNITVEND", "Vr.Func.", "0.00"}, std::tuple{"VRUNITVENDCL", "Vr.Subs.", "0.00"},
          std::tuple{"QTPRODVEND", "Qtde.", "0.000"}, std::tuple{"VRTOTAL", "Vr.Total", "0.00"}}) {
        products.FieldByName(QString::fromLatin1(name))
            .setDisplayLabel(QString::fromLatin1(label))
            .setDisplayFormat(QString::fromLatin1(format));
    }
}

void declareSubGroups(TClientDataSet& subGroups) {
    subGroups.addFields(answers::subGroups());
}

void declareSubGroupList(TClientDataSet& list) {
    list.addField(QStringLiteral("CDSUBGRPROD"), FieldType::String, 10)
        .setDisplayLabel(QStringLiteral("Sub-Grupo"))
        .setVisible(false);
    list.addField(QStringLiteral("NMSUBGRPROD"), FieldType::String, 40)
        .setDisplayLabel(QStringLiteral("Sub-Grupo"));
    list.addField(QStringLiteral("VRTOTAL"), FieldType::Float)
        .setDisplayLabel(QStringLiteral("Vr.Total"))
        .setDisplayFormat(QStringLiteral("0.00"));
}

QString subGroupFilter(const QString& code) {
    return QStringLiteral("CDSUBGRPROD = ") + filter::quoted(code);
}

void restrictToSubGroup(TClientDataSet& products, const QString& code) {
    products.setFiltered(false);
    products.setFilter(subGroupFilter(code));
    products.setFiltered(true);
}

GrandTotals buildSubGroupList(TClientDataSet& subGroups, TClientDataSet& products, TClientDataSet& list) {
    const TField& code = subGroups.FieldByName(QStringLiteral("CDSUBGRPROD"));
    const TField& name = subGroups.FieldByName(QStringLiteral("NMSUBGRPROD"));
    GrandTotals totals;
    for (int row = 0; row < subGroups.RecordCount(); ++row) {
        subGroups.setCurrentRow(row);
        restrictToSubGroup(products, code.asString());
        const SubGroupSums sums = sumLines(products);
        if (sums.isPositive()) {
            insertInFront(list, code.asString(), name.asString(), sums.employee + sums.subsidised);
            totals.employee += sums.employee;
            totals.subsidised += sums.subsidised;
        }
    }
    return totals;
}
