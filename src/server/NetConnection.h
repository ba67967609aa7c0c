#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <chrono>
#include <memory>

// A screen's connection to one remote data module of the application server (docs/protocol.md).
// Calls are synchronous: they block the user-interface thread for at most the configured time-outs.
// Transport and protocol faults raise ConnectionError (server/ServerErrors.h); they are never returned.
class TNetConnection : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString ServerName READ ServerName WRITE setServerName)
    Q_PROPERTY(QString ServerGUID READ ServerGUID WRITE setServerGUID)
    Q_PROPERTY(QString Host READ Host WRITE setHost)
    Q_PROPERTY(int Port READ Port WRITE setPort)
    Q_PROPERTY(bool ThrowException READ ThrowException WRITE setThrowException)
    Q_PROPERTY(bool Connected READ Connected WRITE setConnected)

public:
    static constexpr std::chrono::milliseconds DefaultConnectTimeout{3000};
    static constexpr std::chrono::milliseconds DefaultReadTimeout{10000};

    explicit TNetConnection(QObject* parent = nullptr);
    ~TNetConnection() override;

    // The remote data module, e.g. "Qvr.rdmTerminalCons". Changing it (or Host, Port) drops a live link.
    QString ServerName() const { return m_serverName; }
    void setServerName(const QString& name);
    // When not empty, the module's GUID must match it (letters compared without case) for a connect to
    // succeed.
    QString ServerGUID() const { return m_serverGuid; }
    void setServerGUID(const QString& guid) { m_serverGuid = guid; }
    QString Host() const { return m_host; }
    void setHost(const QString& host);
    int Port() const { return m_port; }
    void setPort(int port);
    // Off: a text answer (the server's error message) is returned as a QString. On: it is raised as
    // ServerError.
    bool ThrowException() const { return m_throwException; }
    void setThrowException(bool on) { m_throwException = on; }
    // Identifies the kiosk in the server's access log (header X-Totem-Terminal); may stay empty.
    QString Terminal() const { return m_terminal; }
    void setTerminal(const QString& terminal) { m_terminal = terminal; }
    // A PEM file of the certificate authority that signed the server's certificate: when set, the link is
    // HTTPS and the server's certificate and host name are verified against it; empty: plain HTTP.
    QString CaFile() const { return m_caFile; }
    void setCaFile(const QString& path);

    std::chrono::milliseconds connectTimeout() const { return m_connectTimeout; }
    void setConnectTimeout(std::chrono::milliseconds timeout) { m_connectTimeout = timeout; }
    // Bounds the rest of a call once connected: sending the request and receiving the whole answer. A server
    // that accepts and stays silent, or trickles its answer, fails after it.
    std::chrono::milliseconds readTimeout() const { return m_readTimeout; }
    void setReadTimeout(std::chrono::milliseconds timeout) { m_readTimeout = timeout; }

    bool Connected() const;
    // true: runs BeforeConnect, connects and checks the module (and GUID); raises ConnectionError on failure.
    // false: drops the link; does nothing when already disconnected.
    void setConnected(bool on);

    // Calls a method of the module with its arguments in order (texts, numbers, date-times, null).
    // Connects first when disconnected. Returns a QString (the server's error text), a DataPacket or a
    // QVariantList of DataPacket. A read-only method (server/ReadOnlyMethods.h) is sent once more, on a fresh
    // connection, when the connection closes before any answer; never after a read time-out.
    QVariant call(const QString& method, const QVariantList& arguments = {});

signals:
    // Runs before every connection, the automatic reconnect included; a handler sets Host and Port here.
    void BeforeConnect();

private:
    struct Link;

    void open();
    void drop();
    QString address() const;

    QString m_serverName;
    QString m_serverGuid;
    QString m_host;
    int m_port = 0;
    bool m_throwException = false;
    QString m_terminal;
    QString m_caFile;
    std::chrono::milliseconds m_connectTimeout = DefaultConnectTimeout;
    std::chrono::milliseconds m_readTimeout = DefaultReadTimeout;
    std::unique_ptr<Link> m_link;
};
