// Fuzzing the logger-file reader: any bytes are loaded as a logger file and, when they load,
// every decoding the program uses is taken, the plausibility check included. A crash, a
// sanitizer report or an unbounded allocation is a finding.
#include "app/modMain.h"
#include "image/clsDS1921Data.h"

#include <QCoreApplication>
#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_logger_file";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // The time-zone bias decides the local times; take it from the input too.
    App().UtcBias = size > 0 ? int(data[0]) * 10 - 1280 : 0;

    clsDS1921Data image;
    qint32 rc = 0;
    image.LoadLoggerFileBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), QStringLiteral("fuzz.dta"), rc);
    if (rc != imgOk) {
        if (image.LastError().isEmpty()) __builtin_trap();   // a refusal always says why
        return 0;
    }
    const QString why = image.ImplausibleBecause();
    (void)image.DeviceID();
    (void)image.Location();
    (void)image.Room();
    (void)image.Position();
    (void)image.LastReading();
    (void)image.NextReading();
    (void)image.DateTime();
    (void)image.MissionStart();
    (void)image.MissionEnd();
    (void)image.AlarmHigh();
    (void)image.AlarmLow();
    (void)image.MaxTemp();
    (void)image.MinTemp();
    (void)image.MissionStartDelay();
    bool complete = false;
    const auto samples = image.TemperatureSamples(&complete);
    if (why.isEmpty()) {
        // A plausible image gives its whole sample series, within the logger's clock.
        if (image.MissionSamples() > 0 && (!complete || qsizetype(samples.size()) != image.SamplesStored())) __builtin_trap();
        for (const TemperatureSample& s : samples)
            if (!s.time.isValid() || s.time.date().year() < 2000 || std::isnan(s.celsius)) __builtin_trap();
    }
    (void)image.EncodedRecord(QStringLiteral("5A0000000123AB21"));
    (void)image.EncodedRecord(QStringLiteral("7E4F200000123421"));
    return 0;
}
