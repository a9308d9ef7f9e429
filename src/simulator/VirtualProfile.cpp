// The simulated room temperature and the simulation clock.
#include "simulator/VirtualProfile.h"
#include "simulator/VirtualClock.h"
#include <QJsonArray>
#include <QRegularExpression>
#include <cmath>

namespace {
std::function<qint64()>& realSource()
{
    static std::function<qint64()> f;
    return f;
}

// splitmix64: a small, well-mixed hash for repeatable noise
quint64 mix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
double uniform(quint64 h) { return double(h >> 11) * (1.0 / 9007199254740992.0); }
} // namespace

void VirtualClock::SetRealTimeForTesting(std::function<qint64()> source) { realSource() = std::move(source); }

qint64 VirtualClock::realMs()
{
    if (realSource()) return realSource()();
    return QDateTime::currentMSecsSinceEpoch();
}

double VirtualProfile::temperatureAt(qint64 ms, quint64 salt) const
{
    constexpr double kPi = 3.14159265358979323846;
    const double hours = double(ms % 86400000LL) / 3600000.0;
    double t = base + swing * std::cos(2.0 * kPi * (hours - peakHour) / 24.0);
    if (noise > 0) {
        // Normal noise by the Box-Muller transform, one value per minute of time.
        const quint64 minute = quint64(ms / 60000);
        const quint64 h1 = mix(mix(seed) ^ mix(salt) ^ minute);
        const quint64 h2 = mix(h1);
        const double u1 = std::max(uniform(h1), 1e-12);
        const double u2 = uniform(h2);
        t += noise * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
    }
    for (const auto& e : excursions)
        if (ms >= e.startMs && ms < e.startMs + e.durationMs) t += e.delta;
    return t;
}

QJsonObject VirtualProfile::save() const
{
    QJsonObject o;
    o["base"] = base;
    o["swing"] = swing;
    o["peakHour"] = peakHour;
    o["noise"] = noise;
    o["seed"] = double(seed);
    QJsonArray ex;
    for (const auto& e : excursions) {
        QJsonObject j;
        j["start"] = QDateTime::fromMSecsSinceEpoch(e.startMs, Qt::UTC).toString(Qt::ISODate);
        j["minutes"] = double(e.durationMs / 60000);
        j["delta"] = e.delta;
        ex.append(j);
    }
    o["excursions"] = ex;
    return o;
}

void VirtualProfile::load(const QJsonObject& o)
{
    *this = VirtualProfile{};
    base = o.value("base").toDouble(base);
    swing = o.value("swing").toDouble(swing);
    peakHour = o.value("peakHour").toDouble(peakHour);
    noise = o.value("noise").toDouble(noise);
    seed = quint32(o.value("seed").toDouble(seed));
    for (const auto& v : o.value("excursions").toArray()) {
        const QJsonObject j = v.toObject();
        QDateTime start = QDateTime::fromString(j.value("start").toString(), Qt::ISODate);
        if (!start.isValid()) continue;
        start.setTimeSpec(Qt::UTC);
        excursions.append({start.toMSecsSinceEpoch(), qint64(j.value("minutes").toDouble()) * 60000,
                           j.value("delta").toDouble()});
    }
}

QString VirtualProfile::describe() const
{
    QString s = QStringLiteral("base %1 °C, swing %2 °C (peak %3 h UTC), noise %4 °C, seed %5")
                    .arg(base).arg(swing).arg(peakHour).arg(noise).arg(seed);
    for (const auto& e : excursions)
        s += QStringLiteral("\n  excursion %1 for %2 min: %3%4 °C")
                 .arg(QDateTime::fromMSecsSinceEpoch(e.startMs, Qt::UTC).toString("yyyy-MM-dd HH:mm"))
                 .arg(e.durationMs / 60000)
                 .arg(e.delta >= 0 ? "+" : "")
                 .arg(e.delta);
    return s;
}

bool ParseVirtualDuration(const QString& text, qint64& ms)
{
    static const QRegularExpression whole(QStringLiteral("^(\\d+[smhdw])+$"));
    static const QRegularExpression part(QStringLiteral("(\\d+)([smhdw])"));
    const QString t = text.trimmed().toLower();
    if (!whole.match(t).hasMatch()) return false;
    qint64 total = 0;
    auto it = part.globalMatch(t);
    while (it.hasNext()) {
        const auto m = it.next();
        bool ok = false;
        const qint64 n = m.captured(1).toLongLong(&ok);
        if (!ok || n > 100000000LL) return false;
        const QChar u = m.captured(2).at(0);
        const qint64 unit = u == 's' ? 1000LL : u == 'm' ? 60000LL : u == 'h' ? 3600000LL
                          : u == 'd' ? 86400000LL : 7 * 86400000LL;
        total += n * unit;
        if (total > 100LL * 365 * 86400000LL) return false;   // a century is plenty
    }
    ms = total;
    return true;
}
