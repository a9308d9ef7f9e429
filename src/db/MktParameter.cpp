#include "db/MktParameter.h"
#include "db/clsDatabase.h"

bool IsValidMktActivationK(const QString& text, double* k)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !(value >= 1000 && value <= 100000)) return false;
    if (k) *k = value;
    return true;
}

double MktActivationK(clsDatabase& db)
{
    double k = kDefaultMktActivationK;
    try {
        return IsValidMktActivationK(db.Parameter(kMktActivationParameter, QString()), &k) ? k : kDefaultMktActivationK;
    } catch (const DbError&) {
        return kDefaultMktActivationK;   // a busy or damaged file: the default, the query goes on
    }
}

