#pragma once

#include "modules/Answer.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariantList>

#include <stdexcept>

class Connection;

// How a remote method reads one argument: a text of at most maxLength characters, or a date-time value.
enum class ArgumentKind { Text, DateTime };

struct Argument {
    QString name;
    ArgumentKind kind;
    int maxLength = 0;
    bool namesConsumer = false;  // a consumer's code or badge: the method is held to the look-up rate
};

// The arguments that several methods share, with the widths of the columns they are compared with.
namespace arguments {
inline Argument branch() {
    return {QStringLiteral("Filial"), ArgumentKind::Text, 4};
}
inline Argument registerCode() {
    return {QStringLiteral("Caixa"), ArgumentKind::Text, 3};
}
inline Argument client() {
    return {QStringLiteral("CDCLIENTE"), ArgumentKind::Text, 21};
}
inline Argument consumer() {
    return {QStringLiteral("CDCONSUMIDOR"), ArgumentKind::Text, 21, true};
}
// Date texts longer than any sensible date form are refused before they are read.
inline Argument startText() {
    return {QStringLiteral("Data inicial"), ArgumentKind::Text, 30};
}
inline Argument endText() {
    return {QStringLiteral("Data final"), ArgumentKind::Text, 30};
}
inline Argument startMoment() {
    return {QStringLiteral("Data inicial"), ArgumentKind::DateTime};
}
inline Argument endMoment() {
    return {QStringLiteral("Data final"), ArgumentKind::DateTime};
}
}  // namespace arguments

// A method's own failure: the text the kiosk shows in its error report.
class MethodFailure : public std::runtime_error {
public:
    explicit MethodFailure(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// What a method body sees: its arguments, already checked against the method's declaration, and the
// worker's database connection.
class MethodContext {
public:
    MethodContext(Connection& db, const QVariantList& arguments, const QString& dateFormat)
        : m_db(db), m_arguments(arguments), m_dateFormat(dateFormat) {}

    Connection& db() { return m_db; }
    QString text(int index) const;
    // A date text in the configured form; raises MethodFailure naming the text when it does not read.
    QDate dateText(int index) const;
    QDate dateOfDateTime(int index) const;

private:
    Connection& m_db;
    const QVariantList& m_arguments;
    QString m_dateFormat;
};

using MethodBody = Answer (*)(MethodContext&);

struct Method {
    QString name;
    QList<Argument> arguments;
    MethodBody body;
    int branchArgument = -1;  // which argument names the asking terminal, for the access log
    int registerArgument = -1;
    // Answers for the consumer an argument names: what a loop trying code after code would call.
    bool readsConsumer() const;
};

struct Module {
    QString serverName;
    QString guid;
    QList<Method> methods;
    const Method* method(const QString& name) const;
};

// The four remote data modules, each defined in its own source file.
const Module& terminalConsModule();
const Module& extratoGrupoModule();
const Module& extratoDetalhadoModule();
const Module& extratoSimplificadoModule();
const Module* findModule(const QString& serverName);

// Runs a method whose argument count and types have been checked; every failure of the method itself
// (a value too long, a date text that does not read, the database out of reach) becomes an error text.
// `databaseFailed`, when given, is set when the database failed the call.
Answer invoke(const Method& method, Connection& db, const QVariantList& arguments, const QString& dateFormat,
              bool* databaseFailed = nullptr);
