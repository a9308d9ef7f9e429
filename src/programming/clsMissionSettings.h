#pragma once
// The settings of a new mission as the program-logger window collects them, and the rules that
// tie them together: start delay and start moment kept in step, memory duration and rollover
// moment, the summary text, and every check that must pass before a logger is erased.
// The window (frmStartMission) only mirrors this object in its controls; tests drive it directly.
//
// Times are local (as shown); "now" is NowLocal() of the program clock.
#include "image/clsDS1921Data.h"
#include <QDateTime>
#include <QString>
#include <vector>

class clsDatabase;

// Largest start delay the window offers: 44 days. The device register holds 16 bits.
inline constexpr int kMaxStartDelayMinutes = 63360;
inline constexpr int kMaxDelayDays = 44;
// The date picker offers dates up to today plus this many days.
inline constexpr int kStartDatePickerDays = 45;
inline constexpr int kMaxSampleRate = 255;
// Positions within a compartment: the identifier keeps two digits for them.
inline constexpr int kMinPosition = 1;
inline constexpr int kMaxPosition = 99;
// Largest site number whose identifiers still fit the 32-bit DeviceID.
inline constexpr int kMaxSiteNumber = 21474;

// One entry of the compartment list: "007:freezer".
struct RoomEntry {
    qint32 RoomID = 0;
    QString RoomDescription;
    QString Text() const;
};

// The alarm levels a logger variant takes: its specified measuring range and the step between two
// of its temperature codes, in degrees Celsius or converted to the displayed unit.
struct AlarmRange {
    double low = 0;
    double high = 0;
    double step = 1;
    int decimals = 0;   // decimals that show every step exactly
};
AlarmRange AlarmRangeCelsius(LoggerVariant variant);
AlarmRange AlarmRangeShown(LoggerVariant variant);   // in the displayed unit (App().Units)

// Outcome of one field check; on refusal the message and title are the texts to show.
struct FieldCheck {
    bool ok = false;
    QString message;
    QString title;
    QString normalized;   // the accepted entry in plain form ("007" -> "7", "4,5" -> "4.5")
    double value = 0;
};

// What the programming sequence writes, resolved from the settings and already checked.
struct MissionPlan {
    bool SetClock = true;          // logger clock from the system clock
    int SampleRate = 1;            // minutes, 1..255
    QDateTime StartLocal;          // start of recording; the delay is taken from it when written
    float LowAlarmC = 0;           // degrees Celsius
    float HighAlarmC = 0;
    bool RollOver = false;
    qint32 DeviceID = 0;
    QString DeviceDescription;
    QString RoomText;              // the compartment entry ("007:freezer"), for the log
};

// Sets the identity record fields of a plan on an image (description, identifier, the current
// time as last reading, operator, serial number of the logger with this ROM text).
void StampMissionRecord(clsDS1921Data& image, const MissionPlan& plan, const QString& romText);

class clsMissionSettings {
public:
    clsMissionSettings();   // defaults of an opened window; site number from App().LocationID

    // ---- Controls of the window
    bool UsePCDateTime = true;        // chkusePCDateTime
    int SampleRateIndex = 0;          // cmbSampleRate list position (rate - 1); -1: no selection
    QString LowAlarmText;             // txtLowTempAlarm, display unit
    QString HighAlarmText;            // txtHighTempAlarm, display unit
    bool EnableRollover = false;      // chkEnableRollover
    QString Description;              // txtPosition(0)
    QString SerialNo;                 // txtPosition(1), shown only
    QString PositionText = "1";       // txtPosition(4)
    std::vector<RoomEntry> Rooms;     // cmbRoom
    int RoomIndex = 0;
    // Variant of the connected logger (from its ROM text); the alarm levels it takes follow it.
    LoggerVariant Variant = LoggerVariant::Standard;

    // The site number (txtPosition(2)) comes from the installation and cannot be edited.
    qint32 SiteNumber() const { return m_site; }
    QString SiteText() const { return QString::number(m_site); }

