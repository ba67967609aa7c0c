#pragma once

#include <QDate>
#include <QString>
#include <QVariantList>

struct TerminalContext;

// What the group statement asks the application server for: the consumer's product lines at the branch in
// the period, restricted to the register's product group and to one store (none: every store).
struct GroupQuery {
    QString branchCode;
    QString CDCLIENTE;
    QString CDCONSUMIDOR;
    QString CDGRUPPROD;
    QDate start;
    QDate end;
    QString storeCode;

    static GroupQuery of(const TerminalContext& context, const QDate& start, const QDate& end,
                         const QString& storeCode);

    // The arguments of getProdutos, in order; the dates as date-times at midnight.
    QVariantList arguments() const;
    // The same values joined by "-" for the error report, the dates in the regional date-and-time form.
    QString parametersText() const;
};

// The store line of the header: empty without a store code (whatever the name), otherwise the "Loja"
// text, the code and the name, two blanks apart.
QString groupStoreLine(const QString& storeText, const QString& storeCode, const QString& storeName);
