#include "midi/timerthreadpriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void raiseTimerThreadPriority()
{
    // The default 50 µs slack lets the kernel wake the thread late to batch timers.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    // Real-time scheduling needs a grant (rtprio limit or CAP_SYS_NICE); without one, a lower nice
    // value may still be allowed.
    sched_param parameter{};
    parameter.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameter) == 0)
        return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -10);
}
