#include "app/modMain.h"
#include "db/clsDatabase.h"

// The one database object of the process; its directory is App().DatabaseDirectory, read when
// the file is first opened.
clsDatabase& AppDatabase()
{
    static clsDatabase database;
    return database;
}
