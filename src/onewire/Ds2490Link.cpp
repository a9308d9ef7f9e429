#include "onewire/Ds2490Link.h"
#include "onewire/BusTrace.h"
#include "onewire/Ds2490Protocol.h"
#include "onewire/LibusbTransport.h"
#include "onewire/OneWireProtocol.h"

#include <chrono>
#include <QStringList>
#include <cstring>

using namespace ds2490;

namespace {

const char* TypeName(uint8_t type)
{
    switch (type) {
    case Control: return "CONTROL";
    case Comm: return "COMM";
    case Mode: return "MODE";
    default: return "TYPE?";
    }
}

QString Hex4(uint16_t v) { return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x")); }

QString HexLine(const char* prefix, const uint8_t* data, int len)
{
    QString line = QString::fromLatin1(prefix);
    for (int i = 0; i < len; ++i) line += QStringLiteral(" %1").arg(data[i], 2, 16, QLatin1Char('0')).toUpper();
    return line;
}

QString ResultNames(uint8_t r)
{
    if (r == kResultDeviceDetect) return QStringLiteral("DETECT");
    QStringList names;
    if (r & kResultNrs) names << "NRS";
    if (r & kResultSh) names << "SH";
    if (r & kResultApp) names << "APP";
    if (r & 0x08) names << "VPP";
    if (r & kResultCmp) names << "CMP";
    if (r & kResultCrc) names << "CRC";
    if (r & 0x40) names << "RDP";
    if (r & kResultEos) names << "EOS";
    return names.join('+');
}

// Strong pull-up duration while touchBytePower holds it: bounded, in 16 ms units (about 0.5 s).
constexpr uint16_t kSpuDurationUnits = 32;

} // namespace

QString UsbFailureMessage(UsbFailure why, const QString& cause)
{
    switch (why) {
    case UsbFailure::NoAdapter:
        return cause + QStringLiteral(": plug the USB reader in, or choose another port in the settings (interface tab)");
    case UsbFailure::Permission:
        return cause + QStringLiteral(": this user may not use the adapter; install the udev rule 60-nordalis-ds2490.rules "
                                      "(the package does it; see the README, \"USB adapter\") and plug the adapter in again");
    case UsbFailure::Busy:
        return cause + QStringLiteral(": close the other program that uses the 1-Wire adapter and try again");
    case UsbFailure::Unplugged:
        return cause + QStringLiteral(": plug it in again and repeat; nothing more was written to the logger");
    case UsbFailure::Timeout:
        return cause + QStringLiteral(": unplug the adapter, plug it in again and repeat");
    case UsbFailure::Io:
    case UsbFailure::None:
        break;
    }
    return cause;
}

Ds2490Link::Ds2490Link(int adapterNumber) : Ds2490Link(std::make_unique<LibusbTransport>(adapterNumber)) {}

Ds2490Link::Ds2490Link(std::unique_ptr<UsbTransport> usb) : usb_(std::move(usb)) {}

Ds2490Link::~Ds2490Link() { close(); }

bool Ds2490Link::fail(UsbFailure why, const QString& message)
{
    failure_ = why;
    lastError_ = message;
    return false;
}

// A failed transfer: the adapter's state is unknown, so the next call starts it afresh; an
// adapter that went away is closed, so that the next session opens it again (plugged back).
bool Ds2490Link::usbFailed()
{
    ready_ = false;
    const UsbFailure why = usb_->failure() == UsbFailure::None ? UsbFailure::Io : usb_->failure();
    // An adapter pulled out is not found on the next try either: the first reason stays.
    if (why == UsbFailure::NoAdapter && failure_ == UsbFailure::Unplugged) return false;
    fail(why, UsbFailureMessage(why, usb_->lastError()));
    BusTraceLine(lastError_);
    if (why == UsbFailure::Unplugged) usb_->close();
    return false;
}

bool Ds2490Link::open()
{
    close();
    if (!usb_->open()) return usbFailed();
    failure_ = UsbFailure::None;
    lastError_.clear();
    if (!initAdapter()) {
        const UsbFailure why = failure_;
        const QString error = lastError_;
        close();
        fail(why, error);
        return false;
    }
    return true;
}

void Ds2490Link::close()
{
    if (!usb_->isOpen()) return;
    usb_->close();
    ready_ = false;
    pullupActive_ = false;
}

// The adapter's own reset, regular speed, strong pull-up allowed, and a status packet that proves
// it listens.
bool Ds2490Link::initAdapter()
{
    ready_ = false;
    pullupActive_ = false;
    speed_ = OneWireSpeed::Standard;
    if (!control(Control, kCtlResetDevice, 0, "reset device")) return false;
    if (!mode(kMod1WireSpeed, kSpeedRegular, "regular speed")) return false;
    if (!mode(kModPulseEnable, kPulseSpu, "strong pull-up allowed")) return false;
    uint8_t status[64];
    const int n = usb_->readStatus(status, int(sizeof status), kTransferTimeoutMs);
    ++transfers_;
    if (n < 0) return usbFailed();
    if (n < kStatusSize)
        return fail(UsbFailure::Io, QStringLiteral("%1 gave a status of %2 bytes instead of 16: it is not a DS2490 as expected").arg(usb_->name()).arg(n));
    ready_ = true;
    return true;
}

bool Ds2490Link::ensureReady()
{
    if (!usb_->isOpen() && !open()) return false;
    if (!ready_ && !initAdapter()) return false;
    return true;
}

bool Ds2490Link::control(uint8_t type, uint16_t value, uint16_t index, const char* meaning)
{
    if (BusTraceOn())
        BusTraceUsb(BusTraceDirection::ToBus, QStringLiteral("EP0 %1 %2 %3 %4").arg(QLatin1String(TypeName(type)), Hex4(value), Hex4(index), QLatin1String(meaning)));
    ++transfers_;
    if (!usb_->control(type, value, index, kTransferTimeoutMs)) return usbFailed();
    return true;
}

bool Ds2490Link::comm(uint16_t value, uint16_t index, const char* meaning)
{
    if (pullupActive_) {
        // A running strong pull-up is ended by halting and resuming the adapter's execution.
        pullupActive_ = false;
        if (!control(Control, kCtlHaltExeIdle, 0, "halt: end the strong pull-up") ||
            !control(Control, kCtlResumeExe, 0, "resume"))
            return false;
    }
    return control(Comm, uint16_t(value | kFlagIm), index, meaning);
}

bool Ds2490Link::mode(uint16_t value, uint16_t index, const char* meaning) { return control(Mode, value, index, meaning); }

bool Ds2490Link::waitIdle(std::vector<uint8_t>* results)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCommandTimeoutMs);
    for (;;) {
        uint8_t status[64];
        const int n = usb_->readStatus(status, int(sizeof status), kTransferTimeoutMs);
        ++transfers_;
        if (n < 0) return usbFailed();
        for (int i = kStatusSize; i < n; ++i) {
            if (BusTraceOn()) BusTraceUsb(BusTraceDirection::FromBus, QStringLiteral("EP1 ") + ResultNames(status[i]));
            if (status[i] != kResultDeviceDetect && results) results->push_back(status[i]);
        }
        if (n >= kStatusSize && (status[kStDeviceStatus] & kStatusIdle) && status[kStCommBufferStatus] == 0) return true;
        if (std::chrono::steady_clock::now() > deadline) {
            ready_ = false;
            return fail(UsbFailure::Timeout, UsbFailureMessage(UsbFailure::Timeout, QStringLiteral("%1 did not finish a command").arg(usb_->name())));
        }
    }
}

