#pragma once

#include "nowplaying/nowplayingmonitor.h"
#include "router/commandrouter.h"
#include "server/remoteserver.h"

#include "support/fakeopenfileslister.h"
#include "support/fakerunningapplications.h"
#include "support/recordingmidioutput.h"
#include "support/testfixture.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <memory>

// A Serato router with code 482913 and the given stored values over an in-memory MIDI output (or the given
// transport), seeing Serato run with the files the test sets open; its servers and the lines they report.
struct ServerHarness
{
    static constexpr qint64 kProcessID = 4242;

    explicit ServerHarness(QVariantHash stored = {}, std::shared_ptr<MIDITransport> transport = {})
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

    std::shared_ptr<MIDITransport> midi;
    TestFixture fixture;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeRunningApplications> applications = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<FakeOpenFilesLister> openFiles = std::make_shared<FakeOpenFilesLister>();
    std::shared_ptr<CommandRouter> router;
    QStringList lines;
};
