#pragma once
// Configuration store: the registry of the original platform, kept in an INI-style file.
// Keys are paths such as "Software\\NORDALIS\\Standard\\Paths"; values are strings (stored
// with their terminating NUL counted in the length, as the readers expect) or 32-bit numbers.
#include <QString>
#include <QVariant>

inline const char* const kTmexKey = "Software\\Dallas Semiconductor\\iButton TMEX\\3.00";
inline const char* const kPathsKey = "Software\\NORDALIS\\Standard\\Paths";
inline const char* const kParameterKey = "Software\\NORDALIS\\Standard\\Parameter";

// Where the store lives: --registry FILE, else $NORDALIS_REGISTRY, else
// $XDG_CONFIG_HOME/nordalis/registry.ini.
void SetRegistryFile(const QString& path);
QString RegistryFile();

// The store lives in a file: a folder in its place, or a missing folder for a place that was
// chosen (--registry, $NORDALIS_REGISTRY), make it unusable; the text says why (empty: usable).
// Only the default place has its folder made when missing.
QString RegistryProblem();
// Both return false when the store could not be written (or the key is missing), with the
// reason in RegistryError(); nothing is then changed.
bool CreateRegistryKey(const QString& keyPath);
bool WriteRegistryValue(const QString& keyPath, const QString& valueName, const QVariant& value);
QString RegistryError();
// The bus object's reader: a string value less its last character, else the default.
QVariant ReadRegistry(const QString& keyPath, const QString& valueName, const QVariant& def);

// The two TMEX port values as the bus object uses them when it opens a session:
// DefaultPortNum as a whole number, port 1 when it is missing, unreadable, not a number, below 1
// or above 15; DefaultPortType is always 5 (any other stored value is used as 5).
int ReadTmexPortNum();
int ReadTmexPortType();
// The conversion behind both: the text as a 16-bit whole number (blanks ignored, fractions
// rounded half to even); false when it is not a number or out of range.
bool RegistryTextToShort(const QString& text, int& value);
