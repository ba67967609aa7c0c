#pragma once

#include <QStringList>
#include <QVariantList>

class Connection;

// Inserts rows into one table many at a time: one parameterised statement carries a whole batch, which
// makes loading millions of demo rows a matter of seconds rather than minutes.
class BatchInsert {
public:
    BatchInsert(Connection& db, QString table, QStringList columns, int rowsPerStatement = 10);
    ~BatchInsert() = default;
    BatchInsert(const BatchInsert&) = delete;
    BatchInsert& operator=(const BatchInsert&) = delete;

    void add(const QVariantList& row);
    // Writes what is waiting; call before the transaction commits.
    void flush();
    qint64 inserted() const { return m_inserted; }

private:
    QString statementFor(int rows) const;

    Connection& m_db;
    QString m_table;
    QStringList m_columns;
    int m_rowsPerStatement;
    QString m_fullStatement;
    QVariantList m_pending;
    qint64 m_inserted = 0;
};
