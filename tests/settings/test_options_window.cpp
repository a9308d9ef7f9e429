#include "support/TestSite.h"

#include "onewire/OneWireLink.h"
#include "onewire/clsDallasBus.h"
#include "settings/CopyLoggerFilesHook.h"
#include "settings/InterfacePort.h"
#include "settings/clsMaintenance.h"
#include "settings/frmOptions.h"
#include "db/AuditTrail.h"
#include "db/MktParameter.h"
#include "settings/RemovableMedia.h"
#include "support/MountedVolumes.h"
#include "support/Screenshots.h"
#include "onewire/OneWireLink.h"
#include <QHeaderView>
#include <QScreen>
#include <QRegularExpression>
#include <QApplication>

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>

class OptionsWindow : public SiteDatabase {
protected:
    void SetUp() override
    {
        SiteDatabase::SetUp();
        answer = vbYes;
        App().DataDirectory = dir.path();
    }
    std::unique_ptr<frmOptions> open()
    {
        auto w = std::make_unique<frmOptions>(nullptr, db.get());
        w->OpenInShell = [this](const QString& p) { opened << p; return opensFine; };
        w->ShiftHeld = [] { return false; };
        return w;
    }
    QTreeWidgetItem* node(frmOptions& w, const QString& key)
    {
        for (QTreeWidgetItemIterator it(w.trvStructure); *it; ++it)
            if ((*it)->data(0, Qt::UserRole).toString() == key)
                return *it;
        return nullptr;
    }
    QStringList opened;
    bool opensFine = true;
};

TEST_F(OptionsWindow, StructureTabShowsTheSiteAndIsGrabbed)
{
    fillSite();
    auto w = open();
    w->resize(900, 520);
    w->show();
    EXPECT_EQ(w->windowTitle(), "NORDALIS SETTINGS");
    ASSERT_EQ(w->trvStructure->topLevelItemCount(), 1);
    QTreeWidgetItem* site = w->trvStructure->topLevelItem(0);
    EXPECT_EQ(site->text(0), "1234:cold store");
    ASSERT_EQ(site->childCount(), 2);
    EXPECT_EQ(site->child(0)->text(0), "1:freezer");
    EXPECT_EQ(site->child(0)->childCount(), 2);
    EXPECT_EQ(site->child(1)->child(0)->text(0), "1:shelf");
    for (int i = 0; i < site->childCount(); ++i)
        site->child(i)->setExpanded(true);
    w->SelectNode("DEV123400101");
    EXPECT_EQ(w->lvwDeviceProperties->topLevelItemCount(), 14);
    EXPECT_FALSE(w->lblDeviceComment->isHidden());
    EXPECT_EQ(w->lvwDeviceProperties->topLevelItem(0)->text(0), "1234.001.01");
    EXPECT_EQ(w->lvwDeviceProperties->headerItem()->text(0), "Value");
    EXPECT_FALSE(w->cmdSaveStructure->isEnabled());

    const QString shots = QStringLiteral(NORDALIS_BINARY_DIR) + "/screenshots";
    QDir().mkpath(shots);
    const QImage picture = w->grab().toImage();
    ASSERT_TRUE(picture.save(shots + "/settings_structure.png"));
    EXPECT_GT(picture.width(), 400);
}

