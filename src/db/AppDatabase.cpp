#include "app/modMain.h"
#include "db/clsDatabase.h"

// The one database object of the process; its directory is App().DatabaseDirectory, read when
// the file is first opened.
clsDatabase& AppDatabase()
{
    static clsDatabase database;
    return database;
}

void ResetAppDatabase()
{
    AppDatabase().CloseDB();
}

void SetUnits(int& code)
{
    if (code == 1) {
        App().UnitLabel = QString(QChar(176)) + "F";
    } else {
        App().UnitLabel = QString(QChar(176)) + "C";
        code = 0;
    }
    App().Units = code;
    StoreParameter(AppDatabase(), "Units", DbValue(code));
}
