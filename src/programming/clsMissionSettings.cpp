// Rules of the program-logger window: delay and start moment, duration, summary and the checks
// made before a logger is erased.
#include "programming/clsMissionSettings.h"
#include "app/modFormat.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/TextRules.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace {
constexpr int kSamplesBeforeRollover = 2045;   // three fewer than the memory holds
constexpr int kLogSlots = 2048;

QString wrongFormat() { return Translate("only numeric values allowed !"); }
QString wrongValue() { return Translate("value must be greater than zero !"); }

FieldCheck refuse(const QString& message, const QString& title)
{
    FieldCheck c;
    c.message = message;
    c.title = title;
    return c;
}

// A decimal number as an operator types it: optional sign, digits with "." or "," as the
// decimal mark. Nothing else (no exponents, no "nan", no thousands separators).
bool parseNumber(const QString& text, double& value)
{
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)$"));
    QString t = text.trimmed();
    if (!re.match(t).hasMatch()) return false;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    value = t.toDouble(&ok);
    return ok && std::isfinite(value);
}

QString plainNumber(double v)
{
    QString s = Format(v, "0.###");
    if (s.endsWith('.')) s.chop(1);   // the point is shown even without decimals
    return s == "-0" ? QStringLiteral("0") : s;
}
} // namespace

AlarmRange AlarmRangeCelsius(LoggerVariant variant)
{
    // The specified measuring range as temperature codes: the DS1921G from code 0 (-40 °C) to
    // 250 (+85 °C), the H and Z from 4 to 252 (+15..+46 °C, -5..+26 °C).
    const bool fine = variant != LoggerVariant::Standard;
    AlarmRange r;
    r.low = CodeToCelsius(fine ? 4 : 0, variant);
    r.high = CodeToCelsius(fine ? 252 : 250, variant);
    r.step = double(CodeToCelsius(1, variant)) - double(CodeToCelsius(0, variant));
    r.decimals = fine ? 3 : 1;
    return r;
}

AlarmRange AlarmRangeShown(LoggerVariant variant)
{
    const AlarmRange c = AlarmRangeCelsius(variant);
    if (App().Units != 1) return c;
    AlarmRange f;
    f.step = c.step * 1.8;
    // The fewest decimals that show every step exactly (0.9 and 0.225 degrees Fahrenheit).
    f.decimals = 0;
    while (f.decimals < 4 && std::abs(f.step * std::pow(10.0, f.decimals) - std::round(f.step * std::pow(10.0, f.decimals))) > 1e-6)
        ++f.decimals;
    const double scale = std::pow(10.0, f.decimals);
    f.low = std::round(double(ToDisplayUnits(c.low)) * scale) / scale;
    f.high = std::round(double(ToDisplayUnits(c.high)) * scale) / scale;
    return f;
}

QString RoomEntry::Text() const
{
    return QStringLiteral("%1:%2").arg(RoomID, 3, 10, QLatin1Char('0')).arg(RoomDescription);
}

void StampMissionRecord(clsDS1921Data& image, const MissionPlan& plan, const QString& romText)
{
    image.SetDeviceDescription(plan.DeviceDescription);
    image.SetDeviceID(plan.DeviceID);
    image.SetLastReading(NowLocal());
    image.SetUserName(App().CurrentUserName);
    image.SetSerialNo(RomTextToSerialNo(romText));
}

clsMissionSettings::clsMissionSettings()
    : m_site(App().LocationID), m_start(NowLocal())
{
    LowAlarmText = plainNumber(ToDisplayUnits(0.0));
    HighAlarmText = plainNumber(ToDisplayUnits(10.0));
}

bool clsMissionSettings::LoadRooms(clsDatabase& db)
{
    Rooms.clear();
    RoomIndex = 0;
    ResultList list;
    if (db.GetRecords(list, QStringLiteral("rooms"), QString(), QStringLiteral("RoomID"), false) != 0) return false;
    for (const DbRow& row : list.rows)
        Rooms.push_back(RoomEntry{qint32(row.value("RoomID").toInt()), row.value("RoomDescription").toString()});
    return !Rooms.empty();
}

void clsMissionSettings::LoadFromImage(const clsDS1921Data& image)
{
    if (image.HasRegisters()) {
        const float high = image.AlarmHigh(), low = image.AlarmLow();
        if (std::isfinite(high)) HighAlarmText = plainNumber(ToDisplayUnits(high));
        if (std::isfinite(low)) LowAlarmText = plainNumber(ToDisplayUnits(low));
        const int rate = image.SampleRate();
        SampleRateIndex = rate >= 1 && rate <= kMaxSampleRate ? rate - 1 : -1;
        EnableRollover = image.RollOver();
    }
    if (image.objDeviceFound) Variant = LoggerVariantOf(image.LoggerRomText());
    Description = image.DeviceDescription();
    const qint32 position = image.Position();
    PositionText = position >= kMinPosition && position <= kMaxPosition ? QString::number(position) : QStringLiteral("1");
    SerialNo = image.SerialNo();
    RoomIndex = 0;
    for (size_t i = 0; i < Rooms.size(); ++i)
        if (Rooms[i].RoomID == image.Room()) { RoomIndex = int(i); break; }
}

