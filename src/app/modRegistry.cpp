// Configuration store in a text file of the form
//   [Software\NORDALIS\Standard\Paths]
//   "Application"=sz:"/home/op/.local/share/nordalis\0"
//   "Count"=dword:00000007
// Value names are quoted so that names with trailing blanks keep them. A string value holds its
// characters and the terminating NUL (written as \0), as the registry stores them; readers that
// take the stored length remove that last character.
#include "app/modRegistry.h"
#include "app/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSet>
#include <QTextStream>
#include <QtDebug>
#include <cmath>
#include <map>

namespace {
struct RegValue {
    bool isNumber = false;
    quint32 number = 0;
    QString text;   // including the terminating NUL
};
using RegKey = std::map<QString, RegValue>;                    // value name (exact) -> value
using RegTree = std::map<QString, std::pair<QString, RegKey>>; // lower-case key path -> (path, values)

QString& registryOverride()
{
    static QString path;
    return path;
}

QString escape(const QString& s)
{
    QString out;
    for (QChar c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '"') out += "\\\"";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c.unicode() == 0) out += "\\0";
        else out += c;
    }
    return out;
}

// Reads a quoted, escaped text starting at pos (at the opening quote); pos ends after the closing quote.
bool readQuoted(const QString& line, int& pos, QString& out)
{
    if (pos >= line.size() || line[pos] != '"') return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        QChar c = line[pos++];
        if (c == '"') return true;
        if (c == '\\' && pos < line.size()) {
            QChar e = line[pos++];
            if (e == 'n') out += '\n';
            else if (e == 'r') out += '\r';
            else if (e == '0') out += QChar(0);
            else out += e;
        } else out += c;
    }
    return false;
}

// Far more than the few keys of the store ever take.
constexpr qint64 kMaxRegistryFileBytes = 1024 * 1024;

// Reads the store. A missing file is an empty store. A path that is no regular file (a FIFO would
// block every start) or a file beyond the bound is neither read nor written over: *usable is set
// to false, the readers get their defaults, and one line on the terminal says why.
RegTree load(bool* usable = nullptr)
{
    RegTree tree;
    if (usable) *usable = true;
    const QString path = RegistryFile();
    const RegularFileRead read = ReadRegularFile(path, kMaxRegistryFileBytes);
    if (!read.ok()) {
        if (read.error == FileReadError::Missing) return tree;
        if (usable) *usable = false;
        static QSet<QString> reported;
        if (!reported.contains(path)) {
            reported.insert(path);
            qWarning().noquote() << QStringLiteral("configuration store: %1; its values are neither read nor written")
                                        .arg(read.message);
        }
        return tree;
    }
    QString text = QString::fromUtf8(read.bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    RegKey* current = nullptr;
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.startsWith('[') && line.endsWith(']')) {
            const QString path = line.mid(1, line.size() - 2);
            auto& entry = tree[path.toLower()];
            entry.first = path;
            current = &entry.second;
            continue;
        }
        if (!current || !line.startsWith('"')) continue;
        int pos = 0;
        QString name;
        if (!readQuoted(line, pos, name) || pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        RegValue v;
        if (line.mid(pos).startsWith("dword:")) {
            bool ok = false;
            v.isNumber = true;
            v.number = line.mid(pos + 6).toUInt(&ok, 16);
            if (!ok) continue;
        } else if (line.mid(pos).startsWith("sz:")) {
            pos += 3;
            if (!readQuoted(line, pos, v.text)) continue;
        } else continue;
        (*current)[name] = v;
    }
    return tree;
}

QString& lastError()
{
    static QString text;
    return text;
}

// Whether the store's place was chosen (--registry, $NORDALIS_REGISTRY) rather than the default.
bool chosenPlace()
{
    return !registryOverride().isEmpty() || !qEnvironmentVariable("NORDALIS_REGISTRY").isEmpty();
}

bool fail(const QString& text)
{
    lastError() = text;
    return false;
}

