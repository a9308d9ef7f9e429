#pragma once
// Interface language: every caption and message of the program passes through here.
#include <QString>
#include <functional>

// Message-box styles (buttons + icon), as the windows pass them.
enum MsgStyle : int {
    vbOKOnly = 0, vbOKCancel = 1, vbYesNoCancel = 3, vbYesNo = 4,
    vbCritical = 16, vbDefaultButton2 = 256, vbDefaultButton3 = 512, vbQuestion = 32, vbExclamation = 48, vbInformation = 64,
};
// Answers
enum MsgAnswer : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

// Far more than any language file holds; a larger file is not read.
inline constexpr qint64 kMaxLanguageFileBytes = 4 * 1024 * 1024;
bool LoadLanguageFile(const QString& fileName);   // relative to the application directory, e.g. "/LANGUAGE.TXT"
bool LoadLanguageFileFrom(const QString& fullPath);
void UnloadLanguage();                             // back to English (tests)
QString Translate(const QString& text);
bool LanguageLoaded();                             // a language file is in use
QStringList UntranslatedTexts();

// Shows a message box (or hands the message to the installed handler) and returns 1, 6 or 7.
int ShowMessage(const QString& prompt, int style = vbOKOnly, const QString& title = QString());

// Without a handler, ShowMessage asks the user interface (app/UserInterface.h). Tests install
// one that prints or records the message and answers as told.
using MessageHandler = std::function<int(const QString& prompt, int style, const QString& title)>;
void SetMessageHandler(MessageHandler handler);
bool MessageHandlerInstalled();

// Input box (the site number question); handler for tests and the terminal program.
using InputHandler = std::function<QString(const QString& prompt, const QString& title, const QString& def, bool& cancelled)>;
void SetInputHandler(InputHandler handler);
QString InputBox(const QString& prompt, const QString& title, const QString& def);
