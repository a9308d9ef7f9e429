#include "db/MktParameter.h"
#include "db/AuditTrail.h"
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


void StoreMktActivationK(clsDatabase& db, double k)
{
    clsDatabase::Transaction transaction(db);
    const QString before = QString::number(MktActivationK(db), 'g', 10);
    const QString after = QString::number(k, 'g', 10);
    db.SetParameter(kMktActivationParameter, DbValue(after));
    AppendAudit(db, AuditAction::SettingChanged, kMktActivationParameter,
                QStringLiteral("from=%1 K to=%2 K").arg(before, after));
    transaction.commit();
}
