#pragma once

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>

// Test-only window into the running kiosk, compiled in with -DTOTEM_PROBE=ON and never shipped: it listens
// on the local socket named by TOTEM_PROBE_SOCKET and answers each line it receives with one line of JSON
// describing what is on screen, so that end-to-end tests can check the real process driven through X.
//
// The answer: {"active": <object name of the active window>, "windows": [{"name", "class", "modal",
// "x", "y", "w", "h", "widgets": [{"name", "class", "text", "enabled", "x", "y", "w", "h", "rows"?}]}]},
// visible top-level windows only, geometry in screen coordinates. Item views add "rows": the display texts
// of their rows.
class ScreenProbe : public QObject {
    Q_OBJECT
public:
    explicit ScreenProbe(QObject* parent = nullptr);

    // Starts listening when TOTEM_PROBE_SOCKET is set; returns false (with a line on standard error) when
    // the socket cannot be opened.
    bool listenFromEnvironment();

    static QJsonObject describeScreen();

private:
    void onNewConnection();

    QLocalServer m_server;
};
