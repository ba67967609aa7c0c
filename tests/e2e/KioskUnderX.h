#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// A private Xvfb display for one test class, and the input a person gives on it (xdotool).
class XDisplay {
public:
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // Empty when the display runs; otherwise why it does not.
    QString failure() const { return m_failure; }
    QString name() const { return m_name; }

    // A badge reader types like a keyboard: the code, then Enter.
    void swipe(const QString& code) const;
    void key(const QString& keyName) const;
    void tap(int x, int y) const;

private:
    void xdotool(const QStringList& arguments) const;

    QProcess m_xvfb;
    QString m_name;
    QString m_failure;
};

// One widget of the screen as the kiosk describes it; empty when the widget is not on screen.
struct ScreenWidget {
    QJsonObject json;

    bool exists() const { return !json.isEmpty(); }
    QString text() const { return json.value(QStringLiteral("text")).toString(); }
    QJsonArray rows() const { return json.value(QStringLiteral("rows")).toArray(); }
    int centreX() const {
        return json.value(QStringLiteral("x")).toInt() + json.value(QStringLiteral("w")).toInt() / 2;
    }
    int centreY() const {
        return json.value(QStringLiteral("y")).toInt() + json.value(QStringLiteral("h")).toInt() / 2;
    }
};

// What is on the kiosk's screen at one moment: its visible windows and their named widgets.
class Screen {
public:
    Screen() = default;
    explicit Screen(QJsonObject description) : m_description(std::move(description)) {}

    bool isEmpty() const { return m_description.isEmpty(); }
    QString activeWindow() const { return m_description.value(QStringLiteral("active")).toString(); }
    bool shows(const QString& window) const { return !windowNamed(window).isEmpty(); }
    ScreenWidget widget(const QString& window, const QString& name) const;
    // The first widget of the window whose text is exactly `text` (a key of an on-screen keyboard).
    ScreenWidget widgetWithText(const QString& window, const QString& text) const;
    // Every text of the window, one per line, for assertions and failure reports.
    QString texts(const QString& window) const;
    QString summary() const;

private:
    QJsonObject windowNamed(const QString& name) const;

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

    KioskProcess(const XDisplay& display, const Settings& settings);
    ~KioskProcess();
    KioskProcess(const KioskProcess&) = delete;
    KioskProcess& operator=(const KioskProcess&) = delete;

    bool running() const { return m_process.state() == QProcess::Running; }
    // Waits for the program to end by itself; its exit status, or -1 when it did not end normally in time.
    int waitForExit();
    // Switches the kiosk off: no chance to say goodbye.
    void kill();
    // Ends the program as an operator does, Alt+F4 on the waiting screen; true when it exits normally with
    // status 0 (under the leak checker: with no leak).
    bool endWithAltF4(const XDisplay& display);
    // What the kiosk wrote on standard error so far.
    QString errors();
    // Asks the probe; an empty screen when the kiosk does not answer in time (it may be inside a remote
    // call).
    Screen screen();
    // Polls the screen until `condition` holds; the last screen seen either way.
    Screen waitFor(const std::function<bool(const Screen&)>& condition, int timeoutMs = 15000);
    // The idle screen, active and alone: ready for the next consumer.
    Screen waitForIdle(int timeoutMs = 15000);

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QString m_socket;
    QString m_errors;
};
