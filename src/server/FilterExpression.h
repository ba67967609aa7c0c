#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "server/DataPacket.h"

// The filter language of TClientDataSet.
//
//   condition  := or
//   or         := and { OR and }
//   and        := not { AND not }
//   not        := NOT not | comparison
//   comparison := operand [ op operand | [NOT] LIKE operand | IS [NOT] NULL ]      op: = <> < <= > >=
//   operand    := FIELD | 'text' | number | -number | UPPER(operand) | LOWER(operand) | ( condition )
//
// Keywords and field names are read without regard to letter case. Texts are quoted with ' and a quote
// inside a text is written twice ('D''Ávila'); quoted() builds such a literal. Numbers are written with
// a point (12, 3.5, -2). Rules of comparison:
// - `=`, `<>`, `<`, ... compare texts exactly, character by character: letter case and accents count.
//   Both sides must be of one kind: text with text, number with number (float and integer fields are
//   numbers), date-time with date-time field, Boolean with Boolean.
// - UPPER() and LOWER() convert every letter, accented ones included (ç -> Ç, ã -> Ã).
// - LIKE matches a text against a pattern in which % stands for any run of characters and _ for one
//   character; it ignores letter case, accented letters included (ç matches Ç), but not accents (a does
//   not match ã). So UPPER(NMLOJA) LIKE 'CAF%' finds "Café" and "cafeteria".
// - A null text reads as the empty text. A comparison with a null number, date-time or Boolean is false,
//   whatever the operator. IS NULL is true for a null value and for an empty text.
// - A Boolean field alone is a condition. The whole expression must be a condition.
// Malformed text, unknown fields and mixed kinds raise FilterError, never a crash; nesting deeper than
// MaxDepth is refused.
namespace filter {

constexpr int MaxDepth = 64;

// A field as the expression sees it: its position in a row and its type.
struct Column {
    int index = 0;
    FieldType type = FieldType::String;
};
using ColumnResolver = std::function<std::optional<Column>(const QString& name)>;

class Node;

// The field positions and types that one binding of an expression found.
struct Binding {
    std::vector<Column> columns;  // one per field reference, in the order of the text
};

class Expression {
public:
    // Reads the text once; raises FilterError on a syntax error. An empty (or blank) text matches every row.
    static Expression parse(const QString& text);

    Expression();
    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;
    ~Expression();

    QString text() const { return m_text; }
    bool isEmpty() const { return m_root == nullptr; }

    // Resolves the fields and checks the kinds of all operands; raises FilterError on failure.
    Binding bind(const ColumnResolver& resolve) const;
    // Whether a row (values in column order) satisfies the expression under that binding.
    bool matches(const QVariantList& row, const Binding& binding) const;

private:
    QString m_text;
    std::unique_ptr<Node> m_root;
    std::size_t m_fieldCount = 0;
};

// The text as a quoted literal of the language: 'O''Brien' for O'Brien.
QString quoted(const QString& text);

// LIKE's pattern match: % any run, _ one character, letter case ignored.
bool likeMatches(QStringView text, QStringView pattern);

}  // namespace filter
