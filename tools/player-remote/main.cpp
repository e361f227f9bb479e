// SPDX-License-Identifier: GPL-2.0-or-later
#include "remoterequest.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <QUuid>

#include <cstdio>

namespace {

int send(const remote::Request& request)
{
    QUdpSocket socket;
    const qint64 written = socket.writeDatagram(request.datagram, request.address, request.port);
    const QString destination = QStringLiteral("%1:%2").arg(request.address.toString()).arg(request.port);
    if (written != request.datagram.size()) {
        std::fprintf(stderr, "player-remote: could not send to %s: %s\n", qPrintable(destination),
            qPrintable(socket.errorString()));
        return 1;
    }
    std::printf("sent to %s: %s\n", qPrintable(destination), request.datagram.constData());
    return 0;
}

int listen(const remote::Request& request)
{
    // Shared, so it can listen beside anything else bound to the status port.
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::AnyIPv4, request.port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        std::fprintf(stderr, "player-remote: cannot listen on UDP port %u: %s\n", unsigned(request.port),
            qPrintable(socket.errorString()));
        return 1;
    }
    std::fprintf(stderr, "player-remote: listening on UDP port %u\n", unsigned(request.port));
    std::fflush(stderr);

    int received = 0;
    int status = 0;
    QObject::connect(&socket, &QUdpSocket::readyRead, [&] {
        while (socket.hasPendingDatagrams() && (request.count == 0 || received < request.count)) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            if (!datagram.isValid())
                break;
            std::printf("%s\n",
                remote::statusLine(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort()))
                    .constData());
            std::fflush(stdout);
            ++received;
        }
        if (request.count > 0 && received >= request.count)
            QCoreApplication::exit(0);
    });
    if (request.timeoutMs > 0) {
        QTimer::singleShot(request.timeoutMs, [&] {
            if (request.count > 0 && received < request.count) {
                std::fprintf(
                    stderr, "player-remote: %d of %d status datagrams before the time-out\n", received, request.count);
                status = 1;
            }
            QCoreApplication::exit(status);
        });
    }
    const int result = QCoreApplication::exec();
    return status ? status : result;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    const remote::Request request = remote::parse(arguments, QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!request.error.isEmpty()) {
        std::fprintf(stderr, "player-remote: %s\nTry \"player-remote --help\".\n", qPrintable(request.error));
        return 2;
    }
    switch (request.action) {
    case remote::Action::Help:
        std::printf("%s", qPrintable(remote::usage()));
        return 0;
    case remote::Action::Send:
        return request.broker.host.isEmpty() ? send(request) : remote::mqttSend(request);
    case remote::Action::Listen:
        return request.broker.host.isEmpty() ? listen(request) : remote::mqttListen(request);
    case remote::Action::Fleet:
        return remote::mqttFleet(request);
    case remote::Action::Screenshot:
        return remote::mqttScreenshot(request);
    }
    return 2;
}
