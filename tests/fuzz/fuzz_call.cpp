// Feeds arbitrary method calls to the server's request decoding, and runs every call that decodes against
// a small demo database: each must end in an answer or a protocol fault, whatever its arguments, and
// leave the database as it was.
// An input is "<module>/<method>" on its first line and the request body after it.
#include "store/Database.h"
#include "demo/DemoData.h"
#include "modules/MethodCall.h"
#include "server/ServerErrors.h"
#include "server/WireFormat.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// The demo database is made once per process, in a folder removed at exit.
class DemoDatabase {
public:
    DemoDatabase() {
        DatabaseSettings settings;
        settings.sqlitePath = m_dir.filePath(QStringLiteral("fuzz.db"));
        settings.createSchema = true;
        m_db = std::make_unique<Connection>(settings);
        demo::createDemo(*m_db, demo::Size::Small, QDate(2024, 5, 15));
        m_changesBefore = changes();
    }

    Connection& db() { return *m_db; }
    // Rows written by this connection since it opened; a read-only method call adds none.
    qint64 changes() {
        QSqlQuery& query = m_db->run(QStringLiteral("SELECT total_changes()"));
        query.next();
        const qint64 count = query.value(0).toLongLong();
        m_db->finishStatements();
        return count;
    }
    bool unchanged() { return changes() == m_changesBefore; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Connection> m_db;
    qint64 m_changesBefore = 0;
};

DemoDatabase& demoDatabase() {
    static int argc = 1;
    static char name[] = "fuzz_call";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);  // QtSql loads its drivers through the application
    static DemoDatabase database;
    return database;
}

void runCall(const MethodCall& call) {
    DemoDatabase& database = demoDatabase();
    const Answer answer = [&] {
        StatementDeadline deadline(2000);
        return invoke(*call.method, database.db(), call.arguments, QStringLiteral("dd/MM/yyyy"));
    }();
    (void)wire::decodeResult(wire::encodeResult(wireResult(answer)));
    if (!database.unchanged()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray path = input.left(lineEnd < 0 ? input.size() : lineEnd);
    const QByteArray body = lineEnd < 0 ? QByteArray() : input.mid(lineEnd + 1);
    const qsizetype slash = path.indexOf('/');
    try {
        runCall(decodeMethodCall(QString::fromUtf8(path.left(slash < 0 ? path.size() : slash)),
                                 QString::fromUtf8(slash < 0 ? QByteArray() : path.mid(slash + 1)), body));
    } catch (const ProtocolFault& fault) {
        // A refused call must say why, with a client-error status.
        if (fault.text.isEmpty() || fault.status < 400 || fault.status > 499) {
            std::abort();
        }
    }
    return 0;
}
