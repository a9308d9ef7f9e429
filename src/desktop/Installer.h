#pragma once
// The application directory: where it is, and its installation on the first run from the files
// the program carries (resources/home/...).
//
//   <dir>/NORDALIS.htm            help page
//   <dir>/nordalis.bmp            splash picture
//   <dir>/data/NORDALIS.MDE       the database, built from the shipped schema
//   <dir>/data/backup/            processed logger files, database backups
//   <dir>/reports/styles/         web report style templates
#include <QString>

// --home DIR when given, else $NORDALIS_HOME, else $XDG_DATA_HOME/nordalis (~/.local/share/nordalis).
QString ResolveApplicationDirectory(const QString& homeOption);

// True when the directory holds no database file yet (neither NORDALIS.MDE nor NORD.MDE).
bool ApplicationDirectoryNeedsInstall(const QString& dir);

// Creates the folders, copies every shipped file that is not there yet (existing files are never
// overwritten) and, when there is no database file, builds data/NORDALIS.MDE (under a temporary
// name first, so that a broken run never leaves half a database behind). False with *error set
// when something could not be created.
bool InstallApplicationDirectory(const QString& dir, QString* error);
