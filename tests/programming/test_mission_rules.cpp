// Rules of the program-logger window without a logger: delay and start moment, duration and
// rollover moment, field checks, the plan handed to the sequence and the summary.
#include "app/modFormat.h"
#include "app/modMain.h"
#include "image/clsDS1921Data.h"
#include "programming/clsMissionSettings.h"
#include "support/TestSite.h"

#include <QLocale>

namespace {

class MissionRules : public SiteDatabase {
protected:
    // Program clock: 5 December 2026 10:00:20 UTC; local time one hour ahead.
    QDateTime nowUtc = QDateTime(QDate(2026, 12, 5), QTime(10, 0, 20), Qt::UTC);
    void SetUp() override
    {
        SiteDatabase::SetUp();
        SetClockForTesting([this] { return nowUtc; });
        App().UtcBias = -60;
        App().LocationID = 12;
        db->ExecuteSQL("INSERT INTO rooms VALUES (7, 'freezer', 1), (2, 'cooler', 2)");
    }
    QDateTime nowLocal() const { return nowUtc.addSecs(3600); }
    clsMissionSettings valid()
    {
        clsMissionSettings s;
        EXPECT_TRUE(s.LoadRooms(*db));
        s.RoomIndex = 1;   // 007:freezer
        s.PositionText = "3";
        s.Description = "door left";
        s.SampleRateIndex = 14;
        s.LowAlarmText = "2";
        s.HighAlarmText = "8";
        return s;
    }
};

} // namespace

TEST_F(MissionRules, DelayListsAndStartMomentStayInStep)
{
    clsMissionSettings s;
    EXPECT_EQ(s.DelayMinutes(), 0);
    s.SetDelayLists(1, 2, 30);
    EXPECT_EQ(s.DelayMinutes(), 1590);
    EXPECT_EQ(s.StartMoment(), nowLocal().addSecs(1590 * 60));
    EXPECT_EQ(clsMissionSettings::StartDelayFor(s.StartMoment(), nowLocal()), 1590);

    // From the pickers: whole minutes from now (seconds do not count); lists follow.
    EXPECT_TRUE(s.SetStartMoment(QDateTime(QDate(2026, 12, 5), QTime(12, 31), Qt::UTC)));   // local 11:00:20 now
    EXPECT_EQ(s.DelayMinutes(), 91);
    EXPECT_EQ(s.DelayDays(), 0);
    EXPECT_EQ(s.DelayHours(), 1);
    EXPECT_EQ(s.DelayMinutesPart(), 31);
    EXPECT_EQ(s.StartMoment(), QDateTime(QDate(2026, 12, 5), QTime(12, 31), Qt::UTC));

    // The latest start: 63360 minutes (44 days) from the current minute, accepted.
    const QDateTime latest = QDateTime(QDate(2027, 1, 18), QTime(11, 0), Qt::UTC);
    EXPECT_EQ(clsMissionSettings::LatestStart(), latest);
    EXPECT_TRUE(s.SetStartMoment(latest));
    EXPECT_EQ(s.DelayMinutes(), 63360);
    EXPECT_EQ(s.DelayDays(), 44);
    EXPECT_EQ(s.DelayHours(), 0);
    EXPECT_EQ(s.DelayMinutesPart(), 0);
    EXPECT_EQ(clsMissionSettings::StartDelayFor(s.StartMoment(), nowLocal()), 63360);
    // A minute later, or 45 days ahead: refused with the latest start named, nothing changed.
    QString message;
    s.SetDelayLists(0, 1, 0);
    for (const QDateTime& late : {latest.addSecs(60), nowLocal().addDays(45).addSecs(3 * 3600)}) {
        EXPECT_FALSE(s.SetStartMoment(late, &message));
        EXPECT_EQ(message, "the start lies too far ahead; the latest possible start is 18/01/2027 11:00:00");
        EXPECT_EQ(s.DelayMinutes(), 60);
    }
    EXPECT_EQ(clsMissionSettings::StartDelayFor(nowLocal().addDays(45), nowLocal()), 63360);
    // The lists reach 44 days 23:59; as chosen by the operator, beyond 63360 minutes is refused.
    EXPECT_FALSE(s.ChooseDelay(44, 0, 1, &message));
    EXPECT_EQ(message, "the start lies too far ahead; the latest possible start is 18/01/2027 11:00:00");
    EXPECT_EQ(s.DelayMinutes(), 60);
    EXPECT_TRUE(s.ChooseDelay(44, 0, 0));
    EXPECT_EQ(s.DelayMinutes(), 63360);

    // In the past: 0 in all three lists.
    s.SetDelayLists(3, 4, 5);
    EXPECT_TRUE(s.SetStartMoment(nowLocal().addSecs(-2 * 3600)));
    EXPECT_EQ(s.DelayDays(), 0);
    EXPECT_EQ(s.DelayHours(), 0);
    EXPECT_EQ(s.DelayMinutesPart(), 0);
    EXPECT_EQ(clsMissionSettings::StartDelayFor(nowLocal().addSecs(-60), nowLocal()), 0);
    // Within the current minute there is no minute boundary to wait for.
    EXPECT_EQ(clsMissionSettings::StartDelayFor(nowLocal().addSecs(30), nowLocal()), 0);
    EXPECT_EQ(clsMissionSettings::StartDelayFor(nowLocal().addSecs(40), nowLocal()), 1);
    EXPECT_EQ(clsMissionSettings::MaxStartDate(), QDate(2027, 1, 19));
}

