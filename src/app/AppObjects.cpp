// The application-wide objects: the one database and the one live logger image, created on
// first use; and the unit setting, which is stored in the database at once.
#include "app/modMain.h"

#include "db/clsDatabase.h"

// AppDatabase() itself lives with the database layer; it reads App().DatabaseDirectory whenever
// it opens the file, so closing it is all a fresh start needs.
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

#include "image/clsDS1921Data.h"

clsDS1921Data& AppLogger()
{
    // Never destroyed: its bus session must not be ended at exit after the driver layer's own
    // objects are gone; every transfer releases its session when it returns.
    static clsDS1921Data* const logger = new clsDS1921Data;
    return *logger;
}
