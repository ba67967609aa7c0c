#include "demo/DemoWriter.h"

#include "store/Database.h"
#include "demo/DemoCatalogue.h"
#include "modules/Period.h"

namespace demo {

DemoWriter::DemoWriter(Connection& db)
    : m_sales(db, QStringLiteral("VENDA"),
              {QStringLiteral("CDFILIAL"), QStringLiteral("NRSEQVENDA"), QStringLiteral("CDCAIXA"),
               QStringLiteral("CDLOJA"), QStringLiteral("CDCLIENTE"), QStringLiteral("CDCONSUMIDOR"),
               QStringLiteral("DTENTRVENDA"), QStringLiteral("IDSITUVENDA")}),
      m_lines(db, QStringLiteral("ITVENDA"),
              {QStringLiteral("CDFILIAL"), QStringLiteral("NRSEQVENDA"), QStringLiteral("NRSEQITVEND"),
               QStringLiteral("CDPRODUTO"), QStringLiteral("QTPRODVEND"), QStringLiteral("VRUNITVEND"),
               QStringLiteral("VRUNITVENDCL")}),
      m_movements(db, QStringLiteral("MOVCLIE"),
                  {QStringLiteral("CDFILIAL"), QStringLiteral("NRSEQMOVCLI"), QStringLiteral("CDCLIENTE"),
                   QStringLiteral("CDCONSUMIDOR"), QStringLiteral("DTMOVCLI"), QStringLiteral("IDTIPMOCVLI"),
                   QStringLiteral("VRMOVCLI"), QStringLiteral("VRSALDOCONS"), QStringLiteral("NRSEQVENDA")}) {
}

QString DemoWriter::nextSaleNumber(const QString& branch) {
    return QString::number(++m_saleNumbers[branch]);
}

void DemoWriter::sale(Account& account, const QString& store, const QString& registerCode,
                      const QDateTime& when, const QList<Line>& lines, bool cancelled) {
    const QString number = nextSaleNumber(account.branch);
    m_sales.add({account.branch, number, registerCode, store, account.client, account.consumer,
                 sqlTimestamp(when), cancelled ? QStringLiteral("X") : QStringLiteral("A")});
    double employeeTotal = 0;
    int item = 0;
    for (const Line& line : lines) {
        const Product& product = demo::product(line.product);
        m_lines.add({account.branch, number, ++item, line.product, line.quantity, product.employee,
                     product.subsidised});
        employeeTotal += roundedTo(line.quantity * product.employee, 2);
    }
    account.balance = roundedTo(account.balance - employeeTotal, 2);
    const QVariant saleNumber(number);
    m_movements.add({account.branch, ++m_movementNumbers[account.branch], account.client, account.consumer,
                     sqlTimestamp(when), QStringLiteral("D"), -employeeTotal, account.balance, saleNumber});
    if (cancelled) {
        account.balance = roundedTo(account.balance + employeeTotal, 2);
        m_movements.add({account.branch, ++m_movementNumbers[account.branch], account.client,
                         account.consumer, sqlTimestamp(when.addSecs(15 * 60)), QStringLiteral("X"),
                         employeeTotal, account.balance, saleNumber});
    }
}

void DemoWriter::movement(Account& account, const QDateTime& when, QChar type, double amount) {
    account.balance = roundedTo(account.balance + amount, 2);
    m_movements.add({account.branch, ++m_movementNumbers[account.branch], account.client, account.consumer,
                     sqlTimestamp(when), QString(type), amount, account.balance,
                     QVariant(QMetaType(QMetaType::QString))});
}

void DemoWriter::flush() {
    m_sales.flush();
    m_lines.flush();
    m_movements.flush();
}

Counts DemoWriter::counts() const {
    return {m_sales.inserted(), m_lines.inserted(), m_movements.inserted()};
}

}  // namespace demo
