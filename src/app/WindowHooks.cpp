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

namespace {
std::function<void()>& mainMenuHook()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

void SetMainMenuHook(std::function<void()> hook) { mainMenuHook() = std::move(hook); }

void ReturnToMainMenu()
{
    if (mainMenuHook()) mainMenuHook()();
}

namespace {
std::function<QWidget*()>& factory(int index)
{
    static std::function<QWidget*()> factories[4];   // [3] stays empty: any other index
    return factories[index >= 0 && index < 3 ? index : 3];
}
} // namespace

void SetWorkingWindowFactory(int index, std::function<QWidget*()> f)
{
    if (index >= 0 && index < 3) factory(index) = std::move(f);
}

const std::function<QWidget*()>& WorkingWindowFactory(int index) { return factory(index); }
