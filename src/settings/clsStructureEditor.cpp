#include "settings/clsStructureEditor.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/TextRules.h"
#include "db/AuditTrail.h"
#include "db/MissionEvidence.h"
#include "db/clsDatabase.h"

#include <QCryptographicHash>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

// A number as the operator may type it: in the program's own notation or the user's locale.
bool parseNumber(const QString& text, double* value)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool ok = false;
    double v = QLocale::c().toDouble(t, &ok);
    if (!ok)
        v = QLocale().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool isWhole(double v)
{
    return std::floor(v) == v;
}

const QString kRoomId = QStringLiteral("RoomID");
const QString kRoomDescription = QStringLiteral("RoomDescription");
const QString kRoomSequence = QStringLiteral("RoomSequence");
const QString kLocationId = QStringLiteral("LocationID");
const QString kLocationDescription = QStringLiteral("LocationDescription");
const QString kReadBefore = QStringLiteral("ReadBefore");

// Compartment numbers a logger identifier can hold: (DeviceID Mod 100000) \ 100.
constexpr int kMaxRoomId = 999;
constexpr int kMinReadBefore = 5;
constexpr int kMaxReadBefore = 168;

struct PropertyText {
    const char* key;
    const char* label;
    const char* toolTip;
};

const PropertyText kSiteRows[] = {
    {"LocationID", "site #", "number of the site"},
    {"LocationDescription", "site description", "site description"},
    {"ReadBefore", "read warning time", "warning time in hours before logger rollover"},
};
const PropertyText kRoomRows[] = {
    {"RoomID", "compartment #", "compartment identification number"},
    {"RoomDescription", "compartment description", "compartment description text"},
    {"RoomSequence", "read sequence", "most efficient order to read all compartments"},
};
const PropertyText kDeviceRows[] = {
    {"DeviceID", "data set", "logger identifier composed of site, compartment and logger numbers"},
    {"SerialNo", "logger ID", "logger id number as printed on the plate"},
    {"DeviceDescription", "logger position", "descriptive text for the logger position within compartment"},
    {"DateDevice", "logger time at last read", "logger time and date when last read"},
    {"DateRead", "system time at last read", "system time and date when logger last read"},
    {"NextReading", "rollover time", "date and time when next rollover occurs and data will be lost"},
    {"SampleRate", "measurement period", "interval in minutes between temperature measurements"},
    {"AlarmHigh", "alarm high", "high temperature alarm level"},
    {"AlarmLow", "alarm low", "low temperature alarm level"},
    {"DeviceSamples", "total logger samples", "cumulative total number of logger temperature measurements"},
    {"MissionSamples", "current samples", "number of logger temperature measurements since last start"},
    {"RollOver", "rollover enabled", "new data may overwrite old data"},
    {"MissionRunning", "logger running", "is the logger making temperature measurements?"},
    {"User", "operator", "operator who collected last data"},
};

QString labelOf(const QString& rowKey)
{
    for (const auto* table : {kSiteRows, kRoomRows})
        for (int i = 0; i < 3; ++i)
            if (rowKey.compare(QLatin1String(table[i].key), Qt::CaseInsensitive) == 0)
                return Translate(QString::fromLatin1(table[i].label));
    return rowKey;
}

// Site and compartment descriptions name them: the common text rule, and never empty.
bool descriptionAccepted(const QString& text, QString* message, QString* title)
{
    const QString problem = CheckDescription(text, true);
    if (problem.isEmpty())
        return true;
    *message = problem;
    *title = Translate(QStringLiteral("wrong format"));
    return false;
}

} // namespace

QString YesNoText(bool value)
{
    return Translate(value ? QStringLiteral("Yes") : QStringLiteral("No"));
}

QString FormatDataSet(qint64 deviceId)
{
    const QString digits = QString::number(deviceId < 0 ? -deviceId : deviceId);
    const int n = int(digits.size());
    const QString last = digits.right(2);
    const QString middle = n > 2 ? digits.mid(std::max(0, n - 5), std::min(3, n - 2)) : QString();
    const QString first = n > 5 ? digits.left(n - 5) : QString();
    return (deviceId < 0 ? QStringLiteral("-") : QString()) + first + QLatin1Char('.') + middle + QLatin1Char('.') + last;
}