TEST_F(OptionsWindow, EditsMenusAndTheExitQuestion)
{
    fillSite();
    auto w = open();
    w->show();
    // The site number can't be edited; the refusal is announced.
    w->SelectNode("LOC");
    EXPECT_FALSE(w->lvwDeviceProperties_BeforeLabelEdit(w->lvwDeviceProperties->topLevelItem(0)));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt, "the site number can't be modified after installation");
    // An edit through the list: read warning time refused, then accepted.
    QTreeWidgetItem* readBefore = w->lvwDeviceProperties->topLevelItem(2);
    ASSERT_TRUE(w->lvwDeviceProperties_BeforeLabelEdit(readBefore));
    readBefore->setText(0, "169");
    EXPECT_EQ(messages.back().prompt, "read warning time must be between 5 and 168");
    EXPECT_EQ(w->lvwDeviceProperties->topLevelItem(2)->text(0), "48");
    EXPECT_FALSE(w->cmdSaveStructure->isEnabled());
    readBefore = w->lvwDeviceProperties->topLevelItem(2);
    ASSERT_TRUE(w->lvwDeviceProperties_BeforeLabelEdit(readBefore));
    readBefore->setText(0, "72");
    EXPECT_TRUE(w->cmdSaveStructure->isEnabled());

    // Compartment menu: deleting is offered only for an empty compartment.
    w->mnuLocAddCompartment->trigger();
    EXPECT_EQ(w->SelectedKey(), "COM3");
    w->trvStructure_MouseUp(w->trvStructure->visualItemRect(node(*w, "COM1")).center());
    EXPECT_FALSE(w->mnuCompDelete->isEnabled());
    w->mnuComp->hide();

    // Exit with unsaved changes: "no" keeps the window, "yes" closes it.
    answer = vbNo;
    w->close();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(messages.back().prompt, "exit without saving changes?");
    EXPECT_EQ(messages.back().title, "changes not saved");
    w->cmdSaveStructure->click();
    EXPECT_EQ(db->Parameter("ReadHoursBeforeOverflow", ""), "72");
    EXPECT_EQ(count("SELECT count(*) FROM rooms"), 3);
    const size_t before = messages.size();
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(messages.size(), before);   // nothing unsaved: no question
}

TEST_F(OptionsWindow, DeletingALoggerAsksAndTheSaveRemovesItsSamples)
{
    fillSite();
    auto w = open();
    w->show();
    w->SelectNode("DEV123400102");
    answer = vbNo;
    w->mnuLogDelete->trigger();
    EXPECT_EQ(messages.back().prompt, "really delete all data belonging to device 2:door right?");
    EXPECT_NE(node(*w, "DEV123400102"), nullptr);
    answer = vbYes;
    w->mnuLogDelete->trigger();
    EXPECT_EQ(node(*w, "DEV123400102"), nullptr);
    EXPECT_EQ(count("SELECT count(*) FROM samples WHERE DeviceID = 123400102"), 10);   // not yet saved
    w->cmdSaveStructure->click();
    EXPECT_EQ(count("SELECT count(*) FROM samples WHERE DeviceID = 123400102"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 20);
}

TEST_F(OptionsWindow, DataDirectoryIsValidatedBeforeItCanBeApplied)
{
    auto w = open();
    w->tabOptions->setCurrentIndex(frmOptions::tabDirectories);
    EXPECT_EQ(w->txtDataDir->text(), dir.path());
    w->txtDataDir->setText(dir.path() + "/missing");
    EXPECT_FALSE(w->txtDataDir_Validate());
    EXPECT_EQ(messages.back().prompt, "Please enter a valid directory");
    EXPECT_EQ(messages.back().title, "Wrong data directory");
    EXPECT_FALSE(w->cmdSaveDirs->isEnabled());
    w->cmdSaveDirs_Click();
    EXPECT_EQ(db->Parameter("DataDirectory", "none"), "none");
    EXPECT_EQ(App().DataDirectory, dir.path());
    QDir(dir.path()).mkpath("incoming");
    w->txtDataDir->setText(dir.path() + "/incoming");
    EXPECT_TRUE(w->txtDataDir_Validate());
    w->cmdSaveDirs->click();
    EXPECT_EQ(db->Parameter("DataDirectory", "none"), dir.path() + "/incoming");
    EXPECT_EQ(App().DataDirectory, dir.path() + "/incoming");
    EXPECT_FALSE(w->cmdSaveDirs->isEnabled());
    w->cmdOpen->click();
    EXPECT_EQ(opened, QStringList{dir.path() + "/incoming"});
}

TEST_F(OptionsWindow, UnitButtonsSetAndStoreTheUnit)
{
    auto w = open();
    EXPECT_TRUE(w->optCelsius->isChecked());
    w->optFahrenheit->click();
    EXPECT_EQ(App().Units, 1);
    EXPECT_EQ(App().UnitLabel, QString(QChar(176)) + "F");
    AppDatabase().CloseDB();
    EXPECT_EQ(db->Parameter("Units", ""), "1");
    w->optCelsius->click();
    AppDatabase().CloseDB();
    EXPECT_EQ(db->Parameter("Units", ""), "0");
    EXPECT_EQ(App().Units, 0);
}

TEST_F(OptionsWindow, MaintenanceButtons)
{
    fillSite();
    auto w = open();
    EXPECT_EQ(w->dtpDeleteBefore->date(), NowLocal().date().addMonths(-6));
    w->cmdDatabase[0]->click();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().title, "copied database to backup directory");
    EXPECT_TRUE(messages.back().prompt.contains(QDir(dir.path()).filePath("backup/NORDALIS.MDE")));
    EXPECT_EQ(w->lblStatus->text(), "done.");
    EXPECT_EQ(CheckDatabaseFile(QDir(dir.path()).filePath("backup/NORDALIS.MDE")), "");

    // A date in the future is refused before anything is asked, as in the terminal.
    w->dtpDeleteBefore->setDate(NowLocal().date().addDays(1));
    const size_t shown = messages.size();
    w->cmdDatabase[5]->click();
    ASSERT_EQ(messages.size(), shown + 1);
    EXPECT_EQ(messages.back().prompt, "the date lies in the future; nothing was deleted");
    EXPECT_EQ(messages.back().title, "delete records");
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 30);

    // Refusing the question deletes nothing; answering yes deletes even every sample.
    w->dtpDeleteBefore->setDate(NowLocal().date());
    answer = vbNo;
    w->cmdDatabase[5]->click();
    EXPECT_EQ(messages.back().prompt, "really delete records ? This can't be undone");
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 30);
    answer = vbYes;
    w->cmdDatabase[5]->click();
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 0);
    EXPECT_EQ(w->lblStatus->text(), "done.");

    // The file written is named beside the status.
    EXPECT_FALSE(w->lblWritten->isHidden());
    EXPECT_EQ(w->lblWritten->text(), "written: " + QDir(dir.path()).filePath("NORDALIS.MDE"));

    // A medium that is not mounted is refused before the database is touched.
    const QString media = QDir(dir.path()).filePath("media");
    QDir(dir.path()).rmdir("media");
    SetRemovableMediaDirectory(media);
    MountedVolumesForTest mounted;
    w->cmdDatabase[3]->click();
    EXPECT_TRUE(messages.back().prompt.startsWith("no removable media is mounted at " + media));
    EXPECT_EQ(w->lblStatus->text(), messages.back().prompt);
    EXPECT_FALSE(QFileInfo::exists(media));

    // A failure is shown and named in the status line: the medium is mounted, but a folder
    // stands where the portable database would go.
    QDir().mkpath(media + "/NORD.MDE/in the way");
    mounted.set({media});
    w->cmdDatabase[3]->click();
    QDir(media + "/NORD.MDE").removeRecursively();
    EXPECT_EQ(messages.back().title, "Error");
    EXPECT_EQ(messages.back().style & vbCritical, vbCritical);
    EXPECT_EQ(w->lblStatus->text(), "error occurred");
    EXPECT_TRUE(w->lblWritten->isHidden());
    w->cmdDatabase[3]->click();
    EXPECT_EQ(w->lblStatus->text(), "done.");
    EXPECT_EQ(w->lblWritten->text(), "written: " + media + "/NORD.MDE");
}

