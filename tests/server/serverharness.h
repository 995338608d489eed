#pragma once

#include "nowplaying/nowplayingmonitor.h"
#include "router/commandrouter.h"
#include "server/remoteserver.h"

#include "support/fakeopenfileslister.h"
#include "support/fakerunningapplications.h"
#include "support/recordingmidioutput.h"
#include "support/testfixture.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <memory>

// A Serato router over an in-memory MIDI output (or the given transport), with pairing code 482913 and
// the given stored values, and a now-playing monitor that sees Serato running with the files the test
// sets open.
struct RouterHarness
{
    static constexpr qint64 kProcessID = 4242;

    explicit RouterHarness(QVariantHash stored = {}, std::shared_ptr<MIDITransport> transport = {})
        : midi(transport ? std::move(transport)
                         : RecordingMIDIOutput::transport(DJPlatform::serato).transport)
    {
        stored.insert(QStringLiteral("TarvikDJConnector.serato.pairingCode"), QStringLiteral("482913"));
        for (auto entry = stored.cbegin(); entry != stored.cend(); ++entry)
            fixture.settings()->setValue(entry.key(), entry.value());
        applications->set({{kProcessID, displayName(DJPlatform::serato), {}}});
        auto monitor = std::make_unique<NowPlayingMonitor>(
            DJPlatform::serato, NowPlayingMonitor::Seams{applications, openFiles,
                                                         fixture.path(QStringLiteral("history")), clock});
        router = std::make_shared<CommandRouter>(DJPlatform::serato, midi, fixture.settings(),
                                                 std::move(monitor), clock);
    }

    std::shared_ptr<MIDITransport> midi;
    TestFixture fixture;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeRunningApplications> applications = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<FakeOpenFilesLister> openFiles = std::make_shared<FakeOpenFilesLister>();
    std::shared_ptr<CommandRouter> router;
};

// Servers of the harness's router on loopback, and the status lines they reported.
struct ServerHarness : RouterHarness
{
    using RouterHarness::RouterHarness;

    // Started on a free port unless given one.
    std::shared_ptr<RemoteServer> start(HTTPListener::Limits limits = {}, int port = 0,
                                        DJPlatform platform = DJPlatform::serato)
    {
        auto server = std::make_shared<RemoteServer>(
            platform, router, RemoteServer::Options{port, QHostAddress::LocalHost, clock, limits});
        server->setOnStatus([this](const QString &line) {
            // Where the window shows it.
            QCOMPARE(QThread::currentThread(), qApp->thread());
            lines.append(line);
        });
        server->start();
        return server;
    }

    QStringList lines;
};

inline std::unique_ptr<QTcpSocket> connectTo(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    // A refused connection shows as no answer.
    socket->waitForConnected(10'000);
    return socket;
}

// Everything received once the server has closed the connection; nothing if it has not within 30 s.
inline QByteArray readUntilClosed(QTcpSocket &socket)
{
    if (QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 30'000))
        return socket.readAll();
    qWarning("the server did not close the connection");
    return {};
}

inline int statusOf(const QByteArray &answer)
{
    return answer.split(' ').value(1).toInt();
}
