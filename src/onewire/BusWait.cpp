#include "onewire/BusWait.h"
#include <QThread>

namespace {
std::function<void(int)>& waitHook()
{
    static std::function<void(int)> hook;
    return hook;
}
} // namespace

void BusWait(int milliseconds)
{
    if (milliseconds < 0) milliseconds = 0;
    if (waitHook()) {
        waitHook()(milliseconds);
        return;
    }
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void SetBusWaitForTesting(std::function<void(int)> wait) { waitHook() = std::move(wait); }
