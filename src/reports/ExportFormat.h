#pragma once
// Small text forms shared by the exports and the web report.
#include <QString>

// A sample value in the fixed form of the document export ("+0#.0;-0#.0"): sign, at least two
// integer digits, one decimal ("+07.0", "-03.2", "+12.5"), halves away from zero.
QString FormatSignedValue(double value);

// A single-precision number as the runtime writes it into text: up to seven significant
// digits, no trailing zeros ("80", "-3.2").
QString FloatText(float value);

// HTML entities for the five characters that can change the meaning of a page.
QString HtmlEscape(const QString& text);

// Puts a completely written temporary file in place of path (one rename, so a reader sees either
// the old file or the new one). Removes the temporary file when that fails.
bool ReplaceFileWith(const QString& temporary, const QString& path, QString* error);
