#include "onewire/Ds2480Link.h"
#include "app/modRegistry.h"
#include "onewire/BusTrace.h"
#include "onewire/Ds2480Protocol.h"
#include "onewire/OneWireProtocol.h"

#include <chrono>
#include <cstring>
#include <thread>

using namespace ds2480;

namespace {

QString HexBytes(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

} // namespace

Ds2480Link::Ds2480Link(const QString& devicePath)
    : Ds2480Link(std::make_unique<PosixSerialPort>(devicePath))
{
}

Ds2480Link::Ds2480Link(std::unique_ptr<SerialPort> port)
    : port_(std::move(port))
    , path_(port_->name())
{
}

Ds2480Link::~Ds2480Link()
{
    close();
}

bool Ds2480Link::fail(const QString& message)
{
    lastError_ = message;
    return false;
}

void Ds2480Link::sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Ds2480Link::open()
{
    close();
    lastError_.clear();
    if (!port_->open())
        return fail(port_->lastError());
    baud_ = 9600;
    if (!initAdapter()) {
        const QString error = lastError_;
        close();
        lastError_ = error;
        return false;
    }
    return true;
}

void Ds2480Link::close()
{
    if (!port_->isOpen())
        return;
    if (pullupActive_)
        endStrongPullup();
    port_->close();
    synced_ = false;
    dataMode_ = false;
    searchAccelOn_ = false;
}

// Master reset of the chip by a break, then the timing byte, then a configuration whose answer
// proves that a DS2480B is listening (delays: Ds2480Protocol.h).
bool Ds2480Link::initAdapter()
{
    synced_ = false;
    dataMode_ = false;
    searchAccelOn_ = false;
    pullupActive_ = false;
    if (baud_ != 9600 && !setPortSpeed(9600))
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 0) {
            port_->sendBreak();
        } else {
            // The break did not reach the chip (some USB-serial bridges drop it): a 0x00 at
            // 4800 baud gives the framing error that resets it as well.
            if (!setPortSpeed(4800))
                return false;
            if (port_->write(QByteArray(1, '\0'), answerTimeoutMs_) == 1)
                ++bytesWritten_;
            port_->drain();
            sleepMs(kHold4800Ms);
            if (!setPortSpeed(9600))
                return false;
        }
        sleepMs(kAfterBreakMs);
        port_->flushInput();
        QByteArray tx;
        tx.append(char(kReset));             // timing byte: no 1-Wire activity, no answer
        QByteArray none;
        if (!transact(tx, 0, none))
            return false;
        sleepMs(kAfterTimingByteMs);
        port_->flushInput();

        const QByteArray config(reinterpret_cast<const char*>(kInitConfig), sizeof kInitConfig);
        const QByteArray expected(reinterpret_cast<const char*>(kInitAnswer), sizeof kInitAnswer);
        QByteArray answer;
        if (!transact(config, int(sizeof kInitAnswer), answer)) {
            // Silence may also be a chip left at another rate: the second attempt resets it.
            lastError_ = answer.isEmpty() ? QStringLiteral("no DS2480B adapter answers on %1").arg(path_)
                                          : QStringLiteral("incomplete answer of the adapter on %1: %2").arg(path_, HexBytes(answer));
            continue;
        }
        // The read slot may legitimately see a 0 if a device pulls the bus; the other four bytes
        // must be exact.
        if (answer.left(4) == expected.left(4) && IsBitAnswer(uint8_t(answer[4]))) {
            synced_ = true;
            lastError_.clear();
            if (wantedBaud_ != 9600)
                switchBaud(wantedBaud_);   // on refusal the link goes on at 9600
            return true;
        }
        lastError_ = QStringLiteral("unexpected answer of the adapter on %1: %2 (expected %3)")
                         .arg(path_, HexBytes(answer), HexBytes(expected));
    }
    return false;
}

