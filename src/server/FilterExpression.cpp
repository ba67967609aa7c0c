#include "server/FilterExpression.h"

#include "server/ServerErrors.h"

#include <QDateTime>

#include <variant>

namespace filter {

namespace {

enum class Kind { Bool, Text, Number, DateTime };
using Value = std::variant<std::monostate, bool, double, QString, QDateTime>;

QString quotedForMessage(const QString& text) {
    constexpr qsizetype Shown = 120;
    return u'"' + (text.size() > Shown ? text.left(Shown) + QStringLiteral("...") : text) + u'"';
}

Kind kindOf(FieldType type) {
    switch (type) {
        case FieldType::String:
            return Kind::Text;
        case FieldType::Float:
        case FieldType::Integer:
            return Kind::Number;
        case FieldType::Boolean:
            return Kind::Bool;
        case FieldType::DateTime:
            return Kind::DateTime;
    }
    return Kind::Text;
}

QString kindName(Kind kind) {
    switch (kind) {
        case Kind::Bool:
            return QStringLiteral("condição");
        case Kind::Text:
            return QStringLiteral("texto");
        case Kind::Number:
            return QStringLiteral("número");
        case Kind::DateTime:
            return QStringLiteral("data-hora");
    }
    return {};
}

// The value of a cell as the expression compares it; see the rules in the header.
Value cellValue(const QVariant& cell, FieldType type) {
    if (type == FieldType::String) {
        return cell.toString();
    }
    if (!cell.isValid()) {
        return std::monostate{};
    }
    switch (type) {
        case FieldType::Boolean:
            return cell.toBool();
        case FieldType::DateTime:
            return cell.toDateTime();
        default:
            return cell.toDouble();
    }
}

bool isTrue(const Value& value) {
    const bool* flag = std::get_if<bool>(&value);
    return flag != nullptr && *flag;
}

}  // namespace

// Resolves fields and checks kinds once per binding, so that evaluation meets no surprise.
struct Binder {
    const ColumnResolver& resolve;
    Binding& binding;
    const QString& text;

