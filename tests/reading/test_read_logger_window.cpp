// The read-logger window on the simulated bus: the poll's three bus states and its transitions
// (the reading dialog opens once on arrival and closes on removal), the import of the new
// logger file within the same poll, the due list's sorting and the window's settings.
#include "support/VirtualBenchFixture.h"
#include "support/Screenshots.h"

#include "app/WindowHooks.h"
#include "desktop/frmMainMenue.h"
#include "db/clsDatabase.h"
#include "image/LoggerCompanion.h"
#include "reading/clsBusPoll.h"
#include "reading/frmDownload.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QHeaderView>
#include <QGroupBox>
#include <QLabel>
#include <QStatusBar>
#include <QScreen>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

TEST(ReadingSortKey, DatesNumbersAndText)
{
    EXPECT_EQ(ListSortKey("05.12.2026 10:07:09"), "20261205100709");
    EXPECT_EQ(ListSortKey("2026-01-02 03:04"), "20260102030400");
    EXPECT_EQ(ListSortKey("17"), "B0000000017");
    EXPECT_EQ(ListSortKey("-3"), "A9999999996");
    EXPECT_LT(ListSortKey("-30"), ListSortKey("-3"));
    EXPECT_LT(ListSortKey("-3"), ListSortKey("0"));
    EXPECT_EQ(ListSortKey("freezer"), "freezer");
    // Numerically, not as text: 9 before 10.
    EXPECT_LT(ListSortKey("9"), ListSortKey("10"));
    // Chronologically, not as text: 31 December before 1 January of the next year.
    EXPECT_LT(ListSortKey("31.12.2025 23:00"), ListSortKey("01.01.2026 01:00"));
}

TEST_F(ReadingBench, PollStatesAndTransitions)
{
    clsBusPoll poll(AppLogger());
    clsBusPoll::Cycle c = poll.Poll();
    EXPECT_EQ(c.state, clsBusPoll::CableOnly);
    EXPECT_EQ(c.picture, clsBusPoll::PicNoLogger);
    EXPECT_TRUE(c.status.endsWith(" logger not connected"));
    EXPECT_FALSE(c.loggerMenu);
    EXPECT_FALSE(c.arrived || c.removed);

    VirtualDs1921* logger = addLogger();   // out of its box: not running
    c = poll.Poll();
    EXPECT_EQ(c.state, clsBusPoll::LoggerPresent);
    EXPECT_EQ(c.picture, clsBusPoll::PicNotRunning);
    EXPECT_TRUE(c.status.endsWith(" logger connected but NOT RUNNING !!!"));
    EXPECT_TRUE(c.arrived);
    EXPECT_TRUE(c.loggerMenu);
    c = poll.Poll();
    EXPECT_FALSE(c.arrived) << "a logger left in the cable arrives once";

    logger->setPresent(false);
    world->save();
    c = poll.Poll();
    EXPECT_EQ(c.state, clsBusPoll::CableOnly);
    EXPECT_TRUE(c.removed);

    // The cable pulled out with the logger in it: removal too.
    logger->setPresent(true);
    world->save();
    EXPECT_TRUE(poll.Poll().arrived);
    for (const auto& d : world->devices()) d->setPresent(false);
    world->save();
    c = poll.Poll();
    EXPECT_EQ(c.state, clsBusPoll::NoCable);
    EXPECT_TRUE(c.status.endsWith(" no cable found"));
    EXPECT_TRUE(c.removed);
    EXPECT_FALSE(poll.Connected());
}

TEST_F(ReadingBench, AReaderAdapterThatCannotBeUsedIsNamedWithItsRemedy)
{
    Ds2490Emulator& adapter = ConnectProgramThroughDs2490(world);
    adapter.setAttached(false);
    clsBusPoll poll(AppLogger());
    clsBusPoll::Cycle c = poll.Poll();
    EXPECT_EQ(c.state, clsBusPoll::NoCable);
    EXPECT_TRUE(c.status.contains(" no cable found — no USB 1-Wire adapter (DS2490) is attached: plug the USB reader in"))
        << c.status.toStdString();

    adapter.plugBackIn();
    c = poll.Poll();
    EXPECT_EQ(c.state, clsBusPoll::CableOnly) << "plugged in, the next poll finds the cable";
    EXPECT_TRUE(c.status.endsWith(" logger not connected"));

    adapter.unplugAfterTransfers(0);
    c = poll.Poll();
    EXPECT_EQ(c.state, clsBusPoll::NoCable);
    EXPECT_TRUE(c.status.contains("was unplugged: plug it in again")) << c.status.toStdString();
}

