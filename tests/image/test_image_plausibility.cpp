// Which logger images can be what a DS1921 holds: every kind of damage is refused with its reason,
// and what a real logger reaches (a full log without rollover, a rolled-over log, the newest
// sample on the clock's minute, a cleared logger) is accepted.
#include "support/LoggerImages.h"

#include <functional>
#include <gtest/gtest.h>

using namespace imagetest;

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s = 0) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC); }

QStringList goodFields()
{
    return {"1", "0000074667", "door", "123401203", "261207100000", "op", "0000001234", "...calib..."};
}

// A logger read on 7 December 2026 at 10:00:30 UTC, 500 samples every 10 minutes since 1 December.
Mission goodMission()
{
    Mission m;
    m.clockUtc = utc(2026, 12, 7, 10, 0, 30);
    m.startUtc = utc(2026, 12, 1, 8, 0);
    m.rate = 10;
    m.missionSamples = 500;
    m.deviceSamples = 9000;
    return m;
}

void load(clsDS1921Data& image, const Mission& m, const QStringList& fields = goodFields())
{
    Load(image, Record(fields), Registers(m), Log([](int i) { return 80 + i % 7; }));
}

void setRegister(clsDS1921Data& image, int offset, int value)
{
    QByteArray r = image.RegisterPages();
    r[offset] = char(value);
    image.SetRegisterPages(r);
}

struct Damage {
    const char* what;
    std::function<void(clsDS1921Data&)> apply;
    const char* reason;   // part of the refusal
};

} // namespace

TEST(ImagePlausibility, EveryKindOfDamageIsRefusedWithItsReason)
{
    BiasScope bias(-60);
    auto withMission = [](std::function<void(Mission&)> change) {
        return [change](clsDS1921Data& image) {
            Mission m = goodMission();
            change(m);
            load(image, m);
        };
    };
    auto withFields = [](std::function<void(QStringList&)> change) {
        return [change](clsDS1921Data& image) {
            QStringList f = goodFields();
            change(f);
            load(image, goodMission(), f);
        };
    };
    const Damage cases[] = {
        {"one separator of the record damaged",
         [](clsDS1921Data& image) {
             load(image, goodMission());
             QByteArray rec = image.NVRAMBytes();
             rec[rec.indexOf("\x03" "123401203")] = 'x';
             image.SetNVRAMBytes(rec);
             image.DecodeNVRAM();
         },
         "the identity record is damaged: it holds 7 fields, at least 8 expected"},
        {"the default record", [](clsDS1921Data& image) {
             load(image, goodMission(), clsDS1921Data::DefaultNvramFields(QString()));
         }, "the identity record names no logger position (DeviceID 0 \"unknown\")"},
        {"a letter in the DeviceID", withFields([](QStringList& f) { f[3] = "12340x203"; }),
         "DeviceID \"12340x203\" is not a number"},
        {"a DeviceID without site", withFields([](QStringList& f) { f[3] = "1203"; }), "DeviceID 1203 has no site number"},
        {"record version 7", withFields([](QStringList& f) { f[0] = "7"; }), "record version \"7\", 1 or 2 expected"},
        {"serial number of zeros", withFields([](QStringList& f) { f[1] = "0000000000"; }), "serial number \"0000000000\""},
        {"serial number with a letter", withFields([](QStringList& f) { f[1] = "00000746a7"; }), "serial number \"00000746a7\""},
        {"version 2 record of an ordinary logger",
         withFields([](QStringList& f) { f[0] = "2"; f << "5A0000000123AB21"; }), "logger ROM \"5A0000000123AB21\""},
        {"register pages cut short",
         [](clsDS1921Data& image) { load(image, goodMission()); image.SetRegisterPages(image.RegisterPages().left(20)); },
         "the register pages are missing or cut short: 20 bytes, 32 expected"},
        {"a register that always reads 0", [](clsDS1921Data& image) { load(image, goodMission()); setRegister(image, 0x0F, 0x01); },
         "register 0x20F holds 0x01: bits that a DS1921 always reads as 0 are set"},
        {"the status register's bit 3", [](clsDS1921Data& image) { load(image, goodMission()); setRegister(image, 0x14, 0x28); },
         "register 0x214 holds 0x28"},
        {"clock month 13", [](clsDS1921Data& image) { load(image, goodMission()); setRegister(image, 0x05, 0x93); },
         "the logger clock (registers 0x200-0x206: 30 00 10 00 07 93 26) is not a valid date and time"},
        {"clock minutes not BCD", [](clsDS1921Data& image) { load(image, goodMission()); setRegister(image, 0x01, 0x5A); },
         "the logger clock (registers 0x200-0x206: 30 5A 10 00 07 92 26) is not a valid date and time"},
        {"clock in 1999", withMission([](Mission& m) { m.clockUtc = utc(1999, 12, 7, 10, 0, 30); m.startUtc = utc(1999, 12, 1, 8, 0); }),
         "the logger clock reads 1999-12-07 10:00 UTC, before 2000"},
        {"mission started 1940", [](clsDS1921Data& image) { load(image, goodMission()); setRegister(image, 0x19, 0x40); },
         "the mission started 1940-12-01 08:00 UTC, before 2000"},
        {"mission started 1999 while the clock says 2026",
         [](clsDS1921Data& image) { load(image, goodMission()); setRegister(image, 0x19, 0x99); },
         "the mission started 1999-12-01 08:00 UTC, before 2000"},
        {"mission start after the clock", withMission([](Mission& m) { m.startUtc = utc(2026, 12, 7, 10, 1); }),
         "the mission started 2026-12-07 10:01 UTC, after the logger clock 2026-12-07 10:00 UTC"},
        {"samples until 2029", withMission([](Mission& m) { m.missionSamples = 20000; m.deviceSamples = 40000; m.rate = 60; }),
         "20000 samples every 60 minutes from 2026-12-01 08:00 UTC end 2029-03-13 15:00 UTC, after the logger clock 2026-12-07 10:00 UTC"},
        {"more mission than device samples", withMission([](Mission& m) { m.deviceSamples = 499; }),
         "500 mission samples but only 499 device samples"},
        {"sample rate 0 with samples", withMission([](Mission& m) { m.rate = 0; }), "sample rate 0 with 500 mission samples"},
        {"a running mission with sample rate 0", withMission([](Mission& m) { m.rate = 0; m.missionSamples = 0; }),
         "a mission is running with sample rate 0"},
        {"mission start not BCD", [](clsDS1921Data& image) { load(image, goodMission()); setRegister(image, 0x15, 0x6A); },
         "the mission start (registers 0x215-0x219: 6A 08 01 92 26) is not a valid date and time"},
        {"a data log shorter than its samples",
         [](clsDS1921Data& image) { load(image, goodMission()); image.SetTemperaturePages(QByteArray(100, '\0')); },
         "the data log holds 100 slots, fewer than the 500 samples stored"},
    };
    for (const Damage& c : cases) {
        clsDS1921Data image;
        c.apply(image);
        const QString why = image.ImplausibleBecause();
        EXPECT_TRUE(why.contains(QString::fromUtf8(c.reason))) << c.what << ": " << why.toStdString();
    }
}