namespace {
struct BaudCode {
    int baud;
    int code;   // RBR value code
};
constexpr BaudCode kBauds[] = { { 4800, -1 }, { 9600, 0 }, { 19200, 1 }, { 57600, 2 }, { 115200, 3 } };
const BaudCode* FindBaud(int baud)
{
    for (const BaudCode& b : kBauds)
        if (b.baud == baud)
            return &b;
    return nullptr;
}
} // namespace

bool Ds2480Link::setPortSpeed(int baud)
{
    if (!port_->setBaudRate(baud))
        return fail(port_->lastError());
    baud_ = baud;
    return true;
}

// The answer to a rate change is said to come at the new rate, which is not confirmed. It is
// therefore not read: the port follows at once, waits, discards whatever arrived, and then
// asks the adapter for its rate at the new speed; only that answer counts.
bool Ds2480Link::switchBaud(int baud)
{
    const BaudCode* b = FindBaud(baud);
    if (!b || b->code < 0)
        return fail(QStringLiteral("baud rate %1 is not one of 9600, 19200, 57600, 115200").arg(baud));
    if (baud == baud_)
        return true;
    QByteArray tx;
    toCommandMode(tx);
    tx.append(char(ConfigWrite(ParRbr, b->code)));
    QByteArray rx;
    if (!transact(tx, 0, rx) || !setPortSpeed(baud))
        return false;
    sleepMs(kAfterBaudChangeMs);
    port_->flushInput();
    if (transact(QByteArray(1, char(ConfigRead(ParRbr))), 1, rx) && (uint8_t(rx[0]) & 0xF1) == 0
        && ((uint8_t(rx[0]) >> 1) & 3) == b->code)
        return true;
    // Not confirmed: back to 9600 on both sides (a break resets the adapter's rate), and from
    // there on to the next slower rate.
    const QString error = QStringLiteral("the adapter on %1 did not confirm %2 baud").arg(path_).arg(baud);
    wantedBaud_ = LowerBaud(baud);
    initAdapter();
    return fail(error);
}

bool Ds2480Link::setBaudRate(int baud)
{
    if (!FindBaud(baud) || FindBaud(baud)->code < 0)
        return fail(QStringLiteral("baud rate %1 is not one of 9600, 19200, 57600, 115200").arg(baud));
    wantedBaud_ = baud;
    failuresAtRate_ = 0;
    if (!ensureReady())
        return false;
    if (baud_ == baud)
        return true;
    // initAdapter may have tried and stepped down already; then the rate reached is the answer.
    if (wantedBaud_ != baud)
        return fail(QStringLiteral("the adapter on %1 did not confirm %2 baud; it runs at %3").arg(path_).arg(baud).arg(baud_));
    return switchBaud(baud);
}

void Ds2480Link::setPreferredBaudRate(int baud)
{
    wantedBaud_ = FindBaud(baud) && FindBaud(baud)->code >= 0 ? baud : 9600;
    failuresAtRate_ = 0;
}

int ConfiguredBaudRate()
{
    const QString text = ReadRegistry(kTmexKey, "BaudRate", QString()).toString().trimmed();
    if (text.isEmpty())
        return 115200;
    bool ok = false;
    const int baud = text.toInt(&ok);
    if (ok && (baud == 9600 || baud == 19200 || baud == 57600 || baud == 115200))
        return baud;
    return 9600;
}

bool Ds2480Link::setSpeed(OneWireSpeed speed)
{
    if (!port_->isOpen())
        return fail(QStringLiteral("serial port %1 is not open").arg(path_));
    speed_ = speed;
    return true;
}

int Ds2480Link::speedCode() const
{
    return speed_ == OneWireSpeed::Overdrive ? SpeedOverdrive : SpeedStandard;
}

void Ds2480Link::addSlots(uint64_t count)
{
    timeSlots_ += count;
    slotTimeUs_ += double(count) * (speed_ == OneWireSpeed::Overdrive ? kOverdriveSlotUs : kStandardSlotUs);
}

void Ds2480Link::addReset()
{
    timeSlots_ += 1;
    slotTimeUs_ += speed_ == OneWireSpeed::Overdrive ? kOverdriveResetUs : kStandardResetUs;
}

