#include "app/WindowHooks.h"

namespace {
std::function<void(QWidget*)>& programHook()
{
    static std::function<void(QWidget*)> hook;
    return hook;
}
std::function<void(QWidget*)>& readingHook()
{
    static std::function<void(QWidget*)> hook;
    return hook;
}
} // namespace

void SetProgramLoggerWindowHook(std::function<void(QWidget* owner)> hook) { programHook() = std::move(hook); }

bool OpenProgramLoggerWindow(QWidget* owner)
{
    if (!programHook()) return false;
    programHook()(owner);
    return true;
}

void SetReadingDialogHook(std::function<void(QWidget* owner)> hook) { readingHook() = std::move(hook); }

bool ReopenReadingDialog(QWidget* owner)
{
    if (!readingHook()) return false;
    readingHook()(owner);
    return true;
}
