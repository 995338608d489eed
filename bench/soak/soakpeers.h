#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Everything a peer received over one fresh connection from a loopback source address to
// 127.0.0.1, once the server closed it; nothing when it did not close within the timeout.
void exchange(QObject *context, const QHostAddress &source, quint16 port, const QByteArray &request,
              std::function<void(const QByteArray &answer)> done);

struct RequestCounts
{
    qint64 sent = 0;
    qint64 answered = 0;
};

// A paired phone: status every second, a command every 5 seconds, a script save every 30 seconds,
// each on its own connection as the app does. Counts the requests answered with 200.
class SimulatedPhone : public QObject
{
    Q_OBJECT

public:
    SimulatedPhone(int number, QString token, quint16 port, QObject *parent = nullptr);

    void stop();
    RequestCounts status() const { return m_status; }
    RequestCounts commands() const { return m_commands; }
    RequestCounts scripts() const { return m_scripts; }
    qint64 unanswered() const;

private:
    void send(RequestCounts &counts, const QByteArray &method, const QByteArray &path,
              const QByteArray &body = {});

    const int m_number;
    const QString m_token;
    const quint16 m_port;
    QTimer m_statusTimer;
    QTimer m_commandTimer;
    QTimer m_scriptTimer;
    qint64 m_commandsSent = 0;
    RequestCounts m_status;
    RequestCounts m_commands;
    RequestCounts m_scripts;
};

// Peers that only cost the server: 200 idle connections that reconnect whenever the server closes
// them, four that drip one header byte every half second, and one a second of random bytes. Each
// kind comes from its own loopback addresses, under the server's per-address limit.
class HostilePeers : public QObject
{
    Q_OBJECT

public:
    explicit HostilePeers(quint16 port, QObject *parent = nullptr);

    void stop();
    qint64 idleConnections() const { return m_idleConnections; }
    qint64 dripConnections() const { return m_dripConnections; }
    qint64 randomConnections() const { return m_randomConnections; }

private:
    enum class Kind { idle, drip };

    void keepOpen(const QHostAddress &source, Kind kind);
    void sendRandomBytes();

    const quint16 m_port;
    bool m_stopped = false;
    QTimer m_randomTimer;
    qint64 m_idleConnections = 0;
    qint64 m_dripConnections = 0;
    qint64 m_randomConnections = 0;
};
