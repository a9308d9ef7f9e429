// Interface language: the optional LANGUAGE.TXT maps English texts to another language.
#include "app/modInternationalisation.h"
#include "app/modMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTextStream>
#include <QWidget>
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

// One record: two quoted fields separated by a comma.
QStringList parseRecord(const QString& line)
{
    QStringList fields;
    QString cur;
    bool inQuotes = false, wasQuoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') { cur += '"'; ++i; }
                else inQuotes = false;
            } else cur += c;
        } else if (c == '"') { inQuotes = true; wasQuoted = true; }
        else if (c == ',') { fields << (wasQuoted ? cur : cur.trimmed()); cur.clear(); wasQuoted = false; }
        else if (!wasQuoted) cur += c;
    }
    fields << (wasQuoted ? cur : cur.trimmed());
    return fields;
}
} // namespace

bool LoadLanguageFileFrom(const QString& fullPath)
{
    QFile f(fullPath);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter))
        text = QString::fromLatin1(bytes);
    LanguageTable t;
    for (const QString& raw : text.split('\n')) {
        QString line = raw;
        if (line.endsWith('\r')) line.chop(1);
        if (line.trimmed().isEmpty()) continue;
        const QStringList fields = parseRecord(line);
        if (fields.size() < 2) continue;
        QString key = fields[0];
        if (key.startsWith("???")) key = key.mid(3);
        t.entries.emplace(key.toLower(), fields[1]);   // first entry wins
    }
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
    table()->untranslated << "???" + text;
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
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString prefix = w->objectName().left(3);
        if (prefix == "lbl") {
            if (auto* l = qobject_cast<QLabel*>(w)) l->setText(Translate(l->text()));
        } else if (prefix == "chk" || prefix == "cmd" || prefix == "opt") {
            if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(Translate(b->text()));
        } else if (prefix == "fra") {
            if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(Translate(g->title()));
        }
    }
}

void SetMessageHandler(MessageHandler handler)
{
    messageHandler() = std::move(handler);
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
