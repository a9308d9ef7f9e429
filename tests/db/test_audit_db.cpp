// Audit rows on a real database file: an append refused by another program's lock leaves
// nothing behind (no row, no open transaction), and the chain goes on afterwards.
#include "support/TestSite.h"

#include "db/AuditTrail.h"

TEST_F(TempDatabase, AnAuditRowRefusedByAnotherProgramsLockLeavesNothingAndTheChainGoesOn)
{
    ASSERT_EQ(AppendAudit(*db, "first", "s", "d"), 1);
    db->SetBusyTimeout(50);
    sqlite3* other = openRaw();
    ASSERT_EQ(sqlite3_exec(other, "BEGIN; SELECT count(*) FROM audit;", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_THROW(AppendAudit(*db, "second", "s", "d"), DbError);
    EXPECT_FALSE(db->InTransaction());
    EXPECT_FALSE(RecordAudit(*db, "second", "s", "d"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Error writing the audit trail");
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    EXPECT_EQ(scalar(other, "SELECT count(*) FROM audit"), 1);
    sqlite3_close(other);

    EXPECT_EQ(AppendAudit(*db, "second", "s", "d"), 2);
    EXPECT_TRUE(AuditChainProblems(*db).isEmpty());
    const std::vector<AuditRow> rows = AuditRows(*db);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].previous, rows[0].hash);
    EXPECT_EQ(rows[1].hash, AuditRowHash(2, rows[1].timeUtc, rows[1].op, rows[1].computer, "second", "s", "d", rows[0].hash));
}

TEST_F(TempDatabase, TheRowHashCoversEveryFieldAndTheirBoundaries)
{
    const QString base = AuditRowHash(1, "t", "o", "c", "a", "s", "d", AuditGenesisHash());
    EXPECT_EQ(base.size(), 64);
    EXPECT_NE(base, AuditRowHash(2, "t", "o", "c", "a", "s", "d", AuditGenesisHash()));
    EXPECT_NE(base, AuditRowHash(1, "t", "o", "c", "a", "s", "D", AuditGenesisHash()));
    EXPECT_NE(base, AuditRowHash(1, "t", "o", "c", "a", "sd", "", AuditGenesisHash()));   // a moved boundary
    EXPECT_NE(base, AuditRowHash(1, "t", "o", "c", "a", "s", "d", QString(64, '1')));
}
