#include "core/mainthread.h"

#include <QCoreApplication>

#include <vector>

namespace {

thread_local int t_holdDepth = 0;
thread_local std::vector<std::function<void()>> t_heldBack;

void post(std::function<void()> task)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
}

} // namespace

void postToMainThread(std::function<void()> task)
{
    if (t_holdDepth > 0)
        t_heldBack.push_back(std::move(task));
    else
        post(std::move(task));
}

MainThreadPostsHeldBack::MainThreadPostsHeldBack()
{
    ++t_holdDepth;
}

MainThreadPostsHeldBack::~MainThreadPostsHeldBack()
{
    if (--t_holdDepth > 0)
        return;
    std::vector<std::function<void()>> tasks;
    tasks.swap(t_heldBack);
    for (std::function<void()> &task : tasks)
        post(std::move(task));
}