TEST_F(ReadingBench, ArrivalReadsOnceImportsAndRemovalCloses)
{
    VirtualDs1921* logger = runningLogger(30);
    frmDownloadMain w;
    w.timPollBus->stop();   // the test drives the cycles
    w.timPollBus_Timer();

    frmDownload* dlg = w.ReadingDialog();
    ASSERT_TRUE(dlg) << "the arriving logger opens the reading dialog";
    EXPECT_TRUE(dlg->HasRun());
    const QString file = dlg->Sequence().LoggerFile;
    ASSERT_FALSE(file.isEmpty());
    // The logger's own alarm log and histogram of the full reading.
    EXPECT_FALSE(dlg->fraAlarmLog->isHidden());
    EXPECT_FALSE(dlg->fraHistogram->isHidden());
    EXPECT_EQ(dlg->lblHistogramTotal->text(), "total: 30 samples");
    EXPECT_TRUE(dlg->lblHistogramNote->isHidden()) << "the data log holds every sample";
    EXPECT_EQ(w.SymbolPicture(), clsBusPoll::PicRunning);
    EXPECT_TRUE(w.mnuLogger->isEnabled());
    EXPECT_EQ(w.panelStatus->text(), "finished reading file(s)") << "the import follows the bus state";

    // Imported in the same cycle: in the database and in the backup folder.
    const qint32 id = LocRoomPosToDeviceID(12, 7, 3);
    EXPECT_EQ(count(QString("SELECT COUNT(*) FROM samples WHERE DeviceID = %1").arg(id)), 30);
    EXPECT_EQ(count(QString("SELECT COUNT(*) FROM devices WHERE DeviceID = %1 AND MissionRunning = 1").arg(id)), 1);
    EXPECT_TRUE(files(App().DataDirectory).isEmpty());
    EXPECT_EQ(files(App().BackupDirectory), QStringList{QFileInfo(file).fileName()});
    EXPECT_TRUE(QFile::exists(CompanionPathFor(QDir(App().BackupDirectory).filePath(QFileInfo(file).fileName()))));
    EXPECT_EQ(w.lvwKnownDevices->topLevelItemCount(), 1) << "the due list shows the logger just read";
    EXPECT_EQ(w.lvwKnownDevices->currentItem(), w.lvwKnownDevices->topLevelItem(0)) << "its row is selected";

    // Later polls with the logger still in the cable read nothing.
    w.timPollBus_Timer();
    w.timPollBus_Timer();
    EXPECT_EQ(w.ReadingDialog(), dlg);
    EXPECT_EQ(files(App().BackupDirectory).size(), 1);

    logger->setPresent(false);
    world->save();
    w.timPollBus_Timer();
    EXPECT_FALSE(w.ReadingDialog()) << "removal closes the dialog";
    EXPECT_EQ(w.SymbolPicture(), 0);
    EXPECT_TRUE(w.panelSymbol->pixmap().isNull());
    EXPECT_FALSE(w.mnuLogger->isEnabled());
    EXPECT_TRUE(w.panelStatus->text().endsWith(" logger not connected"));
}

TEST_F(ReadingBench, NoAutomaticReadingWhenUnticked)
{
    AppDatabase().SetParameter("DownloadAutoDownload", QString("False"));
    runningLogger(3);
    frmDownloadMain w;
    w.timPollBus->stop();
    EXPECT_FALSE(w.mnuExtras1[1]->isChecked());
    w.timPollBus_Timer();
    EXPECT_FALSE(w.ReadingDialog());
    EXPECT_TRUE(files(App().DataDirectory).isEmpty());
    EXPECT_TRUE(files(App().BackupDirectory).isEmpty());
    w.timPollBus->stop();
}

