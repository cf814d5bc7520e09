#pragma once

#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// Forwards connections from its own port to the broker's, so that a test can
// cut a client off the broker while the broker, and its other clients' sessions,
// stay up.
class TcpRelay : public QObject
{
public:
    explicit TcpRelay(int targetPort)
        : m_target(targetPort)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &TcpRelay::accept);
    }

    bool listen(int port = 0)
    {
        if (!m_server.listen(QHostAddress::LocalHost, quint16(port)))
            return false;
        m_port = m_server.serverPort();
        return true;
    }
    int port() const { return m_port; }

    // Drops every relayed connection and refuses new ones until restore().
    void cut()
    {
        m_server.close();
        for (const QPointer<QTcpSocket> &socket : qAsConst(m_sockets)) {
            if (socket)
                socket->abort();
        }
        m_sockets.clear();
    }
    bool restore() { return listen(m_port); }

private:
    void accept()
    {
        while (QTcpSocket *client = m_server.nextPendingConnection()) {
            auto *broker = new QTcpSocket(client);
            broker->connectToHost(QHostAddress::LocalHost, quint16(m_target));
            pipe(client, broker);
            pipe(broker, client);
            m_sockets << client << broker;
        }
    }

    void pipe(QTcpSocket *from, QTcpSocket *to)
    {
        connect(from, &QTcpSocket::readyRead, to, [from, to] {
            if (to->state() == QAbstractSocket::ConnectedState)
                to->write(from->readAll());
        });
        connect(to, &QTcpSocket::connected, from, [from, to] { to->write(from->readAll()); });
        connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
    }

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_sockets;
    int m_target;
    int m_port = 0;
};
