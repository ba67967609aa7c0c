#include "dialogs/RemoteCall.h"

#include "dialogs/TfrmMensagem.h"
#include "kit/Application.h"
#include "kit/WaitOverlay.h"
#include "kit/core/ServerAddress.h"
#include "server/NetConnection.h"

#include <optional>

void PointAtApplicationServer(TNetConnection& connection) {
    connection.setHost(WebURL());
    connection.setPort(WebPort());
    connection.setCaFile(WebCaFile());
}

void ConnectUnderWait(TNetConnection& connection, int kind) {
    ShowAviScope wait(MainForm(), kind);
    connection.setConnected(true);
}

void DisconnectFully(TNetConnection& connection) {
    while (connection.Connected()) {
        connection.setConnected(false);
    }
}

QVariant CallChecked(TNetConnection& connection, const QString& method, const QVariantList& arguments,
                     const QString& reportedMethod, const QString& programName, const QString& parameters,
                     bool withWait) {
    QVariant answer;
    {
        // Only the call itself waits under the animation, so that it never covers the error report.
        std::optional<ShowAviScope> wait;
        if (withWait) {
            wait.emplace(MainForm(), 6);
        }
        answer = connection.call(method, arguments);
    }
    QVariant accepted;
    CheckServerResult(answer, true, 0, reportedMethod, programName, parameters, QStringLiteral("002"),
                      accepted);
    return accepted;
}
