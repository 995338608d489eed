#pragma once

#include "app/applicationlauncher.h"
#include "core/clock.h"
#include "core/djplatform.h"
#include "installers/installerlocations.h"
#include "nowplaying/nowplayingmonitor.h"
#include "nowplaying/runningapplications.h"

#include <QHostAddress>
#include <QSettings>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class ActivityLog;
class MIDITransport;

// Everything the connector model reaches outside itself, so tests can give it a temporary home,
// in-memory processes, test ports and a local update server.
struct ConnectorEnvironment
{
    std::shared_ptr<QSettings> settings;
    std::shared_ptr<const Clock> clock;
    InstallerLocations installerLocations;
    std::shared_ptr<const RunningApplications> runningApplications;
    std::shared_ptr<ApplicationLauncher> launcher;
    std::function<std::optional<QString>()> localIPv4Address;
    std::function<std::shared_ptr<MIDITransport>(DJPlatform)> makeTransport;
    std::function<std::unique_ptr<NowPlayingMonitor>(DJPlatform)> makeMonitor;
    // The port the listener binds for a platform (the platform's own port outside tests).
    std::function<quint16(DJPlatform)> listenPort;
    QHostAddress listenAddress = QHostAddress::Any;
    QUrl updateManifestURL;
    int updateTimeoutMs = 8000;
    // Absent where there is no clipboard (headless).
    std::function<void(const QString &)> copyToClipboard;
    // Where the running connector keeps its activity; absent: nothing is kept (one-shot commands).
    std::shared_ptr<ActivityLog> activityLog;

    // The real computer: the standard settings store, its processes, network and folders.
    static ConnectorEnvironment forSystem();
};

// The standard settings store: organisation "Tarvik", application "DJ Connector", native format.
std::shared_ptr<QSettings> standardConnectorSettings();
