#include "store/Migrations.h"

#include "store/Database.h"

#include <QStringList>

namespace {

// Each migration is a list of statements; %TIMESTAMP% is a date-time column (TIMESTAMP in PostgreSQL,
// ISO text in SQLite, which has no date type of its own).
const QList<QStringList>& migrations() {
    static const QList<QStringList> steps{
        // 1: the network, its registers, consumers, catalogue, sales and account movements.
        {QStringLiteral(
             "CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) PRIMARY KEY, NMFILIAL VARCHAR(50) NOT NULL, "
             "NRPOSINICONS INTEGER NOT NULL DEFAULT 0, NRPOSFINCONS INTEGER NOT NULL DEFAULT 0)"),
         QStringLiteral(
             "CREATE TABLE CAIXA (CDFILIAL VARCHAR(4) NOT NULL REFERENCES FILIAL, "
             "CDCAIXA VARCHAR(3) NOT NULL, NMCAIXA VARCHAR(30) NOT NULL, "
             "DSMSGINITOT VARCHAR(200) NOT NULL DEFAULT '', DSMSGADITOT VARCHAR(200) NOT NULL DEFAULT '', "
             "NRDIAINITOT VARCHAR(2) NOT NULL DEFAULT '', NRDIAFINTOT VARCHAR(2) NOT NULL DEFAULT '', "
             "NRSEGFECTOT VARCHAR(5) NOT NULL DEFAULT '', IDEXIMSGSAL VARCHAR(1) NOT NULL DEFAULT 'N', "
             "IDTIPEXTTOT VARCHAR(1) NOT NULL DEFAULT '3', CDGRUPPROD VARCHAR(10) NOT NULL DEFAULT '', "
             "DSFUNDOTELA VARCHAR(200) NOT NULL DEFAULT '', IDSELLOJTOT VARCHAR(20) NOT NULL DEFAULT 'N', "
             "IDINFCLIECAI VARCHAR(1) NOT NULL DEFAULT 'N', DSMSGCONTOT VARCHAR(200) NOT NULL DEFAULT '', "
             "PRIMARY KEY (CDFILIAL, CDCAIXA))"),
         QStringLiteral(
             "CREATE TABLE CLIENTE (CDCLIENTE VARCHAR(21) PRIMARY KEY, NMCLIENTE VARCHAR(50) NOT NULL, "
             "VRLIMSUBCONS NUMERIC(12,2) NOT NULL DEFAULT 0)"),
         QStringLiteral("CREATE TABLE CONSUMIDOR (CDCLIENTE VARCHAR(21) NOT NULL REFERENCES CLIENTE, "
                        "CDCONSUMIDOR VARCHAR(21) NOT NULL, NMCONSUMIDOR VARCHAR(50) NOT NULL, "
                        "CDCRACHA VARCHAR(21) NOT NULL, IDATIVO VARCHAR(1) NOT NULL DEFAULT 'S', "
                        "PRIMARY KEY (CDCLIENTE, CDCONSUMIDOR))"),
         QStringLiteral("CREATE TABLE LOJA (CDFILIAL VARCHAR(4) NOT NULL REFERENCES FILIAL, CDLOJA "
                        "VARCHAR(10) NOT NULL, "
                        "NMLOJA VARCHAR(50) NOT NULL, PRIMARY KEY (CDFILIAL, CDLOJA))"),
         QStringLiteral(
             "CREATE TABLE GRUPPROD (CDGRUPPROD VARCHAR(10) PRIMARY KEY, NMGRUPPROD VARCHAR(40) NOT NULL)"),
         QStringLiteral(
             "CREATE TABLE SUBGRPROD (CDSUBGRPROD VARCHAR(10) PRIMARY KEY, NMSUBGRPROD VARCHAR(40) NOT NULL, "
             "CDGRUPPROD VARCHAR(10) NOT NULL REFERENCES GRUPPROD)"),
         QStringLiteral(
             "CREATE TABLE PRODUTO (CDPRODUTO VARCHAR(10) PRIMARY KEY, NMPRODUTO VARCHAR(50) NOT NULL, "
             "CDSUBGRPROD VARCHAR(10) NOT NULL REFERENCES SUBGRPROD, CDARVPROD VARCHAR(20) NOT NULL)"),
         QStringLiteral(
             "CREATE TABLE VENDA (CDFILIAL VARCHAR(4) NOT NULL, NRSEQVENDA VARCHAR(10) NOT NULL, "
             "CDCAIXA VARCHAR(3) NOT NULL, CDLOJA VARCHAR(10) NOT NULL, CDCLIENTE VARCHAR(21) NOT NULL, "
             "CDCONSUMIDOR VARCHAR(21) NOT NULL, DTENTRVENDA %TIMESTAMP% NOT NULL, "
             "IDSITUVENDA VARCHAR(1) NOT NULL CHECK (IDSITUVENDA IN ('A', 'X')), "
             "PRIMARY KEY (CDFILIAL, NRSEQVENDA))"),
         QStringLiteral(
             "CREATE TABLE ITVENDA (CDFILIAL VARCHAR(4) NOT NULL, NRSEQVENDA VARCHAR(10) NOT NULL, "
             "NRSEQITVEND INTEGER NOT NULL, CDPRODUTO VARCHAR(10) NOT NULL, "
             "QTPRODVEND NUMERIC(12,3) NOT NULL, VRUNITVEND NUMERIC(12,2) NOT NULL, "
             "VRUNITVENDCL NUMERIC(12,2) NOT NULL, PRIMARY KEY (CDFILIAL, NRSEQVENDA, NRSEQITVEND))"),
         QStringLiteral("CREATE TABLE MOVCLIE (CDFILIAL VARCHAR(4) NOT NULL, NRSEQMOVCLI BIGINT NOT NULL, "
                        "CDCLIENTE VARCHAR(21) NOT NULL, CDCONSUMIDOR VARCHAR(21) NOT NULL, "
                        "DTMOVCLI %TIMESTAMP% NOT NULL, "
                        "IDTIPMOCVLI VARCHAR(1) NOT NULL CHECK (IDTIPMOCVLI IN ('C', 'D', 'A', 'X')), "
                        "VRMOVCLI NUMERIC(12,2) NOT NULL, VRSALDOCONS NUMERIC(12,2) NOT NULL, "
                        "NRSEQVENDA VARCHAR(10), PRIMARY KEY (CDFILIAL, NRSEQMOVCLI))")},
        // 2: what the consultations look up: a consumer by code or badge, a consumer's sales and movements
        // in a period at a branch, the sub-groups of a group.
        {QStringLiteral("CREATE UNIQUE INDEX CONSUMIDOR_CODIGO ON CONSUMIDOR (CDCONSUMIDOR)"),
         QStringLiteral("CREATE UNIQUE INDEX CONSUMIDOR_CRACHA ON CONSUMIDOR (CDCRACHA)"),
         QStringLiteral(
             "CREATE INDEX VENDA_CONSUMIDOR ON VENDA (CDCLIENTE, CDCONSUMIDOR, CDFILIAL, DTENTRVENDA)"),
         QStringLiteral("CREATE INDEX MOVCLIE_CONSUMIDOR ON MOVCLIE "
                        "(CDCLIENTE, CDCONSUMIDOR, CDFILIAL, DTMOVCLI, NRSEQMOVCLI)"),
         QStringLiteral("CREATE INDEX SUBGRPROD_GRUPO ON SUBGRPROD (CDGRUPPROD)")},
        // 3: the fleet: each kiosk as the servers last saw it (its requests and its heartbeats).
        {QStringLiteral(
            "CREATE TABLE TOTEM (CDFILIAL VARCHAR(4) NOT NULL, CDCAIXA VARCHAR(3) NOT NULL, "
            "DTPRIMVISTO %TIMESTAMP% NOT NULL, DTULTVISTO %TIMESTAMP% NOT NULL, DSENDERECO VARCHAR(64) NOT NULL, "
            "DSVERSAO VARCHAR(20), DSESTADO VARCHAR(20), DSDETALHE VARCHAR(120), DTESTADO %TIMESTAMP%, "
            "DSULTERRO VARCHAR(200), QTCONSINICIO INTEGER, DTCONSULTAS VARCHAR(10) NOT NULL, "
            "QTCONSULTAS INTEGER NOT NULL, PRIMARY KEY (CDFILIAL, CDCAIXA))")}};
    return steps;
}

void migrate(Connection& db, int version) {
    const QString timestampType = db.isPostgres() ? QStringLiteral("TIMESTAMP") : QStringLiteral("TEXT");
    for (QString statement : migrations().at(version - 1)) {
        db.execute(statement.replace(QStringLiteral("%TIMESTAMP%"), timestampType));
    }
    db.run(QStringLiteral("UPDATE SCHEMA_VERSION SET VERSION = ?"), {version});
}

void lockForMigration(Connection& db) {
    if (db.isPostgres()) {
        db.execute(QStringLiteral("BEGIN"));
        db.execute(QStringLiteral("SELECT pg_advisory_xact_lock(8211)"));
    } else {
        db.execute(QStringLiteral("BEGIN IMMEDIATE"));
    }
}

}  // namespace