TEST_F(ReadingBench, DueListSortingAndSettings)
{
    // Three running loggers in compartments 7 and 2, due in 5, 100 and -3 hours.
    const QDateTime now = NowLocal();
    auto add = [&](qint32 id, const char* desc, int hours) {
        db->ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, DateRead, NextReading, MissionRunning) "
                       "VALUES (?, ?, ?, ?, ?, 1)",
                       {DbValue(id), DbValue(QString::number(id)), DbValue(QString(desc)), DbValue(now.addDays(-3)),
                        DbValue(now.addSecs(qint64(hours) * 3600 + 60))});
    };
    add(LocRoomPosToDeviceID(12, 7, 1), "door", 5);
    add(LocRoomPosToDeviceID(12, 7, 2), "back", 100);
    add(LocRoomPosToDeviceID(12, 2, 10), "shelf", -3);
    AppDatabase().SetParameter("DownloadListFontsize", QString("2"));

    frmDownloadMain w;
    w.timPollBus->stop();
    QTreeWidget* list = w.lvwKnownDevices;
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_TRUE(w.mnuExtras2[2]->isChecked());
    EXPECT_FALSE(w.mnuExtras2[0]->isChecked());
    EXPECT_EQ(list->font().pointSize(), 12);
    // Display order: compartment number first, the hidden sort column last.
    EXPECT_EQ(list->header()->logicalIndex(0), 3);
    EXPECT_EQ(list->header()->logicalIndex(9), 9);
    EXPECT_TRUE(list->isColumnHidden(9));

    auto column = [&](int c) {
        QStringList v;
        for (int r = 0; r < list->topLevelItemCount(); ++r) v << list->topLevelItem(r)->text(c);
        return v;
    };
    // Position numbers 1, 2, 10: numerically, not as text.
    w.lvwKnownDevices_ColumnClick(5);
    EXPECT_EQ(column(5), (QStringList{"1", "2", "10"}));
    EXPECT_TRUE(list->headerItem()->text(5).endsWith(" >"));
    w.lvwKnownDevices_ColumnClick(5);
    EXPECT_EQ(column(5), (QStringList{"10", "2", "1"}));
    EXPECT_TRUE(list->headerItem()->text(5).endsWith(" <"));
    // Another column: the old mark is cleared.
    w.lvwKnownDevices_ColumnClick(7);
    EXPECT_TRUE(list->headerItem()->text(5).endsWith("  "));
    EXPECT_TRUE(list->headerItem()->text(7).endsWith(" >"));
    // Hours remaining -3, 5, 100: negatives first.
    EXPECT_EQ(column(4), (QStringList{"shelf", "door", "back"}));

    // Only loggers due: the one 100 hours away goes.
    w.mnuExtras1[2]->setChecked(true);
    w.mnuExtras1_Click(2);
    EXPECT_EQ(list->topLevelItemCount(), 2);

    w.mnuExtras2_Click(1);
    w.mnuExtras1[1]->setChecked(false);
    w.SaveSettings();
    EXPECT_EQ(AppDatabase().Parameter("DownloadOnlyNeedReading", ""), "True");
    EXPECT_EQ(AppDatabase().Parameter("DownloadAutoDownload", ""), "False");
    EXPECT_EQ(AppDatabase().Parameter("DownloadListFontsize", ""), "1");

    w.mnuExtras1[2]->setChecked(false);
    w.FillList();
    // A running logger in the cable, not read automatically: the symbol shows it running.
    w.mnuExtras1[1]->setChecked(false);
    runningLogger(2);
    w.resize(900, 300);
    w.show();
    w.timPollBus->stop();
    w.timPollBus_Timer();
    w.timPollBus->stop();
    EXPECT_EQ(w.SymbolPicture(), clsBusPoll::PicRunning);
    EXPECT_FALSE(w.ReadingDialog());
    EXPECT_EQ(list->topLevelItemCount(), 3);
    QDir().mkpath(NORDALIS_BINARY_DIR "/screenshots");
    w.grab().save(NORDALIS_BINARY_DIR "/screenshots/read-logger.png");
    w.hide();
}

