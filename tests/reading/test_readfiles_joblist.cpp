// Job files of the reading schedule: exact bytes, only running loggers, the due-only choice, an
// older job file replaced whole, and the terminal verb.
#include "test_readfiles_support.h"

#include "reading/JobFiles.h"

using namespace readfiles;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC); }

class ReadFilesJoblist : public LoggerFiles {
protected:
    void SetUp() override
    {
        LoggerFiles::SetUp();
        SetClockForTesting([] { return at(2026, 12, 7, 10, 30); });
        db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'freezer', 1), (2, 'cooler', 2)");
        addDevice(123400101, "0000000001", "door left", at(2026, 12, 8, 14, 5), true);     // 28 h away: due
        addDevice(123400102, "0000000002", "door right", at(2026, 12, 20, 9, 0), true);    // not due
        addDevice(123400201, "0000000003", "shelf", at(2026, 12, 8, 9, 0), false);         // stopped
    }
    void addDevice(qint32 id, const QString& serial, const QString& description, const QDateTime& next, bool running)
    {
        db->ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, NextReading, MissionRunning) "
                       "VALUES (?, ?, ?, ?, ?)",
                       {DbValue(id), DbValue(serial), DbValue(description), DbValue(next), DbValue(running)});
    }
    QByteArray bytesOf(const QString& name)
    {
        QFile f(data(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};

} // namespace

TEST_F(ReadFilesJoblist, OneFilePerRunningLoggerWithItsExactBytes)
{
    QString error;
    const QStringList written = GenerateJoblist(false, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(written, QStringList({data("0000000001r.ndc"), data("0000000002r.ndc")}));
    EXPECT_EQ(bytesOf("0000000001r.ndc"), QByteArray("due:26/12/08 14:05\r\ndes:Read 0000000001,freezer,door left"));
    EXPECT_EQ(bytesOf("0000000002r.ndc"), QByteArray("due:26/12/20 09:00\r\ndes:Read 0000000002,freezer,door right"));
    EXPECT_FALSE(QFile::exists(data("0000000003r.ndc")));   // a stopped logger writes no file
}

TEST_F(ReadFilesJoblist, DueOnlyWritesTheDueLoggersAndReplacesAnOlderFile)
{
    QDir().mkpath(data());
    QFile old(data("0000000001r.ndc"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("due:old old old old old old old old old old old old old old\r\ndes:old");
    old.close();

    const QStringList written = GenerateJoblist(true);
    EXPECT_EQ(written, QStringList({data("0000000001r.ndc")}));
    EXPECT_EQ(bytesOf("0000000001r.ndc"), QByteArray("due:26/12/08 14:05\r\ndes:Read 0000000001,freezer,door left"));
    EXPECT_FALSE(QFile::exists(data("0000000002r.ndc")));
}

TEST_F(ReadFilesJoblist, WindowsCharactersAndALoggerWithoutCompartment)
{
    ResultList rows;
    DbRow row;
    row.add("MissionRunning", DbValue(true));
    row.add("SerialNo", DbValue("0000000007"));
    row.add("DeviceDescription", DbValue(QString::fromUtf8("Kühlraum 4 °C")));
    row.add("NextReading", DbValue(at(2027, 1, 2, 3, 4)));
    rows.rows.push_back(row);
    const auto jobs = ComputeJoblist(rows, at(2026, 12, 7, 10, 30), 48, false);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].fileName, "0000000007r.ndc");
    EXPECT_EQ(jobs[0].bytes, QByteArray("due:27/01/02 03:04\r\ndes:Read 0000000007,,K\xFChlraum 4 \xB0" "C"));
}