TEST_F(MissionRules, DurationAndRolloverMoment)
{
    EXPECT_EQ(clsMissionSettings::DurationText(1), "1.4");
    EXPECT_EQ(clsMissionSettings::DurationText(255), "362.7");
    EXPECT_EQ(clsMissionSettings::DurationText(10), "14.2");
    clsMissionSettings s;
    s.SampleRateIndex = 0;
    s.SetDelayLists(0, 1, 0);
    EXPECT_EQ(s.ReadBefore(), nowLocal().addSecs((2045 + 60) * 60));
    s.SampleRateIndex = 254;
    EXPECT_EQ(s.SampleRate(), 255);
    EXPECT_EQ(s.ReadBefore(), nowLocal().addSecs((255LL * 2045 + 60) * 60));
    s.SampleRateIndex = -1;   // a logger whose rate register held 0
    EXPECT_EQ(s.SampleRate(), 0);
    EXPECT_FALSE(s.ReadBefore().isValid());
}

TEST_F(MissionRules, PositionSiteAndAlarmFieldsAreChecked)
{
    auto check = [](int index, const char* text) { return clsMissionSettings::CheckPositionField(index, text); };
    EXPECT_EQ(check(4, "abc").message, "only numeric values allowed !");
    EXPECT_EQ(check(4, "abc").title, "wrong format");
    EXPECT_EQ(check(4, "3.5").message, "only numeric values allowed !");
    for (const char* bad : {"0", "100", "-1", "65000"}) {
        const FieldCheck c = check(4, bad);
        EXPECT_FALSE(c.ok) << bad;
        EXPECT_EQ(c.message, "value must be greater than zero !") << bad;
        EXPECT_EQ(c.title, "wrong value");
    }
    EXPECT_TRUE(check(4, "99").ok);
    EXPECT_EQ(check(4, "007").normalized, "7");
    EXPECT_TRUE(check(2, "21474").ok);
    EXPECT_FALSE(check(2, "21475").ok) << "that site's identifiers overflow 32 bits";
    EXPECT_TRUE(check(3, "65000").ok);
    EXPECT_FALSE(check(3, "65001").ok);

    EXPECT_TRUE(clsMissionSettings::CheckAlarmText("-12.5").ok);
    EXPECT_DOUBLE_EQ(clsMissionSettings::CheckAlarmText("4,5").value, 4.5);
    for (const char* bad : {"", "abc", "1e3", "nan", "inf", "5 C", "--3"}) {
        const FieldCheck c = clsMissionSettings::CheckAlarmText(bad);
        EXPECT_FALSE(c.ok) << bad;
        EXPECT_EQ(c.message, "only numeric values allowed !");
    }
}

