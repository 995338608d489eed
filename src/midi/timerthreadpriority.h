#pragma once

// Asks the system to wake the calling thread on time: the highest priority it grants an ordinary user,
// and no timer slack. Failures are ignored; the thread then runs at normal priority.
void raiseTimerThreadPriority();
