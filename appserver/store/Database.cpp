#include "store/Database.h"

#include "store/Migrations.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

thread_local const QDeadlineTimer* currentDeadline = nullptr;

// How long after its request's deadline a PostgreSQL statement may still run before its socket is cut: the
// server's own statement_timeout ends a live server's statement at the deadline.
constexpr std::chrono::seconds CutGrace{1};

// Cuts the socket of a PostgreSQL statement that outlives its deadline: a server that does not answer at
// all (stopped, or its machine gone) enforces no statement_timeout, and the kiosk must hear in time. The
// statement then fails at once, and the connection is opened afresh for the next request.
class SocketWatchdog {
public:
    static SocketWatchdog& instance() {
        // Lives as long as the process: its thread never has to be stopped.
        static SocketWatchdog* const watchdog = new SocketWatchdog;
        return *watchdog;
    }

    void watch(int socket, std::chrono::steady_clock::time_point cutAt) {
        {
            std::lock_guard lock(m_mutex);
            m_watched[socket] = cutAt;
        }
        m_changed.notify_one();
    }

    void unwatch(int socket) {
        std::lock_guard lock(m_mutex);
        m_watched.erase(socket);
    }

private:
    SocketWatchdog() {
        std::thread([this] { run(); }).detach();
    }

    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            const auto now = std::chrono::steady_clock::now();
            auto next = now + std::chrono::hours(1);
            for (auto entry = m_watched.begin(); entry != m_watched.end();) {
                if (entry->second <= now) {
                    ::shutdown(entry->first, SHUT_RDWR);
                    entry = m_watched.erase(entry);
                } else {
                    next = std::min(next, entry->second);
                    ++entry;
                }
            }
            m_changed.wait_until(lock, next);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<int, std::chrono::steady_clock::time_point> m_watched;
};

// A PostgreSQL statement run under a request's deadline is watched while it runs.
class WatchedStatement {
public:
    WatchedStatement(const QSqlDatabase& db, bool postgres) {
        if (!postgres || currentDeadline == nullptr) {
            return;
        }
        const QVariant handle = db.driver()->handle();
        if (PGconn* connection = *static_cast<PGconn* const*>(handle.constData())) {
            m_socket = PQsocket(connection);
            SocketWatchdog::instance().watch(m_socket, currentDeadline->deadline<std::chrono::steady_clock>() + CutGrace);
        }
    }
    ~WatchedStatement() {
        if (m_socket >= 0) {
            SocketWatchdog::instance().unwatch(m_socket);
        }
    }
    WatchedStatement(const WatchedStatement&) = delete;
    WatchedStatement& operator=(const WatchedStatement&) = delete;

private:
    int m_socket = -1;
};

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

