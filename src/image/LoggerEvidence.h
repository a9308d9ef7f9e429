#pragma once
// What a DS1921 keeps beside its data log: the alarm log (up to 12 low and 12 high excursions,
// each a 3-byte mission sample number and a 1-byte duration in samples, low records at 0x220,
// high records at 0x250) and the histogram of every sample of the mission (64 16-bit bins of
// four temperature codes each at 0x800). Both cover the whole mission, also the samples a
// rolled-over data log no longer holds.
#include "image/clsDS1921Data.h"
#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <vector>

constexpr int kAlarmLogBytes = 0x60;    // 0x220-0x27F
constexpr int kHistogramAreaBytes = 0x80;   // 0x800-0x87F

struct AlarmLogEntry {
    bool high = false;
    qint32 startSample = 0;       // mission sample number of the first sample outside (1 = first)
    int durationSamples = 0;      // samples outside, counted from that one
    QDateTime start;              // UTC, time of the first sample outside
    QDateTime end;                // UTC, start + durationSamples sample periods
    qint64 minutes = 0;           // durationSamples * sample rate
    bool overwritten = false;     // its first sample is no longer in the (rolled-over) data log
};

struct HistogramBin {
    int index = 0;
    float fromC = 0;              // lowest temperature of the bin's four codes
    float toC = 0;                // lowest temperature of the next bin
    float lastC = 0;              // temperature of the bin's own highest code
    quint32 count = 0;
};

// First mission sample number still held by the data log: 1, or with rollover after more than
// 2048 samples the oldest of the last 2048.
qint32 FirstSampleInLog(qint32 missionSamples, bool rollOver);

// The used records of the 96 bytes from 0x220, low records first, each in slot order. Empty
// records (sample number 0) are left out; an area shorter than 96 bytes gives nothing.
// Times are invalid when missionStartUtc is invalid or the sample rate is 0.
std::vector<AlarmLogEntry> DecodeAlarmLog(const QByteArray& area, const QDateTime& missionStartUtc,
                                          int sampleRateMinutes, qint32 missionSamples, bool rollOver);

constexpr int kAlarmRecordsPerKind = 12;
// True when all 12 records of that kind are used: the logger records no later alarm of it.
bool AlarmLogFull(const std::vector<AlarmLogEntry>& entries, bool high);
// "low alarm log full (12 entries): later low alarms were not recorded by the logger" per full
// kind (translated).
QStringList AlarmLogFullTexts(const std::vector<AlarmLogEntry>& entries);
// "0.0 to 1.5" for a bin of 0.5 °C codes: its first and its own last code, in the display unit.
QString HistogramBinText(const HistogramBin& bin);

// All 64 bins of the 128 bytes from 0x800 (nothing when shorter).
std::vector<HistogramBin> DecodeHistogram(const QByteArray& area, LoggerVariant variant);
quint64 HistogramTotal(const std::vector<HistogramBin>& bins);

// The lines the terminal shows for a logger image (its register page decides times and the
// overwritten mark): "alarm log\thigh|low\tstart\tend\tminutes[\toverwritten]" per record,
// "alarm log\tlow|high full\t12 entries: ..." when all records of a kind are used,
// "histogram\tfrom °C\tto °C (its own last code)\tcount" per non-zero bin, "histogram total\tN". An area that was not
// read gives "alarm log\tnot read" / "histogram\tnot read".
QStringList LoggerEvidenceLines(const QByteArray& alarmArea, const QByteArray& histogramArea,
                                const clsDS1921Data& image, LoggerVariant variant);