bool Ds2480Link::ensureReady()
{
    if (!port_->isOpen())
        return fail(QStringLiteral("serial port %1 is not open").arg(path_));
    if (!synced_ && !initAdapter())
        return false;
    if (pullupActive_)
        endStrongPullup();
    return true;
}

void Ds2480Link::toCommandMode(QByteArray& tx)
{
    if (dataMode_) {
        tx.append(char(kCommandMode));
        dataMode_ = false;
    }
}

void Ds2480Link::toDataMode(QByteArray& tx)
{
    if (!dataMode_) {
        tx.append(char(kDataMode));
        dataMode_ = true;
    }
}

void Ds2480Link::appendData(QByteArray& tx, uint8_t byte)
{
    tx.append(char(byte));
    if (byte == kCommandMode)
        tx.append(char(byte));
}

bool Ds2480Link::transact(const QByteArray& tx, int rxCount, QByteArray& rx)
{
    rx.clear();
    // Allowed time: the base answer time plus twice the serial time of everything in flight.
    const double serialMs = (tx.size() + rxCount) * kByteTimeUs9600 * 9600.0 / baud_ / 1000.0;
    const int allowedMs = answerTimeoutMs_ + int(2 * serialMs);
    const auto start = std::chrono::steady_clock::now();
    const int written = tx.isEmpty() ? 0 : port_->write(tx, allowedMs);
    bytesWritten_ += uint64_t(written);
    if (!tx.isEmpty())
        BusTraceBytes(BusTraceDirection::ToBus, tx.left(written));
    if (written == tx.size() && rxCount > 0) {
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        port_->read(rx, rxCount, std::max<int>(0, allowedMs - int(spent)));
        bytesRead_ += uint64_t(rx.size());
        if (!rx.isEmpty())
            BusTraceBytes(BusTraceDirection::FromBus, rx);
    }
    if (written == tx.size() && rx.size() == rxCount)
        return true;
    synced_ = false;   // the adapter's state is unknown now: re-synchronise before the next use
    if (baud_ > 9600 && wantedBaud_ == baud_ && ++failuresAtRate_ >= kFailuresBeforeStepDown) {
        wantedBaud_ = LowerBaud(baud_);   // the line does not carry this rate: slower from now on
        failuresAtRate_ = 0;
    }
    if (written < tx.size())
        lastError_ = QStringLiteral("serial port %1 does not take data (%2 of %3 bytes sent)").arg(path_).arg(written).arg(tx.size());
    else
        lastError_ = QStringLiteral("no answer from the adapter on %1 (%2 of %3 bytes)").arg(path_).arg(rx.size()).arg(rxCount);
    return false;
}

// The strong pull-up after touchBytePower runs until it is terminated. Whether the adapter sends
// an answer byte at the termination is not known: none is required, and anything arriving in a
// short window is discarded so that later answers stay in step.
void Ds2480Link::endStrongPullup()
{
    pullupActive_ = false;
    QByteArray tx;
    toCommandMode(tx);
    tx.append(char(kStopPulse));
    QByteArray rx;
    if (!transact(tx, 0, rx))
        return;
    QByteArray discarded;
    bytesRead_ += uint64_t(port_->read(discarded, -1, kPulseAnswerWindowMs));
    if (!discarded.isEmpty())
        BusTraceBytes(BusTraceDirection::FromBus, discarded);
}

bool Ds2480Link::reset()
{
    if (!ensureReady())
        return false;
    QByteArray tx;
    toCommandMode(tx);
    tx.append(char(WithSpeed(kReset, speedCode())));
    QByteArray rx;
    if (!transact(tx, 1, rx))
        return false;
    addReset();
    const uint8_t r = uint8_t(rx[0]);
    lastResetResponse_ = r;
    if (!IsResetAnswer(r)) {
        synced_ = false;
        return fail(QStringLiteral("unexpected reset answer 0x%1 from the adapter on %2").arg(r, 2, 16, QLatin1Char('0')).arg(path_));
    }
    chipRevision_ = ResetChipRevision(r);
    switch (ResetBusState(r)) {
    case BusState::Presence:
    case BusState::AlarmingPresence:
        lastError_.clear();
        return true;
    case BusState::Shorted:
        return fail(QStringLiteral("1-Wire bus on %1 is shorted").arg(path_));
    case BusState::NoPresence:
        break;
    }
    lastError_.clear();
    return false;
}