TEST_F(OptionsWindow, LoggerFileButtonsHandTheCopyDialogItsFolders)
{
    const QString stick = QDir(dir.path()).filePath("stick");
    QDir().mkpath(stick);
    MountedVolumesForTest mounted({stick});
    SetRemovableMediaDirectory(stick);
    std::vector<CopyLoggerFilesRequest> requests;
    SetCopyLoggerFilesHook([&](const CopyLoggerFilesRequest& r) { requests.push_back(r); });
    auto w = open();
    for (int i = 0; i < 3; ++i)
        w->cmdCopyLoggerfiles[i]->click();
    SetCopyLoggerFilesHook(nullptr);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].source, App().BackupDirectory);
    EXPECT_EQ(requests[0].destination, stick + "/NORDALIS backup");
    EXPECT_EQ(requests[0].caption, "copy logger files to floppy disk");
    EXPECT_EQ(requests[1].source, stick + "/NORDALIS backup");
    EXPECT_EQ(requests[1].destination, App().DataDirectory);
    EXPECT_EQ(requests[1].status, "copy from floppy disk...");
    EXPECT_EQ(requests[2].destination, "");
    EXPECT_EQ(requests[2].caption, "delete logger files");
}

namespace {
// An adapter that answers (or not) and has nothing on its bus.
class SilentLink : public OneWireLink {
public:
    explicit SilentLink(bool answers) : m_answers(answers) {}
    bool open() override { return m_open = m_answers; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    bool reset() override { return false; }
    int touchBit(int) override { return 1; }
    int touchByte(uint8_t) override { return 0xFF; }
    int block(uint8_t* b, int len) override { std::fill(b, b + len, 0xFF); return len; }
    QString version() const override { return "test adapter"; }
private:
    bool m_answers;
    bool m_open = false;
};
} // namespace

TEST_F(OptionsWindow, ChoosingAPortWritesItAndReportsTheResult)
{
    SetLinkFactoryForTesting([](int port, int) { return std::make_unique<SilentLink>(port == 3); });
    CreateRegistryKey(kTmexKey);
    WriteRegistryValue(kTmexKey, "PortDevice7", "/dev/ttyUSB0");
    clsDallasBus bus;
    int result = 99;
    const QString none = SelectInterfacePort(7, &result, &bus);
    EXPECT_EQ(ReadRegistry(kTmexKey, "DefaultPortNum", "").toString(), "7");
    EXPECT_NE(result, 0);
    EXPECT_EQ(none, "No interface found on COM-Port:7 (" + QString::number(result) + ")");
    EXPECT_EQ(bus.intPortNum, 7);
    const QString found = SelectInterfacePort(3, &result, &bus);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(found, "Found adapter on COM-Port 3");
    EXPECT_EQ(bus.SessionUsers(), 0);
    EXPECT_EQ(InterfacePortEntryText(7), "7  (/dev/ttyUSB0)");
    EXPECT_EQ(InterfacePortEntryText(2), "2  (/dev/ttyS1)");
    SetLinkFactoryForTesting(nullptr);
}

#include "desktop/frmMainMenue.h"

TEST_F(OptionsWindow, TheMainMenuOpensTheSettingsAndComesBackWhenTheyClose)
{
    InstallOptionsWindow();
    MainMenu().cmdMenue_Click(2);
    auto* w = qobject_cast<frmOptions*>(MainMenu().workingWindow(2));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(MainMenu().isVisible());
    w->close();
    EXPECT_TRUE(MainMenu().isVisible());
    MainMenu().hide();
}

TEST_F(OptionsWindow, PropertiesShowCaptionsAndOneYesNo)
{
    fillSite();
    auto w = open();
    w->show();
    // The captions come first and the database's column names are not shown.
    QHeaderView* header = w->lvwDeviceProperties->header();
    EXPECT_EQ(header->logicalIndex(0), 1);
    EXPECT_EQ(w->lvwDeviceProperties->headerItem()->text(1), "Property");
    EXPECT_TRUE(w->lvwDeviceProperties->isColumnHidden(2));
    auto shown = [&] {
        QStringList rows;
        for (int r = 0; r < w->lvwDeviceProperties->topLevelItemCount(); ++r) {
            QTreeWidgetItem* row = w->lvwDeviceProperties->topLevelItem(r);
            rows << row->text(1) + "=" + row->text(0);
        }
        return rows.join("; ");
    };
    w->SelectNode("LOC");
    EXPECT_EQ(shown(), "site #=1234; site description=cold store; read warning time=48");
    w->SelectNode("COM1");
    EXPECT_TRUE(shown().startsWith("compartment #=1; compartment description=freezer; read sequence="));
    w->SelectNode("DEV123400101");
    const QString logger = shown();
    EXPECT_TRUE(logger.contains("logger running=Yes")) << logger.toStdString();
    EXPECT_TRUE(logger.contains(QRegularExpression("rollover enabled=(Yes|No)"))) << logger.toStdString();
    EXPECT_FALSE(logger.contains("True")) << logger.toStdString();
    EXPECT_FALSE(logger.contains("False")) << logger.toStdString();
    EXPECT_FALSE(logger.contains("MissionRunning")) << logger.toStdString();

    // A running logger carries a round green mark, a stopped one a grey mark; no theme triangle.
    auto centre = [&](const char* key) {
        const QImage i = node(*w, key)->icon(0).pixmap(16, 16).toImage();
        return std::pair{i.pixelColor(8, 8), i.pixelColor(0, 0).alpha()};
    };
    const auto [running, runningCorner] = centre("DEV123400101");
    EXPECT_GT(running.green(), 2 * running.red());
    EXPECT_EQ(runningCorner, 0);
    db->ExecuteSQL("UPDATE devices SET MissionRunning = 0 WHERE DeviceID = 123400102");
    w->tabOptions_Click(frmOptions::tabStructure);
    const auto [stopped, stoppedCorner] = centre("DEV123400102");
    EXPECT_LT(std::abs(stopped.green() - stopped.red()), 20);   // grey
    EXPECT_EQ(stoppedCorner, 0);
    w->SelectNode("DEV123400102");
    EXPECT_TRUE(shown().contains("logger running=No"));
    for (int r = 0; r < w->lvwDeviceProperties->topLevelItemCount(); ++r)
        EXPECT_EQ(w->lvwDeviceProperties->topLevelItem(r)->foreground(0).style(), Qt::NoBrush);
    {
        DarkPaletteForTest dark;
        for (int i = 0; i < node(*w, "LOC")->childCount(); ++i) node(*w, "LOC")->child(i)->setExpanded(true);
        QApplication::processEvents();
        EXPECT_TRUE(w->grab().save(ScreenshotPath("settings-structure-dark.png")));
        w->tabOptions->setCurrentIndex(frmOptions::tabLoggerFiles);
        QApplication::processEvents();
        EXPECT_TRUE(w->grab().save(ScreenshotPath("settings-logger-files-dark.png")));
    }
}

TEST_F(OptionsWindow, EveryTabIsLaidOutWithLabelsBesideTheirFields)
{
    fillSite();
    auto w = open();
    w->show();
    QApplication::processEvents();
    // Fits a small screen.
    EXPECT_LE(w->width(), 1366);
    EXPECT_LE(w->height(), 768 - 40);
    EXPECT_GE(w->width(), 700);
    auto beside = [&](QWidget* label, QWidget* field) {
        const QRect l(label->mapTo(w.get(), QPoint()), label->size());
        const QRect f(field->mapTo(w.get(), QPoint()), field->size());
        EXPECT_LT(l.right(), f.left()) << label->objectName().toStdString();
        EXPECT_LT(std::abs(l.center().y() - f.center().y()), f.height()) << label->objectName().toStdString();
    };
    const QStringList names{"structure", "directories", "interface", "logger-files", "database"};
    for (int tab = 0; tab < w->tabOptions->count(); ++tab) {
        w->tabOptions->setCurrentIndex(tab);
        QApplication::processEvents();
        QWidget* page = w->tabOptions->widget(tab);
        // The page is used: its widgets reach down at least a third of it, and no field is
        // stretched over the whole width when it holds a short value.
        int bottom = 0;
        for (QWidget* child : page->findChildren<QWidget*>())
            if (child->isVisible() && child->parentWidget() == page)
                bottom = std::max(bottom, child->geometry().bottom());
        EXPECT_GT(bottom, page->height() / 3) << names[tab].toStdString();
        EXPECT_TRUE(w->grab().save(ScreenshotPath("settings-" + names[tab] + ".png")));
    }
    beside(w->findChild<QLabel*>("lblDataDir"), w->txtDataDir);
    beside(w->findChild<QLabel*>("lblPortNo"), w->cmbPortNo);
    beside(w->findChild<QLabel*>("lblMedia"), w->cmbRemovableMedia);
    beside(w->cmdDatabase[5], w->dtpDeleteBefore);
    EXPECT_LT(w->cmbPortNo->width(), w->width() / 2);
    EXPECT_LT(w->dtpDeleteBefore->width(), w->width() / 3);
}

TEST_F(OptionsWindow, TheInterfaceTabNamesTheBusInUse)
{
    SetBusOverride("virtual");
    {
        auto w = open();
        w->tabOptions->setCurrentIndex(frmOptions::tabInterface);
        EXPECT_EQ(w->lblBusInUse->text(), "virtual bus (simulated reader)");
        ASSERT_EQ(w->cmbPortNo->count(), kInterfacePortCount);
        EXPECT_EQ(w->cmbPortNo->itemText(0), "1  (virtual bus)");
        EXPECT_FALSE(w->cmbPortNo->currentText().contains("/dev/ttyS"));
    }
    SetBusOverride("serial");
    auto w = open();
    w->tabOptions->setCurrentIndex(frmOptions::tabInterface);
    EXPECT_TRUE(w->lblBusInUse->text().startsWith("serial port /dev/tty")) << w->lblBusInUse->text().toStdString();
    EXPECT_EQ(w->cmbPortNo->itemText(1), "2  (/dev/ttyS1)");
    SetBusOverride("");
}

TEST_F(OptionsWindow, TheRemovableMediaAreTheMountedVolumesOfNoSystemDisk)
{
    const QString stick = QDir(dir.path()).filePath("stick");
    const QString card = QDir(dir.path()).filePath("card");
    QDir().mkpath(stick);
    QDir().mkpath(card);
    MountedVolumesForTest mounted({stick, card});
    // Root, /boot/efi and the tmpfs are never offered.
    std::vector<QString> roots;
    for (const MediaVolume& v : RemovableVolumes()) roots.push_back(v.rootPath);
    EXPECT_EQ(roots, (std::vector<QString>{card, stick}));

    const QString floppy = QDir(dir.path()).filePath("floppy");
    SetRemovableMediaDirectory(floppy);
    std::vector<CopyLoggerFilesRequest> requests;
    SetCopyLoggerFilesHook([&](const CopyLoggerFilesRequest& r) { requests.push_back(r); });
    auto w = open();
    w->tabOptions->setCurrentIndex(frmOptions::tabLoggerFiles);
    // The setting that is not mounted shows as such; the copy buttons wait for a medium.
    ASSERT_EQ(w->cmbRemovableMedia->count(), 3);
    EXPECT_EQ(w->cmbRemovableMedia->currentText(), floppy + "  (not mounted)");
    EXPECT_EQ(w->cmbRemovableMedia->itemText(1), "CARD  (" + card + ")");
    EXPECT_FALSE(w->cmdCopyLoggerfiles[0]->isEnabled());
    EXPECT_TRUE(w->lblMediaState->text().startsWith("no removable media is mounted at " + floppy));
    // Called anyway (the terminal, a key press): refused with the reason, nothing created.
    w->cmdCopyLoggerfiles_Click(0);
    EXPECT_TRUE(requests.empty());
    EXPECT_TRUE(messages.back().prompt.startsWith("no removable media is mounted at " + floppy));
    EXPECT_FALSE(QFileInfo::exists(floppy));
    EXPECT_TRUE(w->grab().save(ScreenshotPath("settings-logger-files-no-media.png")));

    // Choosing the stick keeps it and enables the copy.
    w->cmbRemovableMedia->setCurrentIndex(2);
    w->cmbRemovableMedia_Click(2);
    EXPECT_EQ(RemovableMediaDirectory(), stick);
    EXPECT_EQ(w->lblStatus->text(), "removable media: " + stick);
    EXPECT_EQ(w->cmbRemovableMedia->count(), 2);
    EXPECT_TRUE(w->cmdCopyLoggerfiles[0]->isEnabled());
    EXPECT_EQ(w->lblMediaState->text(), "logger files are copied to " + stick + "/NORDALIS backup");
    w->cmdCopyLoggerfiles[0]->click();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].destination, stick + "/NORDALIS backup");
    SetCopyLoggerFilesHook(nullptr);

    // A volume that went away cannot be chosen: the setting stays.
    QString why;
    EXPECT_FALSE(ChooseRemovableMedia(floppy, &why));
    EXPECT_EQ(RemovableMediaDirectory(), stick);
    EXPECT_FALSE(why.isEmpty());
}

