#pragma once

#include "app/applicationlauncher.h"
#include "app/connectorenvironment.h"
#include "fakeopenfileslister.h"
#include "fakerunningapplications.h"
#include "midimessagelog.h"
#include "recordingmidioutput.h"
#include "testfixture.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringList>

#include <map>
#include <memory>

// An application launcher that opens nothing: it knows the identifiers and paths the test gives it
// and records what it was asked to open, answering with `openError` on the next turn of the loop.
class FakeApplicationLauncher final : public ApplicationLauncher
{
public:
    QHash<QString, QString> registered; // bundle identifier → location
    QStringList existingPaths;
    std::optional<QString> openError;
    QStringList opened;

    std::optional<QString> locate(const QString &id) const override
    {
        return registered.contains(id) ? std::optional(registered.value(id)) : std::nullopt;
    }
    bool exists(const QString &path) const override { return existingPaths.contains(path); }
    void open(const QString &location, std::function<void(std::optional<QString> error)> completion) override
    {
        opened << location;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [completion, error = openError] { completion(error); },
            Qt::QueuedConnection);
    }
};

// A connector environment on a temporary home: settings file, shipped resources from the build
// tree, recording MIDI outputs, in-memory processes, a launcher that opens nothing, listeners on
// 127.0.0.1 with ports chosen by the system, and a fixed local address.
struct ConnectorTestEnvironment
{
    TestFixture fixture;
    std::shared_ptr<FakeRunningApplications> runningApplications =
        std::make_shared<FakeRunningApplications>();
    std::shared_ptr<FakeApplicationLauncher> launcher = std::make_shared<FakeApplicationLauncher>();
    // The MIDI log of the latest transport made for each platform, and the input the DJ software
    // answers it on.
    std::map<DJPlatform, std::shared_ptr<MIDIMessageLog>> midiLogs;
    std::map<DJPlatform, std::shared_ptr<RecordingMIDIOutput::Input>> midiInputs;
    std::optional<QString> localAddress = QStringLiteral("192.168.1.20");
    QStringList clipboard;

    // An environment for a model; it refers back to this object, which must outlive the model.
    ConnectorEnvironment make()
    {
        using namespace Qt::StringLiterals;
        QDir().mkpath(fixture.path(u"home/Documents"_s));
        QDir().mkpath(fixture.path(u"home/.local/share"_s));
        ConnectorEnvironment environment;
        environment.settings = fixture.settings();
        environment.clock = std::make_shared<SystemClock>();
        environment.installerLocations = {
            QCoreApplication::applicationDirPath() + u"/../share/tarvik-dj-connector"_s,
            fixture.path(u"home"_s),
            fixture.path(u"home/Documents"_s),
            fixture.path(u"home/.local/share"_s),
        };
        environment.runningApplications = runningApplications;
        environment.launcher = launcher;
        environment.localIPv4Address = [this] { return localAddress; };
        environment.makeTransport = [this](DJPlatform platform) {
            RecordingMIDIOutput::Recorded recorded = RecordingMIDIOutput::transport(platform);
            midiLogs[platform] = recorded.log;
            midiInputs[platform] = recorded.input;
            return recorded.transport;
        };
        environment.makeMonitor = [this](DJPlatform platform) {
            return std::make_unique<NowPlayingMonitor>(
                platform,
                NowPlayingMonitor::Seams{runningApplications, std::make_shared<FakeOpenFilesLister>(),
                                         fixture.path(u"history"_s), std::make_shared<SystemClock>()});
        };
        environment.listenPort = [](DJPlatform) { return quint16(0); };
        environment.listenAddress = QHostAddress::LocalHost;
        // Nothing listens on the discard port: a check fails fast unless the test serves one.
        environment.updateManifestURL = QUrl(u"http://127.0.0.1:9/updates/dj-connector-macos.json"_s);
        environment.updateTimeoutMs = 2000;
        environment.copyToClipboard = [this](const QString &text) { clipboard << text; };
        return environment;
    }
};
