#pragma once
// The 1-Wire link through a DS2480B serial line driver (the chip inside the common serial and
// USB-serial 1-Wire adapters), spoken to over a SerialPort: the system's port at a device path
// such as /dev/ttyS0 (PosixSerialPort), or any other port given to it (an emulated adapter).
//
// The chip has two modes. In command mode every byte is a command (reset, single time slot,
// search accelerator on/off, pulse, configuration); in data mode every byte is a 1-Wire byte and
// the chip answers with the byte read back. 0xE1 switches to data mode, 0xE3 back to command
// mode; a real 0xE3 data byte is therefore sent twice. The link keeps track of the mode and only
// sends a switch when the next transfer needs the other mode.
//
// Every read from the port has a deadline, so an adapter that is pulled out or a port where no
// adapter answers gives a failure (-1, false, short count) with lastError() set, never a hang.
// After such a failure the next call first re-synchronises the adapter (break, timing byte,
// configuration check).
#include "onewire/OneWireLink.h"
#include "onewire/SerialPort.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

class Ds2480Link : public OneWireLink {
public:
    explicit Ds2480Link(const QString& devicePath);
    explicit Ds2480Link(std::unique_ptr<SerialPort> port);
    ~Ds2480Link() override;

    Ds2480Link(const Ds2480Link&) = delete;
    Ds2480Link& operator=(const Ds2480Link&) = delete;

    bool open() override;
    void close() override;
    bool isOpen() const override { return port_->isOpen(); }

    bool reset() override;
    int touchBit(int bit) override;
    int touchByte(uint8_t byte) override;
    int block(uint8_t* buffer, int len) override;
    int touchBytePower(uint8_t byte) override;
    bool searchNext(OneWireSearchState& state, bool alarmOnly = false) override;
    // Standard or overdrive timing. Resets and single-bit commands carry the speed at once; the
    // chip takes the speed of data-mode bytes from the last reset command, so a change of speed
    // is followed by a reset before any block (as the driver layer does).
    bool setSpeed(OneWireSpeed speed) override;
    OneWireSpeed speed() const override { return speed_; }
    bool supportsOverdrive() const override { return true; }

    uint64_t timeSlots() const override { return timeSlots_; }
    QString version() const override;
    QString lastError() const override { return lastError_; }

    QString devicePath() const { return path_; }
    // Moves adapter and port to a faster rate (19200, 57600 or 115200; 9600 goes back). The
    // adapter starts at 9600 after every open and re-synchronisation; the chosen rate is then
    // set again. False (link back at 9600) when the adapter does not confirm the new rate.
    // When the adapter does not confirm a faster rate, the next slower one is tried (115200,
    // 57600, 19200, 9600); baudRate() tells where the link ended up.
    [[nodiscard]] bool setBaudRate(int baud);
    int baudRate() const { return baud_; }
    // The rate to use from the next open (or re-synchronisation) on, without talking to the
    // adapter now; it steps down the same way when refused.
    void setPreferredBaudRate(int baud);
    int preferredBaudRate() const { return wantedBaud_; }
    // After this many failed exchanges at a rate above 9600 the link re-synchronises at the next
    // slower rate (a line that does not carry the rate).
    static constexpr int kFailuresBeforeStepDown = 3;
    // 1-Wire time of the resets and slots since construction at the speeds used, in
    // microseconds, for the benchmark's bound.
    double slotTimeUs() const { return slotTimeUs_; }
    // Base time allowed for an answer of the adapter, in milliseconds; the serial time of the
    // bytes in flight is added to it. Tests lower it to keep failure cases quick.
    void setAnswerTimeoutMs(int ms) { answerTimeoutMs_ = ms; }
    // Bytes moved over the serial line since construction (for the serial-time bound).
    uint64_t bytesWritten() const { return bytesWritten_; }
    uint64_t bytesRead() const { return bytesRead_; }
    // Reset response byte of the last reset (for diagnostics), -1 before the first.
    int lastResetResponse() const { return lastResetResponse_; }

private:
    bool setPortSpeed(int baud);
    bool switchBaud(int baud);
    bool initAdapter();            // break, timing byte, configuration check
    bool ensureReady();            // open, synchronised, strong pull-up ended
    void endStrongPullup();
    void toCommandMode(QByteArray& tx);
    void toDataMode(QByteArray& tx);
    static void appendData(QByteArray& tx, uint8_t byte);   // data-mode byte with the 0xE3 escape
    // Writes tx and reads exactly rxCount answer bytes into rx, within the deadline.
    bool transact(const QByteArray& tx, int rxCount, QByteArray& rx);
    bool fail(const QString& message);
    void sleepMs(int ms);
    int speedCode() const;
    void addSlots(uint64_t count);
    void addReset();

    std::unique_ptr<SerialPort> port_;
    QString path_;
    bool dataMode_ = false;
    bool synced_ = false;
    bool pullupActive_ = false;
    bool searchAccelOn_ = false;
    int answerTimeoutMs_ = 250;
    int baud_ = 9600;            // current rate of port and adapter
    int wantedBaud_ = 9600;      // rate chosen with setBaudRate
    int failuresAtRate_ = 0;     // failed exchanges at the wanted rate (re-synchronisations included)
    OneWireSpeed speed_ = OneWireSpeed::Standard;
    double slotTimeUs_ = 0;
    int lastResetResponse_ = -1;
    int chipRevision_ = -1;
    uint64_t timeSlots_ = 0;
    uint64_t bytesWritten_ = 0;
    uint64_t bytesRead_ = 0;
    QString lastError_;
};

// Makes the serial back-end known to CreateLinkForPort. The library is static, so a registrar
// object in this file would be dropped by the linker: the programs call this once at start-up.
void RegisterSerialLink();
// The rate the serial adapters are asked for: the TMEX key's "BaudRate" value (9600, 19200,
// 57600 or 115200), else 115200. A value that is none of these gives 9600.
int ConfiguredBaudRate();