TEST_F(OptionsWindow, ValuesThatCannotBeAppliedSayWhyAndAFailedOpenIsTold)
{
    auto w = open();
    w->tabOptions->setCurrentIndex(frmOptions::tabDirectories);
    w->txtDataDir->setText(dir.path() + "/missing");
    EXPECT_FALSE(w->txtDataDir_Validate());
    EXPECT_FALSE(w->lblDataDirProblem->isHidden());
    EXPECT_TRUE(w->lblDataDirProblem->text().contains(dir.path() + "/missing"));
    EXPECT_EQ(App().DataDirectory, dir.path());
    // "Open" on a folder that is not there opens nothing.
    w->cmdOpen->click();
    EXPECT_TRUE(opened.isEmpty());
    w->txtDataDir->setText(dir.path());
    EXPECT_TRUE(w->txtDataDir_Validate());
    EXPECT_TRUE(w->lblDataDirProblem->isHidden());
    // No file manager could be started: said so.
    opensFine = false;
    const size_t before = messages.size();
    w->cmdOpen->click();
    ASSERT_EQ(messages.size(), before + 1);
    EXPECT_EQ(messages.back().prompt, "The file manager could not be started to show " + dir.path());
    w->cmdDatabase[1]->click();
    EXPECT_EQ(messages.back().prompt, "The file manager could not be started to show " + App().BackupDirectory);
    EXPECT_EQ(opened.size(), 2);
}

