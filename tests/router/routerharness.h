#pragma once

#include "router/commandrouter.h"
#include "support/recordingmidioutput.h"
#include "support/testfixture.h"

#include <QFile>

#include <memory>

// A router on a recording MIDI output, a settings file in a temporary folder and a fake clock.
struct RouterHarness
{
    explicit RouterHarness(DJPlatform platform = DJPlatform::serato)
        : platform(platform)
        , midi(RecordingMIDIOutput::transport(platform))
        , router(newRouter())
    {}

    // Another router for the same platform on the same store, as after a restart.
    std::shared_ptr<CommandRouter> newRouter() const
    {
        return std::make_shared<CommandRouter>(platform, midi.transport, fixture.settings(), nullptr, clock);
    }

    // The settings file as it is on disk.
    QByteArray storedBytes() const
    {
        QFile file(fixture.settingsFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    DJPlatform platform;
    TestFixture fixture;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    RecordingMIDIOutput::Recorded midi;
    std::shared_ptr<CommandRouter> router;
};
