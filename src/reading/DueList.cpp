#include "reading/DueList.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"


#include "db/clsDatabase.h"

QString DueListQuery()
{
    // The compartment of a logger is (DeviceID Mod 100000) \ 100; integer columns divide whole.
    return "SELECT devices.* , rooms.* "
           "FROM devices "
           "LEFT JOIN rooms ON  ((devices.DeviceID % 100000) / 100 )= rooms.RoomID "
           "WHERE devices.MissionRunning = 1 "
           "ORDER BY devices.DeviceID";
}

QDateTime RowDataAtRisk(const DbRow& row)
{
    const DbValue next = row.value("NextReading");
    return next.isNull() ? QDateTime() : next.toDateTime();
}

qint64 HourBoundaries(const QDateTime& from, const QDateTime& to)
{
    auto hourIndex = [](const QDateTime& t) {
        QDateTime u = t;
        u.setTimeSpec(Qt::UTC);
        const qint64 s = u.toSecsSinceEpoch();
        return s >= 0 ? s / 3600 : -((-s + 3599) / 3600);
    };
    return hourIndex(to) - hourIndex(from);
}

std::vector<DueListRow> ComputeDueList(const ResultList& rows, const QDateTime& nowLocal,
                                       int readHoursBeforeOverflow, bool dueOnly)
{
    std::vector<DueListRow> out;
    for (int i = rows.firstDataRow(); i < rows.size(); ++i) {
        const DbRow& r = rows.rows[size_t(i)];
        DueListRow row;
        const QDateTime nextTime = RowDataAtRisk(r);
        row.hoursKnown = nextTime.isValid();
        row.hours = row.hoursKnown ? HourBoundaries(nowLocal, nextTime) : 0;
        if (dueOnly && row.hoursKnown && row.hours >= readHoursBeforeOverflow) continue;
        row.deviceId = qint32(r.value("DeviceID").toInt());
        qint32 location = 0, room = 0, position = 0;
        DeviceIDToLocRoomPos(row.deviceId, location, room, position);
        QString statusText;
        if (!row.hoursKnown || row.hours < 0) {
            row.status = DueListRow::Urgent;
            statusText = Translate("urgent");
            row.colour = QColor(255, 0, 0);
        } else if (row.hours < readHoursBeforeOverflow) {
            row.status = DueListRow::Due;
            statusText = Translate("yes");
            row.colour = QColor(255, 0, 255);
        } else {
            row.status = DueListRow::NotDue;
            statusText = Translate("no");
            row.colour = QColor(0, 0, 0);
        }
        const DbValue seq = r.value("RoomSequence");
        row.columns << (seq.isNull() ? QString() : seq.toString()) + "  "
                    << statusText
                    << (r.value("RoomDescription").isNull() ? QString() : r.value("RoomDescription").toString())
                    << QString::number(room)
                    << r.value("DeviceDescription").toString()
                    << QString::number(position)
                    << r.value("SerialNo").toString()
                    << (row.hoursKnown ? QString::number(row.hours) : QString())
                    << (r.value("DateRead").isNull() ? QString() : r.value("DateRead").toString());
        out.push_back(std::move(row));
    }
    return out;
}

std::vector<DueListRow> QueryDueList(bool dueOnly, QString* error)
{
    ResultList rows;
    if (AppDatabase().GetRecordsBySQL(rows, DueListQuery(), false) != dbQueryOk) {
        if (error) *error = AppDatabase().LastError();
        return {};
    }
    if (error) error->clear();
    return ComputeDueList(rows, NowLocal(), App().ReadHoursBeforeOverflow, dueOnly);
}
