#pragma once
// Reading the interface-language file "LANGUAGE.TXT": one record per line, the English text and
// its translation, each a quoted field, separated by a comma:
//     "&End","&Beenden"
// Inside quotes a comma is part of the text and a doubled quote stands for one quote character.
// An unquoted field runs to the next comma and is trimmed. A first field that begins with "???"
// (a line copied from the list of untranslated texts) loses those three characters.
// Lines with fewer than two fields are skipped.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The file's bytes as text: UTF-8 (a byte-order mark is dropped), or Latin-1 when the bytes are
// not valid UTF-8.
QString DecodeLanguageFileText(const QByteArray& bytes);

// The records in file order (keys with "???" removed; duplicates kept, the caller keeps the first).
QList<QPair<QString, QString>> ParseLanguageFileText(const QString& text);
