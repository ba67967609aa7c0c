#include "Database.h"

#include "Migrations.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>

#include <atomic>

namespace {

thread_local const QDeadlineTimer* currentDeadline = nullptr;

// SQLite calls this every few thousand steps of a statement; a non-zero answer interrupts it.
int interruptAfterDeadline(void*) {
    return StatementDeadline::passed() ? 1 : 0;
}

constexpr int ProgressSteps = 10000;

bool isSqliteBusy(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("5") || code == QLatin1String("6") ||
           error.databaseText().contains(QLatin1String("locked"));
}

StoreError::Kind classify(const QSqlError& error, bool postgres) {
    const QString code = error.nativeErrorCode();
    if (error.type() == QSqlError::ConnectionError) {
        return StoreError::Kind::Unavailable;
    }
    if (!postgres) {
        if (isSqliteBusy(error)) {
            return StoreError::Kind::Busy;
        }
        return code == QLatin1String("9") ? StoreError::Kind::Timeout : StoreError::Kind::Failed;
    }
    if (code == QLatin1String("57014")) {
        return StoreError::Kind::Timeout;
    }
    if (code == QLatin1String("55P03") || code == QLatin1String("40P01")) {
        return StoreError::Kind::Busy;
    }
    // No SQLSTATE at all means libpq lost the server; class 08 and 57P0x are connection and shut-down states.
    if (code.isEmpty() || code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P0"))) {
        return StoreError::Kind::Unavailable;
    }
    return StoreError::Kind::Failed;
}

}  // namespace

DatabaseSettings DatabaseSettings::fromText(const QString& text) {
    DatabaseSettings settings;
    if (text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"))) {
        const QUrl url(text);
        settings.engine = Engine::Postgres;
        settings.host = url.host();
        settings.port = url.port(5432);
        settings.name = url.path().mid(1);
        settings.user = url.userName();
        settings.password = url.password();
    } else {
        settings.sqlitePath = text.startsWith(QLatin1String("sqlite:")) ? text.mid(7) : text;
    }
    return settings;
}

QString DatabaseSettings::describe() const {
    if (engine == Engine::Sqlite) {
        return QStringLiteral("SQLite %1").arg(sqlitePath);
    }
    return QStringLiteral("PostgreSQL %1@%2:%3/%4").arg(user, host).arg(port).arg(name);
}

Connection::Connection(DatabaseSettings settings) : m_settings(std::move(settings)) {
    static std::atomic<int> next{0};
    m_name = QStringLiteral("totem-connection-%1").arg(next++);
}

Connection::~Connection() {
    drop();
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Connection::open() {
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (m_ready) {
        return db;
    }
    if (!db.isValid()) {
        db = addDatabase();
    }
    if (!db.open()) {
        throw StoreError(StoreError::Kind::Unavailable, db.lastError().text());
    }
    m_ready = true;
    try {
        if (isPostgres()) {
            configurePostgres();
        } else {
            configureSqlite();
        }
        applyMigrations(*this);
    } catch (const StoreError&) {
        drop();
        throw;
    }
    return db;
}

QSqlDatabase Connection::addDatabase() const {
    if (isPostgres()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        db.setHostName(m_settings.host);
        db.setPort(m_settings.port);
        db.setDatabaseName(m_settings.name);
        db.setUserName(m_settings.user);
        db.setPassword(m_settings.password);
        db.setConnectOptions(QStringLiteral("connect_timeout=3"));
        return db;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_settings.lockWaitMs);
    if (m_settings.createSqliteFile) {
        db.setDatabaseName(m_settings.sqlitePath);
    } else {
        // SQLite's "mode=rw" opens an existing file only.
        QUrl uri = QUrl::fromLocalFile(QFileInfo(m_settings.sqlitePath).absoluteFilePath());
        uri.setQuery(QStringLiteral("mode=rw"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        options += QStringLiteral(";QSQLITE_OPEN_URI");
    }
    db.setConnectOptions(options);
    return db;
}

void Connection::configurePostgres() {
    // SET takes no bound values; these are whole numbers from the server's own options.
    execute(QStringLiteral("SET statement_timeout = %1").arg(m_settings.statementTimeoutMs));
    execute(QStringLiteral("SET lock_timeout = %1").arg(m_settings.lockWaitMs));
    // "CREATE TABLE IF NOT EXISTS" of the migrations would print a notice at every connection.
    execute(QStringLiteral("SET client_min_messages = warning"));
}

void Connection::configureSqlite() {
    execute(QStringLiteral("PRAGMA journal_mode = WAL"));
    execute(QStringLiteral("PRAGMA synchronous = NORMAL"));
    execute(QStringLiteral("PRAGMA cache_size = -16384"));
    const QVariant handle = QSqlDatabase::database(m_name, false).driver()->handle();
    if (sqlite3* sqlite = *static_cast<sqlite3* const*>(handle.constData())) {
        sqlite3_progress_handler(sqlite, ProgressSteps, &interruptAfterDeadline, nullptr);
    }
}

void Connection::ensureOpen() {
    open();
}

QSqlQuery& Connection::run(const QString& sql, const QVariantList& values) {
    const QSqlDatabase db = open();
    auto statement = m_statements.find(sql);
    if (statement == m_statements.end()) {
        QSqlQuery prepared(db);
        prepared.setForwardOnly(true);
        prepared.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (!prepared.prepare(sql)) {
            fail(prepared.lastError());
        }
        statement = m_statements.emplace(sql, std::move(prepared)).first;
    }
    QSqlQuery& query = statement->second;
    for (int i = 0; i < values.size(); ++i) {
        query.bindValue(i, values.at(i));
    }
    if (!query.exec()) {
        fail(query.lastError());
    }
    return query;
}

void Connection::finishStatements() {
    for (auto& [sql, query] : m_statements) {
        query.finish();
    }
}

void Connection::execute(const QString& sql) {
    QSqlQuery query(open());
    if (!query.exec(sql)) {
        fail(query.lastError());
    }
}

void Connection::transaction() {
    execute(QStringLiteral("BEGIN"));
}

void Connection::commit() {
    // A kept statement that was not read to its end would hold its snapshot and stop checkpoints.
    finishStatements();
    execute(QStringLiteral("COMMIT"));
}

void Connection::rollback() {
    // Called while another failure is on its way out; that failure is the one worth reporting.
    try {
        execute(QStringLiteral("ROLLBACK"));
    } catch (const StoreError&) {
    }
}

void Connection::fail(const QSqlError& error) {
    const StoreError::Kind kind = classify(error, isPostgres());
    if (kind == StoreError::Kind::Unavailable || kind == StoreError::Kind::Failed) {
        // The connection may be broken; the next use opens a fresh one.
        drop();
    }
    throw StoreError(kind, error.text());
}

void Connection::drop() {
    m_ready = false;
    m_statements.clear();
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (db.isValid()) {
        db.close();
    }
}

StatementDeadline::StatementDeadline(int milliseconds) {
    static thread_local QDeadlineTimer deadline;
    deadline.setRemainingTime(milliseconds);
    currentDeadline = &deadline;
}

StatementDeadline::~StatementDeadline() {
    currentDeadline = nullptr;
}

bool StatementDeadline::passed() {
    return currentDeadline != nullptr && currentDeadline->hasExpired();
}

QString sqlTimestamp(const QDateTime& moment) {
    return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}
