#include "intake/Import.h"

#include "intake/Tables.h"

#include <QDir>
#include <QSaveFile>
#include <QSqlQuery>

#include <cstdio>

namespace intake {

namespace {

// Rows are read a page at a time, in key order, each page after the last key of the one before: a table
// of any size takes the same memory on both engines.
constexpr int PageRows = 10000;

// RFC 4180: a field with a comma, a quote or a line end is quoted, its quotes doubled.
QByteArray csvField(const QString& text) {
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r')) {
        field.replace("\"", "\"\"");
        field = '"' + field + '"';
    }
    return field;
}

// The column as the import reads it back: date-times as yyyy-MM-ddTHH:mm:ss on both engines.
QString selected(const Column& column, bool postgres) {
    if (column.type == Column::Type::Timestamp && postgres) {
        return QStringLiteral("to_char(%1, 'YYYY-MM-DD\"T\"HH24:MI:SS')").arg(column.name);
    }
    return column.name;
}

QString fieldText(const Column& column, const QVariant& value) {
    if (value.isNull()) {
        return {};
    }
    switch (column.type) {
        case Column::Type::Decimal:
            return QString::number(value.toDouble(), 'f', column.scale);
        case Column::Type::Integer:
        case Column::Type::BigInteger:
            return QString::number(value.toLongLong());
        case Column::Type::Text:
        case Column::Type::Timestamp:
            break;
    }
    return value.toString();
}

class TableExport {
public:
    TableExport(Connection& db, const Table& table) : m_db(db), m_table(table) {
        QStringList columns;
        for (const Column& column : table.columns) {
            columns.append(selected(column, db.isPostgres()));
            m_header.append(column.name);
        }
        for (const QString& column : table.key) {
            m_keyColumns.append(static_cast<int>(m_header.indexOf(column)));
        }
        const QString order = table.key.join(QStringLiteral(", "));
        const QString select =
            QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QStringLiteral(", ")), table.name);
        m_first = QStringLiteral("%1 ORDER BY %2 LIMIT %3").arg(select, order).arg(PageRows);
        m_next = QStringLiteral("%1 WHERE (%2) > (%3) ORDER BY %2 LIMIT %4")
                     .arg(select, order,
                          QStringList(table.key.size(), QStringLiteral("?")).join(QStringLiteral(", ")))
                     .arg(PageRows);
    }

    // Writes the file whole, or leaves what was there before; the rows written.
    qint64 writeTo(const QString& path) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            throw StoreError(StoreError::Kind::Failed,
                             QStringLiteral("%1: %2").arg(path, file.errorString()));
        }
        file.write(m_header.join(QLatin1Char(',')).toUtf8() + '\n');
        qint64 rows = 0;
        QVariantList lastKey;
        for (qint64 page = PageRows; page == PageRows;) {
            page = writePage(file, lastKey);
            rows += page;
        }
        if (!file.commit()) {
            throw StoreError(StoreError::Kind::Failed,
                             QStringLiteral("%1: %2").arg(path, file.errorString()));
        }
        return rows;
    }

private:
    qint64 writePage(QSaveFile& file, QVariantList& lastKey) {
        QSqlQuery& query = lastKey.isEmpty() ? m_db.run(m_first) : m_db.run(m_next, lastKey);
        qint64 rows = 0;
        QByteArray block;
        while (query.next()) {
            ++rows;
            for (qsizetype i = 0; i < m_table.columns.size(); ++i) {
                if (i > 0) {
                    block += ',';
                }
                block += csvField(fieldText(m_table.columns.at(i), query.value(static_cast<int>(i))));
            }
            block += '\n';
            lastKey.clear();
            for (const int column : m_keyColumns) {
                lastKey.append(query.value(column));
            }
        }
        query.finish();
        file.write(block);
        return rows;
    }

    Connection& m_db;
    const Table& m_table;
    QStringList m_header;
    QList<int> m_keyColumns;
    QString m_first;
    QString m_next;
};

}  // namespace

int exportFolder(const DatabaseSettings& settings, const QString& folder) {
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "export: cannot make the folder %s\n", qPrintable(folder));
        return 1;
    }
    Connection db(settings);
    try {
        db.ensureOpen();
        // One snapshot: the files agree with each other even while the database is written.
        if (db.isPostgres()) {
            db.execute(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        } else {
            db.transaction();
        }
        QStringList written;
        for (const Table& table : tables()) {
            const QString path = QDir(folder).filePath(table.fileName());
            const qint64 rows = TableExport(db, table).writeTo(path);
            // The import refuses a file without rows, and an empty table has nothing to give.
            if (rows == 0) {
                QFile::remove(path);
            }
            written.append(QStringLiteral("%1 %2").arg(table.name).arg(rows));
        }
        db.commit();
        std::printf("exported %s to %s: %s\n", qPrintable(settings.describe()), qPrintable(folder),
                    qPrintable(written.join(QStringLiteral(", "))));
        return 0;
    } catch (const StoreError& error) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(error.detail()));
        return 1;
    }
}

}  // namespace intake
