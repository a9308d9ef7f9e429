#pragma once
// The activation energy field of the settings window: dH/R of the mean kinetic temperature in
// kelvin, kept in table parameters as "MKTActivationK". A value that is no number or lies
// outside 1 000 to 100 000 K is refused with the reason and changes nothing.
#include <QString>

class clsDatabase;

class clsMktSetting {
public:
    QString Text;     // what the field shows: the value in force
    QString Reason;   // why the last input was refused (translated); empty after a good one

    // The value in force (the default when the parameter is missing or not usable).
    void Load(clsDatabase& db);
    // Stores text when it is an activation energy the kinetic mean accepts; otherwise Reason says
    // why, and neither the database nor Text changes. True when stored.
    [[nodiscard]] bool Apply(clsDatabase& db, const QString& text);
    // "K": the unit shown beside the field.
    static QString Unit() { return QStringLiteral("K"); }
};
