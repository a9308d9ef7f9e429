// The simulated bench and its state file.
#include "simulator/VirtualWorld.h"
#include "app/modMain.h"
#include "simulator/VirtualDs18b20.h"
#include "simulator/VirtualDs2502.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>
#include <map>
#include <sys/stat.h>

using namespace virtualbus;

namespace {
constexpr int kStateFormat = 1;
}

VirtualWorld::VirtualWorld(const QString& stateFile) : m_file(stateFile) {}

std::shared_ptr<VirtualWorld> VirtualWorld::ForFile(const QString& stateFile)
{
    static std::map<QString, std::weak_ptr<VirtualWorld>> worlds;
    const QString key = QFileInfo(stateFile).absoluteFilePath();
    if (auto w = worlds[key].lock()) {
        w->reloadIfChanged();
        return w;
    }
    auto w = std::make_shared<VirtualWorld>(key);
    w->load();
    worlds[key] = w;
    return w;
}

QString VirtualWorld::DefaultStateFile()
{
    // The application directory; before start-up has set it, the same rule it follows.
    QString dir = App().ApplicationDirectory;
    if (dir.isEmpty()) dir = qEnvironmentVariable("NORDALIS_HOME");
    if (dir.isEmpty()) dir = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath("nordalis");
    return QDir(dir).filePath(QStringLiteral("virtual-bus.json"));
}

qint64 VirtualWorld::stamp(const QString& file)
{
    // Modification time to the nanosecond and size: another process's save shows at once.
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0) return 0;
    return qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec + qint64(st.st_size) * 7919;
}

bool VirtualWorld::load(QString* error)
{
    m_devices.clear();
    m_clock = VirtualClock{};
    m_profile = VirtualProfile{};
    m_serial = 1;
    m_shortBlocks = 0;
    m_reader.clear();
    m_shortKeep = -1;
    m_dirty = false;
    m_usable = true;
    m_loadError.clear();
    QFile f(m_file);
    if (!f.exists()) { m_stamp = 0; return true; }
    auto fail = [&](const QString& why) {
        m_usable = false;
        m_loadError = QStringLiteral("virtual bus state file %1: %2").arg(m_file, why);
        m_devices.clear();
        if (error) *error = m_loadError;
        return false;
    };
    if (!f.open(QIODevice::ReadOnly)) return fail(f.errorString());
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    m_stamp = stamp(m_file);
    if (doc.isNull() || !doc.isObject()) return fail(QStringLiteral("not readable (%1)").arg(pe.errorString()));
    const QJsonObject o = doc.object();
    if (o.value("format").toInt() != kStateFormat) return fail(QStringLiteral("unknown format"));
    m_clock.setOffsetMs(qint64(o.value("clockOffsetMs").toDouble()));
    m_profile.load(o.value("profile").toObject());
    m_serial = quint64(o.value("nextSerial").toDouble(1));
    m_shortBlocks = o.value("shortBlocks").toInt();
    m_reader = o.value("reader").toString();
    m_shortKeep = o.value("shortBlockKeep").toInt(-1);
    for (const auto& v : o.value("devices").toArray()) {
        const QJsonObject d = v.toObject();
        RomCode rom{};
        if (!RomFromText(d.value("rom").toString(), rom)) return fail(QStringLiteral("bad ROM %1").arg(d.value("rom").toString()));
        const QString kind = d.value("kind").toString();
        std::unique_ptr<VirtualDevice> dev;
        if (kind == "DS1921") {
            Ds1921Variant variant;
            if (!VirtualDs1921::VariantFromName(d.value("variant").toString(), variant)) return fail("bad logger variant");
            dev = std::make_unique<VirtualDs1921>(rom, variant);
        } else if (kind == "DS2502") {
            dev = std::make_unique<VirtualDs2502>(rom);
        } else if (kind == "DS18B20") {
            dev = std::make_unique<VirtualDs18b20>(rom);
        } else {
            return fail(QStringLiteral("unknown device kind %1").arg(kind));
        }
        dev->load(d);
        attach(dev.get());
        m_devices.push_back(std::move(dev));
    }
    return true;
}

bool VirtualWorld::save(QString* error)
{
    if (!m_usable) {
        if (error) *error = m_loadError;
        return false;
    }
    QJsonObject o;
    o["format"] = kStateFormat;
    o["clockOffsetMs"] = double(m_clock.offsetMs());
    o["simulationTime"] = m_clock.nowUtc().toString(Qt::ISODateWithMs);
    o["profile"] = m_profile.save();
    o["nextSerial"] = double(m_serial);
    o["shortBlocks"] = m_shortBlocks;
    if (!m_reader.isEmpty()) o["reader"] = m_reader;
    o["shortBlockKeep"] = m_shortKeep;
    QJsonArray devs;
    for (const auto& d : m_devices) devs.append(d->save());
    o["devices"] = devs;
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSaveFile f(m_file);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(o).toJson(QJsonDocument::Indented)) < 0 || !f.commit()) {
        if (error) *error = QStringLiteral("cannot write %1: %2").arg(m_file, f.errorString());
        return false;
    }
    m_stamp = stamp(m_file);
    m_dirty = false;
    return true;
}

