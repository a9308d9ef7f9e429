#pragma once
// The bench the 1-Wire benchmarks read: a configuration store and a virtual world in a temporary
// directory, port 1 type 5, a reader cable and one DS1921H.
#include "app/modRegistry.h"
#include "simulator/VirtualWorld.h"

#include <QTemporaryDir>
#include <cstdio>
#include <memory>

// nullptr (with a message on stderr) when the bench cannot be set up.
inline std::shared_ptr<VirtualWorld> MakeLoggerBench(const QTemporaryDir& dir)
{
    SetRegistryFile(dir.filePath("registry.ini"));
    CreateRegistryKey(kTmexKey);
    WriteRegistryValue(kTmexKey, "DefaultPortNum", "1");
    WriteRegistryValue(kTmexKey, "DefaultPortType", "5");
    auto world = std::make_shared<VirtualWorld>(dir.filePath("virtual-bus.json"));
    QString error;
    world->load(&error);
    if (!world->addCable(nullptr, &error) || !world->addLogger(Ds1921Variant::H, nullptr, &error)) {
        std::fprintf(stderr, "cannot set up the virtual bench: %s\n", qPrintable(error));
        return nullptr;
    }
    return world;
}
