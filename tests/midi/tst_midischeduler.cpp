#include "midi/midischeduler.h"

#include <QTest>

#include <algorithm>
#include <future>
#include <mutex>
#include <vector>

using namespace std::chrono_literals;
using Clock = MIDIScheduler::Clock;

namespace {

// What the tasks saw, in the order they ran.
struct Runs
{
    std::mutex mutex;
    std::vector<std::pair<int, Clock::time_point>> entries;

    void add(int id)
    {
        const Clock::time_point now = Clock::now();
        std::lock_guard lock(mutex);
        entries.emplace_back(id, now);
    }
    std::vector<std::pair<int, Clock::time_point>> snapshot()
    {
        std::lock_guard lock(mutex);
        return entries;
    }
};

} // namespace

class MIDISchedulerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void schedule_runsByDeadlineNeverEarly();
    void schedule_fromARunningTask_runsThatTaskToo();
    void destruction_dropsPendingTasks();
    void destruction_fromItsOwnTask_doesNotJoinItself();
};

void MIDISchedulerTest::schedule_runsByDeadlineNeverEarly()
{
    Runs runs;
    std::promise<void> last;
    {
        MIDIScheduler scheduler;
        const Clock::time_point start = Clock::now();
        const std::vector<std::pair<int, std::chrono::milliseconds>> plan{
            {1, 60ms}, {2, 20ms}, {3, 40ms}, {4, 30ms}, {5, 30ms}};
        for (const auto &[id, delay] : plan)
            scheduler.schedule(start + delay, [&runs, id] { runs.add(id); });
        scheduler.schedule(start + 60ms, [&last] { last.set_value(); });
        QCOMPARE(last.get_future().wait_for(30s), std::future_status::ready);

        const auto entries = runs.snapshot();
        std::vector<int> order;
        for (const auto &[id, time] : entries) {
            order.push_back(id);
            const auto planned =
                std::find_if(plan.cbegin(), plan.cend(), [id](auto &p) { return p.first == id; });
            QVERIFY2(time >= start + planned->second, "a task ran before its deadline");
        }
        // Equal deadlines keep submission order.
        QCOMPARE(order, (std::vector<int>{2, 4, 5, 3, 1}));
    }
}

void MIDISchedulerTest::schedule_fromARunningTask_runsThatTaskToo()
{
    MIDIScheduler scheduler;
    std::promise<Clock::time_point> second;
    Clock::time_point firstRan;
    scheduler.schedule(Clock::now(), [&] {
        firstRan = Clock::now();
        scheduler.schedule(firstRan + 25ms, [&] { second.set_value(Clock::now()); });
    });
    std::future<Clock::time_point> secondRan = second.get_future();
    QCOMPARE(secondRan.wait_for(30s), std::future_status::ready);
    QVERIFY(secondRan.get() >= firstRan + 25ms);
}

void MIDISchedulerTest::destruction_dropsPendingTasks()
{
    auto witness = std::make_shared<int>(0);
    {
        MIDIScheduler scheduler;
        scheduler.schedule(Clock::now() + 10min, [witness] { ++*witness; });
        QCOMPARE(witness.use_count(), 2L);
    }
    // The pending task was destroyed without running.
    QCOMPARE(witness.use_count(), 1L);
    QCOMPARE(*witness, 0);
}

void MIDISchedulerTest::destruction_fromItsOwnTask_doesNotJoinItself()
{
    // Guards against a task that releases the last owner of its scheduler (as a note-off that finds
    // its transport released meanwhile does) waiting for its own thread to end.
    auto owner = std::make_shared<std::unique_ptr<MIDIScheduler>>(std::make_unique<MIDIScheduler>());
    auto witness = std::make_shared<int>(0);
    std::promise<void> released;
    MIDIScheduler &scheduler = **owner;
    scheduler.schedule(Clock::now() + 10min, [witness] { ++*witness; });
    scheduler.schedule(Clock::now() + 10ms, [owner, &released] {
        owner->reset();
        released.set_value();
    });
    owner.reset();

    QCOMPARE(released.get_future().wait_for(30s), std::future_status::ready);
    QTRY_COMPARE_WITH_TIMEOUT(witness.use_count(), 1L, 10000);
    QCOMPARE(*witness, 0);
}

QTEST_GUILESS_MAIN(MIDISchedulerTest)
#include "tst_midischeduler.moc"