TEST(ImagePlausibility, WhatARealLoggerReachesIsAccepted)
{
    BiasScope bias(-60);
    clsDS1921Data good;
    load(good, goodMission());
    EXPECT_EQ(good.ImplausibleBecause(), QString());

    // Without rollover logging stops at 2048 samples while the counters go on.
    Mission full = goodMission();
    full.rate = 1;
    full.missionSamples = 3000;
    full.startUtc = full.clockUtc.addSecs(-3000 * 60);
    full.startUtc.setTime(QTime(full.startUtc.time().hour(), full.startUtc.time().minute()));
    clsDS1921Data stopped;
    load(stopped, full);
    EXPECT_EQ(stopped.ImplausibleBecause(), QString());
    full.rollover = true;
    clsDS1921Data rolled;
    load(rolled, full);
    EXPECT_EQ(rolled.ImplausibleBecause(), QString());

    // The newest sample on the minute the clock shows.
    Mission edge = goodMission();
    edge.startUtc = utc(2026, 12, 7, 10, 0).addSecs(-qint64(edge.rate) * 60 * (edge.missionSamples - 1));
    clsDS1921Data onTheMinute;
    load(onTheMinute, edge);
    EXPECT_EQ(onTheMinute.ImplausibleBecause(), QString());

    // A cleared logger: no rate, no samples, mission registers zero, no mission.
    clsDS1921Data cleared;
    load(cleared, goodMission());
    QByteArray r = cleared.RegisterPages();
    for (int i = 0x0D; i <= 0x1C; ++i)
        if (i != 0x0E && i != 0x0B && i != 0x0C) r[i] = 0;
    r[0x14] = 0x40;   // MEMCLR
    cleared.SetRegisterPages(r);
    EXPECT_EQ(cleared.ImplausibleBecause(), QString());

    // A version 2 record of a 4F2 logger.
    QStringList v2 = goodFields();
    v2[0] = "2";
    v2 << "7E4F200000123421";
    clsDS1921Data high;
    load(high, goodMission(), v2);
    EXPECT_EQ(high.ImplausibleBecause(), QString());
}
