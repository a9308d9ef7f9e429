#pragma once
// Format: the one routine that turns numbers and date-times into text with a pattern, in the
// pattern language the windows and reports are written in.
//
// Number patterns: up to three sections separated by ";" (positive/zero; negative; zero).
//   0  digit, shown as 0 when absent        #  digit, shown only when significant
//   .  decimal point (always shown)         ,  thousands grouping between digit placeholders,
//                                              divides by 1000 when it stands right of them
//   %  multiplies by 100 and is shown        \x the character x as it stands
//   "text" shown as it stands; every other character is shown as it stands.
//   A section chosen for a negative value shows no sign of its own (its text supplies it);
//   with one section a negative value gets a leading "-". Rounding is half away from zero.
//   "General Number" (any letter case) alone: the number's general form, up to 7 significant
//   digits for a single and 15 for a double, no trailing zeros, exponent form ("1e-05",
//   "1.5e+07") below 0.0001 and from the first power of ten that has no place; "nan", "inf".
//   Examples: Format(123400507, "0000000\.000\.00") = "0001234.005.07";
//             Format(5, "##.##") = "5.";  Format(0.5, "##.##") = ".5";
//             Format(-3.2, "+0#.0;-0#.0") = "-03.2".
//
// Date-time patterns (letters in either case):
//   d dd ddd dddd     day, day with zero, weekday "Sun", weekday "Sunday"
//   w                 weekday number, 1 = Sunday        ww   week of the year (week 1 holds 1 January,
//                                                            weeks start on Sunday)
//   m mm mmm mmmm     month, with zero, "Jan", "January" (minutes when following an hour or
//                     followed by seconds)
//   q                 quarter                 y  day of the year     yy yyyy  year
//   h hh  n nn  s ss  hour, minute, second (with or without a zero)
//   AM/PM am/pm A/P a/p   12-hour clock with the marker in the letter case written
//   ttttt             hh:nn:ss                c   date and time
//   "/" and ":" are written as they stand; \x and "text" as for numbers.
//   Examples: "h:na/p" at 13:05 gives "1:5p"; "WW-W" on Sunday 7 March 2004 gives "11-1";
//             "Y" that day gives "67".
#include <QDateTime>
#include <QString>
#include <QVariant>

QString Format(double value, const QString& pattern);
QString Format(float value, const QString& pattern);   // single precision: 7 significant digits
QString Format(int value, const QString& pattern);
QString Format(qint64 value, const QString& pattern);
QString Format(const QDateTime& value, const QString& pattern);
// Numbers (also numeric text) by the number rules, date-times by the date rules; other values
// (and text that is not a number) are returned as text unchanged; null gives "".
QString Format(const QVariant& value, const QString& pattern);
