#include "core/mainthread.h"

#include <QCoreApplication>

void postToMainThread(std::function<void()> task)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
}