// ---------------------------------------------------------------- delay and start moment

void clsMissionSettings::listsFromDelay(int delay)
{
    m_days = delay / 1440;
    m_hours = (delay - 1440 * m_days) / 60;
    m_minutes = delay - 1440 * m_days - 60 * m_hours;
}

void clsMissionSettings::SetDelayLists(int days, int hours, int minutes)
{
    m_days = std::clamp(days, 0, kMaxDelayDays);
    m_hours = std::clamp(hours, 0, 23);
    m_minutes = std::clamp(minutes, 0, 59);
    m_start = NowLocal().addSecs(qint64(DelayMinutes()) * 60);
    m_startFixed = false;
}

bool clsMissionSettings::ChooseDelay(int days, int hours, int minutes, QString* message)
{
    if (qint64(days) * 1440 + qint64(hours) * 60 + minutes > kMaxStartDelayMinutes) {
        if (message) *message = StartTooLateMessage();
        return false;
    }
    SetDelayLists(days, hours, minutes);
    return true;
}

namespace {
// Minute boundaries between the two moments (seconds do not count).
qint64 minutesBetween(const QDateTime& fromLocal, const QDateTime& toLocal)
{
    return qint64(std::floor(toLocal.toSecsSinceEpoch() / 60.0)) - qint64(std::floor(fromLocal.toSecsSinceEpoch() / 60.0));
}
} // namespace

bool clsMissionSettings::SetStartMoment(const QDateTime& local, QString* message)
{
    const QDateTime now = NowLocal();
    if (local.isValid() && minutesBetween(now, local) > kMaxStartDelayMinutes) {
        if (message) *message = StartTooLateMessage();
        return false;
    }
    const int delay = StartDelayFor(local, now);
    listsFromDelay(delay);
    // A moment in the past is moved to now (delay 0), so that the pickers, the lists and the
    // logger agree.
    m_start = minutesBetween(now, local) == delay ? local : now.addSecs(qint64(delay) * 60);
    m_startFixed = delay > 0;
    return true;
}

bool clsMissionSettings::FollowClock()
{
    const QDateTime now = NowLocal();
    const int delayBefore = DelayMinutes();
    const QDateTime startBefore = m_start;
    if (m_startFixed) {
        const int delay = StartDelayFor(m_start, now);
        listsFromDelay(delay);
        if (delay == 0) {   // the chosen start is reached: from now on it is "now"
            m_startFixed = false;
            m_start = now;
        }
    } else {
        m_start = now.addSecs(qint64(DelayMinutes()) * 60);
    }
    return DelayMinutes() != delayBefore || m_start != startBefore;
}

QDateTime clsMissionSettings::LatestStart()
{
    const QDateTime now = NowLocal();
    const QDateTime minute(now.date(), QTime(now.time().hour(), now.time().minute()), now.timeSpec());
    return minute.addSecs(qint64(kMaxStartDelayMinutes) * 60);
}

QString clsMissionSettings::StartTooLateMessage()
{
    return Translate("the start lies too far ahead; the latest possible start is ") + Format(LatestStart(), "c");
}

int clsMissionSettings::StartDelayFor(const QDateTime& startLocal, const QDateTime& nowLocal)
{
    if (!startLocal.isValid() || !nowLocal.isValid()) return 0;
    const qint64 minutes = minutesBetween(nowLocal, startLocal);
    if (minutes < 1) return 0;
    return int(std::min<qint64>(minutes, kMaxStartDelayMinutes));
}

QDate clsMissionSettings::MaxStartDate() { return NowLocal().date().addDays(kStartDatePickerDays); }

// ---------------------------------------------------------------- duration

int clsMissionSettings::SampleRate() const
{
    return SampleRateIndex >= 0 && SampleRateIndex < kMaxSampleRate ? SampleRateIndex + 1 : 0;
}

QString clsMissionSettings::DurationText(int rate)
{
    return Format(double(rate) * kLogSlots / 1440.0, QStringLiteral("#0.0"));
}

QDateTime clsMissionSettings::ReadBefore() const
{
    const int rate = SampleRate();
    if (rate == 0) return QDateTime();
    return NowLocal().addSecs((qint64(rate) * kSamplesBeforeRollover + DelayMinutes()) * 60);
}