bool clsStructureEditor::GenerateData(clsDatabase& db, QString* error)
{
    site.LocationID = App().LocationID;
    site.LocationDescription = App().LocationDescr;
    site.ReadBefore = App().ReadHoursBeforeOverflow;
    rooms.clear();
    devices.clear();
    m_dirty = false;
    ResultList list;
    bool ok = false;
    m_fingerprint = TablesFingerprint(db, &ok);
    if (ok && db.GetRecords(list, QStringLiteral("rooms"), QString(), QString(), false) == 0) {
        rooms = list.rows;
        if (db.GetRecords(list, QStringLiteral("devices"), QString(), QString(), false) == 0) {
            devices = list.rows;
            return true;
        }
    }
    rooms.clear();
    devices.clear();
    if (error)
        *error = db.LastError();
    return false;
}

clsStructureEditor::NodeKind clsStructureEditor::KindOf(const QString& nodeKey)
{
    if (nodeKey == QLatin1String("LOC"))
        return NodeSite;
    if (nodeKey.startsWith(QLatin1String("COM")))
        return NodeCompartment;
    if (nodeKey.startsWith(QLatin1String("DEV")))
        return NodeLogger;
    return NodeNone;
}

qint64 clsStructureEditor::IdOf(const QString& nodeKey)
{
    return nodeKey.mid(3).toLongLong();
}

QString clsStructureEditor::LocationText() const
{
    return QString::number(site.LocationID) + QLatin1Char(':') + site.LocationDescription;
}

QString clsStructureEditor::RoomText(const DbRow& room)
{
    return room.value(kRoomId).toString() + QLatin1Char(':') + room.value(kRoomDescription).toString();
}

QString clsStructureEditor::DeviceText(const DbRow& device)
{
    qint32 location, room, position;
    DeviceIDToLocRoomPos(qint32(device.value(QStringLiteral("DeviceID")).toInt()), location, room, position);
    return QString::number(position) + QLatin1Char(':') + device.value(QStringLiteral("DeviceDescription")).toString();
}

qint32 clsStructureEditor::RoomOfDevice(qint64 deviceId)
{
    qint32 location, room, position;
    DeviceIDToLocRoomPos(qint32(deviceId), location, room, position);
    return room;
}

int clsStructureEditor::FindRoom(qint64 roomId) const
{
    for (size_t i = 0; i < rooms.size(); ++i)
        if (rooms[i].value(kRoomId).toInt() == roomId)
            return int(i);
    return -1;
}

int clsStructureEditor::FindDevice(qint64 deviceId) const
{
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].value(QStringLiteral("DeviceID")).toInt() == deviceId)
            return int(i);
    return -1;
}

std::vector<qint64> clsStructureEditor::LoggersOf(qint64 roomId) const
{
    std::vector<qint64> ids;
    for (const DbRow& d : devices) {
        const qint64 id = d.value(QStringLiteral("DeviceID")).toInt();
        if (RoomOfDevice(id) == roomId)
            ids.push_back(id);
    }
    return ids;
}

bool clsStructureEditor::DeviceIsShown(const DbRow& device) const
{
    return FindRoom(RoomOfDevice(device.value(QStringLiteral("DeviceID")).toInt())) >= 0;
}