TEST_F(ReadingBench, DueListColumnsAreTitledInWordsAndFitTheirTexts)
{
    const QDateTime now = NowLocal();
    db->ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, DateRead, NextReading, MissionRunning) "
                   "VALUES (?, '0000012345', 'Shelf by the door', ?, ?, 1)",
                   {DbValue(LocRoomPosToDeviceID(12, 7, 1)), DbValue(now.addDays(-3)), DbValue(now.addDays(20))});
    frmDownloadMain w;
    w.timPollBus->stop();
    QTreeWidget* list = w.lvwKnownDevices;
    ASSERT_EQ(list->topLevelItemCount(), 1);
    // Two numbers, two different titles; each with the three blanks the sort mark takes.
    EXPECT_EQ(list->headerItem()->text(3), "compartment #   ");
    EXPECT_EQ(list->headerItem()->text(5), "position #   ");
    QStringList titles;
    for (int c = 0; c < 9; ++c) titles << list->headerItem()->text(c).trimmed();
    EXPECT_EQ(titles.removeDuplicates(), 0) << titles.join(" | ").toStdString();

    // Every shown column, "last read" included, is as wide as its title with a sort mark and its
    // widest text: nothing is cut to "2…".
    w.lvwKnownDevices_ColumnClick(8);
    const QFontMetrics cells(list->font());
    const QFontMetrics header(list->header()->font());
    QTreeWidgetItem* row = list->topLevelItem(0);
    EXPECT_FALSE(row->text(8).isEmpty());
    for (int c = 0; c < 9; ++c) {
        SCOPED_TRACE(c);
        EXPECT_GE(list->columnWidth(c), header.horizontalAdvance(list->headerItem()->text(c)));
        EXPECT_GE(list->columnWidth(c), cells.horizontalAdvance(row->text(c)) + (c == 3 ? 16 : 0));
    }
    // The first column shown carries the running logger's round green mark, named in its tool tip.
    const QIcon mark = row->icon(3);
    ASSERT_FALSE(mark.isNull());
    const QImage picture = mark.pixmap(16, 16).toImage();
    const QColor centre = picture.pixelColor(picture.width() / 2, picture.height() / 2);
    EXPECT_GT(centre.green(), 2 * centre.red());
    EXPECT_EQ(picture.pixelColor(0, 0).alpha(), 0);   // round, not a square
    EXPECT_EQ(row->toolTip(3), "logger running");
    // A logger that is not due is written in the palette's own colour (dark palettes too).
    EXPECT_EQ(row->foreground(1).style(), Qt::NoBrush);
    // The window opens wide enough for all its columns, within a small screen.
    int needed = 0;
    for (int c = 0; c < 9; ++c) needed += list->columnWidth(c);
    // The job files: where they went is said in the status line.
    w.mnuExtras1_Click(3);
    EXPECT_EQ(w.statusBar()->currentMessage(), "1 job file(s) written to " + App().DataDirectory);
    EXPECT_TRUE(QFile::exists(QDir(App().DataDirectory).filePath("0000012345r.ndc")));
    {
        // In a dark palette the rows keep the palette's light text.
        DarkPaletteForTest dark;
        w.show();
        QApplication::processEvents();
        EXPECT_TRUE(w.grab().save(ScreenshotPath("read-logger-dark.png")));
        w.hide();
    }
    const QSize screen = w.screen()->availableGeometry().size();
    EXPECT_GE(w.width(), std::min(needed, screen.width() * 9 / 10));
    EXPECT_LE(w.width(), std::max(1366, screen.width()));
    EXPECT_LE(w.height(), 768);
}

TEST_F(ReadingBench, StopLoggerAsksThenReadsStoppedLogger)
{
    VirtualDs1921* logger = runningLogger(4);
    frmDownloadMain w;
    w.timPollBus->stop();
    AppDatabase().SetParameter("DownloadAutoDownload", QString("False"));
    answer = vbNo;
    AppLogger().DeviceFound("21");
    w.StopLogger();
    EXPECT_TRUE(logger->missionRunning()) << "No leaves the logger running";
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().prompt, "Really stop logger?");

    answer = vbYes;
    w.StopLogger();
    world->syncAll();
    EXPECT_FALSE(logger->missionRunning());
    ASSERT_TRUE(w.ReadingDialog());
    EXPECT_FALSE(w.ReadingDialog()->Sequence().MissionRunning);
    EXPECT_EQ(w.ReadingDialog()->Sequence().LastStatus, "...finished reading, logger NOT RUNNING !!");
    EXPECT_EQ(files(App().DataDirectory).size(), 1);
}

