// Fuzzing the configuration-store reader: any bytes are taken as the store's file; the readers
// of the program read it, and a value written to it reads back unchanged. A crash, a sanitizer
// report or a lost value is a finding.
#include "app/modRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_registry";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const QString file = QDir::tempPath() + QStringLiteral("/nordalis-fuzz-registry-%1.ini").arg(::getpid());
    static const struct RemoveAtExit { ~RemoveAtExit() { QFile::remove(file); } } removeAtExit;
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) __builtin_trap();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    SetRegistryFile(file);
    const int port = ReadTmexPortNum();
    if (port < 1 || port > 15) __builtin_trap();
    (void)ReadRegistry(kPathsKey, QStringLiteral("Loggerfiles "), QString());
    (void)ReadRegistry(kParameterKey, QStringLiteral("Version"), QString());

    // What the program writes it reads back, whatever else the file held.
    CreateRegistryKey(kParameterKey);
    const QString value = QStringLiteral("x\"y\\z\n") + QString::number(size);
    WriteRegistryValue(kParameterKey, QStringLiteral("LocDescr"), value);
    if (ReadRegistry(kParameterKey, QStringLiteral("LocDescr"), QString()).toString() != value) __builtin_trap();
    CreateRegistryKey(kTmexKey);
    WriteRegistryValue(kTmexKey, QStringLiteral("DefaultPortNum"), QStringLiteral("7"));
    if (ReadTmexPortNum() != 7) __builtin_trap();
    return 0;
}
