#pragma once

#include "nowplaying/nowplayingmonitor.h"
#include "router/commandrouter.h"

#include "support/fakeopenfileslister.h"
#include "support/fakerunningapplications.h"
#include "support/recordingmidioutput.h"
#include "support/testfixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>

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

// One request over a fresh loopback connection.
inline QByteArray exchange(quint16 port, const QByteArray &request)
{
    const std::unique_ptr<QTcpSocket> socket = connectTo(port);
    socket->write(request);
    return readUntilClosed(*socket);
}

inline int statusOf(const QByteArray &answer)
{
    return answer.split(' ').value(1).toInt();
}

inline QJsonObject bodyOf(const QByteArray &answer)
{
    const qsizetype headEnd = answer.indexOf("\r\n\r\n");
    return headEnd < 0 ? QJsonObject() : QJsonDocument::fromJson(answer.sliced(headEnd + 4)).object();
}
