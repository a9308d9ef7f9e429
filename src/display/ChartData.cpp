// Value kinds, display formats and small helpers of the data display state.
#include "display/ChartData.h"
#include <QFontDatabase>
#include <QLocale>
#include <cmath>

namespace {
struct KindInfo { ChartKind kind; const char* text; const char* name; };
const KindInfo kKinds[kChartKindCount] = {
    {ChartKind::Samples, "samples", "samples"},
    {ChartKind::DailyAverages, "daily averages", "daily-avg"},
    {ChartKind::DailyVariance, "daily variance", "daily-var"},
    {ChartKind::DailyMaximums, "daily maximums", "daily-max"},
    {ChartKind::DailyMinimums, "daily minimums", "daily-min"},
    {ChartKind::MonthlyAverages, "monthly averages", "monthly-avg"},
    {ChartKind::MonthlyVariance, "monthly variance", "monthly-var"},
    {ChartKind::MonthlyMaximums, "monthly maximums", "monthly-max"},
    {ChartKind::MonthlyMinimums, "monthly minimums", "monthly-min"},
};

// Height of the settings frame below the graph in the data display window, in pixels.
constexpr int kSettingsFrameHeightPixels = 230;
constexpr int kTwipsPerPixel = 15;
} // namespace

bool IsDailyKind(ChartKind k) { return int(k) >= 1 && int(k) <= 4; }
bool IsMonthlyKind(ChartKind k) { return int(k) >= 5; }
bool IsVarianceKind(ChartKind k) { return k == ChartKind::DailyVariance || k == ChartKind::MonthlyVariance; }
bool IsTextValueKind(ChartKind k)
{
    return k == ChartKind::DailyAverages || k == ChartKind::MonthlyAverages || IsVarianceKind(k);
}
QString ChartKindText(ChartKind k) { return QString::fromLatin1(kKinds[int(k)].text); }
QString ChartKindName(ChartKind k) { return QString::fromLatin1(kKinds[int(k)].name); }
bool ChartKindFromName(const QString& name, ChartKind& kind)
{
    for (const auto& k : kKinds)
        if (name == QLatin1String(k.name)) { kind = k.kind; return true; }
    return false;
}

void SetHeadlessWindowSize(ChartState& state, int graphWidthPixels, int graphHeightPixels)
{
    state.WindowWidthTwips = graphWidthPixels * kTwipsPerPixel;
    state.WindowHeightTwips = (graphHeightPixels + kSettingsFrameHeightPixels) * kTwipsPerPixel;
}

QString GraphFontFamily()
{
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const char* f : {"Arial", "Liberation Sans"})
            if (families.contains(QString::fromLatin1(f), Qt::CaseInsensitive)) return QString::fromLatin1(f);
        return QString::fromLatin1("Sans Serif");
    }();
    return family;
}

QString FormatAverageText(double value)
{
    // "##.##": at most two decimals, no trailing zeros, no leading zero, the point always shown.
    QString t = QString::number(std::fabs(value), 'f', 2);
    while (t.endsWith('0')) t.chop(1);
    if (t.startsWith("0.")) t.remove(0, 1);
    const bool negative = value < 0 && t != ".";
    return negative ? "-" + t : t;
}

QString FormatChartTime(const QDateTime& t, const QString& format)
{
    // Date/time format strings: d dd ddd dddd, w ww, m mm mmm mmmm, y yy yyyy, h hh, n nn, s ss,
    // a/p and am/pm (12-hour clock), "/" and ":" as separators; letters in any case.
    const QDate d = t.date();
    const QTime tm = t.time();
    const QString lower = format.toLower();
    const bool twelve = lower.contains("a/p") || lower.contains("am/pm");
    static const QLocale en(QLocale::English, QLocale::UnitedStates);
    QString out;
    int i = 0;
    auto run = [&](QChar c) { int n = 0; while (i + n < lower.size() && lower[i + n] == c) ++n; return n; };
    const auto two = [](int v) { return QString::number(v).rightJustified(2, '0'); };
    while (i < lower.size()) {
        const QChar c = lower[i];
        if (lower.mid(i, 5) == "am/pm") { out += tm.hour() < 12 ? "am" : "pm"; if (format[i].isUpper()) out = out.left(out.size() - 2) + (tm.hour() < 12 ? "AM" : "PM"); i += 5; continue; }
        if (lower.mid(i, 3) == "a/p") { out += format[i].isUpper() ? (tm.hour() < 12 ? "A" : "P") : (tm.hour() < 12 ? "a" : "p"); i += 3; continue; }
        int n = run(c);
        if (c == 'd') {
            if (n == 1) out += QString::number(d.day());
            else if (n == 2) out += two(d.day());
            else if (n == 3) out += en.dayName(d.dayOfWeek(), QLocale::ShortFormat);
            else out += en.dayName(d.dayOfWeek(), QLocale::LongFormat);
        } else if (c == 'w') {
            const int weekday = d.dayOfWeek() % 7 + 1;   // Sunday 1
            if (n == 1) out += QString::number(weekday);
            else {
                const QDate jan1(d.year(), 1, 1);
                const int jan1Weekday = jan1.dayOfWeek() % 7 + 1;
                out += QString::number((d.dayOfYear() - 1 + jan1Weekday - 1) / 7 + 1);
            }
        } else if (c == 'm') {
            if (n == 1) out += QString::number(d.month());
            else if (n == 2) out += two(d.month());
            else if (n == 3) out += en.monthName(d.month(), QLocale::ShortFormat);
            else out += en.monthName(d.month(), QLocale::LongFormat);
        } else if (c == 'y') {
            if (n == 1) out += QString::number(d.dayOfYear());
            else if (n <= 3) out += two(d.year() % 100);
            else out += QString::number(d.year());
        } else if (c == 'h') {
            int h = tm.hour();
            if (twelve) { h %= 12; if (h == 0) h = 12; }
            out += n >= 2 ? two(h) : QString::number(h);
        } else if (c == 'n') {
            out += n >= 2 ? two(tm.minute()) : QString::number(tm.minute());
        } else if (c == 's') {
            out += n >= 2 ? two(tm.second()) : QString::number(tm.second());
        } else {
            out += format.mid(i, n);
        }
        i += n;
    }
    return out;
}
