#pragma once
// Small text forms shared by the exports and the web report.
#include <QString>
#include <vector>

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

// ---- Decimals of the values in the spreadsheet -------------------------------------------------
// A logger measures in steps: 0.5 °C (DS1921G) or 0.125 °C (DS1921H and DS1921Z), that is 0.9 °F
// or 0.225 °F. One decimal shows every value of the first kind exactly, three every value of the
// second, in either unit. Averages and variances come from the query as two-decimal text.
enum class ValueResolution { Unknown, HalfDegree, EighthDegree };

// The fewest decimals (0 to maxDecimals) that give back the stored value: a temperature is kept as
// a single-precision number, so the difference it carries from its decimal (21.3 is stored as
// 21.2999992...) does not count.
int ShortestExactDecimals(double value, int maxDecimals = 6);

// Decimals for a column of values: two for averages and variances (aggregateText); the logger's
// resolution when it is known and every value lies on its steps; otherwise the fewest decimals
// that show each value exactly (a calibrated logger, or one whose kind the database does not know).
int ValueDecimals(const std::vector<double>& values, ValueResolution resolution, bool aggregateText);

// The number format of the spreadsheet's value cells: sign, two integer digits, the decimals
// ("+00.0;-00.0", "+00.000;-00.000").
QString SignedValueFormat(int decimals);

// The value rounded to the decimals shown, so that the cell holds the number it shows.
double RoundedToDecimals(double value, int decimals);
