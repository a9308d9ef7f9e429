// Interface language: the optional LANGUAGE.TXT maps English texts to another language.
#include "app/modInternationalisation.h"
#include "app/LanguageFile.h"
#include "app/RegularFile.h"
#include "app/modMain.h"

#include "app/UserInterface.h"

#include <QFile>
#include <QTextStream>
#include <QtDebug>
#include <map>
#include <optional>

namespace {
struct LanguageTable {
    std::map<QString, QString> entries;   // key: English text in lower case
    QStringList untranslated;
};
std::optional<LanguageTable>& table()
{
    static std::optional<LanguageTable> t;
    return t;
}
MessageHandler& messageHandler()
{
    static MessageHandler h;
    return h;
}
InputHandler& inputHandler()
{
    static InputHandler h;
    return h;
}

} // namespace

bool LoadLanguageFileFrom(const QString& fullPath)
{
    // A missing or unreadable file leaves the interface in English without a word; a path that
    // is no regular file (a FIFO would block the start) or a file far larger than any language
    // file also leaves it in English, with one line on the terminal saying why.
    const RegularFileRead read = ReadRegularFile(fullPath, kMaxLanguageFileBytes);
    if (!read.ok()) {
        if (read.error == FileReadError::NotRegular || read.error == FileReadError::TooLarge)
            qWarning().noquote() << read.message + QStringLiteral("; the interface stays in English");
        return false;
    }
    LanguageTable t;
    for (const auto& [key, value] : ParseLanguageFileText(DecodeLanguageFileText(read.bytes)))
        t.entries.emplace(key.toLower(), value);   // first entry wins
    table() = std::move(t);
    return true;
}

bool LoadLanguageFile(const QString& fileName)
{
    return LoadLanguageFileFrom(App().ApplicationDirectory + fileName);
}

void UnloadLanguage()
{
    table().reset();
}

QString Translate(const QString& text)
{
    if (!table() || text.isEmpty())
        return text;
    auto it = table()->entries.find(text.toLower());
    if (it != table()->entries.end() && !it->second.isEmpty())
        return it->second;
    // Each missing text is noted once: windows translate their status texts on every bus poll.
    const QString mark = "???" + text;
    if (!table()->untranslated.contains(mark))
        table()->untranslated << mark;
    return text;
}

bool LanguageLoaded() { return table().has_value(); }

QStringList UntranslatedTexts()
{
    return table() ? table()->untranslated : QStringList();
}

void SetMessageHandler(MessageHandler handler)
{
    messageHandler() = std::move(handler);
}

bool MessageHandlerInstalled()
{
    return bool(messageHandler());
}

int ShowMessage(const QString& prompt, int style, const QString& title)
{
    const QString caption = title.isEmpty() ? QStringLiteral("NORDALIS") : title;
    if (messageHandler())
        return messageHandler()(prompt, style, caption);
    return CurrentUserInterface().Message(prompt, style, caption);
}

void SetInputHandler(InputHandler handler)
{
    inputHandler() = std::move(handler);
}

QString InputBox(const QString& prompt, const QString& title, const QString& def)
{
    bool cancelled = false;
    if (inputHandler()) {
        QString answer = inputHandler()(prompt, title, def, cancelled);
        return cancelled ? QString() : answer;
    }
    const QString answer = CurrentUserInterface().Input(prompt, title, def, cancelled);
    return cancelled ? QString() : answer;
}
