#include "intake/RowCheck.h"

#include "intake/Problems.h"

#include <QDate>
#include <QStringDecoder>
#include <QTime>

#include <algorithm>
#include <limits>

namespace intake {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isUtf8(const std::string& text) {
    if (isAscii(text)) {
        return true;
    }
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString decoded = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return !decoder.hasError();
}

// Characters of valid UTF-8: every byte but the continuation bytes starts one.
qsizetype characters(const std::string& text) {
    return std::count_if(text.begin(), text.end(),
                         [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

QString quoted(const std::string& field) {
    return QLatin1Char('"') +
           QString::fromUtf8(field.data(), static_cast<qsizetype>(std::min<std::size_t>(field.size(), 40))) +
           QLatin1Char('"');
}

// A whole number within the bounds, written with digits and an optional minus only.
bool isWholeNumber(const std::string& field, qint64 minimum, qint64 maximum) {
    const std::string_view digits = field.starts_with('-') ? std::string_view(field).substr(1) : field;
    if (!allDigits(digits) || digits.size() > 18) {
        return false;
    }
    const qint64 value = std::stoll(field);
    return value >= minimum && value <= maximum;
}

// Digits, then a point and at most `scale` digits, with at most width - scale digits before the point.
bool isDecimal(const std::string& field, int width, int scale) {
    const std::string_view number = field.starts_with('-') ? std::string_view(field).substr(1) : field;
    const std::size_t point = number.find('.');
    const std::string_view whole = number.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : number.substr(point + 1);
    return allDigits(whole) && whole.size() <= static_cast<std::size_t>(width - scale) &&
           (point == std::string_view::npos ||
            (allDigits(fraction) && fraction.size() <= static_cast<std::size_t>(scale)));
}

// yyyy-MM-dd or yyyy-MM-ddTHH:mm:ss, as the schema stores it: with the time, midnight for a date alone.
bool normaliseTimestamp(const std::string& field, std::string& stored) {
    const QString text = QString::fromLatin1(field.data(), static_cast<qsizetype>(field.size()));
    if (field.size() == 10 && QDate::fromString(text, QStringLiteral("yyyy-MM-dd")).isValid()) {
        stored = field + "T00:00:00";
        return true;
    }
    // Date and time apart: a wall-clock time is valid even where the local zone skipped it.
    if (field.size() == 19 && field[10] == 'T' &&
        QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd")).isValid() &&
        QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss")).isValid()) {
        stored = field;
        return true;
    }
    return false;
}

}  // namespace

RowCheck::RowCheck(const Table& table, Problems& problems) : m_table(table), m_problems(problems) {}

bool RowCheck::readHeader(CsvReader::Fields fields) {
    const qint64 before = m_problems.count();
    for (const std::string& field : fields) {
        const QString name = QString::fromUtf8(field.data(), static_cast<qsizetype>(field.size()));
        const Column* column = m_table.column(name);
        if (column == nullptr) {
            m_problems.add(m_table.fileName(), 1, name,
                           QStringLiteral("not a column of %1").arg(m_table.name));
        } else if (m_columns.contains(column)) {
            m_problems.add(m_table.fileName(), 1, name, QStringLiteral("named twice in the header"));
        }
        m_columns.append(column);
    }
    for (const Column& column : m_table.columns) {
        if (column.required && !m_columns.contains(&column)) {
            m_problems.add(
                m_table.fileName(), 1, column.name,
                QStringLiteral("missing from the header; %1 has no default for it").arg(m_table.name));
        }
    }
    m_values.resize(static_cast<std::size_t>(m_columns.size()));
    return m_problems.count() == before;
}

bool RowCheck::check(qint64 line, CsvReader::Fields fields) {
    if (fields.size() != m_values.size()) {
        m_problems.add(m_table.fileName(), line, {},
                       QStringLiteral("%1 fields where the header names %2")
                           .arg(fields.size() > CsvReader::MaxFields
                                    ? QStringLiteral("more than %1").arg(CsvReader::MaxFields)
                                    : QString::number(fields.size()))
                           .arg(m_values.size()));
        return false;
    }
    bool good = true;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const Column& column = *m_columns.at(static_cast<qsizetype>(i));
        const QString reason = checkField(column, fields[i], m_values[i]);
        if (!reason.isEmpty()) {
            m_problems.add(m_table.fileName(), line, column.name, reason);
            good = false;
        }
    }
    return good;
}

QString RowCheck::checkField(const Column& column, const std::string& field, Value& value) const {
    value.null = field.empty() && column.nullable;
    value.text.clear();
    if (value.null) {
        return {};
    }
    if (!isUtf8(field)) {
        return QStringLiteral("not valid UTF-8");
    }
    if (field.empty() &&
        (column.type != Column::Type::Text || m_table.needsValue(column) || !column.choices.isEmpty())) {
        return QStringLiteral("empty; a value is needed");
    }
    switch (column.type) {
        case Column::Type::Text:
            if (characters(field) > column.width) {
                return QStringLiteral("%1 characters, at most %2").arg(characters(field)).arg(column.width);
            }
            if (!column.choices.isEmpty() &&
                (field.size() != 1 || !column.choices.contains(QLatin1Char(field.front())))) {
                return QStringLiteral("%1 is none of %2")
                    .arg(quoted(field),
                         column.choices.split(QString(), Qt::SkipEmptyParts).join(QStringLiteral(", ")));
            }
            break;
        case Column::Type::Integer:
            if (!isWholeNumber(field, std::numeric_limits<qint32>::min(),
                               std::numeric_limits<qint32>::max())) {
                return QStringLiteral("%1 is not a whole number").arg(quoted(field));
            }
            break;
        case Column::Type::BigInteger:
            if (!isWholeNumber(field, -999'999'999'999'999'999, 999'999'999'999'999'999)) {
                return QStringLiteral("%1 is not a whole number of at most 18 digits").arg(quoted(field));
            }
            break;
        case Column::Type::Decimal:
            if (!isDecimal(field, column.width, column.scale)) {
                return QStringLiteral(
                           "%1 is not a number with a decimal point, at most %2 digits before it and %3 "
                           "after")
                    .arg(quoted(field))
                    .arg(column.width - column.scale)
                    .arg(column.scale);
            }
            break;
        case Column::Type::Timestamp:
            if (!normaliseTimestamp(field, value.text)) {
                return QStringLiteral("%1 is not a date yyyy-MM-dd or a date-time yyyy-MM-ddTHH:mm:ss")
                    .arg(quoted(field));
            }
            return {};
    }
    value.text = field;
    return {};
}

}  // namespace intake
