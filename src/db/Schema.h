#pragma once
// Building a new database file from the embedded schema (":/schema.sql"). This is the
// installation step; the running program never creates tables.
#include <QString>

// Creates the database file at path with every table of the schema. Refuses to touch an
// existing file. The file appears under its name only when complete. False with *error set on
// failure.
bool CreateDatabaseFile(const QString& path, QString* error);
