#pragma once

#include <functional>

// Runs `task` later on the Qt main thread, in the order of posting. Dropped when there is no
// application object (a process without an event loop has no main thread to deliver to).
void postToMainThread(std::function<void()> task);

// While one is alive, posts made on this thread wait and go out, in order, when the outermost one
// ends. The server holds them back while it answers, so that an answer on the wire never waits for
// waking the main thread, and the main thread does not take the core the phone's side needs.
class MainThreadPostsHeldBack
{
public:
    MainThreadPostsHeldBack();
    ~MainThreadPostsHeldBack();
    MainThreadPostsHeldBack(const MainThreadPostsHeldBack &) = delete;
    MainThreadPostsHeldBack &operator=(const MainThreadPostsHeldBack &) = delete;
};