    [[noreturn]] void fail(const QString& detail) const {
        throw FilterError(QStringLiteral("Filtro inválido %1: %2.").arg(quotedForMessage(text), detail));
    }
    void require(Kind actual, Kind expected, const QString& where) const {
        if (actual != expected) {
            fail(QStringLiteral("%1 espera %2, recebeu %3").arg(where, kindName(expected), kindName(actual)));
        }
    }
};

class Node {
public:
    virtual ~Node() = default;
    virtual Kind bind(const Binder& binder) const = 0;
    virtual Value eval(const QVariantList& row, const Binding& binding) const = 0;
};

namespace {

using NodePtr = std::unique_ptr<Node>;

class FieldNode final : public Node {
public:
    FieldNode(QString name, std::size_t slot) : m_name(std::move(name)), m_slot(slot) {}
    Kind bind(const Binder& binder) const override {
        const std::optional<Column> column = binder.resolve(m_name);
        if (!column) {
            binder.fail(QStringLiteral("o campo %1 não existe").arg(m_name));
        }
        binder.binding.columns[m_slot] = *column;
        return kindOf(column->type);
    }
    Value eval(const QVariantList& row, const Binding& binding) const override {
        const Column& column = binding.columns[m_slot];
        return cellValue(column.index < row.size() ? row[column.index] : QVariant(), column.type);
    }

private:
    QString m_name;
    std::size_t m_slot;
};

class LiteralNode final : public Node {
public:
    LiteralNode(Value value, Kind kind) : m_value(std::move(value)), m_kind(kind) {}
    Kind bind(const Binder&) const override { return m_kind; }
    Value eval(const QVariantList&, const Binding&) const override { return m_value; }

private:
    Value m_value;
    Kind m_kind;
};

class CaseNode final : public Node {
public:
    CaseNode(bool upper, NodePtr operand) : m_upper(upper), m_operand(std::move(operand)) {}
    Kind bind(const Binder& binder) const override {
        binder.require(m_operand->bind(binder), Kind::Text,
                       m_upper ? QStringLiteral("UPPER") : QStringLiteral("LOWER"));
        return Kind::Text;
    }
    Value eval(const QVariantList& row, const Binding& binding) const override {
        const QString text = std::get<QString>(m_operand->eval(row, binding));
        return m_upper ? text.toUpper() : text.toLower();
    }

private:
    bool m_upper;
    NodePtr m_operand;
};

enum class Operator { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

// -1, 0 or 1; nullopt when a side is null.
std::optional<int> ordering(const Value& left, const Value& right) {
    const auto sign = [](auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); };
    if (const auto* text = std::get_if<QString>(&left)) {
        return sign(QString::compare(*text, std::get<QString>(right), Qt::CaseSensitive), 0);
    }
    if (std::holds_alternative<std::monostate>(left) || std::holds_alternative<std::monostate>(right)) {
        return std::nullopt;
    }
    if (const auto* number = std::get_if<double>(&left)) {
        return sign(*number, std::get<double>(right));
    }
    if (const auto* moment = std::get_if<QDateTime>(&left)) {
        return sign(*moment, std::get<QDateTime>(right));
    }
    return std::get<bool>(left) == std::get<bool>(right) ? 0 : 1;
}

class CompareNode final : public Node {
public:
    CompareNode(Operator op, NodePtr left, NodePtr right)
        : m_op(op), m_left(std::move(left)), m_right(std::move(right)) {}
    Kind bind(const Binder& binder) const override {
        const Kind left = m_left->bind(binder);
        binder.require(m_right->bind(binder), left,
                       QStringLiteral("a comparação com %1").arg(kindName(left)));
        if (left == Kind::Bool && m_op != Operator::Equal && m_op != Operator::NotEqual) {
            binder.fail(QStringLiteral("condições só se comparam com = ou <>"));
        }
        return Kind::Bool;
    }
    Value eval(const QVariantList& row, const Binding& binding) const override {
        const std::optional<int> order = ordering(m_left->eval(row, binding), m_right->eval(row, binding));
        if (!order) {
            return false;
        }
        switch (m_op) {
            case Operator::Equal:
                return *order == 0;
            case Operator::NotEqual:
                return *order != 0;
            case Operator::Less:
                return *order < 0;
            case Operator::LessOrEqual:
                return *order <= 0;
            case Operator::Greater:
                return *order > 0;
            case Operator::GreaterOrEqual:
                return *order >= 0;
        }
        return false;
    }

private:
    Operator m_op;
    NodePtr m_left;
    NodePtr m_right;
};

class LikeNode final : public Node {
public:
    LikeNode(bool negated, NodePtr text, NodePtr pattern)
        : m_negated(negated), m_text(std::move(text)), m_pattern(std::move(pattern)) {}
    Kind bind(const Binder& binder) const override {
        binder.require(m_text->bind(binder), Kind::Text, QStringLiteral("LIKE"));
        binder.require(m_pattern->bind(binder), Kind::Text, QStringLiteral("o padrão de LIKE"));
        return Kind::Bool;
    }
    Value eval(const QVariantList& row, const Binding& binding) const override {
        const Value text = m_text->eval(row, binding);
        const Value pattern = m_pattern->eval(row, binding);
        return likeMatches(std::get<QString>(text), std::get<QString>(pattern)) != m_negated;
    }

private:
    bool m_negated;
    NodePtr m_text;
    NodePtr m_pattern;
};

class IsNullNode final : public Node {
public:
    IsNullNode(bool negated, NodePtr operand) : m_negated(negated), m_operand(std::move(operand)) {}
    Kind bind(const Binder& binder) const override {
        m_operand->bind(binder);
        return Kind::Bool;
    }
    Value eval(const QVariantList& row, const Binding& binding) const override {
        const Value value = m_operand->eval(row, binding);
        const QString* text = std::get_if<QString>(&value);
        const bool null =
            std::holds_alternative<std::monostate>(value) || (text != nullptr && text->isEmpty());
        return null != m_negated;
    }

private:
    bool m_negated;
    NodePtr m_operand;
};

class NotNode final : public Node {
public:
    explicit NotNode(NodePtr operand) : m_operand(std::move(operand)) {}
    Kind bind(const Binder& binder) const override {
        binder.require(m_operand->bind(binder), Kind::Bool, QStringLiteral("NOT"));
        return Kind::Bool;
    }
    Value eval(const QVariantList& row, const Binding& binding) const override {
        return !isTrue(m_operand->eval(row, binding));
    }

private:
    NodePtr m_operand;
};

// AND or OR over any number of conditions, evaluated left to right with short circuit. Keeping the chain
// flat keeps evaluation depth independent of the chain's length.
class JunctionNode final : public Node {
public:
    JunctionNode(bool all, std::vector<NodePtr> operands) : m_all(all), m_operands(std::move(operands)) {}
    Kind bind(const Binder& binder) const override {
        for (const NodePtr& operand : m_operands) {
            binder.require(operand->bind(binder), Kind::Bool,
                           m_all ? QStringLiteral("AND") : QStringLiteral("OR"));
        }
        return Kind::Bool;
    }
    Value eval(const QVariantList& row, const Binding& binding) const override {
        for (const NodePtr& operand : m_operands) {
            if (isTrue(operand->eval(row, binding)) != m_all) {
                return !m_all;
            }
        }
        return m_all;
    }

private:
    bool m_all;
    std::vector<NodePtr> m_operands;
};

// ---- reading the text ----

enum class TokenType { Word, Text, Number, Operator, Minus, Open, Close, End };

struct Token {
    TokenType type = TokenType::End;
    QString text;
    qsizetype position = 0;
};

class Parser {
public:
    explicit Parser(const QString& text) : m_text(text) { tokenize(); }

