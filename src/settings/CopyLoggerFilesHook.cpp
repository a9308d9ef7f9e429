#include "settings/CopyLoggerFilesHook.h"

namespace {
CopyLoggerFilesHook& hook()
{
    static CopyLoggerFilesHook h;
    return h;
}
} // namespace

void SetCopyLoggerFilesHook(CopyLoggerFilesHook h)
{
    hook() = std::move(h);
}

const CopyLoggerFilesHook& GetCopyLoggerFilesHook()
{
    return hook();
}
