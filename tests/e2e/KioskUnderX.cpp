#include "KioskUnderX.h"

#include "support/ChildProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QSettings>
#include <QThread>

namespace {

constexpr int StartTimeoutMs = 10000;
constexpr int ProbeTimeoutMs = 2000;
constexpr int PollIntervalMs = 100;
constexpr int TypingDelayMs = 20;

QJsonArray windowsOf(const QJsonObject& description) {
    return description.value(QStringLiteral("windows")).toArray();
}

QJsonArray widgetsOf(const QJsonObject& window) {
    return window.value(QStringLiteral("widgets")).toArray();
}

}  // namespace

XDisplay::XDisplay() {
    // -displayfd makes Xvfb pick a free display and write its number once it accepts clients.
    tieToTest(m_xvfb);
    m_xvfb.start(
        QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
         QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QDeadlineTimer deadline(StartTimeoutMs);
    QByteArray number;
    while (!number.endsWith('\n') && !deadline.hasExpired() && m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.waitForReadyRead(PollIntervalMs);
        number += m_xvfb.readAllStandardOutput();
    }
    if (!number.endsWith('\n')) {
        m_failure = QStringLiteral("Xvfb did not start: %1")
                        .arg(QString::fromLocal8Bit(m_xvfb.readAllStandardError()));
        return;
    }
    m_name = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
}

XDisplay::~XDisplay() {
    m_xvfb.terminate();
    if (!m_xvfb.waitForFinished(StartTimeoutMs)) {
        m_xvfb.kill();
        m_xvfb.waitForFinished();
    }
}

void XDisplay::swipe(const QString& code) const {
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QString::number(TypingDelayMs), code});
    key(QStringLiteral("Return"));
}

void XDisplay::key(const QString& keyName) const {
    xdotool({QStringLiteral("key"), keyName});
}

void XDisplay::tap(int x, int y) const {
    xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y), QStringLiteral("click"),
             QStringLiteral("1")});
}

void XDisplay::xdotool(const QStringList& arguments) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_name);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(StartTimeoutMs);
}

ScreenWidget Screen::widget(const QString& window, const QString& name) const {
    for (const QJsonValue widget : widgetsOf(windowNamed(window))) {
        if (widget[QStringLiteral("name")].toString() == name) {
            return {widget.toObject()};
        }
    }
    return {};
}

ScreenWidget Screen::widgetWithText(const QString& window, const QString& text) const {
    for (const QJsonValue widget : widgetsOf(windowNamed(window))) {
        if (widget[QStringLiteral("text")].toString() == text) {
            return {widget.toObject()};
        }
    }
    return {};
}

QString Screen::texts(const QString& window) const {
    QStringList lines;
    for (const QJsonValue widget : widgetsOf(windowNamed(window))) {
        if (const QString text = widget[QStringLiteral("text")].toString(); !text.isEmpty()) {
            lines.append(text);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString Screen::summary() const {
    if (isEmpty()) {
        return QStringLiteral("(the kiosk did not answer)");
    }
    QStringList windows;
    for (const QJsonValue window : windowsOf(m_description)) {
        const QString name = window[QStringLiteral("name")].toString();
        windows.append(QStringLiteral("[%1] %2").arg(
            name, texts(name).replace(QLatin1Char('\n'), QLatin1String(" | "))));
    }
    return QStringLiteral("active: %1; windows: %2").arg(activeWindow(), windows.join(QLatin1String("; ")));
}

QJsonObject Screen::windowNamed(const QString& name) const {
    for (const QJsonValue window : windowsOf(m_description)) {
        if (window[QStringLiteral("name")].toString() == name) {
            return window.toObject();
        }
    }
    return {};
}

KioskProcess::KioskProcess(const XDisplay& display, const Settings& settings)
    : m_socket(m_home.filePath(QStringLiteral("probe"))) {
    QSettings registry(m_home.filePath(QStringLiteral("registry/QUENVOR/Strovel.ini")), QSettings::IniFormat);
    registry.setValue(QStringLiteral("IPServidor"), QStringLiteral("127.0.0.1"));
    registry.setValue(QStringLiteral("PortaServidor"), settings.serverPort);
    registry.setValue(QStringLiteral("Totem"), settings.terminal);
    registry.sync();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("TOTEM_REGISTRY_DIR"), m_home.filePath(QStringLiteral("registry")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("TOTEM_PROBE_SOCKET"), m_socket);
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    tieToTest(m_process);
    m_process.start(QStringLiteral(TOTEM_KIOSK_PATH), QStringList());
    m_process.waitForStarted(StartTimeoutMs);
}

KioskProcess::~KioskProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        kill();
    }
}

bool KioskProcess::endWithAltF4(const XDisplay& display) {
    display.key(QStringLiteral("alt+F4"));
    return waitForExit() == 0;
}

int KioskProcess::waitForExit() {
    const bool ended = m_process.waitForFinished(StartTimeoutMs) && m_process.exitStatus() == QProcess::NormalExit;
    return ended ? m_process.exitCode() : -1;
}

void KioskProcess::kill() {
    m_process.kill();
    m_process.waitForFinished(StartTimeoutMs);
}

QString KioskProcess::errors() {
    m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
    return m_errors;
}

Screen KioskProcess::screen() {
    QLocalSocket probe;
    probe.connectToServer(m_socket);
    if (!probe.waitForConnected(ProbeTimeoutMs)) {
        return {};
    }
    probe.write("screen\n");
    QDeadlineTimer deadline(ProbeTimeoutMs);
    while (!probe.canReadLine() && !deadline.hasExpired()) {
        probe.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    }
    if (!probe.canReadLine()) {
        return {};
    }
    return Screen(QJsonDocument::fromJson(probe.readLine()).object());
}

Screen KioskProcess::waitFor(const std::function<bool(const Screen&)>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    Screen current = screen();
    while (!condition(current) && !deadline.hasExpired() && running()) {
        QThread::msleep(PollIntervalMs);
        current = screen();
    }
    return current;
}

Screen KioskProcess::waitForIdle(int timeoutMs) {
    return waitFor(
        [](const Screen& screen) { return screen.activeWindow() == QLatin1String("frmTerminalConsu"); },
        timeoutMs);
}