bool Ds2490Link::sendData(const uint8_t* data, int len)
{
    if (BusTraceOn()) BusTraceUsb(BusTraceDirection::ToBus, HexLine("EP2", data, len));
    ++transfers_;
    const int n = usb_->bulkWrite(data, len, kTransferTimeoutMs);
    if (n < 0) return usbFailed();
    if (n != len) {
        ready_ = false;
        return fail(UsbFailure::Io, QStringLiteral("%1 took %2 of %3 bytes").arg(usb_->name()).arg(n).arg(len));
    }
    return true;
}

bool Ds2490Link::readData(uint8_t* data, int len)
{
    int got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTransferTimeoutMs);
    while (got < len) {
        ++transfers_;
        const int n = usb_->bulkRead(data + got, len - got, kTransferTimeoutMs);
        if (n < 0) return usbFailed();
        got += n;
        if (got < len && std::chrono::steady_clock::now() > deadline) {
            if (BusTraceOn() && got > 0) BusTraceUsb(BusTraceDirection::FromBus, HexLine("EP3", data, got));
            ready_ = false;
            return fail(UsbFailure::Timeout, UsbFailureMessage(UsbFailure::Timeout, QStringLiteral("%1 gave %2 of %3 bytes").arg(usb_->name()).arg(got).arg(len)));
        }
    }
    if (BusTraceOn()) BusTraceUsb(BusTraceDirection::FromBus, HexLine("EP3", data, len));
    return true;
}

void Ds2490Link::addSlots(uint64_t count)
{
    timeSlots_ += count;
    slotTimeUs_ += double(count) * (speed_ == OneWireSpeed::Overdrive ? kOverdriveSlotUs : kRegularSlotUs);
}

void Ds2490Link::addReset()
{
    timeSlots_ += 1;
    slotTimeUs_ += speed_ == OneWireSpeed::Overdrive ? kOverdriveResetUs : kRegularResetUs;
}

bool Ds2490Link::reset()
{
    if (!ensureReady()) return false;
    if (!comm(kCommReset | kFlagF, 0, "1-Wire reset")) return false;
    std::vector<uint8_t> results;
    if (!waitIdle(&results)) return false;
    addReset();
    bool presence = true;
    for (uint8_t r : results) {
        if (r & kResultSh) {
            return fail(UsbFailure::None, QStringLiteral("1-Wire bus on %1 is shorted").arg(usb_->name()));
        }
        if (r & kResultNrs) presence = false;
    }
    failure_ = UsbFailure::None;
    lastError_.clear();
    return presence;
}