QString clsMissionSettings::ReadBeforeText() const
{
    const QDateTime t = ReadBefore();
    if (!t.isValid()) return QString();
    const QLocale l;
    return l.toString(t.date(), QLocale::LongFormat) + " " + l.toString(t.time(), QLocale::ShortFormat);
}

// ---------------------------------------------------------------- checks

FieldCheck clsMissionSettings::CheckPositionField(int index, const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[+-]?\\d+$"));
    const QString t = text.trimmed();
    double value = 0;
    if (!parseNumber(t, value)) return refuse(wrongFormat(), Translate("wrong format"));
    // Whole numbers only: 3.5 is no position.
    if (!digits.match(t).hasMatch()) return refuse(wrongFormat(), Translate("wrong format"));
    int low = 1, high = 65000;
    if (index == 2) high = kMaxSiteNumber;
    if (index == 4) { low = kMinPosition; high = kMaxPosition; }
    if (value < low || value > high) return refuse(wrongValue(), Translate("wrong value"));
    FieldCheck ok;
    ok.ok = true;
    ok.value = value;
    ok.normalized = QString::number(qint64(value));
    return ok;
}

FieldCheck clsMissionSettings::CheckAlarmText(const QString& text)
{
    double value = 0;
    if (!parseNumber(text, value)) return refuse(wrongFormat(), Translate("wrong format"));
    FieldCheck ok;
    ok.ok = true;
    ok.value = value;
    ok.normalized = plainNumber(value);
    return ok;
}

QString clsMissionSettings::AlarmLevelsProblem(double lowShown, double highShown) const
{
    const AlarmRange r = AlarmRangeShown(Variant);
    const QString unit = QStringLiteral(" ") + App().UnitLabel;
    auto shown = [&](double v) { return QLocale().toString(v, 'f', r.decimals); };
    const double tolerance = r.step / 1000.0;
    for (const double v : {lowShown, highShown}) {
        if (!std::isfinite(v) || v < r.low - tolerance || v > r.high + tolerance)
            return Translate("the alarm levels must lie within the measuring range of this logger") +
                   QStringLiteral(" (%1 .. %2%3)").arg(shown(r.low), shown(r.high), unit);
        const double steps = (v - r.low) / r.step;
        if (std::abs(steps - std::round(steps)) > 1e-3) {
            const double below = r.low + std::floor(steps) * r.step;
            return Translate("the logger keeps alarm levels in steps of %1: %2 or %3")
                .arg(shown(r.step) + unit, shown(below) + unit, shown(below + r.step) + unit);
        }
    }
    if (lowShown > highShown + tolerance) return Translate("the low alarm level must not be above the high alarm level");
    return QString();
}

FieldCheck clsMissionSettings::CheckSite() const { return CheckPositionField(2, SiteText()); }

QString clsMissionSettings::RoomText() const
{
    if (RoomIndex < 0 || RoomIndex >= int(Rooms.size())) return QString();
    return Rooms[size_t(RoomIndex)].Text();
}

qint32 clsMissionSettings::RoomID() const
{
    if (RoomIndex < 0 || RoomIndex >= int(Rooms.size())) return -1;
    return Rooms[size_t(RoomIndex)].RoomID;
}

QByteArray clsMissionSettings::RecordFor(const clsDS1921Data& image, const MissionPlan& plan)
{
    clsDS1921Data scratch;
    scratch.SetNVRAMBytes(image.NVRAMBytes());
    scratch.DecodeNVRAM();
    const QString rom = image.LoggerRomText();
    StampMissionRecord(scratch, plan, rom);
    return scratch.EncodedRecord(rom);
}

