#pragma once
// The clock of the simulated world: real time plus an offset that `advance` moves forward, so
// that days of logging pass in an instant. Devices compute what happened in between lazily.
#include <QDateTime>
#include <functional>

class VirtualClock {
public:
    qint64 nowMs() const { return realMs() + m_offsetMs; }
    QDateTime nowUtc() const { return QDateTime::fromMSecsSinceEpoch(nowMs(), Qt::UTC); }
    void advance(qint64 ms) { if (ms > 0) m_offsetMs += ms; }
    qint64 offsetMs() const { return m_offsetMs; }
    void setOffsetMs(qint64 ms) { m_offsetMs = ms; }

    // Real time source (milliseconds since 1970 UTC). Tests fix it so that runs are repeatable;
    // an empty function restores the system clock.
    static void SetRealTimeForTesting(std::function<qint64()> source);
    static qint64 realMs();

private:
    qint64 m_offsetMs = 0;
};
