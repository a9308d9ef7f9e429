#pragma once
// Temperature of the simulated cold room: a base value, a daily swing, noise from a seed and
// optional excursions (a door left open, a defrost). Deterministic for a given seed, so a test
// can recompute every sample a logger recorded.
#include <QJsonObject>
#include <QList>
#include <QString>

struct VirtualExcursion {
    qint64 startMs = 0;      // simulation time (UTC, ms since 1970)
    qint64 durationMs = 0;
    double delta = 0.0;      // °C added during the excursion
};

struct VirtualProfile {
    double base = 4.0;       // °C
    double swing = 1.0;      // half the daily peak-to-peak, °C
    double peakHour = 15.0;  // hour of the day (UTC) of the warmest moment
    double noise = 0.2;      // standard deviation of the noise, °C
    quint32 seed = 1;
    QList<VirtualExcursion> excursions;

    // Temperature at simulation time ms for the device whose salt (from its ROM) is given;
    // the salt makes loggers in the same room differ a little in their noise.
    double temperatureAt(qint64 ms, quint64 salt) const;

    QJsonObject save() const;
    void load(const QJsonObject& o);
    QString describe() const;
};

// "90m", "3d", "2h", "45s", "1w", also combined as "1d12h"; false on anything else.
bool ParseVirtualDuration(const QString& text, qint64& ms);