std::vector<StructureProperty> clsStructureEditor::Properties(const QString& nodeKey) const
{
    std::vector<StructureProperty> rows;
    auto add = [&rows](const PropertyText& p, const QString& value) {
        rows.push_back({QString::fromLatin1(p.key), Translate(QString::fromLatin1(p.label)),
                        Translate(QString::fromLatin1(p.toolTip)), value});
    };
    switch (KindOf(nodeKey)) {
    case NodeSite:
        add(kSiteRows[0], QString::number(site.LocationID));
        add(kSiteRows[1], site.LocationDescription);
        add(kSiteRows[2], QString::number(site.ReadBefore));
        break;
    case NodeCompartment: {
        const int i = FindRoom(IdOf(nodeKey));
        if (i < 0)
            break;
        for (const PropertyText& p : kRoomRows)
            add(p, rooms[size_t(i)].value(QString::fromLatin1(p.key)).toString());
        break;
    }
    case NodeLogger: {
        const int i = FindDevice(IdOf(nodeKey));
        if (i < 0)
            break;
        const DbRow& d = devices[size_t(i)];
        for (const PropertyText& p : kDeviceRows) {
            const QString key = QString::fromLatin1(p.key);
            const DbValue v = d.value(key);
            QString text;
            if (key == QLatin1String("DeviceID"))
                text = FormatDataSet(v.toInt());
            else if (key == QLatin1String("AlarmHigh") || key == QLatin1String("AlarmLow"))
                text = v.isNull() ? QString()
                                  : DbValue(ToDisplayUnits(v.toDouble())).toString() + QLatin1Char(' ') + App().UnitLabel;
            else if (key == QLatin1String("RollOver") || key == QLatin1String("MissionRunning"))
                text = v.isNull() ? QString() : YesNoText(v.toBool());
            else if (key == QLatin1String("SampleRate"))
                text = v.isNull() ? QString() : v.toString() + QLatin1Char(' ') + Translate(QStringLiteral("min"));
            else
                text = v.toString();
            add(p, text);
        }
        break;
    }
    case NodeNone:
        break;
    }
    return rows;
}

QString clsStructureEditor::ToolTipFor(const QString& nodeKey) const
{
    switch (KindOf(nodeKey)) {
    case NodeSite:
        return Translate(rooms.empty() ? QStringLiteral("site without compartments") : QStringLiteral("site having compartments"));
    case NodeCompartment:
        return Translate(RoomHasLoggers(IdOf(nodeKey)) ? QStringLiteral("compartment having loggers")
                                                       : QStringLiteral("compartment without loggers"));
    case NodeLogger:
        return Translate(QStringLiteral("logger"));
    case NodeNone:
        break;
    }
    return Translate(QStringLiteral("use right mouseclick on items"));
}

bool clsStructureEditor::CanEdit(const QString& nodeKey, const QString& rowKey, QString* message) const
{
    if (message)
        message->clear();
    switch (KindOf(nodeKey)) {
    case NodeLogger:
    case NodeNone:
        return false;
    case NodeCompartment:
        if (FindRoom(IdOf(nodeKey)) < 0)
            return false;
        if (rowKey.compare(kRoomId, Qt::CaseInsensitive) == 0 && RoomHasLoggers(IdOf(nodeKey))) {
            if (message)
                *message = Translate(QStringLiteral("compartment numbers can only be modified for empty compartments"));
            return false;
        }
        return true;
    case NodeSite:
        if (rowKey.compare(kLocationId, Qt::CaseInsensitive) == 0) {
            if (message)
                *message = Translate(QStringLiteral("the site number can't be modified after installation"));
            return false;
        }
        return true;
    }
    return false;
}

