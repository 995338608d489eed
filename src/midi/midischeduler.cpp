#include "midi/midischeduler.h"

#include "core/wakeupsheldback.h"
#include "midi/timerthreadpriority.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <queue>
#include <vector>

struct MIDIScheduler::State
{
    struct Entry
    {
        Clock::time_point deadline;
        std::uint64_t sequence = 0;
        Task task;

        // std::priority_queue keeps the largest on top; the earliest deadline must win.
        bool operator<(const Entry &other) const
        {
            if (deadline != other.deadline)
                return deadline > other.deadline;
            return sequence > other.sequence;
        }
    };

    std::mutex mutex;
    std::condition_variable wakeUp;
    std::priority_queue<Entry> pending;
    std::uint64_t nextSequence = 0;
    bool stopping = false;
};

MIDIScheduler::MIDIScheduler()
    : m_state(std::make_shared<State>())
    , m_thread(&MIDIScheduler::run, m_state)
{}

MIDIScheduler::~MIDIScheduler()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->wakeUp.notify_one();
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
}

void MIDIScheduler::schedule(Clock::time_point deadline, Task task)
{
    // Once the lock is released a task may already have destroyed this scheduler, not the state.
    const std::shared_ptr<State> state = m_state;
    {
        std::lock_guard lock(state->mutex);
        if (state->stopping)
            return;
        const std::uint64_t sequence = state->nextSequence++;
        state->pending.push(State::Entry{deadline, sequence, std::move(task)});
        // The thread waits for the earliest deadline: a later one needs no wake-up.
        if (state->pending.top().sequence != sequence)
            return;
    }
    // A command's first deadline is its note-off, tens of milliseconds away: the wake-up can wait
    // until the command is answered.
    wakeWhenAllowed([state] { state->wakeUp.notify_one(); });
}

// The thread owns the state, not the scheduler, so it may outlive a scheduler destroyed by one of
// its own tasks.
void MIDIScheduler::run(const std::shared_ptr<State> &state)
{
    raiseTimerThreadPriority();

    std::unique_lock lock(state->mutex);
    while (!state->stopping) {
        if (state->pending.empty()) {
            state->wakeUp.wait(lock);
            continue;
        }
        const Clock::time_point deadline = state->pending.top().deadline;
        if (Clock::now() < deadline) {
            state->wakeUp.wait_until(lock, deadline);
            continue;
        }
        Task task = std::move(const_cast<State::Entry &>(state->pending.top()).task);
        state->pending.pop();
        lock.unlock();
        // Run and destroy the task unlocked: it may schedule more, or release the scheduler's last owner.
        task();
        task = nullptr;
        lock.lock();
    }
    // Pending tasks are destroyed after the lock is released, for the same reason.
    std::priority_queue<State::Entry> dropped;
    dropped.swap(state->pending);
    lock.unlock();
}
