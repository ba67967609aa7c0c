#pragma once

#include "intake/RowCheck.h"
#include "intake/Tables.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class Connection;

namespace intake {

// Where the checked rows of the files wait until the checks that need them all (keys, references) and
// the merge: temporary tables of the import's own connection, named STG_<table>, with each row's line.
// PostgreSQL is given them through COPY, SQLite through one prepared statement per file.
class Staging {
public:
    static std::unique_ptr<Staging> create(Connection& db);
    virtual ~Staging() = default;

    static QString tableName(const Table& table) { return QStringLiteral("STG_") + table.name; }
    // The staging tables, empty, for every table; raises StoreError.
    void createTables();
    // Indexes each staging table on its key and lets the planner see its size.
    void index();

    // A file's rows follow, with the columns its header names.
    virtual void beginFile(const Table& table, const QList<const Column*>& columns) = 0;
    virtual void add(qint64 line, const std::vector<Value>& values) = 0;
    virtual void endFile() = 0;

protected:
    explicit Staging(Connection& db) : m_db(db) {}
    static QString insertColumns(const QList<const Column*>& columns);

    Connection& m_db;
};

}  // namespace intake
