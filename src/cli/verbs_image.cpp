// Terminal verbs for logger files: "dump FILE" shows a logger file decoded, "store FILE" stores
// it in the database (the file stays where it is).
#include "app/modMain.h"
#include "cli/Cli.h"
#include "db/AuditTrail.h"
#include "db/MissionEvidence.h"
#include "db/clsDatabase.h"
#include "image/LoggerCompanion.h"
#include "image/clsDS1921Data.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>

namespace {

const QString kDegC = QString(QChar(0xB0)) + QStringLiteral("C");

QString timeText(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("(none)");
}

QString tempText(float c)
{
    return std::isnan(c) ? QStringLiteral("(none)") : QString::number(double(c), 'f', 3) + QLatin1Char(' ') + kDegC;
}

QString yesNo(bool b) { return b ? QStringLiteral("yes") : QStringLiteral("no"); }

bool loadImage(CliContext& ctx, const QString& verb, clsDS1921Data& image, QString& path)
{
    if (ctx.args.size() != 1) {
        ctx.err << "nordalis-cli " << verb << ": usage: " << verb << " FILE\n";
        return false;
    }
    path = ctx.args.first();
    qint32 rc = 0;
    image.ReadLoggerImageFromFile(path, rc);
    if (rc != imgOk) {
        ctx.err << "nordalis-cli " << verb << ": " << image.LastError() << " (" << rc << ")\n";
        return false;
    }
    return true;
}

int runDump(CliContext& ctx)
{
    clsDS1921Data image;
    QString path;
    if (!loadImage(ctx, QStringLiteral("dump"), image, path)) return 1;
    QTextStream& o = ctx.out;
    const QStringList f = image.NvramFields();
    o << "file\t" << path << "\n";
    o << "file version\t" << image.intVersion << "\n";
    o << "record bytes\t" << image.NVRAMBytes().size() << "\n";
    o << "register bytes\t" << image.RegisterPages().size() << "\n";
    o << "data log bytes\t" << image.TemperaturePages().size() << "\n";
    o << "record version\t" << f.value(0) << "\n";
    o << "SerialNo\t" << image.SerialNo() << "\n";
    o << "DeviceDescription\t" << image.DeviceDescription() << "\n";
    bool idOk = false;
    const qint32 id = image.DeviceID(&idOk);
    o << "DeviceID\t" << (idOk ? QString::number(id) : QStringLiteral("(not a number)")) << "\n";
    o << "Location/Room/Position\t" << image.Location() << "/" << image.Room() << "/" << image.Position() << "\n";
    o << "LastReading (local)\t" << timeText(image.LastReading()) << "\n";
    o << "UserName\t" << image.UserName() << "\n";
    o << "InterfaceSerial\t" << image.InterfaceSerial() << "\n";
    o << "calibration marker\t" << f.value(7) << "\n";
    o << "logger ROM\t" << (f.size() > 8 ? f.value(8) : QStringLiteral("(version 1 record)")) << "\n";
    o << "logger clock (local)\t" << timeText(image.DateTime()) << "\n";
    o << "mission running\t" << yesNo(image.IsMissionRunning()) << "\n";
    o << "SampleRate\t" << image.SampleRate() << " min\n";
    o << "MissionStartDelay\t" << image.MissionStartDelay() << " min\n";
    o << "RollOver\t" << yesNo(image.RollOver()) << "\n";
    o << "MissionStart (local)\t" << timeText(image.MissionStart()) << "\n";
    o << "MissionEnd (local)\t" << timeText(image.MissionEnd()) << "\n";
    o << "NextReading (local)\t" << timeText(image.NextReading()) << "\n";
    o << "MissionSamples\t" << image.MissionSamples() << "\n";
    o << "DeviceSamples\t" << image.DeviceSamples() << "\n";
    o << "SamplesStored\t" << image.SamplesStored() << "\n";
    o << "AlarmLow\t" << tempText(image.AlarmLow()) << "\n";
    o << "AlarmHigh\t" << tempText(image.AlarmHigh()) << "\n";
    const QByteArray regs = image.RegisterPages();
    const int status = regs.size() > 0x14 ? static_cast<unsigned char>(regs[0x14]) : 0;
    o << "low alarm flag\t" << yesNo(status & 0x04) << "\n";
    o << "high alarm flag\t" << yesNo(status & 0x02) << "\n";
    if (image.SamplesStored() > 0) {
        o << "MinTemp\t" << tempText(image.MinTemp()) << "\n";
        o << "MaxTemp\t" << tempText(image.MaxTemp()) << "\n";
    }
    bool complete = true;
    const auto samples = image.TemperatureSamples(&complete);
    if (!complete)
        o << "samples\t(the data log holds fewer slots than the " << image.SamplesStored() << " samples stored)\n";
    else
        o << "samples\t" << samples.size() << "\n";
    for (const TemperatureSample& s : samples)
        o << s.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << " UTC\t"
          << QString::number(double(s.celsius), 'f', 3) << "\n";
    return 0;
}

qint64 countOf(clsDatabase& db, const QString& sql, qint64 key)
{
    ResultList r;
    if (db.GetRecordsBySQL(r, sql, false, {DbValue(key)}) != 0 || r.empty()) return -1;
    return r.rows.front().at(0).toInt();
}

int runStore(CliContext& ctx)
{
    clsDS1921Data image;
    QString path;
    if (!loadImage(ctx, QStringLiteral("store"), image, path)) return 1;
    clsDatabase& db = AppDatabase();
    const qint64 id = image.DeviceID();
    const QString samplesSql = QStringLiteral("SELECT COUNT(*) FROM samples WHERE DeviceID = ?");
    const QString deviceSql = QStringLiteral("SELECT COUNT(*) || ' ' || IFNULL(MAX(DateRead), '') FROM devices WHERE DeviceID = ?");
    const QString roomSql = QStringLiteral("SELECT COUNT(*) FROM rooms WHERE RoomID = ?");
    ResultList before;
    const qint64 samplesBefore = countOf(db, samplesSql, id);
    const qint64 roomBefore = countOf(db, roomSql, image.Room());
    if (samplesBefore < 0 || roomBefore < 0 || db.GetRecordsBySQL(before, deviceSql, false, {DbValue(id)}) != dbQueryOk) {
        ctx.err << "nordalis-cli store: " << db.LastError() << "\n"
                << "nordalis-cli store: nothing of " << path << " was stored\n";
        return 1;
    }
    ImageStoreResult stored = ImageStoreResult::Refused;
    QString refusal;
    CompanionState companionState = CompanionState::None;
    StoredMissionEvidence evidence;
    try {
        QFile file(path);
        const QString hash = file.open(QIODevice::ReadOnly) ? Sha256Hex(file.readAll()) : QString();
        // The alarm log and histogram of the companion beside the file, when it belongs to it.
        LoggerCompanion companion;
        QString why;
        companionState = ReadCompanionFor(path, hash, image, companion, &why);
        if (companionState == CompanionState::Refused)
            ctx.err << "nordalis-cli store: the alarm log and histogram beside the file are not stored: " << why << "\n";
        if (companionState == CompanionState::Belongs) evidence = MissionEvidenceOf(image, companion);
        stored = db.LoggerImageToDB(image, &refusal, QFileInfo(path).fileName(), hash,
                                    companionState == CompanionState::Belongs ? &evidence : nullptr);
    } catch (const DbError& e) {
        ctx.err << "nordalis-cli store: " << e.number << ":" << e.description << "\n"
                << "nordalis-cli store: nothing of " << path << " was stored\n";
        return 1;
    }
    if (stored == ImageStoreResult::Refused) {
        ctx.err << "nordalis-cli store: " << path << " was not stored: " << refusal << "\n";
        return 1;
    }
    ResultList after;
    const qint64 samplesAfter = countOf(db, samplesSql, id);
    if (samplesAfter < 0 || db.GetRecordsBySQL(after, deviceSql, false, {DbValue(id)}) != dbQueryOk) {
        ctx.out << "logger " << FormatDeviceID(qint32(id)) << " (" << image.SerialNo() << ") stored\n";
        ctx.err << "nordalis-cli store: what was added cannot be told: " << db.LastError() << "\n";
        return 0;
    }
    const QString devBefore = before.empty() ? QString() : before.rows.front().at(0).toString();
    const QString devAfter = after.empty() ? QString() : after.rows.front().at(0).toString();
    const char* deviceState = devBefore.startsWith(QLatin1Char('0')) ? "added"
                              : devBefore != devAfter             ? "updated"
                                                                  : "kept (the stored reading is as new or newer)";
    const qint64 added = samplesAfter - samplesBefore;
    const qint64 offered = image.MissionSamples() > 0 ? image.SamplesStored() : 0;
    ctx.out << "logger " << FormatDeviceID(qint32(id)) << " (" << image.SerialNo() << "): devices row " << deviceState << "\n";
    if (roomBefore == 0) ctx.out << "compartment " << image.Room() << " added\n";
    ctx.out << "samples added: " << added << " of " << offered << " (" << (offered - added) << " already stored)\n";
    if (companionState == CompanionState::Belongs && (evidence.AlarmLogRead || evidence.HistogramRead))
        ctx.out << "companion: alarm log and histogram of the mission started "
                << evidence.MissionStartUtc.toString(Qt::ISODate) << " (kept unless a later reading is stored)\n";
    return 0;
}

CliVerb verbDump("dump", "dump FILE", "show a logger file decoded: record, clock, mission, samples", &runDump);
CliVerb verbStore("store", "store FILE", "store a logger file in the database (the file is not moved)", &runStore);

} // namespace