bool save(const RegTree& tree)
{
    const QString path = RegistryFile();
    const QString problem = RegistryProblem();
    if (!problem.isEmpty())
        return fail(problem);
    // The default place is made when missing; a chosen one must exist (a mistyped folder would
    // otherwise quietly become a new store).
    if (!chosenPlace() && !QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(QStringLiteral("the folder of the configuration store %1 could not be created")
                        .arg(QDir::toNativeSeparators(path)));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("the configuration store %1 cannot be written: %2")
                        .arg(QDir::toNativeSeparators(path), f.errorString()));
    QTextStream out(&f);
    out.setEncoding(QStringConverter::Utf8);
    for (const auto& [lower, entry] : tree) {
        out << "[" << entry.first << "]\n";
        for (const auto& [name, v] : entry.second) {
            out << "\"" << escape(name) << "\"=";
            if (v.isNumber) out << "dword:" << QString::number(v.number, 16).rightJustified(8, '0') << "\n";
            else out << "sz:\"" << escape(v.text) << "\"\n";
        }
        out << "\n";
    }
    out.flush();
    if (out.status() != QTextStream::Ok || !f.commit())
        return fail(QStringLiteral("the configuration store %1 could not be written: %2")
                        .arg(QDir::toNativeSeparators(path), f.errorString()));
    lastError().clear();
    return true;
}
} // namespace

QString RegistryProblem()
{
    const QString path = RegistryFile();
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("the configuration store %1 is a folder, not a file").arg(QDir::toNativeSeparators(path));
    const QFileInfo folder(info.absolutePath());
    if (chosenPlace() && !folder.isDir())
        return QStringLiteral("the folder of the configuration store %1 does not exist")
            .arg(QDir::toNativeSeparators(path));
    return QString();
}

QString RegistryError()
{
    return lastError();
}

void SetRegistryFile(const QString& path)
{
    registryOverride() = path;
}

QString RegistryFile()
{
    if (!registryOverride().isEmpty())
        return registryOverride();
    const QString env = qEnvironmentVariable("NORDALIS_REGISTRY");
    if (!env.isEmpty())
        return env;
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return base + "/nordalis/registry.ini";
}

// The store as it is, for a change: false (the reason in RegistryError) when it cannot be kept.
static bool loadForWriting(RegTree& tree)
{
    const QString problem = RegistryProblem();
    if (!problem.isEmpty())
        return fail(problem);
    bool usable = true;
    tree = load(&usable);
    if (!usable)
        return fail(QStringLiteral("the configuration store %1 cannot be used: it is not a regular file or too large")
                        .arg(QDir::toNativeSeparators(RegistryFile())));
    return true;
}

bool CreateRegistryKey(const QString& keyPath)
{
    RegTree tree;
    if (!loadForWriting(tree))
        return false;
    auto it = tree.find(keyPath.toLower());
    if (it != tree.end())
        return true;
    tree[keyPath.toLower()].first = keyPath;
    return save(tree);
}

bool WriteRegistryValue(const QString& keyPath, const QString& valueName, const QVariant& value)
{
    RegTree tree;
    if (!loadForWriting(tree))
        return false;
    auto it = tree.find(keyPath.toLower());
    if (it == tree.end())
        return fail(QStringLiteral("the key %1 is not in the configuration store %2")
                        .arg(keyPath, QDir::toNativeSeparators(RegistryFile())));
    RegValue v;
    const auto type = value.typeId();
    if (type == QMetaType::Int || type == QMetaType::Short || type == QMetaType::UInt || type == QMetaType::UShort) {
        v.isNumber = true;
        v.number = value.toUInt();
    } else if (type == QMetaType::Bool) {
        v.text = QString::fromLatin1(value.toBool() ? "True" : "False") + QChar(0);
    } else {
        v.text = value.toString() + QChar(0);
    }
    it->second.second[valueName] = v;
    return save(tree);
}

QVariant ReadRegistry(const QString& keyPath, const QString& valueName, const QVariant& def)
{
    const RegTree tree = load();
    auto it = tree.find(keyPath.toLower());
    if (it == tree.end())
        return def;
    auto vit = it->second.second.find(valueName);
    if (vit == it->second.second.end() || vit->second.isNumber)
        return def;
    // The reader's buffer holds 150 characters; a longer value does not fit and reads as missing.
    QString text = vit->second.text;
    if (text.isEmpty() || text.size() > 150)
        return def;
    text.chop(1);   // the stored length counts the terminating NUL
    return text;
}

bool RegistryTextToShort(const QString& text, int& value)
{
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return false;
    const double r = std::nearbyint(d);   // half to even, as the runtime's whole-number conversion
    if (r < -32768 || r > 32767)
        return false;
    value = int(r);
    return true;
}

int ReadTmexPortNum()
{
    int port = 0;
    if (!RegistryTextToShort(ReadRegistry(kTmexKey, "DefaultPortNum", QString()).toString(), port))
        return 1;
    return (port < 1 || port > 15) ? 1 : port;
}

int ReadTmexPortType()
{
    // Only the serial adapter type is supported; whatever is stored, the type in use is 5.
    return 5;
}