TEST_F(MissionRules, ValidatePlansTheMissionAndRefusesBadSettings)
{
    clsDS1921Data noLogger;
    MissionPlan plan;
    QString message, title;
    clsMissionSettings s = valid();
    ASSERT_TRUE(s.Validate(noLogger, plan, message, title)) << message.toStdString();
    EXPECT_EQ(plan.DeviceID, LocRoomPosToDeviceID(12, 7, 3));
    EXPECT_EQ(plan.SampleRate, 15);
    EXPECT_FLOAT_EQ(plan.LowAlarmC, 2.0f);
    EXPECT_FLOAT_EQ(plan.HighAlarmC, 8.0f);
    EXPECT_EQ(plan.RoomText, "007:freezer");
    EXPECT_TRUE(plan.SetClock);

    // Fahrenheit: 32 and 50 are 0 and 10 degrees Celsius.
    App().Units = 1;
    s.LowAlarmText = "32";
    s.HighAlarmText = "50";
    ASSERT_TRUE(s.Validate(noLogger, plan, message, title));
    EXPECT_NEAR(plan.LowAlarmC, 0.0f, 1e-5);
    EXPECT_NEAR(plan.HighAlarmC, 10.0f, 1e-5);
    App().Units = 0;

    struct Bad { const char* what; std::function<void(clsMissionSettings&)> change; const char* message; };
    const std::vector<Bad> bads{
        {"low alarm", [](clsMissionSettings& m) { m.LowAlarmText = "cold"; }, "only numeric values allowed !"},
        {"high alarm", [](clsMissionSettings& m) { m.HighAlarmText = ""; }, "only numeric values allowed !"},
        {"position 0", [](clsMissionSettings& m) { m.PositionText = "0"; }, "value must be greater than zero !"},
        {"position 100", [](clsMissionSettings& m) { m.PositionText = "100"; }, "value must be greater than zero !"},
        {"no rate", [](clsMissionSettings& m) { m.SampleRateIndex = -1; }, "please choose a sample rate"},
        {"no rooms", [](clsMissionSettings& m) { m.Rooms.clear(); }, "Please first define a compartment using the SETTINGS window"},
        {"separator", [](clsMissionSettings& m) { m.Description = QString("a") + QChar(3) + "b"; },
         "the description may not hold control characters"},
        {"escape", [](clsMissionSettings& m) { m.Description = "\x1b[31mdoor"; },
         "the description may not hold control characters"},
        {"C1", [](clsMissionSettings& m) { m.Description = QString("door") + QChar(0x9B); },
         "the description may not hold control characters"},
        {"51 characters", [](clsMissionSettings& m) { m.Description = QString(51, 'x'); },
         "the description may be at most 50 characters long"},
        {"not in the logger's code page", [](clsMissionSettings& m) { m.Description = QString::fromUtf8("冷库"); },
         "the description holds characters the logger cannot keep (it keeps Western European letters only)"},
    };
    for (const Bad& b : bads) {
        clsMissionSettings m = valid();
        b.change(m);
        EXPECT_FALSE(m.Validate(noLogger, plan, message, title)) << b.what;
        EXPECT_EQ(message, b.message) << b.what;
    }
    // The lists reach 44 days 23:59, beyond what the logger can wait: refused, not shortened.
    clsMissionSettings late = valid();
    late.SetDelayLists(44, 0, 1);
    EXPECT_FALSE(late.Validate(noLogger, plan, message, title));
    EXPECT_EQ(message, "the start lies too far ahead; the latest possible start is 18/01/2027 11:00:00");
    late.SetDelayLists(44, 0, 0);
    EXPECT_TRUE(late.Validate(noLogger, plan, message, title)) << message.toStdString();
    App().LocationID = 21475;
    clsMissionSettings big = valid();
    EXPECT_EQ(big.SiteText(), "21475");
    EXPECT_FALSE(big.Validate(noLogger, plan, message, title));
    EXPECT_EQ(message, "value must be greater than zero !");
}

TEST_F(MissionRules, SummaryListsEverySetting)
{
    clsMissionSettings s = valid();
    s.SerialNo = "0000074667";
    s.EnableRollover = true;
    s.SetDelayLists(0, 0, 30);
    const QString text = s.SummaryText();
    EXPECT_TRUE(text.startsWith("\t\tsettings for logger ID 0000074667\r\n date and time:\r\n\tuse system date and time"));
    const QString unit = QString(QChar(176)) + "C";
    for (const QString& part :
         {QString("\r\n measurement period:\r\n\tmake a measurement every 15 minute(s)"),
          QString("\r\n alarms (in ") + unit + "):\r\n\thigh level: 8\r\n\t low level: 2",
          QString("\r\n delay start until:\r\n\t"), QString(" = 30 minute(s)"),
          QString("\r\n rollover:\r\n\toverwrite old data when memory full"),
          QString("\r\n position:\r\n\tcompartment: 007:freezer\r\n\tdescription: door left\r\n\tnumber: 0000012.007.03")})
        EXPECT_TRUE(text.contains(part)) << part.toStdString() << "\n--- in ---\n" << text.toStdString();
    s.UsePCDateTime = false;
    s.EnableRollover = false;
    EXPECT_TRUE(s.SummaryText().contains("\tleave logger's date & time unchanged"));
    EXPECT_TRUE(s.SummaryText().contains("\tstop recording when memory full"));
}

