// The audit rows of the settings window's work: structure changes (loggers and compartments
// deleted), the maintenance runs, and a database made before the audit trail getting its
// tables on its first audit row. Real database files throughout.
#include "support/TestSite.h"

#include "db/AuditTrail.h"
#include "settings/clsMaintenance.h"
#include "settings/clsStructureEditor.h"

#include <QSysInfo>

class AuditSettings : public SiteDatabase {
protected:
    QStringList actions()
    {
        QStringList list;
        for (const AuditRow& r : AuditRows(*db)) list << r.action + " | " + r.subject + " | " + r.details;
        return list;
    }
};

TEST_F(AuditSettings, DeletedLoggersAndCompartmentsAreRecordedWithTheSavedStructure)
{
    App().CurrentUserName = "Ann";
    fillSite();
    db->ExecuteSQL("INSERT INTO rooms VALUES (3, 'empty', 3)");
    clsStructureEditor editor;
    ASSERT_TRUE(editor.GenerateData(*db));
    ASSERT_TRUE(editor.DeleteLogger(123400102));
    ASSERT_TRUE(editor.DeleteCompartment(3));
    QString message;
    ASSERT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveDone) << message.toStdString();

    EXPECT_EQ(actions(), QStringList({"logger deleted | logger 2100000102 (123400102) | ",
                                      "compartment deleted | compartment empty (3) | ",
                                      "structure changed | cold store | compartments=2 loggers=2 "
                                      "compartments_removed=1 loggers_removed=1 samples_removed=10 missions_removed=0"}));
    const std::vector<AuditRow> rows = AuditRows(*db);
    EXPECT_EQ(rows[0].op, "Ann");
    EXPECT_EQ(rows[0].computer, QSysInfo::machineHostName());
    EXPECT_TRUE(QDateTime::fromString(rows[0].timeUtc, Qt::ISODate).isValid()) << rows[0].timeUtc.toStdString();
    EXPECT_TRUE(rows[0].timeUtc.endsWith('Z'));
    EXPECT_TRUE(AuditChainProblems(*db).isEmpty());
}

TEST_F(AuditSettings, ASaveThatFailsLeavesNoAuditRow)
{
    fillSite();
    clsStructureEditor editor;
    ASSERT_TRUE(editor.GenerateData(*db));
    ASSERT_TRUE(editor.DeleteLogger(123400102));
    db->ExecuteSQL("UPDATE devices SET DeviceDescription = 'changed' WHERE DeviceID = 123400101");
    QString message;
    EXPECT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveChangedMeanwhile);
    EXPECT_TRUE(AuditRows(*db).empty());
}

TEST_F(AuditSettings, MaintenanceRunsAreRecordedAndThePortableCopyKeepsTheChain)
{
    fillSite();
    clsMaintenance maintenance(*db, dir.path(), QDir(dir.path()).filePath("backup"), QDir(dir.path()).filePath("media"));
    ASSERT_TRUE(maintenance.Backup()) << maintenance.ErrorText().toStdString();
    ASSERT_TRUE(maintenance.Reorganize(false)) << maintenance.ErrorText().toStdString();
    ASSERT_TRUE(maintenance.CreatePortable()) << maintenance.ErrorText().toStdString();
    const QStringList list = actions();
    ASSERT_EQ(list.size(), 3) << list.join('\n').toStdString();
    EXPECT_TRUE(list[0].startsWith("database backup | ")) << list[0].toStdString();
    EXPECT_TRUE(list[1].startsWith("database reorganized | "));
    EXPECT_TRUE(list[2].startsWith("portable database created | "));
    EXPECT_TRUE(AuditChainProblems(*db).isEmpty());

    // The backup copy holds the rows written before it, and their chain holds there too.
    clsDatabase copy(QDir(dir.path()).filePath("backup"));
    EXPECT_EQ(AuditRows(copy).size(), 0u);
    clsDatabase portable(QDir(dir.path()).filePath("media"));
    EXPECT_EQ(AuditRows(portable).size(), 2u);
    EXPECT_TRUE(AuditChainProblems(portable).isEmpty());
}

TEST_F(AuditSettings, ADatabaseWithoutTheAuditTablesGetsThemOnItsFirstRow)
{
    db->ExecuteSQL("DROP TABLE audit");
    db->ExecuteSQL("DROP TABLE audithead");
    db->ExecuteSQL("DROP TABLE readingfiles");
    EXPECT_TRUE(AuditRows(*db).empty());
    EXPECT_TRUE(AuditChainProblems(*db).isEmpty());
    EXPECT_EQ(AppendAudit(*db, "test", "subject", "details"), 1);
    EXPECT_EQ(AppendAudit(*db, "test", "subject", "details"), 2);
    EXPECT_EQ(count("SELECT count(*) FROM readingfiles"), 0);
    EXPECT_TRUE(AuditChainProblems(*db).isEmpty());
}
