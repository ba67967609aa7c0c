#include "intake/Import.h"

#include "intake/CsvReader.h"
#include "intake/Problems.h"
#include "intake/Progress.h"
#include "intake/RowCheck.h"
#include "intake/Staging.h"
#include "intake/Tables.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>

#include <cstdio>
#include <functional>

namespace intake {

namespace {

// Imports take this lock on PostgreSQL, so that two never interleave their merges.
constexpr int ImportLock = 8212;

struct TableFile {
    const Table* table;
    QString path;
    qint64 bytes;
};

QString tableFileNames() {
    QStringList names;
    for (const Table& table : tables()) {
        names.append(table.fileName());
    }
    return names.join(QStringLiteral(", "));
}

// The tables' files in the folder, parents first; any other .csv file is a problem (a misspelt name
// would otherwise leave its table out without a word).
QList<TableFile> filesIn(const QDir& folder, Problems& problems) {
    QList<TableFile> files;
    QStringList known;
    for (const Table& table : tables()) {
        known.append(table.fileName());
        const QFileInfo file(folder.filePath(table.fileName()));
        if (file.exists()) {
            files.append({&table, file.filePath(), file.size()});
        }
    }
    for (const QString& name :
         folder.entryList({QStringLiteral("*.csv"), QStringLiteral("*.CSV")}, QDir::Files)) {
        if (!known.contains(name)) {
            problems.add(name, 0, {},
                         QStringLiteral("not a table's file; the files are %1").arg(tableFileNames()));
        }
    }
    return files;
}

// "x.A = y.A AND x.B = y.B" for the SQL of the checks.
QString matching(const QStringList& left, const QString& leftAlias, const QStringList& right,
                 const QString& rightAlias) {
    QStringList terms;
    for (qsizetype i = 0; i < left.size(); ++i) {
        terms.append(QStringLiteral("%1.%2 = %3.%4").arg(leftAlias, left.at(i), rightAlias, right.at(i)));
    }
    return terms.join(QStringLiteral(" AND "));
}

QString allPresent(const QStringList& columns, const QString& alias) {
    QStringList terms;
    for (const QString& column : columns) {
        terms.append(QStringLiteral("%1.%2 IS NOT NULL").arg(alias, column));
    }
    return terms.join(QStringLiteral(" AND "));
}

// The values of the columns as the operator reads them: "0001", "12".
QString quotedValues(const QStringList& columns, const QString& alias) {
    QStringList parts;
    for (const QString& column : columns) {
        parts.append(QStringLiteral("'\"' || %1.%2 || '\"'").arg(alias, column));
    }
    return parts.join(QStringLiteral(" || ', ' || "));
}

class Importer {
public:
    Importer(Connection& db, Staging& staging, Progress& progress, Problems& problems)
        : m_db(db), m_staging(staging), m_progress(progress), m_problems(problems) {}

    void stage(const QList<TableFile>& files) {
        for (const TableFile& file : files) {
            stageFile(file);
            m_bytesBefore += file.bytes;
        }
        m_progress.advance(m_bytesBefore, m_rowsRead);
    }

    void checkKeysAndReferences() {
        m_staging.index();
        for (const Table& table : tables()) {
            repeatedInFiles(table, table.key);
            for (const QStringList& unique : table.uniques) {
                repeatedInFiles(table, unique);
                heldByAnotherRow(table, unique);
            }
            for (const Reference& reference : table.references) {
                unresolved(table, reference);
            }
        }
    }

    // Writes every staged row over the row of its key, or as a new one; the rows written by table.
    QStringList merge() {
        QStringList written;
        for (const Loaded& loaded : m_loaded) {
            mergeTable(*loaded.table, loaded.columns);
            written.append(QStringLiteral("%1 %2").arg(loaded.table->name).arg(loaded.rows));
        }
        return written;
    }

    // Fresh statistics for the tables written, so that the planner walks the consultations' indexes.
    void analyse() {
        for (const Loaded& loaded : m_loaded) {
            m_db.execute(QStringLiteral("ANALYZE %1").arg(loaded.table->name));
        }
    }

private:
    struct Loaded {
        const Table* table;
        QStringList columns;
        qint64 rows;
    };

    void stageFile(const TableFile& file) {
        const Table& table = *file.table;
        RowCheck check(table, m_problems);
        bool headerRead = false;
        bool headerUsable = false;
        qint64 rows = 0;
        CsvReader reader(file.path);
        const bool read = reader.read(
            [&](qint64 line, CsvReader::Fields fields) {
                if (!headerRead) {
                    headerRead = true;
                    headerUsable = check.readHeader(fields);
                    if (headerUsable) {
                        m_staging.beginFile(table, check.columns());
                    }
                    return headerUsable;
                }
                ++rows;
                ++m_rowsRead;
                // Once anything is wrong nothing will be written: the rest is only checked.
                if (check.check(line, fields) && m_problems.isEmpty()) {
                    m_staging.add(line, check.values());
                }
                return true;
            },
            [&](qint64 bytes) { m_progress.advance(m_bytesBefore + bytes, m_rowsRead); });
        if (headerUsable) {
            m_staging.endFile();
        }
        if (!read) {
            m_problems.add(table.fileName(), reader.errorLine(), {}, reader.error());
        } else if (!headerRead) {
            m_problems.add(table.fileName(), 1, {},
                           QStringLiteral("empty; a header row naming the columns comes first"));
        } else if (headerUsable && rows == 0) {
            m_problems.add(
                table.fileName(), 1, {},
                QStringLiteral(
                    "a header and no rows; leave the file out when the table has nothing to load"));
        }
        if (headerUsable) {
            QStringList columns;
            for (const Column* column : check.columns()) {
                columns.append(column->name);
            }
            m_loaded.append({&table, columns, rows});
        }
    }

