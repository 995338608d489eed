#include "app/connectorenvironment.h"

#include "core/connectorconstants.h"
#include "midi/miditransport.h"
#include "nowplaying/systemrunningapplications.h"
#include "server/localaddress.h"

using namespace Qt::StringLiterals;

std::shared_ptr<QSettings> standardConnectorSettings()
{
    return std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::UserScope, u"Tarvik"_s,
                                       u"DJ Connector"_s);
}

ConnectorEnvironment ConnectorEnvironment::forSystem()
{
    ConnectorEnvironment environment;
    environment.settings = standardConnectorSettings();
    environment.clock = std::make_shared<SystemClock>();
    environment.installerLocations = InstallerLocations::forSystem();
    environment.runningApplications = std::make_shared<SystemRunningApplications>();
    environment.launcher = std::make_shared<SystemApplicationLauncher>();
    environment.localIPv4Address = [] { return preferredLocalIPv4Address(); };
    environment.makeTransport = [](DJPlatform platform) { return MIDITransport::create(platform); };
    environment.makeMonitor = [](DJPlatform platform) {
        return NowPlayingMonitor::createForSystem(platform);
    };
    environment.listenPort = [](DJPlatform platform) { return port(platform); };
    environment.updateManifestURL = ConnectorConstants::updateManifestURL();
    return environment;
}
