#include "support/TestSite.h"

#include "settings/clsStructureEditor.h"

class Structure : public SiteDatabase {
protected:
    clsStructureEditor editor;
    QString message, title, select;

    clsStructureEditor::EditResult edit(const QString& node, const QString& row, const QString& text)
    {
        return editor.ApplyEdit(node, row, text, &message, &title, &select);
    }
};

TEST_F(Structure, EmptyRoomsGivesTheSiteAloneAndAddingStartsAtOne)
{
    ASSERT_TRUE(editor.GenerateData(*db));
    EXPECT_TRUE(editor.rooms.empty());
    EXPECT_EQ(editor.LocationText(), "1234:cold store");
    EXPECT_EQ(editor.ToolTipFor("LOC"), "site without compartments");
    EXPECT_EQ(editor.AddCompartment(), 1);
    EXPECT_EQ(editor.rooms[0]["RoomSequence"].toInt(), 1);
    EXPECT_EQ(editor.rooms[0]["RoomDescription"].toString(), "new compartment");
    EXPECT_EQ(editor.AddCompartment(), 2);
    EXPECT_EQ(editor.rooms[1]["RoomSequence"].toInt(), 2);
    EXPECT_TRUE(editor.IsDirty());
    ASSERT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveDone) << message.toStdString();
    EXPECT_EQ(count("SELECT count(*) FROM rooms WHERE RoomID IN (1, 2)"), 2);
    EXPECT_FALSE(editor.IsDirty());
}

TEST_F(Structure, NumbersOfCompartments)
{
    fillSite();
    db->ExecuteSQL("INSERT INTO rooms VALUES (5, 'empty one', 3)");
    ASSERT_TRUE(editor.GenerateData(*db));
    // Into another compartment's number: refused, the old number stays.
    EXPECT_EQ(edit("COM5", "RoomID", "2"), clsStructureEditor::EditRefused);
    EXPECT_EQ(message, "compartment numbers must be unique");
    EXPECT_EQ(title, "duplicate compartment number");
    EXPECT_GE(editor.FindRoom(5), 0);
    EXPECT_EQ(edit("COM5", "RoomID", "five"), clsStructureEditor::EditRefused);
    EXPECT_EQ(message, "compartment number must be numeric");
    EXPECT_EQ(edit("COM5", "RoomID", "1000"), clsStructureEditor::EditRefused);   // can't be part of an identifier
    EXPECT_FALSE(editor.IsDirty());
    EXPECT_EQ(edit("COM5", "RoomID", "7"), clsStructureEditor::EditAccepted);
    EXPECT_EQ(select, "COM7");
    EXPECT_LT(editor.FindRoom(5), 0);
    EXPECT_GE(editor.FindRoom(7), 0);

    // A compartment holding loggers: no renumbering, no deleting.
    EXPECT_FALSE(editor.CanEdit("COM1", "RoomID", &message));
    EXPECT_EQ(message, "compartment numbers can only be modified for empty compartments");
    EXPECT_EQ(edit("COM1", "RoomID", "9"), clsStructureEditor::EditRefused);
    EXPECT_FALSE(editor.CanDeleteCompartment(1));
    EXPECT_FALSE(editor.DeleteCompartment(1));
    EXPECT_TRUE(editor.CanEdit("COM1", "RoomDescription", &message));
    EXPECT_EQ(editor.ToolTipFor("COM1"), "compartment having loggers");
    EXPECT_EQ(editor.ToolTipFor("COM7"), "compartment without loggers");
    EXPECT_TRUE(editor.DeleteCompartment(7));

    EXPECT_EQ(edit("COM2", "RoomSequence", "x"), clsStructureEditor::EditRefused);
    EXPECT_EQ(message, "read sequence must be numeric");
    EXPECT_EQ(edit("COM2", "RoomSequence", "4"), clsStructureEditor::EditAccepted);
    EXPECT_EQ(edit("COM2", "RoomDescription", "cooler \"B\""), clsStructureEditor::EditAccepted);
    ASSERT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveDone) << message.toStdString();
    ResultList rooms;
    ASSERT_EQ(db->GetRecords(rooms, "rooms", "", "RoomID", false), dbQueryOk);
    ASSERT_EQ(rooms.size(), 2);
    EXPECT_EQ(rooms.rows[1]["RoomDescription"].toString(), "cooler \"B\"");
    EXPECT_EQ(rooms.rows[1]["RoomSequence"].toInt(), 4);
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 30);
}

