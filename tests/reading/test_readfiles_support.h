#pragma once
// An application directory with a fresh database, data and backup folders, and logger files
// written as the reading dialog writes them, for the logger-file tests.
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "support/TestSite.h"
#include "support/LoggerImages.h"
#include "support/CliProcess.h"

#include <QDir>
#include <QProcess>

namespace readfiles {

class LoggerFiles : public TempDatabase {
protected:
    void SetUp() override
    {
        TempDatabase::SetUp();
        SetRegistryFile(QDir(dir.path()).filePath("registry.ini"));
        App().DatabaseDirectory = dir.path();
        App().DataDirectory = QDir(dir.path()).filePath("data");
        App().BackupDirectory = QDir(dir.path()).filePath("data/backup");
        App().UtcBias = 0;
        App().ReadHoursBeforeOverflow = 48;
        QDir().mkpath(App().BackupDirectory);
        ResetAppDatabase();
        raw = openRaw();
    }
    void TearDown() override
    {
        sqlite3_close(raw);
        ResetAppDatabase();
        TempDatabase::TearDown();
    }
    QString data(const QString& name = QString()) const { return QDir(App().DataDirectory).filePath(name); }
    QString backup(const QString& name = QString()) const { return QDir(App().BackupDirectory).filePath(name); }

    // A logger file of a 15-minute mission with `samples` samples at deviceId.
    QString writeLoggerFile(const QString& name, qint32 deviceId, const QString& serial, int samples = 20)
    {
        imagetest::Mission m;
        m.missionSamples = samples;
        m.deviceSamples = samples;
        m.clockUtc = m.startUtc.addSecs(qint64(samples) * 900 + 60);
        return writeLoggerFile(name, m, deviceId, serial);
    }
    // A logger file of the mission m at deviceId, read when the logger's clock showed m.clockUtc.
    QString writeLoggerFile(const QString& name, const imagetest::Mission& m, qint32 deviceId, const QString& serial)
    {
        using namespace imagetest;
        clsDS1921Data image;
        Load(image, StandardRecord(deviceId, "door", m.clockUtc, serial), Registers(m),
             Log([](int i) { return 80 + (i % 10); }));
        qint32 rc = -1;
        const QString path = data(name);
        image.WriteLoggerImageToFileFor(path, "5A0000000123AB21", rc);
        EXPECT_EQ(rc, imgOk);
        return path;
    }
    // A logger file of a full reading of the mission m, written with its companion holding
    // these alarm-log and histogram bytes (empty: not read), read at m.clockUtc.
    QString writeLoggerFileWithEvidence(const QString& name, const imagetest::Mission& m, qint32 deviceId,
                                        const QString& serial, const QByteArray& alarms, const QByteArray& histogram,
                                        const QString& folder = QString())
    {
        using namespace imagetest;
        clsDS1921Data image;
        Load(image, StandardRecord(deviceId, "door", m.clockUtc, serial), Registers(m),
             Log([](int i) { return 80 + (i % 10); }));
        image.SetEvidenceBytes(alarms, histogram, m.clockUtc);
        qint32 rc = -1;
        const QString path = QDir(folder.isEmpty() ? App().DataDirectory : folder).filePath(name);
        image.WriteLoggerImageToFileFor(path, "5A0000000123AB21", rc);
        EXPECT_EQ(rc, imgOk) << image.LastError().toStdString();
        return path;
    }
    qint64 count(const char* sql) { return scalar(raw, sql); }

    sqlite3* raw = nullptr;
};

} // namespace readfiles
