#include "intake/Staging.h"

#include "store/Database.h"

#include <libpq-fe.h>
#include <sqlite3.h>

namespace intake {

namespace {

QString stagingType(const Column& column, bool postgres) {
    switch (column.type) {
        case Column::Type::Text:
            return QStringLiteral("VARCHAR");
        case Column::Type::Integer:
            return QStringLiteral("INTEGER");
        case Column::Type::BigInteger:
            return QStringLiteral("BIGINT");
        case Column::Type::Decimal:
            return QStringLiteral("NUMERIC");
        case Column::Type::Timestamp:
            return postgres ? QStringLiteral("TIMESTAMP") : QStringLiteral("TEXT");
    }
    return {};
}

// One prepared statement per file; each value is bound as the text it was checked to be, and the
// columns' affinity stores numbers as numbers.
class SqliteStaging final : public Staging {
public:
    explicit SqliteStaging(Connection& db) : Staging(db), m_sqlite(db.sqliteHandle()) {}
    ~SqliteStaging() override { sqlite3_finalize(m_insert); }
    SqliteStaging(const SqliteStaging&) = delete;
    SqliteStaging& operator=(const SqliteStaging&) = delete;

    void beginFile(const Table& table, const QList<const Column*>& columns) override {
        const QString sql = QStringLiteral("INSERT INTO temp.%1 (%2) VALUES (?%3)")
                                .arg(tableName(table), insertColumns(columns),
                                     QStringLiteral(", ?").repeated(columns.size()));
        check(sqlite3_prepare_v2(m_sqlite, sql.toUtf8().constData(), -1, &m_insert, nullptr));
    }

    void add(qint64 line, const std::vector<Value>& values) override {
        sqlite3_bind_int64(m_insert, 1, line);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int parameter = static_cast<int>(i) + 2;
            if (values[i].null) {
                sqlite3_bind_null(m_insert, parameter);
            } else {
                sqlite3_bind_text(m_insert, parameter, values[i].text.data(),
                                  static_cast<int>(values[i].text.size()), SQLITE_STATIC);
            }
        }
        if (sqlite3_step(m_insert) != SQLITE_DONE) {
            check(sqlite3_errcode(m_sqlite));
        }
        sqlite3_reset(m_insert);
    }

    void endFile() override {
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
    }

private:
    void check(int code) {
        if (code != SQLITE_OK) {
            throw StoreError(StoreError::Kind::Failed,
                             QStringLiteral("staging: %1").arg(QString::fromUtf8(sqlite3_errmsg(m_sqlite))));
        }
    }

    sqlite3* m_sqlite;
    sqlite3_stmt* m_insert = nullptr;
};

// COPY in its text form, sent in blocks: a row is one line, its values apart by tabs, NULL as \N.
class PostgresStaging final : public Staging {
public:
    explicit PostgresStaging(Connection& db) : Staging(db), m_connection(db.postgresHandle()) {}

    void beginFile(const Table& table, const QList<const Column*>& columns) override {
        const QString sql =
            QStringLiteral("COPY %1 (%2) FROM STDIN").arg(tableName(table), insertColumns(columns));
        PGresult* result = PQexec(m_connection, sql.toUtf8().constData());
        const bool ready = PQresultStatus(result) == PGRES_COPY_IN;
        PQclear(result);
        if (!ready) {
            fail();
        }
    }

    void add(qint64 line, const std::vector<Value>& values) override {
        m_block += std::to_string(line);
        for (const Value& value : values) {
            m_block += '\t';
            if (value.null) {
                m_block += "\\N";
            } else {
                appendEscaped(value.text);
            }
        }
        m_block += '\n';
        if (m_block.size() >= BlockBytes) {
            send();
        }
    }

    void endFile() override {
        send();
        if (PQputCopyEnd(m_connection, nullptr) != 1) {
            fail();
        }
        bool failed = false;
        while (PGresult* result = PQgetResult(m_connection)) {
            failed = failed || PQresultStatus(result) != PGRES_COMMAND_OK;
            PQclear(result);
        }
        if (failed) {
            fail();
        }
    }

private:
    static constexpr std::size_t BlockBytes = 256 * 1024;

    void appendEscaped(const std::string& text) {
        for (const char c : text) {
            switch (c) {
                case '\\':
                    m_block += "\\\\";
                    break;
                case '\t':
                    m_block += "\\t";
                    break;
                case '\n':
                    m_block += "\\n";
                    break;
                case '\r':
                    m_block += "\\r";
                    break;
                default:
                    m_block += c;
            }
        }
    }

    void send() {
        if (!m_block.empty() &&
            PQputCopyData(m_connection, m_block.data(), static_cast<int>(m_block.size())) != 1) {
            fail();
        }
        m_block.clear();
    }

    [[noreturn]] void fail() {
        throw StoreError(
            StoreError::Kind::Failed,
            QStringLiteral("staging: %1").arg(QString::fromUtf8(PQerrorMessage(m_connection)).trimmed()));
    }

    PGconn* m_connection;
    std::string m_block;
};

}  // namespace

std::unique_ptr<Staging> Staging::create(Connection& db) {
    if (db.isPostgres()) {
        return std::make_unique<PostgresStaging>(db);
    }
    return std::make_unique<SqliteStaging>(db);
}

void Staging::createTables() {
    const bool postgres = m_db.isPostgres();
    for (const Table& table : tables()) {
        QStringList columns{QStringLiteral("LINENO BIGINT NOT NULL")};
        for (const Column& column : table.columns) {
            columns.append(column.name + QLatin1Char(' ') + stagingType(column, postgres));
        }
        // PostgreSQL drops them with the transaction; SQLite's go with the connection.
        m_db.execute(QStringLiteral("CREATE TEMP TABLE %1 (%2)%3")
                         .arg(tableName(table), columns.join(QStringLiteral(", ")),
                              postgres ? QStringLiteral(" ON COMMIT DROP") : QString()));
    }
}

void Staging::index() {
    for (const Table& table : tables()) {
        m_db.execute(QStringLiteral("CREATE INDEX %1_KEY ON %1 (%2)")
                         .arg(tableName(table), table.key.join(QStringLiteral(", "))));
        if (m_db.isPostgres()) {
            m_db.execute(QStringLiteral("ANALYZE %1").arg(tableName(table)));
        }
    }
}

QString Staging::insertColumns(const QList<const Column*>& columns) {
    QStringList names{QStringLiteral("LINENO")};
    for (const Column* column : columns) {
        names.append(column->name);
    }
    return names.join(QStringLiteral(", "));
}

}  // namespace intake
