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

    std::optional<QString> locate(const QString &bundleIdentifier) const override
    {
        return registered.contains(bundleIdentifier) ? std::optional(registered.value(bundleIdentifier))
                                                     : std::nullopt;
    }
    bool exists(const QString &path) const override { return existingPaths.contains(path); }
    void open(const QString &location, std::function<void(std::optional<QString> error)> completion) override
    {
        opened << location;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [completion, error = openError] { completion(error); }, Qt::QueuedConnection);
    }
};

// A connector environment on a temporary home: settings file, shipped resources from the build
// tree, recording MIDI outputs, in-memory processes, a launcher that opens nothing, listeners on
// 127.0.0.1 with ports chosen by the system, and a fixed local address.
struct ConnectorTestEnvironment
{
    TestFixture fixture;
    std::shared_ptr<FakeRunningApplications> runningApplications = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<FakeApplicationLauncher> launcher = std::make_shared<FakeApplicationLauncher>();
    // The MIDI log of the latest transport made for each platform, and the input the DJ software
    // answers it on.
    std::map<DJPlatform, std::shared_ptr<MIDIMessageLog>> midiLogs;
    std::map<DJPlatform, std::shared_ptr<RecordingMIDIOutput::Input>> midiInputs;
    std::optional<QString> localAddress = QStringLiteral("192.168.1.20");
    QStringList clipboard;

    // An environment for a model; it refers back to this object, which must outlive the model.
    ConnectorEnvironment make();
};
