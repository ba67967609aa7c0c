#pragma once

#include "intake/CsvReader.h"
#include "intake/Tables.h"

#include <QList>

#include <string>
#include <vector>

class Problems;

namespace intake {

// A field as it is written to the database: a text in the form the schema stores (date-times
// yyyy-MM-ddTHH:mm:ss, numbers with a decimal point), or NULL.
struct Value {
    std::string text;
    bool null = false;
};

// Checks one file against its table: the header names known columns, once each, and every column the
// schema cannot fill by itself; each record has the header's number of fields, and each field the type,
// width and form of its column. Problems are added to the list with the file's line.
class RowCheck {
public:
    RowCheck(const Table& table, Problems& problems);

    // False when the header cannot be used: the file's rows are then not read.
    bool readHeader(CsvReader::Fields fields);
    // The columns the file holds, in its order.
    const QList<const Column*>& columns() const { return m_columns; }
    // False when something is wrong with the record; otherwise values() holds it in the file's order.
    bool check(qint64 line, CsvReader::Fields fields);
    const std::vector<Value>& values() const { return m_values; }

private:
    // Empty when the field fits its column; otherwise why not. Fills `value`.
    QString checkField(const Column& column, const std::string& field, Value& value) const;

    const Table& m_table;
    Problems& m_problems;
    QList<const Column*> m_columns;
    std::vector<Value> m_values;
};

}  // namespace intake
