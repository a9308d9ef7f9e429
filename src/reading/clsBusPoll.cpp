#include "reading/clsBusPoll.h"
#include "thermochron/clsDallasDevice.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "image/clsDS1921Data.h"
#include "onewire/Tmex.h"
#include "onewire/clsDallasBus.h"

#include <QLocale>
#include <cmath>

clsBusPoll::clsBusPoll(clsDS1921Data& logger) : m_logger(logger) {}

clsBusPoll::Cycle clsBusPoll::Poll()
{
    Cycle c;
    const QString now = QLocale::system().toString(NowLocal(), QLocale::ShortFormat);

    // The identification chip of the reader cable; errors of this search are ignored.
    const QString cable = m_logger.DeviceFound("09");
    if (cable.isEmpty()) {
        c.state = NoCable;
        c.picture = PicNoLogger;
        c.status = now + Translate(" no cable found");
        // When the adapter itself cannot be used (missing, pulled out, held by another program,
        // not allowed), its reason and remedy follow.
        const QString adapter = TMLinkError(m_logger.Bus().intPortNum);
        if (!adapter.isEmpty()) c.status += QStringLiteral(" — ") + adapter;
        c.removed = m_connected;
        m_connected = false;
        return c;
    }
    App().InterfaceRomCode = cable;

    const QString rom = m_logger.DeviceFound("21");
    const bool present = !rom.isEmpty() && m_logger.objDeviceFound;
    if (present) {
        c.state = LoggerPresent;
        c.loggerMenu = true;
        c.loggerRom = rom;
        // "NOT RUNNING" only when the logger said so: a logger that could not be asked (bad
        // contact) is shown as connected, without a claim either way.
        const clsDallasDevice::Mission mission = m_logger.objDeviceFound->CheckedMissionState();
        c.running = mission == clsDallasDevice::Mission::Running;
        if (mission == clsDallasDevice::Mission::Unknown) {
            c.picture = PicNoLogger;
            c.status = now + Translate(" logger connected, its state could not be read");
        } else {
            c.picture = c.running ? PicRunning : PicNotRunning;
            c.status = now + Translate(c.running ? " logger connected and running" : " logger connected but NOT RUNNING !!!");
        }
    } else {
        c.state = CableOnly;
        c.picture = PicNoLogger;
        c.status = now + Translate(" logger not connected");
    }
    if (present != m_connected) {
        m_connected = present;
        c.arrived = present;
        c.removed = !present;
    }
    return c;
}

QString ListSortKey(const QString& cell)
{
    const QString t = cell.trimmed();
    if (t.isEmpty()) return cell;
    // Dates in the forms the program shows them.
    static const char* const formats[] = {"dd.MM.yyyy HH:mm:ss", "dd.MM.yyyy HH:mm", "dd.MM.yyyy", "yyyy-MM-dd HH:mm:ss",
                                          "yyyy-MM-dd HH:mm", "yyyy-MM-dd", "dd/MM/yyyy HH:mm:ss", "dd/MM/yyyy HH:mm",
                                          "dd/MM/yyyy", "dd.MM.yy HH:mm", "dd.MM.yy"};
    for (const char* f : formats) {
        QDateTime d = QDateTime::fromString(t, QString::fromLatin1(f));
        if (!d.isValid()) {
            const QDate day = QDate::fromString(t, QString::fromLatin1(f));
            if (day.isValid()) d = QDateTime(day, QTime(0, 0));
        }
        if (d.isValid()) {
            if (d.date().year() < 1950) d = d.addYears(100);
            return d.toString("yyyyMMddHHmmss");
        }
    }
    const QLocale loc = QLocale::system();
    for (const QLocale& l : {loc, QLocale::c()}) {
        bool ok = false;
        const double v = l.toDouble(t, &ok);
        if (ok) {
            // Negative numbers take "A" and the ten-digit complement of their amount, the
            // others "B" and their amount, so that the text order is the numeric order.
            const qint64 n = qint64(std::llround(v < 0 ? -v : v));
            if (v < 0 && n > 0) return "A" + QString::number(9999999999LL - n).rightJustified(10, '0');
            return "B" + QString::number(n).rightJustified(10, '0');
        }
    }
    return cell;
}