    // ---- Compartments and the connected logger
    // Fills Rooms from table rooms (RoomSequence, then RoomID); false when it has no row.
    [[nodiscard]] bool LoadRooms(clsDatabase& db);
    // The logger's present settings (Form_Load step 9); alarms converted to the display unit.
    void LoadFromImage(const clsDS1921Data& image);

    // ---- Start delay and start moment, kept in step
    // From the three lists: start = now + delay, and the start follows the clock from now on.
    void SetDelayLists(int days, int hours, int minutes);
    // The same as the operator chooses it: a delay the logger cannot hold (more than 63360
    // minutes) is refused: false, *message names the latest possible start, nothing changes.
    [[nodiscard]] bool ChooseDelay(int days, int hours, int minutes, QString* message = nullptr);
    // From the pickers: delay = whole minutes from now (a moment in the past gives 0); lists
    // follow. A moment later than LatestStart() is refused: false, *message names the latest
    // possible start, and nothing changes.
    [[nodiscard]] bool SetStartMoment(const QDateTime& local, QString* message = nullptr);
    // Each tick of the clock: a start given by the delay lists moves on with the clock (now +
    // delay); a start chosen on the pickers stays and the delay shrinks, until it is reached and
    // the start follows the clock with no delay. True when the start or the delay changed.
    bool FollowClock();
    bool StartFollowsClock() const { return !m_startFixed; }
    // The latest start a logger can be given: now + 63360 minutes, at the start of that minute.
    static QDateTime LatestStart();
    // The refusal of a later start: "the start lies too far ahead; the latest possible start is "
    // and LatestStart() in the "c" date format.
    static QString StartTooLateMessage();
    int DelayDays() const { return m_days; }
    int DelayHours() const { return m_hours; }
    int DelayMinutesPart() const { return m_minutes; }
    int DelayMinutes() const { return m_minutes + 60 * m_hours + 1440 * m_days; }
    QDateTime StartMoment() const { return m_start; }
    // Last date the date picker allows (today + 45 days).
    static QDate MaxStartDate();
    // The delay written for a start moment at time `now`: whole minutes (calendar difference),
    // below 1 gives 0, above 63360 gives 63360 (Validate refuses such a start beforehand).
    static int StartDelayFor(const QDateTime& startLocal, const QDateTime& nowLocal);

    // ---- Duration and rollover
    int SampleRate() const;                     // minutes; 0 when no list entry is selected
    static QString DurationText(int rate);      // days for 2048 samples, "#0.0"
    QDateTime ReadBefore() const;               // now + rate * 2045 minutes + delay
    QString ReadBeforeText() const;             // long date, blank, short time

    // ---- Checks (texts as the window shows them)
    // Fields 2 to 4 of txtPosition: 2 is the site number (only ever the installation's), 4 the
    // position (1..99).
    static FieldCheck CheckPositionField(int index, const QString& text);
    static FieldCheck CheckAlarmText(const QString& text);
    // Why a pair of alarm levels (displayed unit) cannot be given to the connected logger:
    // outside its range, not one of its steps, or low above high. Empty when they can.
    QString AlarmLevelsProblem(double lowShown, double highShown) const;
    FieldCheck CheckSite() const;
    // Every check that must pass before the logger is touched, in the window's order; for the
    // record length the connected logger of `image` decides. On success fills `plan`.
    bool Validate(const clsDS1921Data& image, MissionPlan& plan, QString& message, QString& title) const;
    // The identity record this plan gives, encoded for the logger of `image` (length check).
    static QByteArray RecordFor(const clsDS1921Data& image, const MissionPlan& plan);

    // ---- Summary (tab 5)
    QString SummaryText() const;
    // The logger number these settings give, in its display form (FormatDeviceID); empty while
    // the position or compartment is not valid.
    QString LoggerNumberText() const;

    // Text of the compartment entry selected, empty when none.
    QString RoomText() const;
    qint32 RoomID() const;

private:
    void listsFromDelay(int delay);
    qint32 m_site = -1;
    int m_days = 0, m_hours = 0, m_minutes = 0;
    QDateTime m_start;
    bool m_startFixed = false;   // chosen on the pickers: stays while the clock moves
};