TEST_F(ReadingBench, AStopThatFailsIsToldAndOpensNoReadingDialog)
{
    VirtualDs1921* logger = runningLogger(4);
    frmDownloadMain w;
    w.timPollBus->stop();
    AppDatabase().SetParameter("DownloadAutoDownload", QString("False"));
    // The logger leaves the cable once the search has found it, before the stop reaches it.
    logger->leaveAfterBytes(1000000);
    const QString rom = AppLogger().DeviceFound("21");
    ASSERT_FALSE(rom.isEmpty());
    const int searchBytes = 1000000 - logger->leaveAfterBytesLeft();
    logger->leaveAfterBytes(searchBytes + 2);
    answer = vbYes;
    messages.clear();
    w.StopLogger();
    world->syncAll();
    EXPECT_TRUE(logger->missionRunning());
    EXPECT_FALSE(w.ReadingDialog());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].prompt, "Really stop logger?");
    EXPECT_EQ(messages[1].style & vbCritical, vbCritical);
    EXPECT_TRUE(messages[1].prompt.startsWith("logger " + rom + " could not be checked"))
        << messages[1].prompt.toStdString();
    EXPECT_TRUE(files(App().DataDirectory).isEmpty());
}

TEST_F(ReadingBench, MainMenuOpensReadLoggerWindowAndHookReopensDialog)
{
    runningLogger(3);
    InstallReadingWindows();
    frmMainMenue& m = MainMenu();
    ShowMainMenu();
    m.cmdMenue_Click(0);
    auto* w = qobject_cast<frmDownloadMain*>(m.workingWindow(0));
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), "NORDALIS READ LOGGER");
    EXPECT_TRUE(w->timPollBus->isActive());
    EXPECT_EQ(w->timPollBus->interval(), 1500);
    w->timPollBus->stop();

    // The programming window's link: the reading dialog of this window is opened anew.
    AppLogger().DeviceFound("21");
    ASSERT_TRUE(ReopenReadingDialog(w));
    ASSERT_TRUE(w->ReadingDialog());
    EXPECT_TRUE(w->ReadingDialog()->HasRun());
    EXPECT_EQ(files(App().DataDirectory).size(), 1);

    w->mnuExtras1[2]->setChecked(true);
    w->close();
    QApplication::processEvents();
    EXPECT_FALSE(w->timPollBus->isActive()) << "no polling behind the main menu";
    EXPECT_FALSE(w->ReadingDialog());
    EXPECT_TRUE(m.isVisible());
    EXPECT_EQ(AppDatabase().Parameter("DownloadOnlyNeedReading", ""), "True");
    SetWorkingWindowFactory(0, nullptr);
    SetReadingDialogHook(nullptr);
    delete w;
    m.hide();
}

// The operator opens READ LOGGER from the keyboard and closes it at once. The close request the
// window manager sends to the window that has the focus may still reach the main menu - while
// the button is being pressed, or queued while the window was being built - and must not end
// the program; closing the read-logger window itself only brings the menu back.
TEST_F(ReadingBench, KeyboardOpenAndImmediateCloseKeepTheProgram)
{
    runningLogger(3);
    InstallReadingWindows();
    frmMainMenue& m = MainMenu();
    ShowMainMenu();
    int quits = 0;
    const QMetaObject::Connection watch =
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&quits] { ++quits; });

    m.cmdMenue[0]->animateClick();   // what the label's mnemonic does
    QCloseEvent early;
    QApplication::sendEvent(&m, &early);
    EXPECT_FALSE(early.isAccepted()) << "a close while the button is pressed";
    QDeadlineTimer deadline(10000);
    while (!(m.workingWindow(0) && m.workingWindow(0)->isVisible()) && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    auto* w = qobject_cast<frmDownloadMain*>(m.workingWindow(0));
    ASSERT_TRUE(w);
    EXPECT_FALSE(m.isVisible());
    QCloseEvent late;
    QApplication::sendEvent(&m, &late);
    EXPECT_FALSE(late.isAccepted()) << "a close queued for the menu that the window replaced";

    // Closing the window inside the running event loop: the loop ends by our own request only.
    QEventLoop loop;
    QTimer::singleShot(0, w, [w] { w->close(); });
    QTimer::singleShot(200, &loop, [&loop] { loop.exit(7); });
    EXPECT_EQ(loop.exec(), 7);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(m.isVisible());
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->timPollBus->isActive());

    QObject::disconnect(watch);
    SetWorkingWindowFactory(0, nullptr);
    SetReadingDialogHook(nullptr);
    delete w;
    m.hide();
}