#include "image/clsDS1921Data.h"
#include "onewire/Ds2490Link.h"
#include "onewire/Tmex.h"
#include "simulator/Ds2490Emulator.h"
#include "simulator/VirtualBus.h"

TEST_F(OptionsWindow, TheInterfaceTabListsTheUsbAdapterChoosesItAndSaysWhyItIsNotFound)
{
    auto world = std::make_shared<VirtualWorld>(QDir(dir.path()).filePath("virtual-bus.json"));
    QString error;
    ASSERT_TRUE(world->addCable(nullptr, &error)) << error.toStdString();
    VirtualBus line(world);
    ASSERT_TRUE(line.open());
    Ds2490Emulator adapter(line, 1, 4);
    SetUsbAdaptersForTesting(std::vector<UsbAdapterInfo>{adapter.info()});
    SetUsbLinkFactory([&](int) -> std::unique_ptr<OneWireLink> { return std::make_unique<Ds2490Link>(adapter.transport()); });
    ASSERT_TRUE(CreateRegistryKey(kTmexKey));
    WriteRegistryValue(kTmexKey, "DefaultPortNum", "2");
    WriteRegistryValue(kTmexKey, "Driver", "serial");
    AppLogger().Bus().Reset();
    {
        auto w = open();
        w->show();
        w->tabOptions->setCurrentIndex(frmOptions::tabInterface);
        QApplication::processEvents();
        ASSERT_EQ(w->cmbPortNo->count(), kInterfacePortCount + 1);
        EXPECT_EQ(w->cmbPortNo->currentIndex(), 1);   // serial port 2, as stored
        EXPECT_EQ(w->cmbPortNo->itemText(kInterfacePortCount), "USB1 (DS2490 on bus 1 device 4)");
        EXPECT_EQ(w->lblUsbAdaptersFound->text(), "USB1 (DS2490 on bus 1 device 4)  /dev/bus/usb/001/004");

        w->cmbPortNo_Click(kInterfacePortCount);
        EXPECT_EQ(w->lblStatus->text(), "Found adapter on COM-Port USB1");
        EXPECT_EQ(ReadRegistry(kTmexKey, "DefaultPortNum", "").toString(), "1");
        EXPECT_EQ(ReadRegistry(kTmexKey, "Driver", "").toString(), "usb");
        EXPECT_EQ(w->cmbPortNo->currentIndex(), kInterfacePortCount);
        EXPECT_EQ(w->lblBusInUse->text(), "USB adapter USB1 (DS2490 on bus 1 device 4)");
        EXPECT_EQ(w->lblPortDeviceText->text(), "/dev/bus/usb/001/004  (USB1)");
        EXPECT_FALSE(adapter.requests().empty());
        QApplication::processEvents();
        // Laid out cleanly: the list beside its caption, not wider than half the window, every
        // text of the tab inside the page.
        QWidget* page = w->tabOptions->widget(frmOptions::tabInterface);
        const QLabel* caption = w->findChild<QLabel*>("lblPortNo");
        ASSERT_NE(caption, nullptr);
        EXPECT_LT(std::abs(caption->mapTo(page, QPoint(0, caption->height() / 2)).y() -
                           w->cmbPortNo->mapTo(page, QPoint(0, w->cmbPortNo->height() / 2)).y()),
                  w->cmbPortNo->height());
        EXPECT_LT(w->cmbPortNo->width(), w->width() / 2);
        EXPECT_GE(w->cmbPortNo->width(), w->cmbPortNo->fontMetrics().horizontalAdvance(w->cmbPortNo->currentText()));
        for (const QLabel* l : page->findChildren<QLabel*>()) {
            if (!l->isVisible()) continue;
            const QRect r(l->mapTo(page, QPoint(0, 0)), l->size());
            EXPECT_TRUE(page->rect().contains(r)) << l->objectName().toStdString();
            if (!l->wordWrap() && !l->text().contains('\n')) {
                EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text())) << l->objectName().toStdString();
            }
        }
        EXPECT_TRUE(w->grab().save(ScreenshotPath("settings-interface-usb.png")));

        // Pulled out: choosing it again beeps and says why and what to do; the choice is kept.
        adapter.setAttached(false);
        w->cmbPortNo_Click(kInterfacePortCount);
        const QString status = w->lblStatus->text();
        EXPECT_TRUE(status.startsWith("No interface found on COM-Port:USB1 (")) << status.toStdString();
        EXPECT_TRUE(status.endsWith("): no USB 1-Wire adapter (DS2490) is attached: plug the USB reader in, or choose "
                                    "another port in the settings (interface tab)"))
            << status.toStdString();
        // The whole text also stays in the tab, where it is not cut off.
        const QLabel* result = w->findChild<QLabel*>("lblPortResult");
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->text(), status);
        EXPECT_TRUE(result->isVisible());
        EXPECT_TRUE(result->wordWrap());
        EXPECT_EQ(ReadRegistry(kTmexKey, "Driver", "").toString(), "usb");
    }
    TmexShutdown();
    SetUsbLinkFactory({});
    SetUsbAdaptersForTesting(std::nullopt);
    WriteRegistryValue(kTmexKey, "Driver", "serial");
    AppLogger().Bus().Reset();
}

