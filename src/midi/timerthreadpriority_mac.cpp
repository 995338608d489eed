#include "midi/timerthreadpriority.h"

#include <pthread/qos.h>

void raiseTimerThreadPriority()
{
    pthread_set_qos_class_self_np(QOS_CLASS_USER_INTERACTIVE, 0);
}
