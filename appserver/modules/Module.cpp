#include "modules/Module.h"

#include "store/Database.h"

#include <QDateTime>

#include <algorithm>
#include <array>

namespace {

QString storeFailureText(const StoreError& error) {
    switch (error.kind()) {
        case StoreError::Kind::Unavailable:
            return QStringLiteral("Banco de dados indisponível. Tente novamente em instantes.");
        case StoreError::Kind::Busy:
            return QStringLiteral("Banco de dados ocupado (bloqueado). Tente novamente em instantes.");
        case StoreError::Kind::Timeout:
            return QStringLiteral("A consulta excedeu o tempo limite do servidor.");
        case StoreError::Kind::Failed:
            break;
    }
    return QStringLiteral("Falha ao consultar o banco de dados.");
}

// Values are checked before any SQL runs, so an oversized code never reaches the database.
void checkWidths(const Method& method, const QVariantList& arguments) {
    for (int i = 0; i < method.arguments.size(); ++i) {
        const Argument& argument = method.arguments.at(i);
        if (argument.kind == ArgumentKind::Text && arguments.at(i).toString().size() > argument.maxLength) {
            throw MethodFailure(QStringLiteral("%1: o valor informado tem mais de %2 caracteres.")
                                    .arg(argument.name)
                                    .arg(argument.maxLength));
        }
    }
}

}  // namespace

QString MethodContext::text(int index) const {
    return m_arguments.at(index).toString();
}

QDate MethodContext::dateText(int index) const {
    const QString text = m_arguments.at(index).toString();
    const QDate date = QDate::fromString(text, m_dateFormat);
    if (!date.isValid()) {
        // Quote at most a short piece of what arrived; the answer must stay readable.
        throw MethodFailure(
            QStringLiteral("Data inválida: \"%1\". Use o formato %2.").arg(text.left(20), m_dateFormat));
    }
    return date;
}

QDate MethodContext::dateOfDateTime(int index) const {
    return m_arguments.at(index).toDateTime().date();
}

bool Method::readsConsumer() const {
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const Argument& argument) { return argument.namesConsumer; });
}

const Method* Module::method(const QString& name) const {
    for (const Method& candidate : methods) {
        if (candidate.name == name) {
            return &candidate;
        }
    }
    return nullptr;
}

const Module* findModule(const QString& serverName) {
    const std::array<const Module*, 4> modules{&terminalConsModule(), &extratoGrupoModule(),
                                               &extratoDetalhadoModule(), &extratoSimplificadoModule()};
    for (const Module* module : modules) {
        if (module->serverName == serverName) {
            return module;
        }
    }
    return nullptr;
}

namespace {

// Between requests a worker holds no open read, which would keep old snapshots alive.
class FinishedStatements {
public:
    explicit FinishedStatements(Connection& db) : m_db(db) {}
    ~FinishedStatements() { m_db.finishStatements(); }
    FinishedStatements(const FinishedStatements&) = delete;
    FinishedStatements& operator=(const FinishedStatements&) = delete;

private:
    Connection& m_db;
};

}  // namespace

Answer invoke(const Method& method, Connection& db, const QVariantList& arguments, const QString& dateFormat,
              bool* databaseFailed) {
    const FinishedStatements finished(db);
    try {
        checkWidths(method, arguments);
        db.requireNetwork();
        MethodContext context(db, arguments, dateFormat);
        return method.body(context);
    } catch (const MethodFailure& failure) {
        return failure.text();
    } catch (const StoreError& error) {
        if (databaseFailed != nullptr) {
            *databaseFailed = true;
        }
        return storeFailureText(error);
    }
}
