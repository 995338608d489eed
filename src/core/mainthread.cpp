#include "core/mainthread.h"

#include "core/wakeupsheldback.h"

#include <QCoreApplication>

void postToMainThread(std::function<void()> task)
{
    wakeWhenAllowed([task = std::move(task)]() mutable {
        if (QCoreApplication *application = QCoreApplication::instance())
            QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
    });
}
