#include "onewire/BusTrace.h"
#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <cstdio>
#include <memory>

namespace {
std::function<void(const QString&)>& sink()
{
    static std::function<void(const QString&)> s;
    return s;
}
} // namespace

void SetBusTraceSink(std::function<void(const QString&)> s) { sink() = std::move(s); }
bool BusTraceOn() { return bool(sink()); }

void BusTraceLine(const QString& line)
{
    if (sink()) sink()(line);
}

bool OpenBusTrace(const QString& target, QString* error)
{
    if (target.isEmpty() || target == "-") {
        SetBusTraceSink([](const QString& line) {
            const QByteArray text = (line + '\n').toLocal8Bit();
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
        const QString stamped = QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm:ss.zzz ") + line + '\n';
        file->write(stamped.toUtf8());
        file->flush();
    });
    return true;
}