    // Runs a check's query, which lists (line, values, other line) of its offending rows, and adds them:
    // as many as are still shown, and a count of all. `reason` words one from its values and other line.
    void report(const Table& table, const QStringList& columns, const QString& select,
                const std::function<QString(const QString&, const QString&)>& reason) {
        if (m_problems.room() <= 0) {
            countOnly(select);
            return;
        }
        QSqlQuery& listed =
            m_db.run(QStringLiteral("%1 ORDER BY 1 LIMIT %2").arg(select).arg(m_problems.room() + 1));
        int found = 0;
        while (listed.next()) {
            if (m_problems.room() == 0) {
                listed.finish();
                countOnly(select, found);
                return;
            }
            ++found;
            m_problems.add(table.fileName(), listed.value(0).toLongLong(), columns.join(QStringLiteral(", ")),
                           reason(listed.value(1).toString(), listed.value(2).toString()));
        }
        listed.finish();
    }

    void countOnly(const QString& select, int alreadyCounted = 0) {
        QSqlQuery& count = m_db.run(QStringLiteral("SELECT COUNT(*) FROM (%1) AS offending").arg(select));
        if (count.next()) {
            m_problems.countMore(count.value(0).toLongLong() - alreadyCounted);
        }
        count.finish();
    }

    void repeatedInFiles(const Table& table, const QStringList& columns) {
        const QString staged = Staging::tableName(table);
        report(
            table, columns,
            QStringLiteral(
                "SELECT s.LINENO, %1, d.FIRSTLINE FROM %2 s JOIN (SELECT %3, MIN(LINENO) AS FIRSTLINE "
                "FROM %2 GROUP BY %3 HAVING COUNT(*) > 1) d ON %4 WHERE s.LINENO > d.FIRSTLINE")
                .arg(quotedValues(columns, QStringLiteral("s")), staged, columns.join(QStringLiteral(", ")),
                     matching(columns, QStringLiteral("s"), columns, QStringLiteral("d"))),
            [](const QString& values, const QString& first) {
                return QStringLiteral("%1 already on line %2").arg(values, first);
            });
    }

    void heldByAnotherRow(const Table& table, const QStringList& columns) {
        report(table, columns,
               QStringLiteral("SELECT s.LINENO, %1, '' FROM %2 s JOIN %3 t ON %4 WHERE NOT (%5)")
                   .arg(quotedValues(columns, QStringLiteral("s")), Staging::tableName(table), table.name,
                        matching(columns, QStringLiteral("t"), columns, QStringLiteral("s")),
                        matching(table.key, QStringLiteral("t"), table.key, QStringLiteral("s"))),
               [&table](const QString& values, const QString&) {
                   return QStringLiteral("%1 belongs to another row of %2 in the database")
                       .arg(values, table.name);
               });
    }

    void unresolved(const Table& table, const Reference& reference) {
        const Table& parent = *std::find_if(tables().begin(), tables().end(), [&](const Table& candidate) {
            return candidate.name == reference.table;
        });
        const QString match =
            matching(reference.parentColumns, QStringLiteral("p"), reference.columns, QStringLiteral("s"));
        report(table, reference.columns,
               QStringLiteral(
                   "SELECT s.LINENO, %1, '' FROM %2 s WHERE %3 AND NOT EXISTS (SELECT 1 FROM %4 p WHERE %5) "
                   "AND NOT EXISTS (SELECT 1 FROM %6 p WHERE %5)")
                   .arg(quotedValues(reference.columns, QStringLiteral("s")), Staging::tableName(table),
                        allPresent(reference.columns, QStringLiteral("s")), parent.name, match,
                        Staging::tableName(parent)),
               [&](const QString& values, const QString&) {
                   return QStringLiteral("no %1 %2 in %3 or in the database")
                       .arg(reference.what, values, parent.fileName());
               });
    }

    void mergeTable(const Table& table, const QStringList& columns) {
        QStringList updates;
        for (const QString& column : columns) {
            if (!table.key.contains(column)) {
                updates.append(QStringLiteral("%1 = excluded.%1").arg(column));
            }
        }
        const QString onConflict =
            updates.isEmpty() ? QStringLiteral("DO NOTHING")
                              : QStringLiteral("DO UPDATE SET ") + updates.join(QStringLiteral(", "));
        // "WHERE true" keeps SQLite from reading ON CONFLICT as a join's ON.
        m_db.execute(QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3 WHERE true ON CONFLICT (%4) %5")
                         .arg(table.name, columns.join(QStringLiteral(", ")), Staging::tableName(table),
                              table.key.join(QStringLiteral(", ")), onConflict));
    }