int Ds2480Link::touchBit(int bit)
{
    if (!ensureReady())
        return -1;
    QByteArray tx;
    toCommandMode(tx);
    const uint8_t cmd = WithSpeed(bit ? kBitWrite1 : kBitWrite0, speedCode());
    tx.append(char(cmd));
    QByteArray rx;
    if (!transact(tx, 1, rx))
        return -1;
    addSlots(1);
    const uint8_t r = uint8_t(rx[0]);
    if (!IsBitAnswer(r)) {
        synced_ = false;
        fail(QStringLiteral("unexpected bit answer 0x%1 from the adapter on %2").arg(r, 2, 16, QLatin1Char('0')).arg(path_));
        return -1;
    }
    return BitOfAnswer(r);
}

int Ds2480Link::touchByte(uint8_t byte)
{
    uint8_t b = byte;
    return block(&b, 1) == 1 ? b : -1;
}

int Ds2480Link::block(uint8_t* buffer, int len)
{
    if (len <= 0)
        return 0;
    if (!ensureReady())
        return 0;
    QByteArray tx;
    tx.reserve(len + len / 8 + 2);
    toDataMode(tx);
    for (int i = 0; i < len; ++i)
        appendData(tx, buffer[i]);
    QByteArray rx;
    const bool ok = transact(tx, len, rx);
    // Bytes that did come back are real 1-Wire answers: hand them over even on failure.
    const int got = int(rx.size());
    memcpy(buffer, rx.constData(), size_t(got));
    addSlots(uint64_t(got) * kSlotsPerByte);
    return ok ? len : got;
}

// One byte as eight single-bit commands, the last one followed by the strong pull-up, which is
// set to last until it is ended (by the next call on this link).
int Ds2480Link::touchBytePower(uint8_t byte)
{
    if (!ensureReady())
        return -1;
    QByteArray tx;
    toCommandMode(tx);
    tx.append(char(ConfigWrite(ParSpud, kSpudInfinite)));
    for (int i = 0; i < 8; ++i) {
        uint8_t cmd = WithSpeed(((byte >> i) & 1) ? kBitWrite1 : kBitWrite0, speedCode());
        if (i == 7)
            cmd |= kBitStrongPullup;
        tx.append(char(cmd));
    }
    QByteArray rx;
    if (!transact(tx, 9, rx))
        return -1;
    addSlots(kSlotsPerByte);
    if (uint8_t(rx[0]) != (ConfigWrite(ParSpud, kSpudInfinite) & 0xFE)) {
        synced_ = false;
        fail(QStringLiteral("unexpected configuration answer %1 from the adapter on %2").arg(HexBytes(rx.left(1)), path_));
        return -1;
    }
    int value = 0;
    for (int i = 0; i < 8; ++i) {
        const uint8_t r = uint8_t(rx[1 + i]);
        if (!IsBitAnswer(r)) {
            synced_ = false;
            fail(QStringLiteral("unexpected bit answer %1 from the adapter on %2").arg(HexBytes(rx), path_));
            return -1;
        }
        value |= BitOfAnswer(r) << i;
    }
    pullupActive_ = true;
    return value;
}

