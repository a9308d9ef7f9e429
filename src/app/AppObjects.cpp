// The application-wide objects: the one database and the one live logger image, created on
// first use; and the unit setting, which is stored in the database at once.
#include "app/Landed.h"
#include "app/modMain.h"

#include <memory>

#ifdef NORDALIS_HAVE_DB
#include "db/clsDatabase.h"

namespace {
std::unique_ptr<clsDatabase>& database()
{
    static std::unique_ptr<clsDatabase> db;
    return db;
}
} // namespace

clsDatabase& AppDatabase()
{
    if (!database()) database() = std::make_unique<clsDatabase>(App().DatabaseDirectory);
    return *database();
}

void ResetAppDatabase()
{
    if (database()) database()->CloseDB();
    database().reset();
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
    AppDatabase().SetParameter("Units", DbValue(code));
}
#endif

#ifdef NORDALIS_HAVE_IMAGE
#include "image/clsDS1921Data.h"

clsDS1921Data& AppLogger()
{
    static clsDS1921Data logger;
    return logger;
}
#endif
