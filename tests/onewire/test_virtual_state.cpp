// The bench's state file: loggers, missions and the clock survive separate runs; a logger out
// of the cable keeps its memory; a damaged file is refused and left as it is; the terminal verbs.
#include "VirtualBench.h"
#include <QFile>
#include <QProcess>

using namespace bench;

class VirtualStateTest : public VirtualBench {};

TEST_F(VirtualStateTest, MissionAndMemorySurviveSaveAndLoad)
{
    world->profile().noise = 0.4;
    world->profile().seed = 7;
    VirtualDs1921* l = addLogger(Ds1921Variant::Z);
    const RomCode rom = l->rom();
    program(rom, world->clock().nowMs(), 1, 2, 0x30, 0x90, true);
    writeRaw(rom, 0x0000, {0x05, 'h', 'e', 'l', 'l', 'o'});
    advance(90 * 60000);
    const Bytes regs = readPagesCrc(rom, 0x200, 4);
    const Bytes log = readPagesCrc(rom, 0x1000, 64);

    // A second run: a new world on the same file sees the same logger byte for byte.
    auto second = std::make_shared<VirtualWorld>(stateFile());
    ASSERT_TRUE(second->load());
    EXPECT_EQ(second->clock().offsetMs(), world->clock().offsetMs());
    EXPECT_EQ(second->profile().seed, 7u);
    std::swap(world, second);
    bus = std::make_unique<VirtualBus>(world);
    ASSERT_TRUE(bus->open());
    EXPECT_EQ(readPagesCrc(rom, 0x200, 4), regs);
    EXPECT_EQ(readPagesCrc(rom, 0x1000, 64), log);
    EXPECT_EQ(readMemory(rom, 0, 6), (Bytes{0x05, 'h', 'e', 'l', 'l', 'o'}));

    // The mission goes on in the second run, and gives what the first would have given.
    advance(60 * 60000);
    second->advance(60 * 60000);
    auto* again = static_cast<VirtualDs1921*>(world->find(rom));
    auto* first = static_cast<VirtualDs1921*>(second->find(rom));
    EXPECT_EQ(again->missionSamples(), 88 + 60);
    for (int a = 0x1000; a < 0x1000 + 148; ++a) ASSERT_EQ(again->peek(a), first->peek(a)) << a;

    // Taken out of the cable: absent from the bus, memory kept, back when inserted.
    again->setPresent(false);
    world->save();
    VirtualWorld third(stateFile());
    ASSERT_TRUE(third.load());
    auto* out = static_cast<VirtualDs1921*>(third.find(rom));
    ASSERT_TRUE(out);
    EXPECT_FALSE(out->present());
    EXPECT_EQ(out->peek(1), 'h');
    EXPECT_FALSE(bus->reset());
    again->setPresent(true);
    EXPECT_EQ(readByte(rom, 1), 'h');
}

TEST_F(VirtualStateTest, SameSeedSameTemperaturesOtherSeedOthers)
{
    world->profile().noise = 0.5;
    VirtualProfile p = world->profile();
    VirtualProfile q = p;
    q.seed = p.seed + 1;
    int same = 0, differ = 0;
    for (qint64 m = 0; m < 500; ++m) {
        const qint64 t = Ms("2026-12-05T00:00:00") + m * 60000;
        EXPECT_EQ(p.temperatureAt(t, 99), p.temperatureAt(t, 99));
        (p.temperatureAt(t, 99) == q.temperatureAt(t, 99) ? same : differ)++;
    }
    EXPECT_GT(differ, 450);
    // The daily swing: warmest at the peak hour, coldest twelve hours away.
    p.noise = 0;
    p.swing = 2;
    EXPECT_DOUBLE_EQ(p.temperatureAt(Ms("2026-12-05T15:00:00"), 1), p.base + 2);
    EXPECT_NEAR(p.temperatureAt(Ms("2026-12-05T03:00:00"), 1), p.base - 2, 1e-9);
}

