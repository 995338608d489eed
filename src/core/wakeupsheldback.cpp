#include "core/wakeupsheldback.h"

#include <vector>

namespace {

thread_local int t_holdDepth = 0;
thread_local std::vector<std::function<void()>> t_heldBack;

} // namespace

WakeupsHeldBack::WakeupsHeldBack()
{
    ++t_holdDepth;
}

WakeupsHeldBack::~WakeupsHeldBack()
{
    if (--t_holdDepth > 0)
        return;
    std::vector<std::function<void()>> wakes;
    wakes.swap(t_heldBack);
    for (const std::function<void()> &wake : wakes)
        wake();
}

void wakeWhenAllowed(std::function<void()> wake)
{
    if (t_holdDepth > 0)
        t_heldBack.push_back(std::move(wake));
    else
        wake();
}
