-- NORDALIS database schema. The installer builds a new database file from this text; the
-- program itself never creates tables.
--
-- Storage conventions (clsDatabase reads values back typed by these declared types):
--   EPOCHSECONDS  whole seconds since 1970-01-01 00:00:00 UTC (integer)
--   DATETIME      local time as text "yyyy-MM-dd HH:mm:ss" (sorts and compares as text)
--   BOOLEAN       0 or 1
--   REAL          single floats (temperatures in degrees Celsius)
-- The CHECK constraints refuse values stored in any other form, so that a wrong binding fails
-- loudly instead of leaving rows that no query finds.

PRAGMA user_version = 1;

-- One row per logger position.
CREATE TABLE devices (
    DeviceID          INTEGER NOT NULL PRIMARY KEY,
    SerialNo          TEXT,
    DeviceDescription TEXT,
    DateDevice        DATETIME CHECK (DateDevice IS NULL OR DateDevice GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
    DateRead          DATETIME CHECK (DateRead IS NULL OR DateRead GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
    NextReading       DATETIME CHECK (NextReading IS NULL OR NextReading GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
    SampleRate        SMALLINT,
    AlarmHigh         REAL,
    AlarmLow          REAL,
    DeviceSamples     INTEGER,
    MissionSamples    INTEGER,
    RollOver          BOOLEAN CHECK (RollOver IS NULL OR RollOver IN (0, 1)),
    MissionRunning    BOOLEAN CHECK (MissionRunning IS NULL OR MissionRunning IN (0, 1)),
    "User"            TEXT,
    "Interface"       TEXT
);

-- One row per compartment; a logger belongs to compartment (DeviceID % 100000) / 100.
CREATE TABLE rooms (
    RoomID            INTEGER NOT NULL PRIMARY KEY,
    RoomDescription   TEXT,
    RoomSequence      SMALLINT
);

-- One row per stored measurement; a measurement stored twice is refused by the key.
CREATE TABLE samples (
    DeviceID          INTEGER NOT NULL,
    SampleDate        EPOCHSECONDS NOT NULL CHECK (typeof(SampleDate) = 'integer'),
    SampleTemp        REAL,
    PRIMARY KEY (DeviceID, SampleDate)
) WITHOUT ROWID;

-- Log of events (Type 1: a logger was programmed).
CREATE TABLE history (
    HistoryID         INTEGER NOT NULL PRIMARY KEY,
    "DateTime"        DATETIME CHECK ("DateTime" IS NULL OR "DateTime" GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
    "Text"            TEXT,
    "Type"            INTEGER
);
CREATE INDEX history_DateTime ON history ("DateTime");

-- Remarks on samples; the program only deletes from this table. SampleDate as in samples.
CREATE TABLE comments (
    CommentID         INTEGER NOT NULL PRIMARY KEY,
    DeviceID          INTEGER,
    SampleDate        EPOCHSECONDS CHECK (SampleDate IS NULL OR typeof(SampleDate) = 'integer'),
    CommentText       TEXT
);

-- The application's named settings; names compare without regard to letter case.
CREATE TABLE parameters (
    ParamName         TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
    ParamValue        TEXT
);

-- Audit trail (db/AuditTrail.h). Kept as the last block of this file: a database made before it
-- gets these tables from this text on its first audit row. Rows are appended, never changed or
-- deleted; each carries the SHA-256 of the row before it (PrevHash) and its own (RowHash).
CREATE TABLE IF NOT EXISTS audit (
    AuditID           INTEGER NOT NULL PRIMARY KEY,
    TimeUTC           TEXT NOT NULL,
    Operator          TEXT,
    Computer          TEXT,
    Action            TEXT NOT NULL,
    Subject           TEXT,
    Details           TEXT,
    PrevHash          TEXT NOT NULL,
    RowHash           TEXT NOT NULL
);
-- The last audit row (one row): a row deleted at the end of the chain shows here.
CREATE TABLE IF NOT EXISTS audithead (
    HeadID            INTEGER NOT NULL PRIMARY KEY CHECK (HeadID = 1),
    LastAuditID       INTEGER NOT NULL,
    LastHash          TEXT NOT NULL
);
-- The SHA-256 of every logger file stored, with its logger and sample range.
CREATE TABLE IF NOT EXISTS readingfiles (
    FileHash          TEXT NOT NULL,
    DeviceID          INTEGER NOT NULL,
    SerialNo          TEXT,
    FileName          TEXT,
    ReadingUTC        TEXT,
    FirstSample       INTEGER,
    LastSample        INTEGER,
    SampleCount       INTEGER,
    AuditID           INTEGER,
    PRIMARY KEY (FileHash, DeviceID)
);
-- The logger's own alarm log and histogram per logger position and mission (db/MissionEvidence.h),
-- from the companion of a logger file, stored with the reading's samples. Mission times are UTC
-- as ISO text ("2026-12-01T08:00:00Z"). One row per mission: the latest reading of it.
CREATE TABLE IF NOT EXISTS missionevidence (
    DeviceID          INTEGER NOT NULL,
    SerialNo          TEXT NOT NULL,
    MissionStartUTC   TEXT NOT NULL,
    MissionEndUTC     TEXT,
    SampleRate        INTEGER,
    MissionSamples    INTEGER,
    RollOver          BOOLEAN CHECK (RollOver IS NULL OR RollOver IN (0, 1)),
    ReadUTC           TEXT,
    AlarmLogRead      BOOLEAN NOT NULL CHECK (AlarmLogRead IN (0, 1)),
    HistogramRead     BOOLEAN NOT NULL CHECK (HistogramRead IN (0, 1)),
    HistogramTotal    INTEGER,
    FileHash          TEXT,
    PRIMARY KEY (DeviceID, SerialNo, MissionStartUTC)
);
-- The used records of the alarm log, low ones first, each in slot order (Entry from 0).
CREATE TABLE IF NOT EXISTS missionalarms (
    DeviceID          INTEGER NOT NULL,
    SerialNo          TEXT NOT NULL,
    MissionStartUTC   TEXT NOT NULL,
    Entry             INTEGER NOT NULL,
    Kind              TEXT NOT NULL CHECK (Kind IN ('high', 'low')),
    StartSample       INTEGER NOT NULL,
    DurationSamples   INTEGER NOT NULL,
    StartUTC          TEXT,
    EndUTC            TEXT,
    Minutes           INTEGER,
    Overwritten       BOOLEAN NOT NULL CHECK (Overwritten IN (0, 1)),
    PRIMARY KEY (DeviceID, SerialNo, MissionStartUTC, Entry)
);
-- All 64 bins of the histogram: the temperatures of the bin's four codes and the count.
CREATE TABLE IF NOT EXISTS missionhistogram (
    DeviceID          INTEGER NOT NULL,
    SerialNo          TEXT NOT NULL,
    MissionStartUTC   TEXT NOT NULL,
    Bin               INTEGER NOT NULL,
    FromC             REAL,
    ToC               REAL,
    Count             INTEGER NOT NULL,
    PRIMARY KEY (DeviceID, SerialNo, MissionStartUTC, Bin)
);