// One pass of the search accelerator per device: reset, Search ROM as a data byte, accelerator
// on, 16 bytes carrying the chosen direction of each of the 64 ROM bits, accelerator off. The
// answer gives per bit the direction taken and whether the devices disagreed there.
bool Ds2480Link::searchNext(OneWireSearchState& state, bool alarmOnly)
{
    if (state.lastDevice) {
        state.restart();
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!ensureReady())
            return false;
        // Directions: the previous ROM below the last discrepancy, 1 at it, 0 above it.
        // The path of the pass, one direction bit at each odd position of the 16 bytes.
        const RomCode path = state.nextPath();
        uint8_t dirs[16] = {};
        for (int n = 0; n < 64; ++n)
            if ((path[size_t(n / 8)] >> (n % 8)) & 1)
                dirs[n / 4] |= uint8_t(1 << (2 * (n % 4) + 1));
        QByteArray tx;
        toCommandMode(tx);
        tx.append(char(WithSpeed(kReset, speedCode())));
        toDataMode(tx);
        appendData(tx, alarmOnly ? onewire::kAlarmSearch : onewire::kSearchRom);
        toCommandMode(tx);
        tx.append(char(WithSpeed(kSearchAccelOn, speedCode())));
        toDataMode(tx);
        for (uint8_t d : dirs)
            appendData(tx, d);
        toCommandMode(tx);
        tx.append(char(kSearchAccelOff));
        QByteArray rx;
        if (!transact(tx, 18, rx)) {
            if (!port_->isOpen())
                return false;
            continue;   // answers lost on the line: the next pass re-synchronises first
        }
        addReset();
        addSlots(kSlotsPerSearchPass - 1);
        const uint8_t resetAnswer = uint8_t(rx[0]);
        lastResetResponse_ = resetAnswer;
        if (!IsResetAnswer(resetAnswer)) {
            synced_ = false;
            lastError_ = QStringLiteral("unexpected reset answer 0x%1 during search on %2").arg(resetAnswer, 2, 16, QLatin1Char('0')).arg(path_);
            continue;
        }
        const BusState bus = ResetBusState(resetAnswer);
        if (bus != BusState::Presence && bus != BusState::AlarmingPresence) {
            state.restart();
            if (bus == BusState::Shorted)
                return fail(QStringLiteral("1-Wire bus on %1 is shorted").arg(path_));
            lastError_.clear();
            return false;
        }
        RomCode rom{};
        int lastZero = 0;
        int lastFamilyZero = state.lastFamilyDiscrepancy;
        bool lastBitError = false;
        for (int n = 0; n < 64; ++n) {
            const uint8_t a = uint8_t(rx[2 + n / 4]);
            const int shift = 2 * (n % 4);
            const int d = (a >> shift) & 1;
            const int taken = (a >> (shift + 1)) & 1;
            const int chosen = (dirs[n / 4] >> (shift + 1)) & 1;
            if (taken)
                rom[size_t(n / 8)] |= uint8_t(1 << (n % 8));
            if (d && !chosen) {
                lastZero = n + 1;
                if (n < 8)
                    lastFamilyZero = n + 1;
            }
            if (n == 63)
                lastBitError = d && taken;
        }
        if (lastBitError || !onewire::RomCrcValid(rom)) {
            lastError_ = QStringLiteral("search on %1 met no device or a ROM with a wrong CRC").arg(path_);
            continue;   // a device left or answered badly in the middle of the pass: run it again
        }
        state.rom = rom;
        state.lastDiscrepancy = lastZero;
        state.lastFamilyDiscrepancy = lastFamilyZero;
        state.lastDevice = lastZero == 0;
        lastError_.clear();
        return true;
    }
    state.restart();
    return false;
}

QString Ds2480Link::version() const
{
    if (chipRevision_ < 0)
        return QStringLiteral("DS2480B serial adapter on %1").arg(path_);
    return QStringLiteral("DS2480B serial adapter on %1, chip revision %2").arg(path_).arg(chipRevision_);
}

void RegisterSerialLink()
{
    SetSerialLinkFactory([](const QString& device) -> std::unique_ptr<OneWireLink> {
        auto link = std::make_unique<Ds2480Link>(device);
        link->setPreferredBaudRate(ConfiguredBaudRate());
        return link;
    });
}
