#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The tables an operator loads from files and writes back to them, described once for reading, checking,
// writing and exporting. The fleet's own table is the servers' record, never a feed's.
namespace intake {

struct Column {
    enum class Type { Text, Integer, BigInteger, Decimal, Timestamp };
    QString name;
    Type type = Type::Text;
    int width = 0;  // text: characters at most; decimal: digits in all
    int scale = 0;  // decimal: digits after the point
    // Has no default in the schema: the file's header must name it.
    bool required = true;
    // An empty field is NULL (else an empty text is a text, and an empty number or date an error).
    bool nullable = false;
    // Text: the only values allowed, one character each.
    QString choices = {};
};

// Columns of a row that name a row of another table, found in the files or already in the database.
struct Reference {
    QStringList columns;
    QString table;
    QStringList parentColumns;
    QString what;  // for the operator: "consumer", "product"...
};

struct Table {
    QString name;
    QList<Column> columns;
    QStringList key;
    QList<QStringList> uniques;  // besides the key, each unique in the whole table
    QList<Reference> references;

    QString fileName() const { return name + QStringLiteral(".csv"); }
    const Column* column(const QString& name) const;
    // A column that must hold a value: part of the key, of a unique set or of a reference.
    bool needsValue(const Column& column) const;
};

// Parents before their children: the order in which they are written.
const QList<Table>& tables();

}  // namespace intake
