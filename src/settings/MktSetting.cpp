#include "settings/MktSetting.h"
#include "app/modInternationalisation.h"
#include "db/MktParameter.h"
#include "db/clsDatabase.h"

void clsMktSetting::Load(clsDatabase& db)
{
    Text = QString::number(MktActivationK(db), 'g', 10);
    Reason.clear();
}

bool clsMktSetting::Apply(clsDatabase& db, const QString& text)
{
    double k = 0;
    if (!IsValidMktActivationK(text, &k)) {
        Reason = Translate("refused: the activation energy must be a number of kelvin from 1000 to 100000; "
                           "nothing was changed");
        return false;
    }
    try {
        StoreMktActivationK(db, k);
    } catch (const DbError& e) {
        Reason = Translate("not stored: ") + e.description;
        return false;
    }
    Text = QString::number(k, 'g', 10);
    Reason.clear();
    return true;
}