TEST_F(Structure, SiteRules)
{
    ASSERT_TRUE(editor.GenerateData(*db));
    EXPECT_FALSE(editor.CanEdit("LOC", "LocationID", &message));
    EXPECT_EQ(message, "the site number can't be modified after installation");
    for (const char* bad : {"4", "169", "4.9", "", "many"}) {
        EXPECT_EQ(edit("LOC", "ReadBefore", bad), clsStructureEditor::EditRefused) << bad;
        EXPECT_EQ(message, "read warning time must be between 5 and 168");
    }
    EXPECT_EQ(editor.site.ReadBefore, 48);
    EXPECT_EQ(edit("LOC", "ReadBefore", "5"), clsStructureEditor::EditAccepted);
    EXPECT_EQ(editor.site.ReadBefore, 5);
    EXPECT_EQ(edit("LOC", "ReadBefore", "168"), clsStructureEditor::EditAccepted);
    EXPECT_EQ(edit("LOC", "LocationDescription", "north hall"), clsStructureEditor::EditAccepted);
    ASSERT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveDone);
    EXPECT_EQ(db->Parameter("ReadHoursBeforeOverflow", ""), "168");
    EXPECT_EQ(db->Parameter("LocationDescr", ""), "north hall");
    EXPECT_EQ(db->Parameter("LocationID", ""), "1234");
    EXPECT_EQ(App().ReadHoursBeforeOverflow, 168);
}

TEST_F(Structure, LoggersAreShownReadOnly)
{
    fillSite();
    addDevice(123400901, "no compartment row");
    ASSERT_TRUE(editor.GenerateData(*db));
    EXPECT_FALSE(editor.CanEdit("DEV123400101", "DeviceDescription", &message));
    EXPECT_EQ(edit("DEV123400101", "DeviceDescription", "x"), clsStructureEditor::EditRefused);
    EXPECT_FALSE(editor.DeviceIsShown(editor.devices[size_t(editor.FindDevice(123400901))]));
    EXPECT_TRUE(editor.DeviceIsShown(editor.devices[size_t(editor.FindDevice(123400201))]));
    EXPECT_EQ(clsStructureEditor::DeviceText(editor.devices[size_t(editor.FindDevice(123400102))]), "2:door right");
    EXPECT_EQ(clsStructureEditor::RoomText(editor.rooms[0]), "1:freezer");

    const auto rows = editor.Properties("DEV123400101");
    ASSERT_EQ(rows.size(), 14u);
    auto value = [&](const QString& key) {
        for (const auto& r : rows)
            if (r.key == key)
                return r.value;
        return QString("<none>");
    };
    EXPECT_EQ(value("DeviceID"), "1234.001.01");
    EXPECT_EQ(value("RollOver"), "Yes");
    EXPECT_EQ(value("AlarmHigh"), QString("8.5 ") + QChar(176) + "C");
    EXPECT_EQ(value("DateRead"), "2026-11-01 10:00:00");
    EXPECT_EQ(rows[1].label, "logger ID");
    EXPECT_EQ(rows[1].toolTip, "logger id number as printed on the plate");
    App().Units = 1;
    App().UnitLabel = QString(QChar(176)) + "F";
    EXPECT_EQ(editor.Properties("DEV123400101")[7].value, QString("47.3 ") + QChar(176) + "F");
    EXPECT_EQ(FormatDataSet(123402), "1.234.02");
}

TEST_F(Structure, DeletingALoggerTakesEffectOnlyWhenSavedAndRemovesItsRowAndSamplesOnly)
{
    fillSite();
    ASSERT_TRUE(editor.GenerateData(*db));
    ASSERT_TRUE(editor.DeleteLogger(123400102));
    ASSERT_TRUE(editor.GenerateData(*db));   // the tab is left and entered again: nothing happened
    EXPECT_FALSE(editor.IsDirty());
    EXPECT_GE(editor.FindDevice(123400102), 0);
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 30);
    EXPECT_EQ(count("SELECT count(*) FROM devices"), 3);

    ASSERT_TRUE(editor.DeleteLogger(123400102));
    ASSERT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveDone) << message.toStdString();
    EXPECT_EQ(count("SELECT count(*) FROM devices WHERE DeviceID = 123400102"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM samples WHERE DeviceID = 123400102"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM devices"), 2);
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 20);
    EXPECT_EQ(count("SELECT count(*) FROM rooms"), 2);
    // The remaining rows keep every value, dates included.
    ResultList d;
    ASSERT_EQ(db->GetRecords(d, "devices", "DeviceID = 123400101", "", false), dbQueryOk);
    EXPECT_EQ(d.rows[0]["DateRead"].toDateTime(), utc(2026, 11, 1, 10, 0));
    EXPECT_TRUE(d.rows[0]["MissionRunning"].toBool());
    EXPECT_EQ(d.rows[0]["User"].toString(), "Ann");
}

