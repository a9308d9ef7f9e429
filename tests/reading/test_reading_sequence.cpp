// The reading of a connected logger on the simulated bus: the key figures and alarms, the logger
// file, the stamp written back into the logger - and a logger left untouched when its file
// cannot be written.
#include "support/VirtualBenchFixture.h"

#include "reading/clsReadingSequence.h"
#include "reading/frmDownload.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

TEST(ReadingFormats, TemperatureAndThousands)
{
    EXPECT_EQ(FormatTemperature(8.0), "8.0");
    EXPECT_EQ(FormatTemperature(-0.04), "0.0");
    EXPECT_EQ(FormatTemperature(-12.5), "-12.5");
    EXPECT_EQ(FormatThousands(0), "0");
    EXPECT_EQ(FormatThousands(1234567), "1,234,567");
    EXPECT_EQ(FormatThousands(999), "999");
}

TEST_F(ReadingBench, AlarmReadingWritesFileThenStampsLogger)
{
    VirtualDs1921* logger = runningLogger(25, 10.0);   // about 14 °C against a high alarm of 8
    App().InterfaceRomCode = AppLogger().DeviceFound("09");
    ASSERT_FALSE(AppLogger().DeviceFound("21").isEmpty());

    clsReadingSequence seq(AppLogger());
    int beeps = 0;
    QStringList statuses;
    seq.Beep = [&](int n) { beeps += n; };
    seq.Status = [&](const QString& t) { statuses << t; };
    ASSERT_EQ(seq.Run(), clsReadingSequence::Done) << seq.LastStatus.toStdString();

    EXPECT_EQ(seq.RomText, logger->romText());
    EXPECT_EQ(seq.Caption, FormatDeviceID(LocRoomPosToDeviceID(12, 7, 3)) + " \"door left\"");
    EXPECT_EQ(seq.Values[0], "8.0");
    EXPECT_EQ(seq.Values[1], "2.0");
    EXPECT_GT(seq.Values[2].toDouble(), 8.0);
    EXPECT_TRUE(seq.HighAlarm);
    EXPECT_FALSE(seq.LowAlarm);
    EXPECT_EQ(seq.Values[6], "25");
    EXPECT_EQ(seq.Values[4], "25");
    EXPECT_EQ(seq.Values[5].toInt(), 4) << "clock set from the PC: only the constant remains";
    EXPECT_EQ(beeps, 1 + 3) << "the stamp's beep and three for the alarm";
    EXPECT_TRUE(seq.MissionRunning);
    EXPECT_EQ(statuses.first(), "reading logger...");
    EXPECT_EQ(statuses.last(), "...finished reading, logger running");

    // The file: named by serial number and local stamp, holding the stamped image.
    const QString expected = clsDS1921Data::LoggerFilePath(App().DataDirectory, RomTextToSerialNo(logger->romText()), NowLocal());
    EXPECT_EQ(seq.LoggerFile, expected);
    clsDS1921Data file;
    qint32 rc = -1;
    file.ReadLoggerImageFromFile(seq.LoggerFile, rc);
    ASSERT_EQ(rc, imgOk) << file.LastError().toStdString();
    EXPECT_EQ(file.SamplesStored(), 25);
    EXPECT_EQ(file.UserName(), "Ann");
    EXPECT_EQ(file.InterfaceSerial(), RomTextToSerialNo(App().InterfaceRomCode));
    EXPECT_FALSE(file.InterfaceSerial().isEmpty());

    // The logger now carries the same stamp.
    clsDS1921Data reader;
    ASSERT_EQ(reader.DeviceFound("21"), logger->romText());
    reader.ReadImageFromLogger(true, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(reader.LastReading(), file.LastReading());
    EXPECT_EQ(reader.InterfaceSerial(), file.InterfaceSerial());
    EXPECT_EQ(reader.DeviceID(), LocRoomPosToDeviceID(12, 7, 3));
    EXPECT_TRUE(logger->missionRunning()) << "reading does not stop the mission";
}

TEST_F(ReadingBench, UnwritableFileLeavesLoggerUnchanged)
{
    VirtualDs1921* logger = runningLogger(5);
    // The data directory's place is taken by a file: no directory, no logger file.
    QFile blocker(App().DataDirectory);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AppLogger().DeviceFound("21");
    world->syncAll();
    std::vector<uint8_t> before;
    for (int a = 0; a < 0x200; ++a) before.push_back(logger->peek(a));

    clsReadingSequence seq(AppLogger());
    EXPECT_EQ(seq.Run(), clsReadingSequence::FileFailed);
    EXPECT_TRUE(seq.LoggerFile.isEmpty());
    EXPECT_TRUE(seq.LastStatus.contains("the logger was not changed")) << seq.LastStatus.toStdString();
    world->syncAll();
    for (int a = 0; a < 0x200; ++a) ASSERT_EQ(logger->peek(a), before[size_t(a)]) << "byte " << a << " of the record";
}

TEST_F(ReadingBench, NoLoggerAndStartDelay)
{
    // Nothing in the cable: nothing read, no message, no file.
    AppLogger().DeviceFound("21");
    clsReadingSequence none(AppLogger());
    QStringList statuses;
    none.Status = [&](const QString& t) { statuses << t; };
    EXPECT_EQ(none.Run(), clsReadingSequence::NoLogger);
    EXPECT_TRUE(statuses.isEmpty());
    EXPECT_TRUE(files(App().DataDirectory).isEmpty());

    // A mission waiting for its 90-minute start delay is saved and announces its start.
    runningLogger(0, 0.0, 90);
    AppLogger().DeviceFound("21");
    clsReadingSequence seq(AppLogger());
    ASSERT_EQ(seq.Run(), clsReadingSequence::Done) << seq.LastStatus.toStdString();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(seq.Values[i], "...");
    EXPECT_FALSE(seq.AlarmShown());
    EXPECT_TRUE(seq.LastStatus.startsWith("Recording will start at ")) << seq.LastStatus.toStdString();
    EXPECT_TRUE(seq.RecordingStart.isValid());
    EXPECT_EQ(files(App().DataDirectory).size(), 1);
}

TEST_F(ReadingBench, DialogShowsAlarmInRed)
{
    runningLogger(12, -6.0);   // about -2 °C against a low alarm of 2
    AppLogger().DeviceFound("21");
    frmDownload dlg;
    dlg.Form_Load();
    ASSERT_TRUE(dlg.HasRun());
    EXPECT_TRUE(dlg.lblAlarms->isVisibleTo(&dlg));
    EXPECT_EQ(dlg.lblValue[3]->palette().color(QPalette::Window), QColor(Qt::red));
    EXPECT_NE(dlg.lblValue[2]->palette().color(QPalette::Window), QColor(Qt::red));
    EXPECT_TRUE(dlg.cmdClose->isEnabled());
    EXPECT_TRUE(dlg.windowTitle().endsWith("\"door left\""));
    EXPECT_TRUE(dlg.fraDataDownloaded->title().endsWith(" (" + App().UnitLabel + ")"));
    QDir().mkpath(NORDALIS_BINARY_DIR "/screenshots");
    dlg.grab().save(NORDALIS_BINARY_DIR "/screenshots/reading-dialog.png");
}

TEST_F(ReadingBench, ReadFailureWritesNothingAndFirstLoggerIsRead)
{
    VirtualDs1921* first = runningLogger(6);
    VirtualDs1921* second = addLogger();
    AppLogger().DeviceFound("21");
    const auto& found = AppLogger().Bus().colDevices;
    QString firstRom;
    for (const auto& d : found)
        if (d->strROMText.endsWith("21")) {
            firstRom = d->strROMText;
            break;
        }
    ASSERT_TRUE(firstRom == first->romText() || firstRom == second->romText());
    VirtualDs1921* read = firstRom == first->romText() ? first : second;

    // The data log's pages fail their CRC every time: no file, no change to the logger.
    read->corruptCrcOnPage(0x1000 / 32, -1);
    world->save();
    world->syncAll();
    std::vector<uint8_t> before;
    for (int a = 0; a < 0x200; ++a) before.push_back(read->peek(a));
    clsReadingSequence seq(AppLogger());
    int beeps = 0;
    seq.Beep = [&](int n) { beeps += n; };
    EXPECT_EQ(seq.Run(), clsReadingSequence::ReadFailed);
    EXPECT_EQ(seq.RomText, firstRom) << "only the first logger of the search is read";
    EXPECT_NE(seq.ReadResult, imgOk);
    EXPECT_TRUE(seq.LastStatus.startsWith("couldn't read logger " + QString::number(seq.ReadResult) + ": "))
        << seq.LastStatus.toStdString();
    EXPECT_TRUE(seq.ErrorText.contains("samples could not be read")) << seq.ErrorText.toStdString();
    EXPECT_EQ(clsReadingSequence::ExitStatus(clsReadingSequence::ReadFailed), 3);
    EXPECT_EQ(beeps, 3);
    EXPECT_TRUE(files(App().DataDirectory).isEmpty());
    world->syncAll();
    for (int a = 0; a < 0x200; ++a) ASSERT_EQ(read->peek(a), before[size_t(a)]) << "byte " << a;
}

TEST_F(ReadingBench, AUsbReaderPulledOutInTheReadingNamesItselfAndNothingIsWrittenOrStamped)
{
    Ds2490Emulator& adapter = ConnectProgramThroughDs2490(world);
    VirtualDs1921* logger = runningLogger(200);
    world->syncAll();
    std::vector<uint8_t> before;
    for (int a = 0; a < 0x200; ++a) before.push_back(logger->peek(a));
    ASSERT_FALSE(AppLogger().DeviceFound("21").isEmpty());

    adapter.unplugAfterTransfers(60);   // within the data log
    clsReadingSequence seq(AppLogger());
    EXPECT_EQ(seq.Run(), clsReadingSequence::ReadFailed);
    EXPECT_TRUE(seq.ErrorText.contains("(DS2490 on bus 1 device 4 was unplugged: plug it in again and repeat; nothing more was written to the logger)"))
        << seq.ErrorText.toStdString();
    EXPECT_TRUE(seq.ErrorText.endsWith("; the logger was not changed - read it again"));
    EXPECT_TRUE(files(App().DataDirectory).isEmpty()) << "no logger file";
    world->syncAll();
    for (int a = 0; a < 0x200; ++a) ASSERT_EQ(logger->peek(a), before[size_t(a)]) << "byte " << a;

    adapter.plugBackIn();
    AppLogger().DeviceFound("21");
    clsReadingSequence again(AppLogger());
    EXPECT_EQ(again.Run(), clsReadingSequence::Done) << again.ErrorText.toStdString();
    EXPECT_EQ(files(App().DataDirectory).size(), 1);
}

TEST_F(ReadingBench, ALoggerWithoutRecordIsNeverGivenADefaultOne)
{
    VirtualDs1921* logger = runningLogger(5);
    ASSERT_FALSE(AppLogger().DeviceFound("21").isEmpty());
    qint32 rc = -1;
    AppLogger().ReadImageFromLogger(false, rc);
    ASSERT_EQ(rc, imgOk);
    const QString kept = QDir(dir.path()).filePath("kept.dta");
    AppLogger().WriteLoggerImageToFile(kept, rc);
    ASSERT_EQ(rc, imgOk);

    // The record's page is blank: read twice alike, it holds no packet.
    ASSERT_EQ(AppLogger().objDeviceFound->WriteRaw(0, ByteBuffer(32, 0xFF)), 0);
    const std::vector<uint8_t> blank = memory(logger);
    clsReadingSequence seq(AppLogger());
    EXPECT_EQ(seq.Run(), clsReadingSequence::NoRecord);
    EXPECT_EQ(clsReadingSequence::ExitStatus(clsReadingSequence::NoRecord), 4);
    EXPECT_EQ(memory(logger), blank) << "no default record written";
    EXPECT_TRUE(QFile::exists(seq.LoggerFile)) << "the samples are kept all the same";
    EXPECT_TRUE(seq.ErrorText.contains("holds no identity record")) << seq.ErrorText.toStdString();

    // With a logger file of its own in the backup folder, the record comes back from there.
    const QString serial = RomTextToSerialNo(logger->romText());
    const QString older = QDir(App().BackupDirectory).filePath(serial + " 261201080000.dta");
    ASSERT_TRUE(QFile::copy(kept, older));
    ASSERT_EQ(seq.Run(), clsReadingSequence::Done) << seq.ErrorText.toStdString();
    EXPECT_EQ(seq.RestoredFrom, older);
    clsDS1921Data back;
    ASSERT_FALSE(back.DeviceFound("21").isEmpty());
    back.ReadImageFromLogger(true, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(back.DeviceID(), LocRoomPosToDeviceID(12, 7, 3));
    EXPECT_EQ(back.DeviceDescription(), "door left");
}
