#pragma once

#include "core/activitylog.h"
#include "router/commandrouter.h"
#include "server/remoteserver.h"

#include "support/recordingmidioutput.h"

#include <QSettings>
#include <QTemporaryDir>

#include <memory>
#include <string>

// A Serato RemoteServer on a free loopback port over an in-memory MIDI output, with this computer's
// now-playing monitor and an activity log as in the field, and one paired device.
struct BenchServer
{
    BenchServer()
    {
        auto settings = std::make_shared<QSettings>(folder.filePath(QStringLiteral("settings.ini")),
                                                    QSettings::IniFormat);
        router = std::make_shared<CommandRouter>(
            DJPlatform::serato, RecordingMIDIOutput::transport(DJPlatform::serato).transport, settings);
        router->setOnActivity(
            [log = activityLog](const QString &kind, const QString &message, const QString &device) {
                log->append({QDateTime::currentDateTime(), kind, message, device});
            });
        server = std::make_shared<RemoteServer>(DJPlatform::serato, router,
                                                RemoteServer::Options{0, QHostAddress::LocalHost, {}, {}});
        server->start();
        port = server->serverPort();
        token = router->pair(router->pairingCode()).value_or(QString()).toStdString();
    }

    QTemporaryDir folder;
    std::shared_ptr<ActivityLog> activityLog =
        std::make_shared<ActivityLog>(folder.filePath(QStringLiteral("activity.log")));
    std::shared_ptr<CommandRouter> router;
    std::shared_ptr<RemoteServer> server;
    // 0 when the server did not start.
    quint16 port = 0;
    std::string token;
};