TEST_F(MissionRules, TheStartFollowsTheClockUnlessAMomentWasChosen)
{
    // A delay from the lists: the start is now + delay, whenever "now" is.
    clsMissionSettings s;
    s.SetDelayLists(0, 0, 30);
    EXPECT_TRUE(s.StartFollowsClock());
    nowUtc = nowUtc.addSecs(150);
    EXPECT_TRUE(s.FollowClock());
    EXPECT_EQ(s.StartMoment(), nowLocal().addSecs(30 * 60));
    EXPECT_EQ(s.DelayMinutes(), 30);

    // A moment chosen on the pickers stays; the delay shrinks as the clock reaches it.
    const QDateTime chosen(QDate(2026, 12, 5), QTime(12, 0), Qt::UTC);   // local now 11:02:50
    ASSERT_TRUE(s.SetStartMoment(chosen));
    EXPECT_FALSE(s.StartFollowsClock());
    EXPECT_EQ(s.DelayMinutes(), 58);
    nowUtc = nowUtc.addSecs(20 * 60);
    EXPECT_TRUE(s.FollowClock());
    EXPECT_EQ(s.StartMoment(), chosen);
    EXPECT_EQ(s.DelayMinutes(), 38);
    EXPECT_FALSE(s.FollowClock()) << "nothing moved within the same second";
    // Once it is reached, the start is now and moves on with the clock.
    nowUtc = nowUtc.addSecs(40 * 60);
    EXPECT_TRUE(s.FollowClock());
    EXPECT_EQ(s.DelayMinutes(), 0);
    EXPECT_EQ(s.StartMoment(), nowLocal());
    EXPECT_TRUE(s.StartFollowsClock());
    nowUtc = nowUtc.addSecs(5);
    EXPECT_TRUE(s.FollowClock());
    EXPECT_EQ(s.StartMoment(), nowLocal());
    // The summary names the moving start.
    EXPECT_TRUE(s.SummaryText().contains(Format(nowLocal(), "c") + " = 0 minute(s)")) << s.SummaryText().toStdString();
}

TEST_F(MissionRules, AlarmLevelsFollowTheLoggerVariant)
{
    struct Expect { LoggerVariant variant; double low, high, step; int decimals; };
    for (const Expect& e : {Expect{LoggerVariant::Standard, -40, 85, 0.5, 1}, Expect{LoggerVariant::H4F2, 15, 46, 0.125, 3},
                            Expect{LoggerVariant::Z3B2, -5, 26, 0.125, 3}}) {
        const AlarmRange r = AlarmRangeShown(e.variant);
        EXPECT_DOUBLE_EQ(r.low, e.low);
        EXPECT_DOUBLE_EQ(r.high, e.high);
        EXPECT_DOUBLE_EQ(r.step, e.step);
        EXPECT_EQ(r.decimals, e.decimals);
    }
    App().Units = 1;
    const AlarmRange g = AlarmRangeShown(LoggerVariant::Standard), h = AlarmRangeShown(LoggerVariant::H4F2);
    EXPECT_DOUBLE_EQ(g.low, -40);
    EXPECT_DOUBLE_EQ(g.high, 185);
    EXPECT_NEAR(g.step, 0.9, 1e-9);
    EXPECT_EQ(g.decimals, 1);
    EXPECT_DOUBLE_EQ(h.low, 59);
    EXPECT_DOUBLE_EQ(h.high, 114.8);
    EXPECT_NEAR(h.step, 0.225, 1e-9);
    EXPECT_EQ(h.decimals, 3);
    App().Units = 0;

    // What cannot be given to the logger is named; what can gives no text.
    const QString degC = QString(" ") + QChar(176) + "C";
    auto n = [](double v, int d) { return QLocale().toString(v, 'f', d); };
    clsMissionSettings s;
    EXPECT_EQ(s.AlarmLevelsProblem(2, 8), "");
    EXPECT_EQ(s.AlarmLevelsProblem(-40, 85), "");
    EXPECT_EQ(s.AlarmLevelsProblem(2, 8.3),
              "the logger keeps alarm levels in steps of " + n(0.5, 1) + degC + ": " + n(8, 1) + degC + " or " + n(8.5, 1) + degC);
    EXPECT_EQ(s.AlarmLevelsProblem(2, 85.5),
              "the alarm levels must lie within the measuring range of this logger (" + n(-40, 1) + " .. " + n(85, 1) + degC + ")");
    EXPECT_EQ(s.AlarmLevelsProblem(9, 3), "the low alarm level must not be above the high alarm level");
    s.Variant = LoggerVariant::H4F2;
    EXPECT_EQ(s.AlarmLevelsProblem(20.125, 30.375), "");
    EXPECT_FALSE(s.AlarmLevelsProblem(2, 30).isEmpty()) << "below the range of a DS1921H";
}

TEST_F(MissionRules, TheLoggerNumberHasOneFormEverywhere)
{
    clsMissionSettings s = valid();
    EXPECT_EQ(s.LoggerNumberText(), FormatDeviceID(LocRoomPosToDeviceID(12, 7, 3)));
    EXPECT_EQ(s.LoggerNumberText(), "0000012.007.03");
    s.PositionText = "abc";
    EXPECT_EQ(s.LoggerNumberText(), "");
}