int Ds2490Link::touchBit(int bit)
{
    if (!ensureReady()) return -1;
    if (!comm(uint16_t(kCommBitIo | (bit ? kFlagD : 0)), 0, bit ? "bit I/O 1" : "bit I/O 0")) return -1;
    uint8_t r = 0;
    if (!readData(&r, 1)) return -1;
    addSlots(1);
    return r & 1;
}

int Ds2490Link::touchByte(uint8_t byte)
{
    if (!ensureReady()) return -1;
    if (!comm(kCommByteIo, byte, "byte I/O")) return -1;
    uint8_t r = 0;
    if (!readData(&r, 1)) return -1;
    addSlots(8);
    return r;
}

int Ds2490Link::touchBytePower(uint8_t byte)
{
    if (!ensureReady()) return -1;
    if (!mode(kModStrongPullupDuration, kSpuDurationUnits, "strong pull-up duration")) return -1;
    if (!comm(kCommByteIo | kFlagSpu, byte, "byte I/O, strong pull-up after")) return -1;
    uint8_t r = 0;
    if (!readData(&r, 1)) return -1;
    addSlots(8);
    pullupActive_ = true;
    return r;
}

int Ds2490Link::block(uint8_t* buffer, int len)
{
    if (len <= 0) return 0;
    if (!ensureReady()) return 0;
    int done = 0;
    while (done < len) {
        const int n = std::min(kFifoSize, len - done);
        if (!sendData(buffer + done, n)) return done;
        if (!comm(kCommBlockIo, uint16_t(n), "block I/O")) return done;
        if (!readData(buffer + done, n)) return done;
        addSlots(uint64_t(n) * 8);
        done += n;
    }
    return len;
}

// One search access per device: the adapter resets, sends Search ROM and walks the 64 bits,
// taking at each discrepancy the bit of the start ROM; it returns the ROM found and the
// positions where devices disagreed. The start ROM carries the previous ROM below the last
// discrepancy, 1 at it and 0 above it, as in the standard search.
bool Ds2490Link::searchNext(OneWireSearchState& state, bool alarmOnly)
{
    if (state.lastDevice) {
        state.restart();
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!ensureReady()) return false;
        const RomCode start = state.nextPath();
        if (!sendData(start.data(), 8)) return false;
        const uint16_t command = alarmOnly ? onewire::kAlarmSearch : onewire::kSearchRom;
        if (!comm(kCommSearchAccess | kFlagSm | kFlagRst | kFlagF | kFlagRts, uint16_t(command | (1 << 8)), "search access, one device"))
            return false;
        std::vector<uint8_t> results;
        if (!waitIdle(&results)) return false;
        addReset();
        bool noPresence = false;
        for (uint8_t r : results) {
            if (r & kResultSh) {
                state.restart();
                return fail(UsbFailure::None, QStringLiteral("1-Wire bus on %1 is shorted").arg(usb_->name()));
            }
            if (r & kResultNrs) noPresence = true;
        }
        if (noPresence) {
            state.restart();
            failure_ = UsbFailure::None;
            lastError_.clear();
            return false;
        }
        uint8_t answer[16];
        if (!readData(answer, 16)) return false;
        addSlots(8 + 64 * 3);
        RomCode rom{};
        std::memcpy(rom.data(), answer, 8);
        int lastZero = 0;
        int lastFamilyZero = state.lastFamilyDiscrepancy;
        for (int n = 0; n < 64; ++n) {
            const bool disagreed = (answer[8 + n / 8] >> (n % 8)) & 1;
            const bool taken = (rom[size_t(n / 8)] >> (n % 8)) & 1;
            if (disagreed && !taken) {
                lastZero = n + 1;
                if (n < 8) lastFamilyZero = n + 1;
            }
        }
        if (!onewire::RomCrcValid(rom)) {
            lastError_ = QStringLiteral("search on %1 met a ROM with a wrong CRC").arg(usb_->name());
            continue;   // a device left or answered badly in the middle: run it again
        }
        state.rom = rom;
        state.lastDiscrepancy = lastZero;
        state.lastFamilyDiscrepancy = lastFamilyZero;
        state.lastDevice = lastZero == 0;
        failure_ = UsbFailure::None;
        lastError_.clear();
        return true;
    }
    state.restart();
    return false;
}

bool Ds2490Link::setSpeed(OneWireSpeed speed)
{
    if (speed == speed_ && ready_) return true;
    if (!ensureReady()) return false;
    if (!mode(kMod1WireSpeed, speed == OneWireSpeed::Overdrive ? kSpeedOverdrive : kSpeedRegular,
              speed == OneWireSpeed::Overdrive ? "overdrive speed" : "regular speed"))
        return false;
    speed_ = speed;
    return true;
}

QString Ds2490Link::version() const
{
    return QStringLiteral("DS2490 USB adapter (%1)").arg(usb_->name());
}

void RegisterUsbLink()
{
    SetUsbLinkFactory([](int adapterNumber) -> std::unique_ptr<OneWireLink> { return std::make_unique<Ds2490Link>(adapterNumber); });
}