    NodePtr parseAll() {
        NodePtr root = parseOr(0);
        if (peek().type != TokenType::End) {
            fail(QStringLiteral("sobra \"%1\"").arg(peek().text));
        }
        return root;
    }
    std::size_t fieldCount() const { return m_fields; }

private:
    [[noreturn]] void fail(const QString& detail) const { failAt(detail, peek().position); }
    [[noreturn]] void failAt(const QString& detail, qsizetype position) const {
        throw FilterError(QStringLiteral("Filtro inválido %1: %2 na posição %3.")
                              .arg(quotedForMessage(m_text), detail)
                              .arg(position + 1));
    }

    void tokenize() {
        qsizetype i = 0;
        while (i < m_text.size()) {
            const QChar c = m_text[i];
            if (c.isSpace()) {
                ++i;
            } else if (c == u'\'') {
                i = readText(i);
            } else if (c.isDigit()) {
                i = readWhile(TokenType::Number, i, [](QChar d) { return d.isDigit() || d == u'.'; });
            } else if (c.isLetter() || c == u'_') {
                i = readWhile(TokenType::Word, i, [](QChar d) { return d.isLetterOrNumber() || d == u'_'; });
            } else {
                i = readSymbol(i);
            }
        }
        m_tokens.push_back(Token{TokenType::End, QStringLiteral("fim"), m_text.size()});
    }

    template <typename Accept>
    qsizetype readWhile(TokenType type, qsizetype start, Accept accept) {
        qsizetype end = start;
        while (end < m_text.size() && accept(m_text[end])) {
            ++end;
        }
        m_tokens.push_back(Token{type, m_text.mid(start, end - start), start});
        return end;
    }