int latestSchemaVersion() {
    return static_cast<int>(migrations().size());
}

int schemaVersion(Connection& db) {
    // The catalogue first: reading a table that is not there would be an error, not an answer.
    QSqlQuery& table = db.run(db.isPostgres()
                                  ? QStringLiteral("SELECT COUNT(*) FROM information_schema.tables WHERE "
                                                   "table_schema = current_schema() AND table_name = 'schema_version'")
                                  : QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND "
                                                   "name = 'SCHEMA_VERSION'"));
    const bool present = table.next() && table.value(0).toInt() > 0;
    table.finish();
    if (!present) {
        return 0;
    }
    QSqlQuery& query = db.run(QStringLiteral("SELECT VERSION FROM SCHEMA_VERSION"));
    return query.next() ? query.value(0).toInt() : 0;
}

void applyMigrations(Connection& db, bool create) {
    const int version = schemaVersion(db);
    if (version == latestSchemaVersion()) {
        return;
    }
    if (version == 0 && !create) {
        const QString remedy =
            QStringLiteral("the database has no schema: create it with totem-server --create-schema");
        throw StoreError(StoreError::Kind::Unavailable, remedy, remedy);
    }
    db.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS SCHEMA_VERSION (VERSION INTEGER NOT NULL)"));
    lockForMigration(db);
    try {
        db.execute(
            QStringLiteral("INSERT INTO SCHEMA_VERSION (VERSION) "
                           "SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM SCHEMA_VERSION)"));
        for (int next = schemaVersion(db) + 1; next <= latestSchemaVersion(); ++next) {
            migrate(db, next);
        }
        db.commit();
    } catch (...) {
        db.rollback();
        throw;
    }
}
