#pragma once

#include <functional>

// While one is alive on a thread, the wake-ups that thread gives other threads (a post to the main
// thread, a new earliest deadline for the MIDI timer thread, a line for the activity log's writer)
// wait, and go out in order when the outermost one ends. The server holds them while it answers: on
// a machine with two cores, a thread woken before the answer is written takes the core the answer
// or the phone's side of it needs.
class WakeupsHeldBack
{
public:
    WakeupsHeldBack();
    ~WakeupsHeldBack();
    WakeupsHeldBack(const WakeupsHeldBack &) = delete;
    WakeupsHeldBack &operator=(const WakeupsHeldBack &) = delete;
};

// Runs `wake` now, or when the outermost WakeupsHeldBack alive on this thread ends.
void wakeWhenAllowed(std::function<void()> wake);
