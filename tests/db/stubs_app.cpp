// Temporary weak stand-ins for the application module until it lands; removed after merging it.
#include "app/modInternationalisation.h"
#include "app/modMain.h"

static MessageHandler g_handler;

__attribute__((weak)) AppState& App()
{
    static AppState state;
    return state;
}
__attribute__((weak)) QDateTime NowUtc()
{
    const QDateTime n = QDateTime::currentDateTimeUtc();
    return QDateTime(n.date(), n.time(), Qt::UTC);
}
__attribute__((weak)) QDateTime NowLocal() { return NowUtc().addSecs(-60 * App().UtcBias); }
__attribute__((weak)) QString Translate(const QString& text) { return text; }
__attribute__((weak)) void SetMessageHandler(MessageHandler handler) { g_handler = std::move(handler); }
__attribute__((weak)) int ShowMessage(const QString& prompt, int style, const QString& title)
{
    return g_handler ? g_handler(prompt, style, title) : 1;
}
