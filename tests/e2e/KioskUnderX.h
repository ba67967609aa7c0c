#pragma once

#include "support/ChildProcess.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

constexpr int StartTimeoutMs = 10000;
constexpr int PollIntervalMs = 100;

// A private Xvfb display for one test class, and the input a person gives on it (xdotool).
class XDisplay {
public:
    XDisplay() {
        // -displayfd makes Xvfb pick a free display and write its number once it accepts clients.
        tieToTest(m_xvfb);
        m_xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QDeadlineTimer deadline(StartTimeoutMs);
        QByteArray number;
        while (!number.endsWith('\n') && !deadline.hasExpired() && m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.waitForReadyRead(PollIntervalMs);
            number += m_xvfb.readAllStandardOutput();
        }
        if (!number.endsWith('\n')) {
            m_failure = "Xvfb did not start: " + QString::fromLocal8Bit(m_xvfb.readAllStandardError());
        }
        m_name = ':' + QString::fromLatin1(number.trimmed());
    }
    ~XDisplay() {
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(StartTimeoutMs)) {
            m_xvfb.kill();
            m_xvfb.waitForFinished();
        }
    }

    // Empty when the display runs; otherwise why it does not.
    QString failure() const { return m_failure; }
    QString name() const { return m_name; }

    // A badge reader types like a keyboard: the code, then Enter.
    void swipe(const QString& code) const {
        xdotool({"type", "--delay", "20", code});
        key("Return");
    }
    void key(const QString& keyName) const { xdotool({"key", keyName}); }
    void tap(int x, int y) const {
        xdotool({"mousemove", QString::number(x), QString::number(y), "click", "1"});
    }

private:
    void xdotool(const QStringList& arguments) const {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", m_name);
        process.setProcessEnvironment(environment);
        process.start("xdotool", arguments);
        process.waitForFinished(StartTimeoutMs);
    }

    QProcess m_xvfb;
    QString m_name;
    QString m_failure;
};

// One widget of the screen as the kiosk describes it; empty when the widget is not on screen.
struct ScreenWidget {
    QJsonObject json;

    QJsonArray rows() const { return json["rows"].toArray(); }
    int centreX() const { return json["x"].toInt() + json["w"].toInt() / 2; }
    int centreY() const { return json["y"].toInt() + json["h"].toInt() / 2; }
};

// What is on the kiosk's screen at one moment: its visible windows and their named widgets.
class Screen {
public:
    Screen() = default;
    explicit Screen(QJsonObject description) : m_description(std::move(description)) {}

    QString activeWindow() const { return m_description["active"].toString(); }
    ScreenWidget widget(const QString& window, const QString& name) const {
        for (const QJsonValue widget : widgets(window)) {
            if (widget["name"].toString() == name) {
                return {widget.toObject()};
            }
        }
        return {};
    }
    // Every text of the window, one per line, for assertions and failure reports.
    QString texts(const QString& window) const {
        QStringList lines;
        for (const QJsonValue widget : widgets(window)) {
            if (const QString text = widget["text"].toString(); !text.isEmpty()) {
                lines.append(text);
            }
        }
        return lines.join('\n');
    }
    QString summary() const {
        if (m_description.isEmpty()) {
            return "(the kiosk did not answer)";
        }
        QStringList windows;
        for (const QJsonValue window : m_description["windows"].toArray()) {
            const QString name = window["name"].toString();
            windows.append(QString("[%1] %2").arg(name, texts(name).replace('\n', " | ")));
        }
        return QString("active: %1; windows: %2").arg(activeWindow(), windows.join("; "));
    }

private:
    QJsonArray widgets(const QString& window) const {
        for (const QJsonValue candidate : m_description["windows"].toArray()) {
            if (candidate["name"].toString() == window) {
                return candidate["widgets"].toArray();
            }
        }
        return {};
    }

    QJsonObject m_description;
};

// The real kiosk program on the display, with its own registry key and working folder, observed through
// its test-only screen probe.
class KioskProcess {
public:
    struct Settings {
        QString serverPort;
        QString terminal;  // branch and register, e.g. "0001001"
    };

    KioskProcess(const XDisplay& display, const Settings& settings) : m_socket(m_home.filePath("probe")) {
        QSettings registry(m_home.filePath("registry/QUENVOR/Strovel.ini"), QSettings::IniFormat);
        registry.setValue("IPServidor", "127.0.0.1");
        registry.setValue("PortaServidor", settings.serverPort);
        registry.setValue("Totem", settings.terminal);
        registry.sync();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display.name());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("TOTEM_REGISTRY_DIR", m_home.filePath("registry"));
        environment.insert("XDG_DATA_HOME", m_home.filePath("data"));
        environment.insert("TOTEM_PROBE_SOCKET", m_socket);
        m_process.setProcessEnvironment(environment);
        tieToTest(m_process);
        m_process.start(TOTEM_KIOSK_PATH, QStringList());
        m_process.waitForStarted(StartTimeoutMs);
    }
    ~KioskProcess() { kill(); }

    // Waits for the program to end by itself; its exit status, or -1 when it did not end normally in time.
    int waitForExit() {
        const bool ended =
            m_process.waitForFinished(StartTimeoutMs) && m_process.exitStatus() == QProcess::NormalExit;
        return ended ? m_process.exitCode() : -1;
    }
    // Switches the kiosk off: no chance to say goodbye.
    void kill() {
        m_process.kill();
        m_process.waitForFinished(StartTimeoutMs);
    }
    // What the kiosk wrote on standard error so far.
    QString errors() {
        m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_errors;
    }
    // Asks the probe; an empty screen when the kiosk does not answer in time (it may be inside a remote
    // call).
    Screen screen() {
        QLocalSocket probe;
        probe.connectToServer(m_socket);
        if (!probe.waitForConnected(2000)) {
            return {};
        }
        probe.write("screen\n");
        for (QDeadlineTimer deadline(2000); !probe.canReadLine() && !deadline.hasExpired();) {
            probe.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        }
        return probe.canReadLine() ? Screen(QJsonDocument::fromJson(probe.readLine()).object()) : Screen();
    }
    // Polls the screen until `condition` holds; the last screen seen either way.
    Screen waitFor(const std::function<bool(const Screen&)>& condition, int timeoutMs = 15000) {
        QDeadlineTimer deadline(timeoutMs);
        Screen current = screen();
        while (!condition(current) && !deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QThread::msleep(PollIntervalMs);
            current = screen();
        }
        return current;
    }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QString m_socket;
    QString m_errors;
};