bool clsMissionSettings::Validate(const clsDS1921Data& image, MissionPlan& plan, QString& message, QString& title) const
{
    auto fail = [&](const FieldCheck& c) { message = c.message; title = c.title; return false; };
    const FieldCheck low = CheckAlarmText(LowAlarmText);
    if (!low.ok) return fail(low);
    const FieldCheck high = CheckAlarmText(HighAlarmText);
    if (!high.ok) return fail(high);
    if (SampleRate() == 0) return fail(refuse(Translate("please choose a sample rate"), Translate("wrong value")));
    if (Rooms.empty() || RoomID() < 0)
        return fail(refuse(Translate("Please first define a compartment using the SETTINGS window"),
                           Translate("No compartments defined")));
    if (RoomID() > 999) return fail(refuse(wrongValue(), Translate("wrong value")));
    const FieldCheck site = CheckSite();
    if (!site.ok) return fail(site);
    const FieldCheck position = CheckPositionField(4, PositionText);
    if (!position.ok) return fail(position);
    const QString descriptionProblem = CheckDescription(Description, false);
    if (!descriptionProblem.isEmpty()) return fail(refuse(descriptionProblem, Translate("wrong format")));
    // The logger keeps its record in Windows-1252: a character outside it would come back as "?".
    bool lossless = true;
    StringToCp1252(Description, &lossless);
    if (!lossless)
        return fail(refuse(Translate("the description holds characters the logger cannot keep (it keeps Western "
                                     "European letters only)"),
                           Translate("wrong format")));

    // A delay the logger cannot hold is refused, never shortened.
    if (DelayMinutes() > kMaxStartDelayMinutes || minutesBetween(NowLocal(), m_start) > kMaxStartDelayMinutes)
        return fail(refuse(StartTooLateMessage(), Translate("wrong value")));

    MissionPlan p;
    p.SetClock = UsePCDateTime;
    p.SampleRate = SampleRate();
    p.StartLocal = m_start;
    const bool fahrenheit = App().Units == 1;
    p.LowAlarmC = fahrenheit ? FahrenheitToCelsius(low.value) : float(low.value);
    p.HighAlarmC = fahrenheit ? FahrenheitToCelsius(high.value) : float(high.value);
    p.RollOver = EnableRollover;
    if (p.LowAlarmC > p.HighAlarmC)
        return fail(refuse(Translate("the low alarm level must not be above the high alarm level"),
                           Translate("wrong value")));
    if (image.objDeviceFound) {
        // A level outside what the variant can measure would be written as the nearest code the
        // logger knows, and a cold room watched by a warm-range logger would alarm on every sample.
        const AlarmRange range = AlarmRangeCelsius(LoggerVariantOf(image.LoggerRomText()));
        const double tolerance = range.step / 1000.0;
        if (p.LowAlarmC < range.low - tolerance || p.HighAlarmC > range.high + tolerance)
            return fail(refuse(Translate("the alarm levels must lie within the measuring range of this logger") +
                                   QStringLiteral(" (%1 .. %2 %3)")
                                       .arg(plainNumber(ToDisplayUnits(range.low)),
                                            plainNumber(ToDisplayUnits(range.high)), App().UnitLabel),
                               Translate("wrong value")));
    }
    p.DeviceID = qint32(qint64(SiteNumber()) * 100000 + qint64(RoomID()) * 100 + qint64(position.value));
    p.DeviceDescription = Description;
    p.RoomText = RoomText();
    if (image.objDeviceFound) {
        const int length = int(RecordFor(image, p).size());
        if (length > kMaxNvramRecordBytes)
            return fail(refuse(Translate("the logger record is too long, please shorten the description") +
                                   QStringLiteral(" (%1 > %2)").arg(length).arg(kMaxNvramRecordBytes),
                               Translate("wrong value")));
    }
    plan = p;
    return true;
}

// ---------------------------------------------------------------- summary

QString clsMissionSettings::SummaryText() const
{
    const QString nl = QStringLiteral("\r\n"), tab = QStringLiteral("\t");
    QString s = tab + tab + Translate("settings for logger ID") + " " + SerialNo;
    auto heading = [&](const QString& text) { s += nl + Translate(text); };
    auto value = [&](const QString& text) { s += nl + tab + text; };
    heading(" date and time:");
    value(Translate(UsePCDateTime ? "use system date and time" : "leave logger's date & time unchanged"));
    heading(" measurement period:");
    value(Translate("make a measurement every ") + QString::number(SampleRate()) + Translate(" minute(s)"));
    s += nl + Translate(" alarms (in " + App().UnitLabel + "):");
    const FieldCheck high = CheckAlarmText(HighAlarmText), low = CheckAlarmText(LowAlarmText);
    value(Translate("high level:") + " " + (high.ok ? high.normalized : HighAlarmText));
    value(Translate(" low level:") + " " + (low.ok ? low.normalized : LowAlarmText));
    heading(" delay start until:");
    value(Format(m_start, QStringLiteral("c")) + " = " + QString::number(DelayMinutes()) + Translate(" minute(s)"));
    heading(" rollover:");
    value(Translate(EnableRollover ? "overwrite old data when memory full" : "stop recording when memory full"));
    heading(" position:");
    value(Translate("compartment: ") + RoomText());
    value(Translate("description: ") + Description);
    const QString number = LoggerNumberText();
    value(Translate("number: ") + (number.isEmpty() ? SiteText() + "." + QString::number(std::max(RoomID(), 0)) + "." +
                                                        PositionText.trimmed()
                                                  : number));
    return s;
}

QString clsMissionSettings::LoggerNumberText() const
{
    const FieldCheck position = CheckPositionField(4, PositionText);
    if (!position.ok || !CheckSite().ok || RoomID() < 0 || RoomID() > 999) return QString();
    return FormatDeviceID(LocRoomPosToDeviceID(SiteNumber(), RoomID(), qint32(position.value)));
}
