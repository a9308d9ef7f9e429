// Application-wide state and the small shared routines of the start-up module.
#include "app/modMain.h"
#include "app/modInternationalisation.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>
#include <limits>

AppState& App()
{
    static AppState state;
    return state;
}

namespace {
std::function<QDateTime()>& clockOverride()
{
    static std::function<QDateTime()> clock;
    return clock;
}
} // namespace

QDateTime NowUtc()
{
    if (clockOverride()) {
        QDateTime t = clockOverride()();
        t.setTimeSpec(Qt::UTC);
        return t;
    }
    return QDateTime::currentDateTimeUtc();
}

QDateTime NowLocal()
{
    return UtcToLocal(NowUtc());
}

void SetClockForTesting(std::function<QDateTime()> clock)
{
    clockOverride() = std::move(clock);
}

void DeviceIDToLocRoomPos(qint32 deviceId, qint32& location, qint32& room, qint32& position)
{
    position = deviceId % 100;
    room = (deviceId % 100000) / 100;
    location = deviceId / 100000;
}

qint32 LocRoomPosToDeviceID(qint32 location, qint32 room, qint32 position)
{
    const qint64 id = qint64(location) * 100000 + qint64(room) * 100 + position;
    if (id > std::numeric_limits<qint32>::max() || id < std::numeric_limits<qint32>::min()) {
        ShowMessage("6:Overflow", vbCritical, "Error in LocRoomPosToDeviceID()");
        return 0;
    }
    return qint32(id);
}

QString FormatDeviceID(qint32 deviceId)
{
    // "0000000\.000\.00": at least twelve digits, points before the last five and the last two.
    QString digits = QString::number(qint64(deviceId) < 0 ? -qint64(deviceId) : qint64(deviceId)).rightJustified(12, '0');
    const int n = digits.size();
    QString text = digits.left(n - 5) + "." + digits.mid(n - 5, 3) + "." + digits.right(2);
    return deviceId < 0 ? "-" + text : text;
}

QDateTime LocalToUtc(const QDateTime& local)
{
    return local.addSecs(qint64(App().UtcBias) * 60);
}

QDateTime UtcToLocal(const QDateTime& utc)
{
    return utc.addSecs(-qint64(App().UtcBias) * 60);
}

float CelsiusToFahrenheit(double value)
{
    return float(value * double(1.8f) + 32.0);
}

float FahrenheitToCelsius(double value)
{
    return float((value - 32.0) * double(0.5555556f));
}

float ToDisplayUnits(double celsius)
{
    return App().Units == 1 ? CelsiusToFahrenheit(celsius) : float(celsius);
}

bool IsDirectory(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString BrowseForFolder(const QString& title, QWidget* owner)
{
    return QFileDialog::getExistingDirectory(owner, title);
}

void ShowBusy()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void ShowReady()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
}
