// Interface language: the optional LANGUAGE.TXT maps English texts to another language.
#include "app/modInternationalisation.h"
#include "app/LanguageFile.h"
#include "app/RegularFile.h"
#include "app/modMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QTabWidget>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTextStream>
#include <QWidget>
#include <QtDebug>
#include <cstdio>
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

QStringList UntranslatedTexts()
{
    return table() ? table()->untranslated : QStringList();
}

void TranslateForm(QWidget* window)
{
    if (!table() || !window)
        return;
    window->setWindowTitle(Translate(window->windowTitle()));
    // Controls are recognised by the first three letters of their objectName.
    for (QObject* o : window->findChildren<QObject*>()) {
        const QString prefix = o->objectName().left(3);
        if (prefix == "lbl") {
            if (auto* l = qobject_cast<QLabel*>(o)) l->setText(Translate(l->text()));
        } else if (prefix == "chk" || prefix == "cmd" || prefix == "opt") {
            if (auto* b = qobject_cast<QAbstractButton*>(o)) b->setText(Translate(b->text()));
        } else if (prefix == "fra") {
            if (auto* g = qobject_cast<QGroupBox*>(o)) g->setTitle(Translate(g->title()));
        } else if (prefix == "mnu") {
            if (auto* m = qobject_cast<QMenu*>(o)) m->setTitle(Translate(m->title()));
            else if (auto* a = qobject_cast<QAction*>(o)) {
                if (!a->menu()) a->setText(Translate(a->text()));
            }
        } else if (prefix == "tab") {
            if (auto* tw = qobject_cast<QTabWidget*>(o))
                for (int i = 0; i < tw->count(); ++i) tw->setTabText(i, Translate(tw->tabText(i)));
        }
    }
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
    const int buttons = style & 7;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(), prompt.toLocal8Bit().constData());
        return (buttons == vbYesNo || buttons == vbYesNoCancel) ? vbNo : vbOK;
    }
    QMessageBox box;
    box.setWindowTitle(caption);
    box.setText(prompt);
    const int icon = style & 0x70;
    box.setIcon(icon == vbCritical ? QMessageBox::Critical : icon == vbQuestion ? QMessageBox::Question
                : icon == vbExclamation ? QMessageBox::Warning : icon == vbInformation ? QMessageBox::Information
                : QMessageBox::NoIcon);
    switch (buttons) {
    case vbYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case vbYesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case vbOKCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    // Default button: style 256 makes the second button the default, 512 the third.
    const int defIndex = (style & 0x300) == 0x200 ? 2 : (style & 0x300) == 0x100 ? 1 : 0;
    QList<QMessageBox::StandardButton> wanted;
    switch (buttons) {
    case vbYesNo: wanted = {QMessageBox::Yes, QMessageBox::No}; break;
    case vbYesNoCancel: wanted = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}; break;
    case vbOKCancel: wanted = {QMessageBox::Ok, QMessageBox::Cancel}; break;
    default: wanted = {QMessageBox::Ok}; break;
    }
    if (defIndex < wanted.size()) box.setDefaultButton(wanted[defIndex]);
    switch (box.exec()) {
    case QMessageBox::Yes: return vbYes;
    case QMessageBox::No: return vbNo;
    case QMessageBox::Cancel: return vbCancel;
    default: return vbOK;
    }
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
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return QString();
    bool ok = false;
    const QString answer = QInputDialog::getText(nullptr, title, prompt, QLineEdit::Normal, def, &ok);
    return ok ? answer : QString();
}
