#include "connectortestenvironment.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

ConnectorEnvironment ConnectorTestEnvironment::make()
{
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
            platform, NowPlayingMonitor::Seams{runningApplications, std::make_shared<FakeOpenFilesLister>(),
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
