#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// Runs the delayed MIDI steps (note-offs, the later steps of an advance) on one dedicated
// high-priority thread, each at its steady-clock deadline; equal deadlines run in submission order.
// schedule() is callable from any thread, including from a running task.
//
// Tasks must hold their owners weakly. Destroying the scheduler drops what is pending; it joins the
// thread, except when the last owner lets go from inside a task, where joining would wait for
// itself: then the thread finishes on its own.
class MIDIScheduler
{
public:
    using Clock = std::chrono::steady_clock;
    using Task = std::function<void()>;

    MIDIScheduler();
    ~MIDIScheduler();
    MIDIScheduler(const MIDIScheduler &) = delete;
    MIDIScheduler &operator=(const MIDIScheduler &) = delete;

    void schedule(Clock::time_point deadline, Task task);

private:
    struct State;

    static void run(const std::shared_ptr<State> &state);

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};
