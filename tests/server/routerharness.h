#pragma once

#include "core/djplatform.h"
#include "router/commandrouter.h"

#include "support/fakeclock.h"
#include "support/fakeopenfileslister.h"
#include "support/fakerunningapplications.h"
#include "support/testfixture.h"

#include <QMutex>
#include <QStringList>

#include <functional>
#include <memory>

// A real command router over an in-memory MIDI output, a settings file of its own and a now-playing
// monitor that sees the DJ software running with the files the test opens.
class RouterHarness
{
public:
    explicit RouterHarness(DJPlatform platform = DJPlatform::serato);

    std::shared_ptr<CommandRouter> router() const { return m_router; }
    std::shared_ptr<FakeClock> clock() const { return m_clock; }
    const TestFixture &fixture() const { return m_fixture; }

    // Makes the DJ software hold this audio file open, so the monitor reports its track.
    void playFile(const QString &path);
    // The names of the threads on which the monitor looked at the open files.
    QStringList lookThreadNames() const;
    // Runs inside every look at the open files, on the thread that asks for the track.
    void setDuringLook(std::function<void()> hook);

    // A new router over the same settings, e.g. after the test wrote a stored value.
    void reload();

private:
    static constexpr qint64 kProcessID = 4242;

    DJPlatform m_platform;
    TestFixture m_fixture;
    std::shared_ptr<FakeClock> m_clock;
    std::shared_ptr<FakeRunningApplications> m_applications;
    std::shared_ptr<FakeOpenFilesLister> m_openFiles;
    std::shared_ptr<CommandRouter> m_router;
    mutable QMutex m_mutex;
    QStringList m_lookThreadNames;
    std::function<void()> m_duringLook;
};
