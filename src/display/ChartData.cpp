// Value kinds, display formats and small helpers of the data display state.
#include "display/ChartData.h"
#include "app/modFormat.h"
#include <QFontDatabase>

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
    {ChartKind::Mkt, "mean kinetic temperature", "mkt"},
    {ChartKind::DailyMkt, "daily mean kinetic temperature", "daily-mkt"},
    {ChartKind::MonthlyMkt, "monthly mean kinetic temperature", "monthly-mkt"},
};

// Height of the settings frame below the graph in the data display window, in pixels.
constexpr int kSettingsFrameHeightPixels = 230;
constexpr int kTwipsPerPixel = 15;
} // namespace

bool IsDailyKind(ChartKind k) { return (int(k) >= 1 && int(k) <= 4) || k == ChartKind::DailyMkt; }
bool IsMonthlyKind(ChartKind k) { return (int(k) >= 5 && int(k) <= 8) || k == ChartKind::MonthlyMkt; }
bool IsMktKind(ChartKind k) { return MktPeriodOf(k) >= 0; }
int MktPeriodOf(ChartKind k)
{
    return k == ChartKind::Mkt ? 0 : k == ChartKind::DailyMkt ? 1 : k == ChartKind::MonthlyMkt ? 2 : -1;
}
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

QString FormatAverageText(double value) { return Format(value, "##.##"); }

QString FormatChartTime(const QDateTime& t, const QString& format) { return Format(t, format); }