    qsizetype readText(qsizetype start) {
        QString value;
        for (qsizetype i = start + 1; i < m_text.size(); ++i) {
            if (m_text[i] != u'\'') {
                value.append(m_text[i]);
            } else if (i + 1 < m_text.size() && m_text[i + 1] == u'\'') {
                value.append(u'\'');
                ++i;
            } else {
                m_tokens.push_back(Token{TokenType::Text, value, start});
                return i + 1;
            }
        }
        failAt(QStringLiteral("texto sem aspa de fechamento"), start);
    }

    qsizetype readSymbol(qsizetype start) {
        static const QStringList operators{QStringLiteral("<="), QStringLiteral(">="), QStringLiteral("<>"),
                                           QStringLiteral("="),  QStringLiteral("<"),  QStringLiteral(">")};
        for (const QString& op : operators) {
            if (QStringView(m_text).mid(start).startsWith(op)) {
                m_tokens.push_back(Token{TokenType::Operator, op, start});
                return start + op.size();
            }
        }
        const QChar c = m_text[start];
        const TokenType type = c == u'(' ? TokenType::Open : c == u')' ? TokenType::Close : TokenType::Minus;
        if (c != u'(' && c != u')' && c != u'-') {
            failAt(QStringLiteral("caractere inesperado '%1'").arg(c), start);
        }
        m_tokens.push_back(Token{type, QString(c), start});
        return start + 1;
    }

    const Token& peek() const { return m_tokens[m_next]; }
    Token take() { return m_tokens[m_next++]; }
    bool isWord(const char* keyword) const {
        return peek().type == TokenType::Word &&
               peek().text.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
    }
    bool takeWord(const char* keyword) {
        if (!isWord(keyword)) {
            return false;
        }
        ++m_next;
        return true;
    }
    void expect(TokenType type, const QString& what) {
        if (peek().type != type) {
            fail(QStringLiteral("esperado %1").arg(what));
        }
        ++m_next;
    }
    void enter(int depth) const {
        if (depth >= MaxDepth) {
            fail(QStringLiteral("aninhamento além de %1 níveis").arg(MaxDepth));
        }
    }

    NodePtr parseJunction(int depth, const char* keyword, NodePtr (Parser::*operand)(int)) {
        std::vector<NodePtr> operands;
        operands.push_back((this->*operand)(depth));
        while (takeWord(keyword)) {
            operands.push_back((this->*operand)(depth));
        }
        if (operands.size() == 1) {
            return std::move(operands.front());
        }
        return std::make_unique<JunctionNode>(std::string_view(keyword) == "AND", std::move(operands));
    }
    NodePtr parseOr(int depth) { return parseJunction(depth, "OR", &Parser::parseAnd); }
    NodePtr parseAnd(int depth) { return parseJunction(depth, "AND", &Parser::parseNot); }

    NodePtr parseNot(int depth) {
        if (!takeWord("NOT")) {
            return parseComparison(depth);
        }
        enter(depth + 1);
        return std::make_unique<NotNode>(parseNot(depth + 1));
    }

    NodePtr parseComparison(int depth) {
        NodePtr left = parseOperand(depth);
        if (peek().type == TokenType::Operator) {
            const Operator op = operatorOf(take().text);
            return std::make_unique<CompareNode>(op, std::move(left), parseOperand(depth));
        }
        if (takeWord("IS")) {
            const bool negated = takeWord("NOT");
            if (!takeWord("NULL")) {
                fail(QStringLiteral("esperado NULL"));
            }
            return std::make_unique<IsNullNode>(negated, std::move(left));
        }
        const bool negated = takeWord("NOT");
        if (takeWord("LIKE")) {
            return std::make_unique<LikeNode>(negated, std::move(left), parseOperand(depth));
        }
        if (negated) {
            fail(QStringLiteral("esperado LIKE"));
        }
        return left;
    }

