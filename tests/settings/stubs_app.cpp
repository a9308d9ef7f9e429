// Weak stand-ins for start-up routines that are not in the application module yet; the real
// ones take their place as soon as they exist.
#include "app/modMain.h"
#include "app/modInternationalisation.h"
#include "db/clsDatabase.h"

__attribute__((weak)) void SetUnits(int& code)
{
    App().Units = code == 1 ? 1 : 0;
    App().UnitLabel = QString(QChar(176)) + (App().Units == 1 ? "F" : "C");
    AppDatabase().SetParameter("Units", DbValue(App().Units));
}
__attribute__((weak)) void ShowHelp() {}