void VirtualWorld::reloadIfChanged()
{
    if (stamp(m_file) != m_stamp) load();
}

void VirtualWorld::refreshClock()
{
    // At most once a second of real time: a terminal run may have advanced the clock.
    const qint64 real = VirtualClock::realMs();
    if (real - m_lastClockCheck < 1000 && real >= m_lastClockCheck) return;
    m_lastClockCheck = real;
    if (stamp(m_file) == m_stamp) return;
    QFile f(m_file);
    if (!f.open(QIODevice::ReadOnly)) return;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    if (o.contains("clockOffsetMs")) m_clock.setOffsetMs(qint64(o.value("clockOffsetMs").toDouble()));
}

VirtualDevice* VirtualWorld::find(const RomCode& rom) const
{
    for (const auto& d : m_devices)
        if (d->rom() == rom) return d.get();
    return nullptr;
}

VirtualDevice* VirtualWorld::find(const QString& romText) const
{
    RomCode rom{};
    return RomFromText(romText, rom) ? find(rom) : nullptr;
}

void VirtualWorld::attach(VirtualDevice* d)
{
    if (auto* l = dynamic_cast<VirtualDs1921*>(d)) l->setProfile(&m_profile);
    if (auto* s = dynamic_cast<VirtualDs18b20*>(d)) s->setProfile(&m_profile);
}

bool VirtualWorld::refuseRom(const RomCode& rom, uint8_t family, QString* error) const
{
    QString why;
    if (rom[0] != family)
        why = QStringLiteral("ROM %1 does not end in family code %2").arg(RomToText(rom)).arg(family, 2, 16, QChar('0'));
    else if (Crc8(rom.data(), 7) != rom[7])
        why = QStringLiteral("ROM %1 has a wrong CRC byte (it must begin with %2)")
                  .arg(RomToText(rom)).arg(Crc8(rom.data(), 7), 2, 16, QChar('0')).toUpper();
    else if (find(rom))
        why = QStringLiteral("ROM %1 is already on the virtual bus").arg(RomToText(rom));
    if (why.isEmpty()) return false;
    if (error) *error = why;
    return true;
}

quint64 VirtualWorld::nextSerial()
{
    // Serial numbers that look like real parts and never repeat within a bench.
    return 0x00A5C000ull + (m_serial++) * 0x1D3ull;
}

VirtualDs1921* VirtualWorld::addLogger(Ds1921Variant variant, const RomCode* rom, QString* error)
{
    RomCode r{};
    if (rom) {
        r = *rom;
        if (refuseRom(r, onewire::kFamilyThermochron, error)) return nullptr;
        if (VirtualDs1921::VariantOfRom(r) != variant) {
            if (error) *error = QStringLiteral("ROM %1 names a DS1921%2, not a DS1921%3")
                                    .arg(RomToText(r), VirtualDs1921::VariantName(VirtualDs1921::VariantOfRom(r)),
                                         VirtualDs1921::VariantName(variant));
            return nullptr;
        }
    } else {
        do r = VirtualDs1921::MakeRom(variant, nextSerial()); while (find(r));
    }
    auto dev = std::make_unique<VirtualDs1921>(r, variant);
    dev->initialise(m_clock.nowMs());
    attach(dev.get());
    auto* p = dev.get();
    m_devices.push_back(std::move(dev));
    m_dirty = true;
    return p;
}

template <class Device>
Device* VirtualWorld::addPlain(uint8_t family, const RomCode* rom, QString* error)
{
    RomCode r{};
    if (rom) {
        r = *rom;
        if (refuseRom(r, family, error)) return nullptr;
    } else {
        do r = Device::MakeRom(nextSerial()); while (find(r));
    }
    auto dev = std::make_unique<Device>(r);
    dev->sync(m_clock.nowMs());
    attach(dev.get());
    auto* p = dev.get();
    m_devices.push_back(std::move(dev));
    m_dirty = true;
    return p;
}

VirtualDs2502* VirtualWorld::addCable(const RomCode* rom, QString* error) { return addPlain<VirtualDs2502>(onewire::kFamilyCableId, rom, error); }

VirtualDs18b20* VirtualWorld::addSensor(const RomCode* rom, QString* error) { return addPlain<VirtualDs18b20>(onewire::kFamilyTemperatureSensor, rom, error); }

void VirtualWorld::syncAll()
{
    const qint64 now = m_clock.nowMs();
    for (const auto& d : m_devices)
        if (d->sync(now)) m_dirty = true;
    saveIfChanged();
}

void VirtualWorld::advance(qint64 ms)
{
    m_clock.advance(ms);
    m_dirty = true;
    syncAll();
}

void VirtualWorld::saveIfChanged()
{
    for (const auto& d : m_devices)
        if (d->takeChanged()) m_dirty = true;
    if (m_dirty) save();
}

int VirtualWorld::takeBlockLimit(int len)
{
    if (m_shortBlocks <= 0 || len <= 0) return len;
    --m_shortBlocks;
    m_dirty = true;
    return m_shortKeep < 0 ? len - 1 : std::min(m_shortKeep, len);
}