// The window closed while one of its poll cycles shows a message (here: a damaged logger file
// set aside) polls no more afterwards.
TEST_F(ReadingBench, WindowClosedDuringAPollCyclePollsNoMore)
{
    frmDownloadMain w;
    w.show();
    ASSERT_TRUE(w.timPollBus->isActive());
    QDir().mkpath(App().DataDirectory);
    QFile bad(QDir(App().DataDirectory).filePath("0000000001 260301080000.dta"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a logger file");
    bad.close();
    int shown = 0;
    SetMessageHandler([&](const QString&, int, const QString&) {
        ++shown;
        w.close();   // the operator closes the window while the message is up
        return int(vbOK);
    });
    w.timPollBus_Timer();
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.timPollBus->isActive());
    SetMessageHandler([](const QString&, int, const QString&) { return int(vbOK); });
    MainMenu().hide();
}

TEST_F(ReadingBench, PollCyclesDuringAProgrammingLeaveItsLoggerAlone)
{
    VirtualDs1921* logger = runningLogger(30);
    frmDownloadMain w;
    w.timPollBus->stop();   // the test drives the cycles
    w.timPollBus_Timer();
    if (frmDownload* dlg = w.ReadingDialog()) dlg->close();

    // The window's pauses let the poll timer through: here a cycle comes at every progress text.
    clsMissionSettings s = openSettings();
    s.Description = "door right";
    clsProgrammingSequence seq(AppLogger(), AppDatabase());
    int cycles = 0;
    seq.ShowStatus = [&](const QString&, int) {
        ++cycles;
        w.timPollBus_Timer();
    };
    EXPECT_EQ(program(s, &seq), ProgrammingOutcome::Running) << seq.FailureMessage().toStdString();
    EXPECT_GT(cycles, 5);
    EXPECT_TRUE(logger->missionRunning());
    clsDS1921Data back;
    ASSERT_FALSE(back.DeviceFound("21").isEmpty());
    qint32 rc = -1;
    back.ReadImageFromLogger(true, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(back.DeviceDescription(), "door right");
}

TEST_F(ReadingBench, AFailedReadingStaysOnScreenWhenItsLoggerIsTakenAway)
{
    VirtualDs1921* logger = runningLogger(30);
    logger->corruptCrcOnPage(0x1000 / 32, -1);   // the data log never reads
    world->save();
    frmDownloadMain w;
    w.timPollBus->stop();
    w.timPollBus_Timer();
    QPointer<frmDownload> failed = w.ReadingDialog();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->Sequence().LastOutcome(), clsReadingSequence::ReadFailed);
    const QLabel* problem = failed->findChild<QLabel*>("lblProblem");
    ASSERT_TRUE(problem);
    EXPECT_FALSE(problem->isHidden());
    EXPECT_TRUE(problem->text().contains("the logger was not changed")) << problem->text().toStdString();
    QDir().mkpath(NORDALIS_BINARY_DIR "/screenshots");
    failed->grab().save(NORDALIS_BINARY_DIR "/screenshots/reading-dialog-failed.png");

    logger->setPresent(false);
    world->save();
    w.timPollBus_Timer();
    EXPECT_TRUE(failed) << "the failed reading's message stays for the operator";

    // Back, and read well: this dialog goes with its logger as before.
    logger->corruptCrcOnPage(-1, 0);
    logger->setPresent(true);
    world->save();
    w.timPollBus_Timer();
    QPointer<frmDownload> good = w.ReadingDialog();
    ASSERT_TRUE(good);
    EXPECT_FALSE(failed) << "the next arrival replaces it";
    EXPECT_EQ(good->Sequence().LastOutcome(), clsReadingSequence::Done);
    logger->setPresent(false);
    world->save();
    w.timPollBus_Timer();
    EXPECT_FALSE(good);
}
