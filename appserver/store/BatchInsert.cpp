#include "store/BatchInsert.h"

#include "store/Database.h"

BatchInsert::BatchInsert(Connection& db, QString table, QStringList columns, int rowsPerStatement)
    : m_db(db),
      m_table(std::move(table)),
      m_columns(std::move(columns)),
      m_rowsPerStatement(rowsPerStatement) {
    m_fullStatement = statementFor(m_rowsPerStatement);
}

void BatchInsert::add(const QVariantList& row) {
    m_pending.append(row);
    if (m_pending.size() == m_rowsPerStatement * m_columns.size()) {
        m_db.run(m_fullStatement, m_pending);
        m_inserted += m_rowsPerStatement;
        m_pending.clear();
    }
}

void BatchInsert::flush() {
    if (m_pending.isEmpty()) {
        return;
    }
    const int rows = static_cast<int>(m_pending.size() / m_columns.size());
    m_db.run(statementFor(rows), m_pending);
    m_inserted += rows;
    m_pending.clear();
}

QString BatchInsert::statementFor(int rows) const {
    const QString oneRow = QLatin1Char('(') +
                           QStringList(m_columns.size(), QStringLiteral("?")).join(QLatin1Char(',')) +
                           QLatin1Char(')');
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(m_table, m_columns.join(QLatin1Char(',')), QStringList(rows, oneRow).join(QLatin1Char(',')));
}
