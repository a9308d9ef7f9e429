#pragma once
// The one rule for the texts an operator types that the program stores: the descriptions of the
// site, of the compartments and of the logger positions (database and logger record alike).
// The windows and the terminal program check them here, so both refuse the same texts with the
// same message.
//
// A description holds at most kMaxDescriptionLength characters (the compartment column keeps 50
// characters, and so a logger record with a description of that length stays well below its
// 255 bytes), no control characters (C0, DEL, C1, line and paragraph separators, and the
// direction controls that make a text show in another order than it is stored), and no half of
// a surrogate pair. Names (site, compartment) must not be empty or blank.
#include <QByteArray>
#include <QString>

inline constexpr int kMaxDescriptionLength = 50;

// Empty when the text may be stored; otherwise the translated reason.
QString CheckDescription(const QString& text, bool required);
// Whether one character (code point) is refused as a control character.
bool IsControlCharacter(char32_t c);
// Strict UTF-8: false (and *text untouched) for any invalid or overlong sequence; nothing is
// replaced.
bool DecodeUtf8Strictly(const QByteArray& bytes, QString* text);
// The text with every refused character written as \xNN (below 256) or \uNNNN, so that it can
// go to a terminal as it is.
QString EscapeControlCharacters(const QString& text);