TEST_F(Structure, AChangeByAnotherProgramSinceLoadingIsNotOverwritten)
{
    fillSite();
    ASSERT_TRUE(editor.GenerateData(*db));
    ASSERT_TRUE(editor.DeleteLogger(123400102));
    // An import beside the window: a new logger with its samples.
    sqlite3* other = openRaw();
    ASSERT_EQ(sqlite3_exec(other, "INSERT INTO devices (DeviceID, SerialNo) VALUES (123400202, 'x'); "
                                  "INSERT INTO samples VALUES (123400202, 1000, 5.0)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    EXPECT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveChangedMeanwhile);
    EXPECT_TRUE(message.contains("reload"));
    EXPECT_FALSE(db->InTransaction());
    EXPECT_EQ(count("SELECT count(*) FROM devices"), 4);
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 31);
    // After reloading, the save goes through and keeps the imported logger.
    ASSERT_TRUE(editor.GenerateData(*db));
    ASSERT_TRUE(editor.DeleteLogger(123400102));
    ASSERT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveDone);
    EXPECT_EQ(count("SELECT count(*) FROM samples WHERE DeviceID = 123400202"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM devices"), 3);
}

TEST_F(Structure, DescriptionsFollowTheCommonTextRule)
{
    fillSite();
    ASSERT_TRUE(editor.GenerateData(*db));
    const QByteArray before = clsStructureEditor::TablesFingerprint(*db);
    struct Bad { QString text; const char* message; };
    const std::vector<Bad> bads{
        {"red \x1b[31m alarm", "the description may not hold control characters"},
        {QString("next") + QChar(0x85) + "line", "the description may not hold control characters"},
        {"tab\there", "the description may not hold control characters"},
        {QString(51, 'x'), "the description may be at most 50 characters long"},
        {QString(100000, 'x'), "the description may be at most 50 characters long"},
        {"", "the description may not be empty"},
        {"  ", "the description may not be empty"},
    };
    for (const Bad& b : bads) {
        for (const auto& [node, row] : {std::pair<QString, QString>{"COM1", "RoomDescription"},
                                        std::pair<QString, QString>{"LOC", "LocationDescription"}}) {
            title.clear();
            EXPECT_EQ(edit(node, row, b.text), clsStructureEditor::EditRefused) << row.toStdString();
            EXPECT_EQ(message, b.message) << row.toStdString();
            EXPECT_EQ(title, "wrong format");
        }
    }
    EXPECT_EQ(editor.rooms[size_t(editor.FindRoom(1))]["RoomDescription"].toString(), "freezer");
    EXPECT_EQ(editor.site.LocationDescription, "cold store");
    EXPECT_FALSE(editor.IsDirty());
    // Nothing of it reaches the database when the editor saves.
    ASSERT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveDone) << message.toStdString();
    EXPECT_EQ(clsStructureEditor::TablesFingerprint(*db), before);
    EXPECT_EQ(db->Parameter("LocationDescr", "unset"), "cold store");

    // Exactly 50 characters, letters of any language: accepted.
    const QString fifty = QString::fromUtf8("Kühlraum ") + QString(41, 'y');
    EXPECT_EQ(edit("COM1", "RoomDescription", fifty), clsStructureEditor::EditAccepted) << message.toStdString();
    ASSERT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveDone);
    ResultList r;
    ASSERT_EQ(db->GetRecordsBySQL(r, "SELECT RoomDescription FROM rooms WHERE RoomID = 1", false), dbQueryOk);
    EXPECT_EQ(r.rows.at(0).at(0).toString(), fifty);
}
