#pragma once

#include <functional>

// Runs `task` later on the Qt main thread, in the order of posting; while a WakeupsHeldBack is
// alive on the calling thread, it is posted when that ends. Dropped when there is no application
// object (a process without an event loop has no main thread to deliver to).
void postToMainThread(std::function<void()> task);