clsStructureEditor::EditResult clsStructureEditor::ApplyEdit(const QString& nodeKey, const QString& rowKey,
                                                             const QString& text, QString* message, QString* title,
                                                             QString* selectKey)
{
    QString dummyMessage, dummyTitle, dummyKey;
    if (!message) message = &dummyMessage;
    if (!title) title = &dummyTitle;
    if (!selectKey) selectKey = &dummyKey;
    title->clear();
    *selectKey = nodeKey;
    if (!CanEdit(nodeKey, rowKey, message))
        return EditRefused;
    double number = 0;

    if (KindOf(nodeKey) == NodeSite) {
        if (rowKey.compare(kReadBefore, Qt::CaseInsensitive) == 0) {
            const bool numeric = parseNumber(text, &number);
            const double whole = std::floor(number);
            if (!numeric || whole < kMinReadBefore || whole > kMaxReadBefore) {
                *message = labelOf(kReadBefore) + Translate(QStringLiteral(" must be between 5 and 168"));
                return EditRefused;
            }
            site.ReadBefore = int(whole);
        } else if (rowKey.compare(kLocationDescription, Qt::CaseInsensitive) == 0) {
            if (!descriptionAccepted(text, message, title))
                return EditRefused;
            site.LocationDescription = text;
        } else {
            return EditRefused;
        }
        m_dirty = true;
        return EditAccepted;
    }

    const qint64 roomId = IdOf(nodeKey);
    DbRow& room = rooms[size_t(FindRoom(roomId))];
    if (rowKey.compare(kRoomId, Qt::CaseInsensitive) == 0) {
        if (!parseNumber(text, &number)) {
            *message = Translate(QStringLiteral("compartment number must be numeric"));
            return EditRefused;
        }
        if (!isWhole(number) || number < 1 || number > kMaxRoomId) {
            *message = Translate(QStringLiteral("compartment numbers must be whole numbers from 1 to 999"));
            return EditRefused;
        }
        if (FindRoom(qint64(number)) >= 0) {
            *message = Translate(QStringLiteral("compartment numbers must be unique"));
            *title = Translate(QStringLiteral("duplicate compartment number"));
            return EditRefused;
        }
        room.set(kRoomId, DbValue(qint64(number)));
        *selectKey = RoomKey(qint64(number));
    } else if (rowKey.compare(kRoomDescription, Qt::CaseInsensitive) == 0) {
        if (!descriptionAccepted(text, message, title))
            return EditRefused;
        room.set(kRoomDescription, DbValue(text));
    } else if (rowKey.compare(kRoomSequence, Qt::CaseInsensitive) == 0) {
        if (!parseNumber(text, &number)) {
            *message = Translate(QStringLiteral("read sequence must be numeric"));
            return EditRefused;
        }
        if (!isWhole(number) || number < 0 || number > std::numeric_limits<qint16>::max()) {
            *message = Translate(QStringLiteral("read sequence must be a whole number from 0 to 32767"));
            return EditRefused;
        }
        room.set(kRoomSequence, DbValue(qint64(number)));
    } else {
        return EditRefused;
    }
    m_dirty = true;
    return EditAccepted;
}

qint64 clsStructureEditor::AddCompartment()
{
    qint64 id = rooms.empty() ? 1 : rooms.back().value(kRoomId).toInt() + 1;
    if (id < 1 || id > kMaxRoomId || FindRoom(id) >= 0) {
        // The last number is at the top of the range: take the lowest free number instead.
        for (id = 1; id <= kMaxRoomId && FindRoom(id) >= 0; ++id) {
        }
        if (id > kMaxRoomId)
            return -1;
    }
    DbRow row;
    row.add(kRoomId, DbValue(id));
    row.add(kRoomDescription, DbValue(Translate(QStringLiteral("new compartment"))));
    row.add(kRoomSequence, DbValue(qint64(rooms.size()) + 1));
    rooms.push_back(row);
    m_dirty = true;
    return id;
}

bool clsStructureEditor::CanDeleteCompartment(qint64 roomId) const
{
    return FindRoom(roomId) >= 0 && !RoomHasLoggers(roomId);
}

bool clsStructureEditor::DeleteCompartment(qint64 roomId)
{
    if (!CanDeleteCompartment(roomId))
        return false;
    rooms.erase(rooms.begin() + FindRoom(roomId));
    m_dirty = true;
    return true;
}

bool clsStructureEditor::DeleteLogger(qint64 deviceId)
{
    const int i = FindDevice(deviceId);
    if (i < 0)
        return false;
    devices.erase(devices.begin() + i);
    m_dirty = true;
    return true;
}

QByteArray clsStructureEditor::TablesFingerprint(clsDatabase& db, bool* ok)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    ResultList list;
    bool good = true;
    for (const char* sql : {"SELECT * FROM rooms ORDER BY RoomID", "SELECT * FROM devices ORDER BY DeviceID"}) {
        if (db.GetRecordsBySQL(list, QString::fromLatin1(sql), false) != 0) {
            good = false;
            break;
        }
        hash.addData(QByteArray(sql));
        for (const DbRow& row : list.rows) {
            for (int c = 0; c < row.size(); ++c) {
                const DbValue& v = row.at(c);
                hash.addData(QByteArray::number(int(v.kind())) + ':' + v.toString().toUtf8());
                hash.addData(QByteArray(1, '\x1f'));
            }
            hash.addData(QByteArray(1, '\x1e'));
        }
    }
    if (ok)
        *ok = good;
    return good ? hash.result() : QByteArray();
}

