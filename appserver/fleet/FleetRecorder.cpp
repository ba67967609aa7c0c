#include "fleet/FleetRecorder.h"

#include "front/AccessLog.h"
#include "kit/core/SetupValues.h"

#include <utility>

namespace {

// Distinct terminals kept: waiting to be written, and in the table. Anyone may post a heartbeat, so made-up
// keys must not grow either without end; a real network has far fewer kiosks.
constexpr int MaxPending = 20000;
constexpr int MaxTerminals = 50000;

QVariant textOrNull(const std::optional<Heartbeat>& beat, QString Heartbeat::*field) {
    return beat ? QVariant((*beat).*field) : QVariant(QMetaType::fromType<QString>());
}

}  // namespace

FleetRecorder::FleetRecorder(DatabaseSettings database, std::chrono::milliseconds writeEvery)
    : m_writeEvery(writeEvery), m_thread([this, database] { run(database); }) {}

FleetRecorder::~FleetRecorder() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

FleetRecorder::Pending* FleetRecorder::pendingFor(const QString& terminal, const QString& address) {
    auto entry = m_pending.find(terminal);
    if (entry == m_pending.end()) {
        if (m_pending.size() >= MaxPending) {
            return nullptr;
        }
        entry = m_pending.insert(terminal, Pending{});
        entry->firstSeen = QDateTime::currentDateTimeUtc();
    }
    entry->lastSeen = QDateTime::currentDateTimeUtc();
    entry->address = address.left(64);
    return &entry.value();
}

void FleetRecorder::sighted(const QString& terminal, const QString& address, bool consultation) {
    if (!isTerminalKey(terminal)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (Pending* pending = pendingFor(terminal, address); pending != nullptr && consultation) {
        const QDate today = QDate::currentDate();
        pending->consultations = pending->day == today ? pending->consultations + 1 : 1;
        pending->day = today;
    }
}

void FleetRecorder::heartbeat(const Heartbeat& beat, const QString& address) {
    std::lock_guard lock(m_mutex);
    if (Pending* pending = pendingFor(beat.terminal, address)) {
        pending->beat = beat;
    }
}

void FleetRecorder::run(DatabaseSettings database) {
    Connection db(std::move(database));
    std::unique_lock lock(m_mutex);
    for (bool last = false; !last;) {
        m_wake.wait_for(lock, m_writeEvery, [this] { return m_stopping; });
        last = m_stopping;
        Batch batch;
        batch.swap(m_pending);
        lock.unlock();
        if (!batch.isEmpty()) {
            write(db, batch);
        }
        lock.lock();
    }
}

void FleetRecorder::write(Connection& db, const Batch& batch) {
    try {
        QSqlQuery& count = db.run(QStringLiteral("SELECT COUNT(*) FROM TOTEM"));
        const bool mayInsert = count.next() && count.value(0).toInt() < MaxTerminals;
        count.finish();
        db.transaction();
        for (auto entry = batch.begin(); entry != batch.end(); ++entry) {
            writeOne(db, entry.key(), entry.value(), mayInsert);
        }
        db.commit();
        if (std::exchange(m_failing, false)) {
            accesslog::event(QStringLiteral("the fleet's table is written again"));
        }
    } catch (const StoreError& error) {
        db.rollback();
        if (!std::exchange(m_failing, true)) {
            accesslog::event(QStringLiteral("the fleet's table cannot be written (kiosks' last sightings are lost "
                                            "meanwhile; consultations go on): %1")
                                 .arg(error.detail()),
                             accesslog::Priority::Warning);
        }
    }
}

// One statement per terminal: a new one is inserted, a known one updated. What only a heartbeat says
// (version, state, last error) is kept when the sighting is a plain request; consultations add up within a
// day, so that several servers count together.
void FleetRecorder::writeOne(Connection& db, const QString& terminal, const Pending& pending, bool mayInsert) {
    const QString updates = QStringLiteral(
        "DTULTVISTO = %1DTULTVISTO, DSENDERECO = %1DSENDERECO, "
        "DSVERSAO = COALESCE(%1DSVERSAO, TOTEM.DSVERSAO), DSESTADO = COALESCE(%1DSESTADO, TOTEM.DSESTADO), "
        "DSDETALHE = CASE WHEN %1DSESTADO IS NULL THEN TOTEM.DSDETALHE ELSE %1DSDETALHE END, "
        "DTESTADO = COALESCE(%1DTESTADO, TOTEM.DTESTADO), DSULTERRO = COALESCE(%1DSULTERRO, TOTEM.DSULTERRO), "
        "QTCONSINICIO = COALESCE(%1QTCONSINICIO, TOTEM.QTCONSINICIO), "
        "QTCONSULTAS = CASE WHEN TOTEM.DTCONSULTAS = %1DTCONSULTAS THEN TOTEM.QTCONSULTAS + %1QTCONSULTAS "
        "ELSE %1QTCONSULTAS END, DTCONSULTAS = %1DTCONSULTAS");
    const std::optional<Heartbeat>& beat = pending.beat;
    const QVariantList values{terminal.left(4),
                              terminal.mid(4, 3),
                              sqlTimestamp(pending.firstSeen),
                              sqlTimestamp(pending.lastSeen),
                              pending.address,
                              textOrNull(beat, &Heartbeat::version),
                              textOrNull(beat, &Heartbeat::state),
                              textOrNull(beat, &Heartbeat::detail),
                              beat ? QVariant(sqlTimestamp(beat->since.toUTC())) : QVariant(QMetaType::fromType<QString>()),
                              textOrNull(beat, &Heartbeat::lastError),
                              beat ? QVariant(beat->consultations) : QVariant(QMetaType::fromType<int>()),
                              (pending.day.isValid() ? pending.day : QDate::currentDate()).toString(Qt::ISODate),
                              pending.consultations};
    if (!mayInsert) {
        QSqlQuery& known = db.run(QStringLiteral("SELECT 1 FROM TOTEM WHERE CDFILIAL = ? AND CDCAIXA = ?"),
                                  {values.at(0), values.at(1)});
        const bool present = known.next();
        known.finish();
        if (!present) {
            return;  // the table is full: only kiosks it knows are kept up to date
        }
    }
    db.run(QStringLiteral("INSERT INTO TOTEM (CDFILIAL, CDCAIXA, DTPRIMVISTO, DTULTVISTO, DSENDERECO, DSVERSAO, "
                          "DSESTADO, DSDETALHE, DTESTADO, DSULTERRO, QTCONSINICIO, DTCONSULTAS, QTCONSULTAS) "
                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (CDFILIAL, CDCAIXA) DO UPDATE SET ") +
               updates.arg(QStringLiteral("excluded.")),
           values);
}
