// nordalis-cli program, run as the real program on a temporary application directory with the
// virtual bench: a mission started, samples kept when a logger is programmed anew, and refusals
// that leave the bench's state file as it was.
#include "app/modRegistry.h"

#include "support/CliProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

class ProgramCli : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString home() const { return dir.filePath("home"); }
    QString database() const { return dir.filePath("home/data/NORDALIS.MDE"); }
    QString stateFile() const { return dir.filePath("home/virtual-bus.json"); }

    CliRun run(const QStringList& args) { return RunCli(dir, args, true); }
    qint64 scalar(const char* text) { return SqliteScalar(database(), text); }
    QByteArray state()
    {
        QFile f(stateFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList programArgs(const QStringList& extra = {})
    {
        QStringList a{"program", "--room", "1", "--position", "3", "--description", "door left", "--rate", "1",
                      "--low", "2", "--high", "8"};
        return a + extra;
    }
};

} // namespace

TEST_F(ProgramCli, ProgramsKeepsSamplesAndRefusesBadInput)
{
    ASSERT_EQ(run({"init", "--site", "12"}).code, 0);
    ASSERT_EQ(run({"structure", "add-compartment", "--description", "freezer"}).code, 0);
    ASSERT_EQ(run({"sim", "add-cable"}).code, 0);
    const CliRun added = run({"sim", "add-logger"});
    ASSERT_EQ(added.code, 0) << added.err.toStdString();
    const QString rom = added.out.trimmed();

    CliRun r = run(programArgs({"--delay", "1590", "--rollover"}));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("old data cleared...\n"));
    EXPECT_TRUE(r.out.contains("all parameters written.\n"));
    EXPECT_TRUE(r.out.contains("running as 0000012.001.03, 1 min, start delay 1590 min")) << r.out.toStdString();
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM history WHERE Type = 1"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM audit WHERE Action = 'logger programmed' AND Subject LIKE '%(1200103)'"), 1);
    EXPECT_TRUE(run({"logger", "status"}).out.contains("mission running\tyes"));

    // Refused before the bus is touched: the bench's state stays byte for byte.
    const QByteArray before = state();
    ASSERT_FALSE(before.isEmpty());
    for (const QStringList& bad : {QStringList{"program", "--room", "1", "--position", "3", "--description", "x",
                                               "--rate", "1", "--low", "2", "--high", "warm"},
                                   QStringList{"program", "--room", "1", "--position", "100",
                                       "--description", "x", "--rate", "1", "--low", "2", "--high", "8"},
                                   programArgs({"--delay", "70000"}), programArgs({"--start", "tomorrow"}),
                                   programArgs({"--delay", "5", "--start", "2030-01-01 10:00"}),
                                   QStringList{"program", "--room", "9", "--position", "1", "--description", "x", "--rate",
                                               "1", "--low", "2", "--high", "8"}}) {
        const CliRun refused = run(bad);
        EXPECT_EQ(refused.code, 2) << bad.join(' ').toStdString();
        EXPECT_FALSE(refused.err.isEmpty());
        EXPECT_EQ(state(), before) << bad.join(' ').toStdString();
    }
    // A start the logger cannot wait for is refused, naming the latest possible start.
    const CliRun late = run(programArgs({"--start", QDate::currentDate().addDays(60).toString("yyyy-MM-dd") + " 10:00"}));
    EXPECT_EQ(late.code, 2);
    EXPECT_TRUE(late.err.contains("the start lies too far ahead; the latest possible start is ")) << late.err.toStdString();
    EXPECT_EQ(state(), before);
    // The description follows the one rule for stored texts; bytes that are no UTF-8 are refused.
    const QStringList globals = CliGlobalsFor(dir) + QStringList{"--bus", "virtual"};
    auto describe = [](const QByteArray& text) {
        return QList<QByteArray>{"program", "--room", "1", "--position", "3", "--description", text, "--rate", "1",
                                 "--low", "2", "--high", "8"};
    };
    for (const auto& [text, message] :
         {std::pair<QByteArray, QString>{"door \x1b[2J", "the description may not hold control characters"},
          std::pair<QByteArray, QString>{"door \xc2\x9b", "the description may not hold control characters"},
          std::pair<QByteArray, QString>{QByteArray(51, 'x'), "the description may be at most 50 characters long"},
          std::pair<QByteArray, QString>{"door \xff", "is not valid UTF-8 text"}}) {
        const CliRun refused = RunCliBytes(dir, globals, describe(text));
        EXPECT_EQ(refused.code, 2) << text.toStdString();
        EXPECT_TRUE(refused.err.contains(message)) << refused.err.toStdString();
        EXPECT_EQ(state(), before);
    }
    const CliRun badAlarm = run({"program", "--room", "1", "--position", "3", "--description", "x", "--rate", "1", "--low",
                                 "abc", "--high", "8"});
    EXPECT_EQ(badAlarm.code, 2);
    EXPECT_TRUE(badAlarm.err.contains("only numeric values allowed !")) << badAlarm.err.toStdString();

    // 300 samples later the logger is programmed anew: its samples go to a logger file first.
    ASSERT_EQ(run({"sim", "advance", "1590m"}).code, 0);   // the start delay
    ASSERT_EQ(run({"sim", "advance", "301m"}).code, 0);
    r = run(programArgs());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList files = QDir(dir.filePath("home/data")).entryList({"*.dta"});
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(r.out.contains(" samples saved in ")) << r.out.toStdString();
    const CliRun stored = run({"store", dir.filePath("home/data/" + files.first())});
    ASSERT_EQ(stored.code, 0) << stored.err.toStdString();
    const qint64 samples = scalar("SELECT COUNT(*) FROM samples WHERE DeviceID = 1200103");
    EXPECT_GE(samples, 300);
    EXPECT_LE(samples, 303);   // the bench's clock goes on with real time between the runs
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM history WHERE Type = 1"), 2);

    // No logger in the cable: nothing to program, non-zero exit.
    ASSERT_EQ(run({"sim", "remove", rom}).code, 0);
    r = run(programArgs());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("no logger")) << r.err.toStdString();
}