namespace {

std::vector<DbRow> storedRows(clsDatabase& db, const char* sql)
{
    ResultList list;
    if (db.GetRecordsBySQL(list, QString::fromLatin1(sql), false) != dbQueryOk)
        throw DbError(dbErrGeneral, db.LastError());
    return list.rows;
}

} // namespace

clsStructureEditor::SaveResult clsStructureEditor::Save(clsDatabase& db, QString* message)
{
    QString dummy;
    if (!message)
        message = &dummy;
    message->clear();
    try {
        clsDatabase::Transaction transaction(db);
        // Under the write lock: nobody can change the tables between this check and the commit.
        bool ok = false;
        const QByteArray now = TablesFingerprint(db, &ok);
        if (!ok || now != m_fingerprint) {
            transaction.rollback();
            *message = ok ? Translate(QStringLiteral("compartments or loggers were changed by another program since "
                                                     "this page was loaded; please reload the page (nothing was saved)"))
                          : db.LastError();
            return ok ? SaveChangedMeanwhile : SaveFailed;
        }
        db.SetParameter(QStringLiteral("LocationID"), DbValue(site.LocationID));
        db.SetParameter(QStringLiteral("LocationDescr"), DbValue(site.LocationDescription));
        db.SetParameter(QStringLiteral("ReadHoursBeforeOverflow"), DbValue(site.ReadBefore));
        ResultList list;
        const std::vector<DbRow> oldRooms = storedRows(db, "SELECT RoomID, RoomDescription FROM rooms");
        const std::vector<DbRow> oldDevices = storedRows(db, "SELECT DeviceID, SerialNo FROM devices");
        list.rows = rooms;
        db.PutRecords(list, QStringLiteral("rooms"));
        list.rows = devices;
        db.PutRecords(list, QStringLiteral("devices"));
        const qint32 samplesRemoved = db.DeleteDevicelessSamples();
        // The alarm logs and histograms of a removed logger position go with its samples.
        const qint32 missionsRemoved = DeleteDevicelessMissionEvidence(db);
        // The audit trail gets the change in the same transaction: every logger and compartment
        // removed, and one row for the saved structure.
        int removedDevices = 0, removedRooms = 0;
        for (const DbRow& d : oldDevices) {
            if (FindDevice(d.value(QStringLiteral("DeviceID")).toInt()) >= 0) continue;
            ++removedDevices;
            AppendAudit(db, AuditAction::LoggerDeleted,
                        QStringLiteral("logger %1 (%2)")
                            .arg(d.value(QStringLiteral("SerialNo")).toString())
                            .arg(d.value(QStringLiteral("DeviceID")).toInt()),
                        QString());
        }
        for (const DbRow& r : oldRooms) {
            if (FindRoom(r.value(QStringLiteral("RoomID")).toInt()) >= 0) continue;
            ++removedRooms;
            AppendAudit(db, AuditAction::CompartmentDeleted,
                        QStringLiteral("compartment %1 (%2)")
                            .arg(r.value(QStringLiteral("RoomDescription")).toString())
                            .arg(r.value(QStringLiteral("RoomID")).toInt()),
                        QString());
        }
        AppendAudit(db, AuditAction::StructureChanged, site.LocationDescription,
                    QStringLiteral("compartments=%1 loggers=%2 compartments_removed=%3 loggers_removed=%4 "
                                   "samples_removed=%5 missions_removed=%6")
                        .arg(rooms.size()).arg(devices.size()).arg(removedRooms).arg(removedDevices).arg(samplesRemoved)
                        .arg(missionsRemoved));
        transaction.commit();
    } catch (const DbError& e) {
        *message = QString::number(e.number) + QLatin1Char(':') + e.description;
        return SaveFailed;
    }
    App().LocationID = site.LocationID;
    App().LocationDescr = site.LocationDescription;
    App().ReadHoursBeforeOverflow = site.ReadBefore;
    m_fingerprint = TablesFingerprint(db);
    m_dirty = false;
    return SaveDone;
}