    static Operator operatorOf(const QString& text) {
        if (text == u"=") {
            return Operator::Equal;
        }
        if (text == u"<>") {
            return Operator::NotEqual;
        }
        if (text == u"<") {
            return Operator::Less;
        }
        if (text == u"<=") {
            return Operator::LessOrEqual;
        }
        return text == u">" ? Operator::Greater : Operator::GreaterOrEqual;
    }

    NodePtr parseOperand(int depth) {
        switch (peek().type) {
            case TokenType::Text:
                return std::make_unique<LiteralNode>(take().text, Kind::Text);
            case TokenType::Number:
                return number(false);
            case TokenType::Minus:
                ++m_next;
                if (peek().type != TokenType::Number) {
                    fail(QStringLiteral("esperado um número após '-'"));
                }
                return number(true);
            case TokenType::Open: {
                ++m_next;
                enter(depth + 1);
                NodePtr inner = parseOr(depth + 1);
                expect(TokenType::Close, QStringLiteral("')'"));
                return inner;
            }
            case TokenType::Word:
                return word(depth);
            default:
                fail(QStringLiteral("esperado um campo, um texto ou um número"));
        }
    }

    NodePtr number(bool negative) {
        bool ok = false;
        const double value = take().text.toDouble(&ok);
        if (!ok) {
            failAt(QStringLiteral("número malformado"), m_tokens[m_next - 1].position);
        }
        return std::make_unique<LiteralNode>(negative ? -value : value, Kind::Number);
    }

    NodePtr word(int depth) {
        for (const char* reserved : {"AND", "OR", "NOT", "LIKE", "IS", "NULL"}) {
            if (isWord(reserved)) {
                fail(QStringLiteral("esperado um campo, um texto ou um número, encontrado %1")
                         .arg(peek().text));
            }
        }
        const bool upper = isWord("UPPER");
        if ((upper || isWord("LOWER")) && m_tokens[m_next + 1].type == TokenType::Open) {
            m_next += 2;
            enter(depth + 1);
            NodePtr operand = parseOr(depth + 1);
            expect(TokenType::Close, QStringLiteral("')'"));
            return std::make_unique<CaseNode>(upper, std::move(operand));
        }
        return std::make_unique<FieldNode>(take().text, m_fields++);
    }

    const QString& m_text;
    std::vector<Token> m_tokens;
    std::size_t m_next = 0;
    std::size_t m_fields = 0;
};

}  // namespace

Expression::Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;
Expression::~Expression() = default;

Expression Expression::parse(const QString& text) {
    Expression expression;
    expression.m_text = text;
    if (!text.trimmed().isEmpty()) {
        Parser parser(text);
        expression.m_root = parser.parseAll();
        expression.m_fieldCount = parser.fieldCount();
    }
    return expression;
}

Binding Expression::bind(const ColumnResolver& resolve) const {
    Binding binding;
    binding.columns.resize(m_fieldCount);
    if (m_root) {
        const Binder binder{resolve, binding, m_text};
        binder.require(m_root->bind(binder), Kind::Bool, QStringLiteral("o filtro"));
    }
    return binding;
}

bool Expression::matches(const QVariantList& row, const Binding& binding) const {
    return !m_root || isTrue(m_root->eval(row, binding));
}

QString quoted(const QString& text) {
    QString doubled = text;
    doubled.replace(u'\'', QStringLiteral("''"));
    return u'\'' + doubled + u'\'';
}

bool likeMatches(QStringView text, QStringView pattern) {
    const auto same = [](QChar a, QChar b) { return a == b || a.toCaseFolded() == b.toCaseFolded(); };
    qsizetype t = 0;
    qsizetype p = 0;
    qsizetype starPattern = -1;  // last % seen, to widen its run when a later character fails
    qsizetype starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'%') {
            starPattern = p++;
            starText = t;
        } else if (p < pattern.size() && (pattern[p] == u'_' || same(pattern[p], text[t]))) {
            ++p;
            ++t;
        } else if (starPattern >= 0) {
            p = starPattern + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'%') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace filter
