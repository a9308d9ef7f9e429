#pragma once
// A link for tests: records every reset, block and byte the driver layer sends, and answers
// either from a script (the bytes of the next blocks, with an optional short count) or from
// small memory models of DS1921 loggers and other devices sitting on the bus.
#include "onewire/OneWireLink.h"
#include <deque>
#include <memory>
#include <vector>

using Bytes = std::vector<uint8_t>;

RomCode MakeRom(uint8_t family, uint64_t serial);   // with a correct CRC8
uint16_t Crc16Of(const Bytes& bytes, uint16_t seed = 0);

// One device on the fake bus. Memory commands work for family 0x21 (and 0x04) only.
class FakeDevice {
public:
    explicit FakeDevice(const RomCode& rom) : rom(rom) {}
    RomCode rom;
    std::vector<uint8_t> memory = std::vector<uint8_t>(0x2000, 0);
    uint8_t scratch[32] = {};
    int ta = 0;
    uint8_t es = 0;
    int copies = 0;                 // successful Copy Scratchpad commands
    std::vector<uint8_t> commands;  // Clear Memory / Convert Temperature received
    uint8_t convertResult = 0x82;   // code written to 0x211 by Convert Temperature

    void reset();
    uint8_t touch(uint8_t written);
    int touchBit(int written);

private:
    enum State { Idle, MatchRom, Selected, Dropped, Search, WsAddr, WsData, RsOut, CpAuth, RmAddr, RmOut, RcAddr, RcOut, Done };
    State state = Dropped;
    int count = 0;
    int addr = 0;
    uint8_t cmd = 0;
    uint8_t collected[3] = {};
    int searchBit = 0, searchPhase = 0;
    uint16_t crc = 0;
    int pageByte = 0;   // 0..31 data, 32/33 CRC bytes
    std::vector<uint8_t> out;   // bytes still to send (read scratchpad)
};

struct Exchange {
    char kind;        // 'R' reset, 'B' block, 'Y' single byte, 'E' session ended
    Bytes written;
    Bytes read;
    bool presence = false;
};

// The answer to one block: empty bytes = the devices answer; else these bytes replace the
// block read back from its start (the devices see nothing). count >= 0 overrides the count.
struct ScriptedAnswer {
    Bytes bytes;
    int count = -1;
};

class RecordingLink : public OneWireLink {
public:
    std::vector<std::shared_ptr<FakeDevice>> devices;
    std::vector<Exchange> log;
    std::deque<ScriptedAnswer> script;
    bool answerOpen = true;
    int openCalls = 0;
    int sessionsBegun = 0, sessionsEnded = 0;

    std::shared_ptr<FakeDevice> add(const RomCode& rom);
    // Blocks of the log (kind 'B') only
    std::vector<Bytes> blocksWritten() const;
    Bytes lastBlockRead() const;
    void clearLog() { log.clear(); }

    bool open() override { ++openCalls; opened = answerOpen; return opened; }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    bool reset() override;
    int touchBit(int bit) override;
    int touchByte(uint8_t byte) override;
    int block(uint8_t* buffer, int len) override;
    QString version() const override { return QStringLiteral("recording link"); }
    void beginSession() override { ++sessionsBegun; }
    void endSession() override { ++sessionsEnded; log.push_back(Exchange{'E', {}, {}}); }

private:
    uint8_t busTouch(uint8_t b);
    bool opened = false;
};

// Installs a RecordingLink as the link of every port for the life of the object.
class LinkFixture {
public:
    LinkFixture();
    ~LinkFixture();
    RecordingLink* link = nullptr;   // owned by the driver layer once a session started
    int linksMade = 0;
};
