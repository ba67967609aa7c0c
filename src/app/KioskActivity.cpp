#include "app/KioskActivity.h"

#include "kit/Modal.h"
#include "kit/core/ServerAddress.h"
#include "platform/ServiceWatchdog.h"
#include "terminal/TerminalContext.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHash>

#include <algorithm>

namespace {

const QString Starting = QStringLiteral("starting");
const QString Waiting = QStringLiteral("waiting");
const QString Statement = QStringLiteral("statement");
const QString Error = QStringLiteral("error");

// The state each screen stands for; any other dialog is a message.
QString stateOf(const QDialog& dialog) {
    static const QHash<QString, QString> screens{
        {QStringLiteral("frmTerminalConsu"), Waiting},
        {QStringLiteral("frmExtratoSimplificado"), Statement},
        {QStringLiteral("frmExtratoDetalhado"), Statement},
        {QStringLiteral("frmExtratoGrupo"), Statement},
        {QStringLiteral("frmPesquisa"), QStringLiteral("store-list")},
        {QStringLiteral("frmInformaIP"), QStringLiteral("setup")}};
    if (!dialog.property(ErrorTextProperty).toString().isEmpty()) {
        return Error;
    }
    return screens.value(dialog.objectName(), QStringLiteral("message"));
}

}  // namespace

KioskActivity::KioskActivity(const platform::ServiceWatchdog& watchdog, const TerminalContext& terminal)
    : m_watchdog(watchdog), m_terminal(terminal) {
    m_report.version = QCoreApplication::applicationVersion();
    enter(Starting, QString());
    ObserveModals([this](QDialog& dialog, bool open) { modalShown(dialog, open); });
}

KioskActivity::~KioskActivity() {
    ObserveModals({});
}

void KioskActivity::modalShown(QDialog& dialog, bool open) {
    if (open) {
        const QString state = stateOf(dialog);
        const QString detail = state == Error ? dialog.property(ErrorTextProperty).toString() : QString();
        m_shown.push_back({&dialog, state, detail});
        m_report.consultations += state == Statement ? 1 : 0;
        enter(state, detail);
        if (!m_heartbeat && !m_terminal.branchCode.isEmpty()) {
            startHeartbeat();
        }
        return;
    }
    // Dialogs close in the reverse order of their opening; a dialog already destroyed is dropped too.
    std::erase_if(m_shown, [&dialog](const Shown& shown) { return shown.dialog == &dialog || !shown.dialog; });
    enter(m_shown.empty() ? Starting : m_shown.back().state, m_shown.empty() ? QString() : m_shown.back().detail);
}

void KioskActivity::enter(const QString& state, const QString& detail) {
    m_report.state = state;
    m_report.detail = detail;
    m_report.since = QDateTime::currentDateTimeUtc();
    const bool errorBox = state == Error;
    if (errorBox) {
        m_report.lastError = detail;
    }
    m_watchdog.status(detail.isEmpty() ? state : QStringLiteral("%1: %2").arg(state, detail));
    if (m_heartbeat) {
        m_heartbeat->update(m_report, errorBox);
    }
}

// The terminal is named, and the server's address known, once the consultation screen is created: its own
// start-up may already show an error box.
void KioskActivity::startHeartbeat() {
    m_report.terminal = m_terminal.branchCode + m_terminal.registerCode;
    m_heartbeat = std::make_unique<HeartbeatSender>(HttpClient::Target{WebURL(), WebPort(), WebCaFile()}, m_report);
}
