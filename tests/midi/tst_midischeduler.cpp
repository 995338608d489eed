#include "midi/midischeduler.h"

#include <QTest>

#include <future>
#include <thread>

using namespace std::chrono_literals;

class MIDISchedulerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void earlierTask_wakesTheThreadWaitingForALaterOne();
};

// Only a task that becomes the earliest wakes the timer thread; one that does must not wait for the
// deadline the thread was sleeping towards.
void MIDISchedulerTest::earlierTask_wakesTheThreadWaitingForALaterOne()
{
    MIDIScheduler scheduler;
    const MIDIScheduler::Clock::time_point now = MIDIScheduler::Clock::now();
    scheduler.schedule(now + 1h, [] {});
    // Gives the thread time to fall asleep until the hour is up.
    std::this_thread::sleep_for(50ms);
    std::promise<void> ran;
    scheduler.schedule(now, [&ran] { ran.set_value(); });
    QCOMPARE(ran.get_future().wait_for(10s), std::future_status::ready);
}

QTEST_APPLESS_MAIN(MIDISchedulerTest)
#include "tst_midischeduler.moc"
