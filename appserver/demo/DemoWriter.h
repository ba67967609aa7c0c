#pragma once

#include "store/BatchInsert.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

class Connection;

namespace demo {

// A consumer's account at one branch, with its running balance.
struct Account {
    QString branch;
    QString client;
    QString consumer;
    double balance = 0;
};

struct Line {
    QString product;
    double quantity;
};

struct Counts {
    qint64 sales = 0;
    qint64 saleLines = 0;
    qint64 movements = 0;
};

// Writes sales and account movements that agree with each other: every sale debits the employee's part,
// a cancelled sale is credited back a quarter of an hour later, every movement carries the balance after it.
class DemoWriter {
public:
    explicit DemoWriter(Connection& db);

    void sale(Account& account, const QString& store, const QString& registerCode, const QDateTime& when,
              const QList<Line>& lines, bool cancelled = false);
    // A credit (C) or a balance adjustment (A) of a signed amount.
    void movement(Account& account, const QDateTime& when, QChar type, double amount);
    void flush();
    Counts counts() const;

private:
    QString nextSaleNumber(const QString& branch);

    BatchInsert m_sales;
    BatchInsert m_lines;
    BatchInsert m_movements;
    QHash<QString, qint64> m_saleNumbers;
    QHash<QString, qint64> m_movementNumbers;
};

}  // namespace demo
