#include "AppServerFixture.h"

#include "server/WireFormat.h"

#include <QSqlDatabase>
#include <QSqlQuery>

AppServerFixture::AppServerFixture(Engine engine) {
    if (engine == Engine::Sqlite) {
        m_database = m_dir.filePath(QStringLiteral("demo.db"));
    } else {
        m_cluster = std::make_unique<PostgresCluster>();
        if (!m_cluster->failure().isEmpty()) {
            m_failure = QStringLiteral("PostgreSQL cannot start here: ") + m_cluster->failure();
            m_postgresMissing = true;
            return;
        }
        if (!m_cluster->createDatabase(QStringLiteral("demo"))) {
            m_failure = m_cluster->failure();
            return;
        }
        m_database = m_cluster->url(QStringLiteral("demo"));
    }
    m_failure = ServerProcess::createDemo(m_database, DemoToday);
    if (m_failure.isEmpty()) {
        startServer();
    }
}

bool AppServerFixture::startServer(const QStringList& extraOptions) {
    m_server.reset();
    m_server = std::make_unique<ServerProcess>(QStringList{QStringLiteral("--database"), m_database,
                                                           QStringLiteral("--workers"), QStringLiteral("4")} +
                                               extraOptions);
    m_failure = m_server->failure();
    return m_failure.isEmpty();
}

QVariant AppServerFixture::call(const QString& module, const QString& method, const QVariantList& arguments) {
    const ServerProcess::Reply reply = m_server->call(module, method, arguments);
    m_lastStatus = reply.status;
    if (reply.status != 200) {
        return {};
    }
    return wire::decodeResult(reply.body);
}

QString AppServerFixture::checksum() {
    const QString name = QStringLiteral("checksum");
    QString sum;
    {
        QSqlDatabase db;
        if (m_cluster) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(m_cluster->port());
            db.setUserName(QStringLiteral("totem"));
            db.setDatabaseName(QStringLiteral("demo"));
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(m_database);
        }
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(
                QStringLiteral("SELECT (SELECT COUNT(*) FROM CONSUMIDOR), (SELECT COUNT(*) FROM VENDA), "
                               "(SELECT COUNT(*) FROM ITVENDA), "
                               "(SELECT COUNT(*) FROM MOVCLIE), (SELECT SUM(VRSALDOCONS) FROM MOVCLIE), "
                               "(SELECT COUNT(*) FROM CAIXA)"));
            if (query.next()) {
                for (int i = 0; i < 6; ++i) {
                    sum += query.value(i).toString() + QLatin1Char('/');
                }
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return sum;
}

QString dayText(int daysFromToday) {
    return AppServerFixture::DemoToday.addDays(daysFromToday).toString(QStringLiteral("dd/MM/yyyy"));
}

QVariant dayMoment(int daysFromToday) {
    return AppServerFixture::DemoToday.addDays(daysFromToday).startOfDay();
}

QVariant cell(const DataPacket& packet, int row, const QString& field) {
    return packet.rows.value(row).value(packet.fieldIndex(field));
}

QString column(const DataPacket& packet, const QString& field) {
    QStringList values;
    for (int row = 0; row < packet.rows.size(); ++row) {
        values.append(cell(packet, row, field).toString());
    }
    return values.join(QLatin1Char('|'));
}
