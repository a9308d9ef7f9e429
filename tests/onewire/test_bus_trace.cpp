// --trace-bus: a reading of a logger on the virtual bus through the terminal program, traced at
// byte level, one line per transfer.
#include "onewire/BusTrace.h"
#include "onewire/OneWireProtocol.h"
#include "support/CliProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
// The bytes of a ROM text in bus order (family code first), as the trace writes them.
QString RomBytes(const QString& romText)
{
    RomCode rom{};
    EXPECT_TRUE(onewire::RomFromText(romText, rom));
    QStringList bytes;
    for (uint8_t b : rom) bytes << QStringLiteral("%1").arg(b, 2, 16, QChar('0')).toUpper();
    return bytes.join(' ');
}
} // namespace

TEST(BusTrace, AReadingIsTracedByteByByte)
{
    QTemporaryDir dir;
    auto run = [&](const QStringList& args) { return RunCli(dir, args, true); };
    ASSERT_EQ(run({"init", "--site", "12"}).code, 0);
    ASSERT_EQ(run({"structure", "add-compartment", "--description", "freezer"}).code, 0);
    ASSERT_EQ(run({"sim", "add-cable"}).code, 0);
    const CliRun added = run({"sim", "add-logger"});
    ASSERT_EQ(added.code, 0) << added.err.toStdString();
    const QString romText = QRegularExpression("[0-9A-F]{14}21").match(added.out).captured(0);
    ASSERT_FALSE(romText.isEmpty()) << added.out.toStdString();
    const CliRun programmed = run({"program", "--room", "1", "--position", "3", "--description", "door", "--rate", "1", "--low", "2", "--high", "8"});
    ASSERT_EQ(programmed.code, 0) << programmed.err.toStdString();
    ASSERT_EQ(run({"sim", "advance", "5m"}).code, 0);

    const QString trace = dir.filePath("bus.log");
    const CliRun read = run({"--trace-bus", trace, "read"});
    ASSERT_EQ(read.code, 0) << read.err.toStdString();
    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());

    // Every line: time with milliseconds, then bytes, a reset, its answer or a message.
    const QRegularExpression form(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} )"
                                  R"((>>( [0-9A-F]{2})+|<<( [0-9A-F]{2})+|>> RESET|<< PRESENCE|<< NO PRESENCE|# .*)$)");
    QStringList body;
    for (const QString& line : lines) {
        EXPECT_TRUE(form.match(line).hasMatch()) << line.toStdString();
        body << line.mid(24);
    }
    EXPECT_TRUE(body.contains("# clsDallasBus: DoInventory() called"));

    // The register pages: reset, Match ROM, Read Memory with CRC from 0x200, then 32 data
    // bytes and the CRC16 as read slots; the logger's answer comes back on the next line.
    const QString select = ">> 55 " + RomBytes(romText);
    const QString registers = select + " A5 00 02" + QString(" FF").repeated(34);
    const qsizetype at = body.indexOf(registers);
    ASSERT_GE(at, 2) << "no Read Memory with CRC of the register pages";
    EXPECT_EQ(body[at - 2], ">> RESET");
    EXPECT_EQ(body[at - 1], "<< PRESENCE");
    ASSERT_LT(at + 1, body.size());
    EXPECT_TRUE(body[at + 1].startsWith("<< 55 " + RomBytes(romText) + " A5 00 02 ")) << body[at + 1].toStdString();
    // The next page follows in the same exchange: 34 read slots, no reset, no selection.
    EXPECT_EQ(body[at + 2], ">>" + QString(" FF").repeated(34));
    // The identity record: Read Memory of page 0.
    EXPECT_TRUE(body.contains(select + " F0 00 00" + QString(" FF").repeated(32)));
}