TEST_F(VirtualStateTest, DamagedStateFileIsRefusedAndKept)
{
    addLogger();
    {
        QFile f(stateFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("{ not json");
    }
    auto broken = std::make_shared<VirtualWorld>(stateFile());
    QString err;
    EXPECT_FALSE(broken->load(&err));
    EXPECT_TRUE(err.contains("virtual-bus.json"));
    VirtualBus b(broken);
    EXPECT_FALSE(b.open());
    EXPECT_FALSE(broken->save());
    QFile f(stateFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("{ not json"));
}

TEST(VirtualDuration, ParsesUnitsAndRefusesTheRest)
{
    qint64 ms = 0;
    EXPECT_TRUE(ParseVirtualDuration("90m", ms));
    EXPECT_EQ(ms, 90 * 60000);
    EXPECT_TRUE(ParseVirtualDuration("3d", ms));
    EXPECT_EQ(ms, 3 * 86400000LL);
    EXPECT_TRUE(ParseVirtualDuration("1d12h", ms));
    EXPECT_EQ(ms, 36 * 3600000LL);
    for (const char* bad : {"", "3", "3x", "-2h", "2 h", "h", "1.5h"}) EXPECT_FALSE(ParseVirtualDuration(bad, ms)) << bad;
}

namespace {
struct CliRun { int rc; QString out; QString err; };
CliRun Cli(const QString& home, const QStringList& args)
{
    QProcess p;
    p.start(NORDALIS_CLI, QStringList{"--home", home} + args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}
QByteArray Slurp(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TEST(VirtualCli, SimVerbsShareOneBenchAcrossRuns)
{
    QTemporaryDir home;
    const QString state = home.filePath("virtual-bus.json");
    const CliRun cable = Cli(home.path(), {"sim", "add-cable"});
    ASSERT_EQ(cable.rc, 0) << cable.err.toStdString();
    EXPECT_TRUE(QFile::exists(state));
    const CliRun h = Cli(home.path(), {"sim", "add-logger", "--variant", "H"});
    ASSERT_EQ(h.rc, 0);
    const QString rom = h.out.trimmed();
    EXPECT_EQ(rom.size(), 16);
    EXPECT_EQ(rom.mid(2, 3), "4F2");
    EXPECT_TRUE(rom.endsWith("21"));

    // Refused input: a clear message, a non-zero exit, the state file unchanged.
    const QByteArray before = Slurp(state);
    for (const QStringList& bad : {QStringList{"sim", "advance", "3x"}, QStringList{"sim", "add-logger", "--variant", "Q"},
                                   QStringList{"sim", "remove", "0000000000000021"},
                                   QStringList{"sim", "add-logger", "--rom", rom},
                                   QStringList{"sim", "profile", "--noise", "much"}}) {
        const CliRun r = Cli(home.path(), bad);
        EXPECT_NE(r.rc, 0) << bad.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_EQ(Slurp(state), before) << bad.join(' ').toStdString();
    }

    ASSERT_EQ(Cli(home.path(), {"sim", "profile", "--base", "5", "--seed", "9"}).rc, 0);
    ASSERT_EQ(Cli(home.path(), {"sim", "advance", "3d"}).rc, 0);
    ASSERT_EQ(Cli(home.path(), {"sim", "remove", rom.toLower()}).rc, 0);
    const CliRun show = Cli(home.path(), {"sim", "show"});
    ASSERT_EQ(show.rc, 0);
    EXPECT_TRUE(show.out.contains("+3d 00:00:00")) << show.out.toStdString();
    EXPECT_TRUE(show.out.contains("out  " + rom)) << show.out.toStdString();
    EXPECT_TRUE(show.out.contains("base 5"));

    VirtualWorld w(state);
    ASSERT_TRUE(w.load());
    EXPECT_EQ(w.devices().size(), 2u);
    EXPECT_EQ(w.clock().offsetMs(), 3 * 86400000LL);
    EXPECT_FALSE(w.find(rom)->present());
    ASSERT_EQ(Cli(home.path(), {"sim", "insert", rom}).rc, 0);
    ASSERT_TRUE(w.load());
    EXPECT_TRUE(w.find(rom)->present());
}
