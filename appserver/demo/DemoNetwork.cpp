// The demo network's fixed part: branches, registers set up for every kind of statement, stores, client
// companies, the catalogue, and a consumer whose year is scripted so that a person can check each answer.
#include "store/BatchInsert.h"
#include "store/Database.h"
#include "demo/DemoCatalogue.h"
#include "demo/DemoData.h"
#include "demo/DemoWriter.h"

#include <stdexcept>

namespace demo {
namespace {

void insertRows(Connection& db, const QString& table, const QStringList& columns,
                const QList<QVariantList>& rows) {
    BatchInsert insert(db, table, columns);
    for (const QVariantList& row : rows) {
        insert.add(row);
    }
    insert.flush();
}

void writeBranches(Connection& db) {
    // Branches 0001 and 0002 cut a badge's track to characters 5 to 12; branch 0003 takes codes whole.
    insertRows(db, QStringLiteral("FILIAL"),
               {QStringLiteral("CDFILIAL"), QStringLiteral("NMFILIAL"), QStringLiteral("NRPOSINICONS"),
                QStringLiteral("NRPOSFINCONS")},
               {{QStringLiteral("0001"), QStringLiteral("Restaurante Central"), 5, 12},
                {QStringLiteral("0002"), QStringLiteral("Refeitório Fábrica Norte"), 5, 12},
                {QStringLiteral("0003"), QStringLiteral("Cantina Centro Logístico"), 0, 0}});
    insertRows(db, QStringLiteral("LOJA"),
               {QStringLiteral("CDFILIAL"), QStringLiteral("CDLOJA"), QStringLiteral("NMLOJA")},
               {{QStringLiteral("0001"), QStringLiteral("1"), QStringLiteral("Restaurante")},
                {QStringLiteral("0001"), QStringLiteral("2"), QStringLiteral("Lanchonete")},
                {QStringLiteral("0001"), QStringLiteral("3"), QStringLiteral("Cafeteria")},
                // A real store whose code is the kiosk's "all stores" code.
                {QStringLiteral("0001"), QStringLiteral("T"), QStringLiteral("Loja de Conveniência")},
                {QStringLiteral("0002"), QStringLiteral("1"), QStringLiteral("Refeitório")},
                {QStringLiteral("0002"), QStringLiteral("2"), QStringLiteral("Cafeteria")},
                {QStringLiteral("0003"), QStringLiteral("1"), QStringLiteral("Cantina")}});
}

// One register's set-up; what is not given is empty (a blank parameter) or "N".
struct RegisterSetup {
    const char* branch;
    const char* code;
    const char* name;
    const char* statement;  // IDTIPEXTTOT
    const char* storeChoice = "N";
    const char* balanceMessage = "N";
    const char* badgeCut = "N";
    bool stillScreen = false;  // "_" and a picture instead of the scrolling message
    const char* group = "";
    const char* startDay = "";
    const char* endDay = "";
    const char* idleSeconds = "";
};

QVariantList registerRow(const RegisterSetup& setup) {
    const auto text = [](const char* value) { return QVariant(QString::fromUtf8(value)); };
    return {text(setup.branch),
            text(setup.code),
            text(setup.name),
            setup.stillScreen ? QStringLiteral("_")
                              : QStringLiteral("Bem-vindo! Consulte aqui o seu consumo e o seu saldo."),
            QStringLiteral("Dúvidas? Procure o caixa da sua unidade."),
            text(setup.startDay),
            text(setup.endDay),
            text(setup.idleSeconds),
            text(setup.balanceMessage),
            text(setup.statement),
            text(setup.group),
            setup.stillScreen ? QStringLiteral("imagens/fundo_totem.bmp") : QStringLiteral(""),
            text(setup.storeChoice),
            text(setup.badgeCut),
            QStringLiteral("Passe o crachá ou digite o seu código")};
}

void writeRegisters(Connection& db) {
    const QList<RegisterSetup> registers{{.branch = "0001",
                                          .code = "001",
                                          .name = "Totem Simplificado",
                                          .statement = "1",
                                          .balanceMessage = "S",
                                          .idleSeconds = "30"},
                                         {.branch = "0001",
                                          .code = "002",
                                          .name = "Totem Detalhado Crachá",
                                          .statement = "2",
                                          .badgeCut = "S",
                                          .stillScreen = true,
                                          .startDay = "16",
                                          .endDay = "15",
                                          .idleSeconds = "20"},
                                         {.branch = "0001",
                                          .code = "003",
                                          .name = "Totem Detalhado Lojas",
                                          .statement = "2",
                                          .storeChoice = "S",
                                          .balanceMessage = "S"},
                                         {.branch = "0001",
                                          .code = "004",
                                          .name = "Totem Grupo Lojas",
                                          .statement = "3",
                                          .storeChoice = "S",
                                          .balanceMessage = "S",
                                          .stillScreen = true,
                                          .idleSeconds = "30"},
                                         {.branch = "0001",
                                          .code = "005",
                                          .name = "Totem Refeições",
                                          .statement = "3",
                                          .badgeCut = "S",
                                          .group = "1",
                                          .startDay = "21",
                                          .endDay = "20",
                                          .idleSeconds = "15"},
                                         {.branch = "0001",
                                          .code = "006",
                                          .name = "Totem Simplificado Crachá",
                                          .statement = "1",
                                          .badgeCut = "S",
                                          .stillScreen = true,
                                          .idleSeconds = "0"},
                                         {.branch = "0002",
                                          .code = "001",
                                          .name = "Totem Refeitório",
                                          .statement = "3",
                                          .storeChoice = "S",
                                          .balanceMessage = "S",
                                          .badgeCut = "S",
                                          .idleSeconds = "30"},
                                         {.branch = "0002",
                                          .code = "002",
                                          .name = "Totem Cafeteria",
                                          .statement = "1",
                                          .balanceMessage = "S",
                                          .stillScreen = true,
                                          .idleSeconds = "30"},
                                         {.branch = "0003",
                                          .code = "001",
                                          .name = "Totem Cantina",
                                          .statement = "2",
                                          .balanceMessage = "S",
                                          .idleSeconds = "30"}};
    QList<QVariantList> rows;
    for (const RegisterSetup& setup : registers) {
        rows.append(registerRow(setup));
    }
    insertRows(db, QStringLiteral("CAIXA"),
               {QStringLiteral("CDFILIAL"), QStringLiteral("CDCAIXA"), QStringLiteral("NMCAIXA"),
                QStringLiteral("DSMSGINITOT"), QStringLiteral("DSMSGADITOT"), QStringLiteral("NRDIAINITOT"),
                QStringLiteral("NRDIAFINTOT"), QStringLiteral("NRSEGFECTOT"), QStringLiteral("IDEXIMSGSAL"),
                QStringLiteral("IDTIPEXTTOT"), QStringLiteral("CDGRUPPROD"), QStringLiteral("DSFUNDOTELA"),
                QStringLiteral("IDSELLOJTOT"), QStringLiteral("IDINFCLIECAI"), QStringLiteral("DSMSGCONTOT")},
               rows);
}

void writeCatalogue(Connection& db) {
    QList<QVariantList> rows;
    for (const Group& group : groups()) {
        rows.append({group.code, group.name});
    }
    insertRows(db, QStringLiteral("GRUPPROD"), {QStringLiteral("CDGRUPPROD"), QStringLiteral("NMGRUPPROD")},
               rows);
    rows.clear();
    for (const SubGroup& subGroup : subGroups()) {
        rows.append({subGroup.code, subGroup.name, subGroup.group});
    }
    insertRows(db, QStringLiteral("SUBGRPROD"),
               {QStringLiteral("CDSUBGRPROD"), QStringLiteral("NMSUBGRPROD"), QStringLiteral("CDGRUPPROD")},
               rows);
    rows.clear();
    for (const Product& product : products()) {
        rows.append({product.code, product.name, product.subGroup, product.tree});
    }
    insertRows(db, QStringLiteral("PRODUTO"),
               {QStringLiteral("CDPRODUTO"), QStringLiteral("NMPRODUTO"), QStringLiteral("CDSUBGRPROD"),
                QStringLiteral("CDARVPROD")},
               rows);
}

void writeClients(Connection& db) {
    insertRows(db, QStringLiteral("CLIENTE"),
               {QStringLiteral("CDCLIENTE"), QStringLiteral("NMCLIENTE"), QStringLiteral("VRLIMSUBCONS")},
               {{QStringLiteral("10"), QStringLiteral("Metalúrgica Horizonte"), 300.0},
                {QStringLiteral("20"), QStringLiteral("Hospital Santa Clara"), 250.0},
                {QStringLiteral("30"), QStringLiteral("Transportes Rota Sul"), 200.0},
                {QStringLiteral("40"), QStringLiteral("Centro Logístico Aurora"), 180.0}});
}

QDateTime at(const QDate& today, int daysBefore, int hour, int minute) {
    return QDateTime(today.addDays(-daysBefore), QTime(hour, minute));
}

// Ana's year, written out by hand: the amounts in docs/server.md follow from these rows alone.
void writeAnasYear(DemoWriter& writer, const QDate& today) {
    Account ana{QStringLiteral("0001"), QStringLiteral("10"), QStringLiteral("1001")};
    const QString till = QStringLiteral("101");
    writer.movement(ana, at(today, 45, 9, 0), QLatin1Char('C'), 300.00);
    writer.sale(ana, QStringLiteral("1"), till, at(today, 40, 12, 0), {{QStringLiteral("1001"), 1}});
    writer.movement(ana, at(today, 10, 8, 0), QLatin1Char('C'), 50.00);
    writer.sale(ana, QStringLiteral("1"), till, at(today, 3, 12, 0),
                {{QStringLiteral("1001"), 1}, {QStringLiteral("2101"), 1}, {QStringLiteral("1301"), 1}});
    writer.sale(ana, QStringLiteral("2"), till, at(today, 2, 15, 30),
                {{QStringLiteral("1102"), 2}, {QStringLiteral("2001"), 1}}, true);
    writer.sale(ana, QStringLiteral("2"), till, at(today, 2, 16, 0), {{QStringLiteral("1102"), 1}});
    writer.movement(ana, at(today, 1, 10, 0), QLatin1Char('A'), -7.50);
    writer.sale(ana, QStringLiteral("T"), till, at(today, 1, 12, 30),
                {{QStringLiteral("3002"), 1}, {QStringLiteral("1302"), 1}});
    writer.sale(ana, QStringLiteral("3"), till, at(today, 0, 0, 5),
                {{QStringLiteral("2001"), 1}, {QStringLiteral("1201"), 0.45}});
}

}  // namespace

void writeNetwork(Connection& db) {
    if (db.run(QStringLiteral("SELECT 1 FROM FILIAL")).next()) {
        throw std::runtime_error("the database already holds a network; give an empty one");
    }
    writeBranches(db);
    writeRegisters(db);
    writeCatalogue(db);
    writeClients(db);
}

void writeScriptedConsumers(Connection& db, DemoWriter& writer, const QDate& today) {
    // Ana carries a long badge whose characters 5 to 12 are her badge number; Bruno has no activity at
    // all; Carlos has left the company and is no longer found.
    insertRows(db, QStringLiteral("CONSUMIDOR"),
               {QStringLiteral("CDCLIENTE"), QStringLiteral("CDCONSUMIDOR"), QStringLiteral("NMCONSUMIDOR"),
                QStringLiteral("CDCRACHA"), QStringLiteral("IDATIVO")},
               {{QStringLiteral("10"), QStringLiteral("1001"), QStringLiteral("Ana Paula Ribeiro"),
                 QStringLiteral("00010001"), QStringLiteral("S")},
                {QStringLiteral("10"), QStringLiteral("1002"), QStringLiteral("Bruno Carvalho"),
                 QStringLiteral("00010002"), QStringLiteral("S")},
                {QStringLiteral("10"), QStringLiteral("1003"), QStringLiteral("Carlos Mendes"),
                 QStringLiteral("00010003"), QStringLiteral("N")}});
    writeAnasYear(writer, today);
}

Summary createDemo(Connection& db, Size size, const QDate& today) {
    db.transaction();
    try {
        writeNetwork(db);
        DemoWriter writer(db);
        writeScriptedConsumers(db, writer, today);
        writer.flush();
        db.commit();
        const qint64 consumers = 3 + writePopulation(db, writer, size, today);
        // Fresh statistics, so that the planner walks the consumer indexes rather than whole tables.
        db.execute(QStringLiteral("ANALYZE"));
        const Counts counts = writer.counts();
        return {consumers, counts.sales, counts.saleLines, counts.movements};
    } catch (...) {
        db.rollback();
        throw;
    }
}

}  // namespace demo
