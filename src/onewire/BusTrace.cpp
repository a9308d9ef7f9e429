#include "onewire/BusTrace.h"
#include <QDateTime>
#include <QFile>
#include <cstdio>
#include <memory>

namespace {
std::function<void(const QString&)>& sink()
{
    static std::function<void(const QString&)> s;
    return s;
}

QString hexLine(const char* prefix, const uint8_t* bytes, int count)
{
    QString line = QString::fromLatin1(prefix);
    line.reserve(3 + 3 * count);
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        line += ' ';
        line += QLatin1Char(digits[bytes[i] >> 4]);
        line += QLatin1Char(digits[bytes[i] & 0x0F]);
    }
    return line;
}
} // namespace

void SetBusTraceSink(std::function<void(const QString&)> s) { sink() = std::move(s); }
bool BusTraceOn() { return bool(sink()); }

void BusTraceLine(const QString& line)
{
    if (sink()) sink()(QStringLiteral("# ") + line);
}

void BusTraceBytes(BusTraceDirection direction, const uint8_t* bytes, int count)
{
    if (!sink() || count <= 0) return;
    sink()(hexLine(direction == BusTraceDirection::ToBus ? ">>" : "<<", bytes, count));
}

void BusTraceBytes(BusTraceDirection direction, const QByteArray& bytes)
{
    BusTraceBytes(direction, reinterpret_cast<const uint8_t*>(bytes.constData()), int(bytes.size()));
}

void BusTraceUsb(BusTraceDirection direction, const QString& text)
{
    if (!sink()) return;
    sink()((direction == BusTraceDirection::ToBus ? QStringLiteral(">> ") : QStringLiteral("<< ")) + text);
}

void BusTraceReset(bool presence)
{
    if (!sink()) return;
    sink()(QStringLiteral(">> RESET"));
    sink()(presence ? QStringLiteral("<< PRESENCE") : QStringLiteral("<< NO PRESENCE"));
}

QString BusTraceStamp(const QString& line)
{
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz ")) + line;
}

bool OpenBusTrace(const QString& target, QString* error)
{
    if (target.isEmpty() || target == "-") {
        SetBusTraceSink([](const QString& line) {
            const QByteArray text = (BusTraceStamp(line) + '\n').toLocal8Bit();
            std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
            std::fflush(stderr);
        });
        return true;
    }
    auto file = std::make_shared<QFile>(target);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (error) *error = QStringLiteral("cannot open trace file %1: %2").arg(target, file->errorString());
        return false;
    }
    SetBusTraceSink([file](const QString& line) {
        file->write((BusTraceStamp(line) + '\n').toUtf8());
        file->flush();
    });
    return true;
}