// A file emptied, replaced by something else or damaged under the server: its schema is gone.
bool isSqliteSchemaGone(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("11") || code == QLatin1String("26") ||
           error.databaseText().startsWith(QLatin1String("no such table"));
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
        if (isSqliteSchemaGone(error)) {
            return StoreError::Kind::Unavailable;
        }
        return code == QLatin1String("9") ? StoreError::Kind::Timeout : StoreError::Kind::Failed;
    }
    if (code == QLatin1String("42P01")) {
        return StoreError::Kind::Unavailable;  // a table of the schema is gone
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

std::optional<DatabaseSettings> DatabaseSettings::fromText(const QString& text, QString* error) {
    DatabaseSettings settings;
    const QString scheme = text.section(u':', 0, 0).toLower();
    const bool hasScheme = text.contains(u':') && !scheme.isEmpty() &&
                           std::all_of(scheme.begin(), scheme.end(), [](QChar c) { return c.isLetter(); });
    if (!hasScheme || scheme == QLatin1String("sqlite")) {
        settings.sqlitePath = hasScheme ? text.mid(7) : text;
        if (settings.sqlitePath.isEmpty()) {
            *error = QStringLiteral("\"%1\" names no SQLite file").arg(text);
            return std::nullopt;
        }
        return settings;
    }
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")) {
        *error = QStringLiteral("\"%1\" is no database this server speaks: give a SQLite file, or "
                                "postgresql://user@host:port/name")
                     .arg(scheme);
        return std::nullopt;
    }
    const QUrl url(text, QUrl::StrictMode);
    settings.engine = Engine::Postgres;
    settings.host = url.host();
    settings.port = url.port(5432);
    settings.name = url.path().mid(1);
    settings.user = url.userName();
    settings.password = url.password();
    if (!url.isValid() || !text.contains(QLatin1String("://")) || settings.host.isEmpty() ||
        settings.name.isEmpty() || settings.name.contains(u'/')) {
        *error = QStringLiteral("the PostgreSQL URL does not read: write postgresql://user@host:port/name");
        return std::nullopt;
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
            configureSqliteReading();
        }
        // Before anything is written: a database without the schema stays as it is unless asked.
        applyMigrations(*this, m_settings.createSchema);
        if (!isPostgres()) {
            configureSqliteWriting();
        }
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
    if (m_settings.createSchema) {
        // A new database may go where nothing was yet: the packaged data folder before the first start, say.
        QDir().mkpath(QFileInfo(m_settings.sqlitePath).absolutePath());
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

void Connection::configureSqliteReading() {
    // 16 MiB of pages per connection: every server thread has its own, and keeps its kiosks' pages warm.
    execute(QStringLiteral("PRAGMA cache_size = -16384"));
    const QVariant handle = QSqlDatabase::database(m_name, false).driver()->handle();
    if (sqlite3* sqlite = *static_cast<sqlite3* const*>(handle.constData())) {
        sqlite3_progress_handler(sqlite, ProgressSteps, &interruptAfterDeadline, nullptr);
    }
}

void Connection::configureSqliteWriting() {
    execute(QStringLiteral("PRAGMA journal_mode = WAL"));
    execute(QStringLiteral("PRAGMA synchronous = NORMAL"));
}

void Connection::ensureOpen() {
    open();
}

sqlite3* Connection::sqliteHandle() {
    const QVariant handle = open().driver()->handle();
    return isPostgres() ? nullptr : *static_cast<sqlite3* const*>(handle.constData());
}

pg_conn* Connection::postgresHandle() {
    const QVariant handle = open().driver()->handle();
    return isPostgres() ? *static_cast<PGconn* const*>(handle.constData()) : nullptr;
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
    const WatchedStatement watched(db, isPostgres());
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

void Connection::requireNetwork() {
    constexpr int RecheckMs = 10000;
    if (!m_networkChecked.hasExpired()) {
        return;
    }
    QSqlQuery& branch = run(QStringLiteral("SELECT 1 FROM FILIAL LIMIT 1"));
    const bool present = branch.next();
    branch.finish();
    if (!present) {
        const QString remedy = QStringLiteral("the database holds no branch: load the network's data into it");
        throw StoreError(StoreError::Kind::Unavailable, QStringLiteral("%1: %2").arg(m_settings.describe(), remedy),
                         remedy);
    }
    m_networkChecked.setRemainingTime(RecheckMs);
}

void Connection::rollback() {
    // Called while another failure is on its way out; that failure is the one worth reporting.
    try {
        execute(QStringLiteral("ROLLBACK"));
    } catch (const StoreError&) {
    }
}

void Connection::fail(const QSqlError& error) {
    StoreError::Kind kind = classify(error, isPostgres());
    if (kind == StoreError::Kind::Unavailable && StatementDeadline::passed()) {
        kind = StoreError::Kind::Timeout;  // cut by the watchdog, or lost just as the time ran out
    }
    if (kind == StoreError::Kind::Unavailable || kind == StoreError::Kind::Failed) {
        // The connection may be broken; the next use opens a fresh one.
        drop();
    }
    throw StoreError(kind, error.text());
}

void Connection::drop() {
    m_ready = false;
    m_networkChecked = QDeadlineTimer();
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