    Connection& m_db;
    Staging& m_staging;
    Progress& m_progress;
    Problems& m_problems;
    QList<Loaded> m_loaded;
    qint64 m_bytesBefore = 0;
    qint64 m_rowsRead = 0;
};

// Staging writes only the connection's temporary tables; the database itself is locked for writing from
// the checks on, so that what they found still holds when the rows are merged.
void beginStaging(Connection& db) {
    if (!db.isPostgres()) {
        // Temporary tables on disk: a file of any size takes the same memory.
        db.execute(QStringLiteral("PRAGMA temp_store = FILE"));
        db.execute(QStringLiteral("PRAGMA temp.cache_size = -65536"));
    }
    db.transaction();
    if (db.isPostgres()) {
        QSqlQuery& locked = db.run(QStringLiteral("SELECT pg_try_advisory_xact_lock(%1)").arg(ImportLock));
        if (!locked.next() || !locked.value(0).toBool()) {
            throw StoreError(
                StoreError::Kind::Busy,
                QStringLiteral("another import is writing to this database; run this one when it has ended"));
        }
        locked.finish();
    }
}

void beginChecks(Connection& db) {
    if (!db.isPostgres()) {
        db.commit();
        db.execute(QStringLiteral("BEGIN IMMEDIATE"));
    }
}

void printProblems(const Problems& problems) {
    for (const QString& line : problems.shown()) {
        std::fprintf(stderr, "%s\n", qPrintable(line));
    }
    if (problems.count() > problems.shown().size()) {
        std::fprintf(stderr, "... and %lld more\n",
                     static_cast<long long>(problems.count() - problems.shown().size()));
    }
}

// After the commit: a failure here loses nothing, and says what to do instead.
void refreshStatistics(Importer& importer) {
    try {
        importer.analyse();
    } catch (const StoreError& error) {
        std::fprintf(stderr,
                     "the rows are written, but the statistics were not refreshed (%s): run ANALYZE\n",
                     qPrintable(error.detail()));
    }
}

qint64 totalBytes(const QList<TableFile>& files) {
    qint64 total = 0;
    for (const TableFile& file : files) {
        total += file.bytes;
    }
    return total;
}

}  // namespace

int importFolder(const DatabaseSettings& settings, const ImportRequest& request) {
    const QDir folder(request.folder);
    if (!folder.exists()) {
        std::fprintf(stderr, "import: no folder %s\n", qPrintable(request.folder));
        return 1;
    }
    Problems problems;
    const QList<TableFile> files = filesIn(folder, problems);
    if (files.isEmpty() && problems.isEmpty()) {
        std::fprintf(stderr, "import: no table's file in %s (the files are %s)\n", qPrintable(request.folder),
                     qPrintable(tableFileNames()));
        return 1;
    }
    if (request.dryRun && settings.engine == DatabaseSettings::Engine::Sqlite &&
        !QFileInfo::exists(settings.sqlitePath)) {
        std::fprintf(stderr,
                     "import: no database %s; a dry run creates nothing: the import itself makes it, and "
                     "writes nothing when the files are refused\n",
                     qPrintable(settings.sqlitePath));
        return 1;
    }
    Progress progress(totalBytes(files), request.terminal);
    Connection db(settings);
    try {
        db.ensureOpen();
        beginStaging(db);
        const std::unique_ptr<Staging> staging = Staging::create(db);
        staging->createTables();
        Importer importer(db, *staging, progress, problems);
        importer.stage(files);
        if (problems.isEmpty()) {
            progress.step(QStringLiteral("checking keys and references"));
            beginChecks(db);
            importer.checkKeysAndReferences();
        }
        if (!problems.isEmpty() || request.dryRun) {
            db.rollback();
            printProblems(problems);
            std::printf("%s\n",
                        problems.isEmpty()
                            ? "dry run: the files would load; nothing written"
                            : qPrintable(QStringLiteral("import refused: %1 problem(s); nothing written")
                                             .arg(problems.count())));
            return problems.isEmpty() ? 0 : 1;
        }
        progress.step(QStringLiteral("writing"));
        const QStringList written = importer.merge();
        db.commit();
        progress.step(QStringLiteral("refreshing the planner's statistics"));
        refreshStatistics(importer);
        progress.finish();
        std::printf("imported into %s: %s\n", qPrintable(settings.describe()),
                    qPrintable(written.join(QStringLiteral(", "))));
        return 0;
    } catch (const StoreError& error) {
        try {
            db.rollback();
        } catch (const StoreError&) {
            // The connection is gone, and its transaction with it.
        }
        std::fprintf(stderr, "import failed, nothing written: %s\n", qPrintable(error.detail()));
        return 1;
    }
}

}  // namespace intake
