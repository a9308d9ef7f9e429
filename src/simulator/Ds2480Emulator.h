#pragma once
// A DS2480B serial 1-Wire line driver in software: it answers the chip's byte protocol and drives
// a OneWireLink (normally the virtual bus) behind it. Two ways to reach it:
//  - memoryPort(): a SerialPort in memory for a Ds2480Link in the same process; every byte written
//    is handled at once and its answers are ready to be read (no terminal, no thread);
//  - start(): a pseudo-terminal pair, so that programs open devicePath() with a Ds2480Link exactly
//    as they would open a real serial port. The emulator then runs on a thread of its own.
//
//  The chip starts in its reset state (uncalibrated,
// command mode, 9600 baud, standard speed) and waits for the timing byte. A BREAK cannot pass a
// pseudo-terminal, so the reset that a real adapter sees when its port is closed (DTR and RTS,
// its supply, drop) stands in for it: when the last user of the terminal side closes it, the
// chip returns to its reset state. Each opening of the port is one session of the bus behind
// (beginSession on the first byte, endSession when the port is closed), so that the virtual
// bus loads and saves its state file as it does for a program run.
//
// With throttling on, every byte costs the serial time of the current baud rate (1.04 ms at 9600)
// in each direction, and 1-Wire activity its bus time at the speed set by the reset command
// (standard or overdrive), so that wall times measured through the emulator are those of a real
// adapter. The speed bits of resets and single-bit commands are passed on to the bus behind.
// On the memory port a byte sent at another rate than the chip's is lost (a framing error).
#include "onewire/OneWireLink.h"
#include "onewire/SerialPort.h"

#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class Ds2480Emulator {
public:
    explicit Ds2480Emulator(OneWireLink& bus);
    ~Ds2480Emulator();

    Ds2480Emulator(const Ds2480Emulator&) = delete;
    Ds2480Emulator& operator=(const Ds2480Emulator&) = delete;

    // Opens the pseudo-terminal pair and starts the thread. False (with *error) when the pair
    // cannot be opened.
    bool start(QString* error = nullptr);
    void stop();
    // Path of the terminal side, for Ds2480Link.
    QString devicePath() const { return slavePath_; }
    // A port in memory with this emulator behind it (not together with start()). The emulator
    // must outlive the port.
    std::unique_ptr<SerialPort> memoryPort();

    void setThrottle(bool on) { throttle_ = on; }
    // The adapter stops answering (as if pulled out) after n more answer bytes; -1 = never.
    void setAnswerLimit(int n) { answerLimit_ = n; }
    // The adapter never answers anything (a port without adapter, or a dead one).
    void setSilent(bool on) { silent_ = on; }
    // The adapter takes no rate above maxBaud (a chip or a line that cannot carry it): a rate
    // write above it is answered but the chip stays at its rate. 0 = every rate.
    void setMaxBaud(int maxBaud) { maxBaud_ = maxBaud; }
    // A line that does not carry rates above lossyAbove: while the chip runs faster, every
    // period-th answer byte is lost. 0 = off.
    void setLossyAbove(int lossyAbove, int period = 3) { lossyAbove_ = lossyAbove; lossPeriod_ = std::max(1, period); }
    // A break on the memory port does not reach the chip (as with some USB-serial bridges; a
    // break never passes a pseudo-terminal).
    void setBreakLost(bool on) { breakLost_ = on; }

    // What crossed the serial line, for byte-for-byte checks. received = host to adapter.
    std::vector<uint8_t> received() const;
    std::vector<uint8_t> sent() const;
    void clearLog();
    // Waits (bounded) until the thread has handled everything the host wrote.
    void waitIdle(int timeoutMs = 1000);

    bool calibrated() const { return calibrated_; }
    bool dataMode() const { return dataMode_; }
    bool strongPullupActive() const { return pullup_; }
    int masterResets() const { return masterResets_; }
    int baudRate() const { return baud_; }   // the chip's rate setting
    // Speed of the last reset or single-bit command (standard, flexible or overdrive code).
    int speedCode() const { return speed_; }
    // Data-mode bytes handled at overdrive since construction.
    uint64_t overdriveBytes() const { return overdriveBytes_; }

private:
    friend class Ds2480MemoryPort;
    void run();
    // Bytes from the host; answers go to pending_ (and on to the host by flushAnswers or the
    // memory port).
    void hostBytes(const uint8_t* data, int n);
    int lineBaud() const;
    void handleByte(uint8_t b);
    void handleCommand(uint8_t b);
    void handleData(uint8_t b);
    void queueAnswer(uint8_t b);
    void flushAnswers(std::chrono::steady_clock::time_point epoch);
    void masterReset();
    void busTime(double us);
    double byteTimeUs() const;
    double slotUs() const;
    void setBusSpeed(int speedCode);
    uint8_t searchByte(uint8_t dirs);

    OneWireLink& bus_;
    int master_ = -1;
    QString slavePath_;
    std::thread thread_;
    std::atomic<bool> stop_{ false };
    std::atomic<bool> throttle_{ false };
    std::atomic<int> answerLimit_{ -1 };
    std::atomic<bool> silent_{ false };
    std::atomic<bool> busy_{ false };
    bool breakLost_ = false;

    // chip state (thread only, flags readable for tests)
    std::atomic<bool> calibrated_{ false };
    std::atomic<bool> dataMode_{ false };
    std::atomic<bool> pullup_{ false };
    std::atomic<int> masterResets_{ 0 };
    std::atomic<int> baud_{ 9600 };
    std::atomic<int> speed_{ 0 };
    std::atomic<int> maxBaud_{ 0 };
    std::atomic<int> lossyAbove_{ 0 };
    std::atomic<int> lossPeriod_{ 3 };
    int lossCounter_ = 0;
    std::atomic<uint64_t> overdriveBytes_{ 0 };
    int memoryLineBaud_ = 0;   // rate of the memory port's line; 0 = terminal mode
    bool escapePending_ = false;
    bool searchAccel_ = false;
    bool pulseArmed_ = false;
    uint8_t config_[8] = {};

    // serial timing model (throttle)
    double inFreeUs_ = 0;    // when the last received byte finished arriving
    double outFreeUs_ = 0;   // when the last answer byte finished leaving
    double chipUs_ = 0;      // where the chip's handling of the current byte has got to
    std::vector<uint8_t> pending_;     // answers not yet written
    std::vector<double> pendingAt_;    // with throttling: when each has crossed the line

    mutable std::mutex logMutex_;
    std::vector<uint8_t> received_;
    std::vector<uint8_t> sent_;
};
