#include "reading/DueList.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"

#include <QBrush>
#include <QHeaderView>
#include <QTreeWidget>

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

void RefreshDueList(QTreeWidget* list, bool dueOnly)
{
    if (!list) return;
    ShowBusy();
    list->clear();
    QString error;
    const std::vector<DueListRow> rows = QueryDueList(dueOnly, &error);
    // The list is refilled after every imported file: a failure that stays is told once.
    static QString reported;
    if (!error.isEmpty() && error != reported)
        ShowMessage(error, vbCritical, QStringLiteral("Error in RefreshDueList"));
    reported = error;
    for (const DueListRow& row : rows) {
        auto* item = new QTreeWidgetItem(list);
        for (int c = 0; c < row.columns.size() && c < list->columnCount(); ++c) {
            item->setText(c, row.columns[c]);
            item->setForeground(c, QBrush(row.colour));
        }
        item->setData(0, Qt::UserRole, row.deviceId);
    }
    for (int c = 0; c <= 7 && c < list->columnCount(); ++c) {
        // The wider of the content and the header.
        list->resizeColumnToContents(c);
        const int header = list->header()->fontMetrics().horizontalAdvance(list->headerItem()->text(c)) + 16;
        if (list->columnWidth(c) < header) list->setColumnWidth(c, header);
    }
    ShowReady();
}
