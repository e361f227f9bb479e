// SPDX-License-Identifier: GPL-2.0-or-later
#include "IUdpListener.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDebug>
#include <QHostAddress>
#include <QJsonDocument>
#include <QUdpSocket>

IUdpListener::IUdpListener(const QString& host, const QString& port)
    : QObject(nullptr)
    , m_host(host.isEmpty() ? QStringLiteral("*") : host)
    , m_port(port.toInt(nullptr, 10))
{
}

// The socket listens on both protocols, so an IPv4 peer shows up as an
// IPv4-mapped IPv6 address; the filter is written the way people write IPv4.
static QString senderText(const QHostAddress& sender)
{
    bool isIPv4 = false;
    const quint32 ipv4 = sender.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4).toString() : sender.toString();
}

// The verbose line for a datagram from a sender that [remote] allow= turns away.
static const char ignoredSender[] = "FUNCTION - processPendingDatagrams - port %1: sender %2 not allowed, ignored";

void IUdpListener::generate()
{
    m_socket = new QUdpSocket(this);
    m_socket->bind(QHostAddress::Any, static_cast<quint16>(m_port & 0xFFFF), QUdpSocket::ShareAddress);
    connect(m_socket, &QUdpSocket::readyRead, this, &IUdpListener::processPendingDatagrams);
}

void IUdpListener::processPendingDatagrams()
{
    if (!m_socket)
        return;
    while (m_socket->hasPendingDatagrams()) {
        const qint64 size = m_socket->pendingDatagramSize();
        QByteArray buffer(static_cast<int>(qMax<qint64>(size, 0)), '\0');
        QHostAddress sender;
        quint16 senderPort = 0;
        // A read that fails leaves the datagram queued; retrying it here would spin
        // forever, so leave the rest to the socket's next readiness notification.
        if (m_socket->readDatagram(buffer.data(), buffer.size(), &sender, &senderPort) < 0)
            break;

        if (!m_allow.accepts(sender)) {
            if (qApp && qApp->property("bDebug") == QVariant(true))
                qDebug() << QString::fromLatin1(ignoredSender).arg(m_port).arg(senderText(sender));
            continue;
        }

        // Peers pad or terminate their text with a zero byte; what follows it is noise.
        const int zero = buffer.indexOf('\0');
        const QString text = QString::fromUtf8(zero < 0 ? buffer : buffer.left(zero));

        // A datagram that is not a JSON object is dropped on its own: stopping the
        // drain here would leave good datagrams queued behind it until some later
        // datagram happens to wake the socket again.
        if (!QJsonDocument::fromJson(text.toUtf8()).isObject())
            continue;
        if (m_host != QLatin1String("*") && senderText(sender) != m_host)
            continue;
        emit dataReceived(text);
    }
}