// The activation energy of the mean kinetic temperature: shown with its unit, a good value
// stored in table parameters, a bad one refused beside the field with the stored value kept.
TEST_F(OptionsWindow, ActivationEnergyFieldStoresGoodValuesAndRefusesOthers)
{
    auto w = open();
    w->show();
    EXPECT_EQ(w->txtMktActivation->text(), "10000");
    EXPECT_EQ(w->findChild<QLabel*>("lblMktUnit")->text(), "K");
    w->txtMktActivation->setText(" 8314.5 ");
    w->cmdSaveMkt_Click();
    EXPECT_EQ(db->Parameter(kMktActivationParameter, QString()), "8314.5");
    EXPECT_EQ(w->txtMktActivation->text(), "8314.5");
    EXPECT_TRUE(w->lblMktReason->isHidden());
    for (const char* bad : {"abc", "", "999", "100001", "-5", "1e9", "nan", "8314,5"}) {
        w->txtMktActivation->setText(bad);
        w->cmdSaveMkt_Click();
        EXPECT_FALSE(w->lblMktReason->isHidden()) << bad;
        EXPECT_TRUE(w->lblMktReason->text().contains("1000 to 100000")) << bad;
        EXPECT_EQ(db->Parameter(kMktActivationParameter, QString()), "8314.5") << bad;
        EXPECT_EQ(MktActivationK(*db), 8314.5);
    }
    // The bounds themselves are accepted; typing hides the old reason.
    for (const char* good : {"1000", "100000"}) {
        w->txtMktActivation->setText(good);
        w->cmdSaveMkt_Click();
        EXPECT_TRUE(w->lblMktReason->isHidden()) << good;
        EXPECT_EQ(MktActivationK(*db), QString(good).toDouble());
    }
    // Every stored value, and only those, is in the audit trail with what it replaced.
    QStringList changes;
    for (const AuditRow& r : AuditRows(*db))
        if (r.action == AuditAction::SettingChanged) changes << r.subject + " " + r.details;
    EXPECT_EQ(changes, QStringList({"MKTActivationK from=10000 K to=8314.5 K", "MKTActivationK from=8314.5 K to=1000 K",
                                    "MKTActivationK from=1000 K to=100000 K"}));
    EXPECT_TRUE(AuditChainProblems(*db).isEmpty());
    // A window opened later shows the stored value.
    auto again = open();
    EXPECT_EQ(again->txtMktActivation->text(), "100000");
    // The rules without the window: a database that cannot be opened is reported, not taken for
    // success.
    clsMktSetting setting;
    clsDatabase missing(dir.path() + "/no/such/folder");
    EXPECT_FALSE(setting.Apply(missing, "9000"));
    EXPECT_TRUE(setting.Reason.startsWith("not stored: ")) << setting.Reason.toStdString();
    EXPECT_TRUE(setting.Text.isEmpty());
}
