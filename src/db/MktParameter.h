#pragma once
// The activation energy of the kinetic mean as the database keeps it (table parameters,
// "MKTActivationK"): dH/R in kelvin, 1 000 to 100 000 K, 10 000 K unless set. Here below the
// data display and the settings window, which both read it; the settings window writes it.
#include <QString>

constexpr double kDefaultMktActivationK = 10000.0;
constexpr const char* kMktActivationParameter = "MKTActivationK";

class clsDatabase;
// dH/R in kelvin from table parameters ("MKTActivationK", set with `nordalis-cli param set` or
// the settings window); the default when the parameter is missing, not a number, not between
// 1 000 and 100 000 K, or cannot be read.
double MktActivationK(clsDatabase& db);
// True when text is an activation energy the kinetic mean accepts (a number from 1 000 to 100 000 K).
bool IsValidMktActivationK(const QString& text, double* k = nullptr);
// Stores k (already checked) and records the change in the audit trail ("setting changed",
// "from=<old> K to=<new> K"), both in one transaction: the kinetic means of every report change
// with it, so an inspector can tell which value was in force when. Throws DbError; then nothing
// was changed.
void StoreMktActivationK(clsDatabase& db, double k);
