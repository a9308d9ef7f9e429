#include "simulator/Ds2490Emulator.h"
#include "onewire/Ds2490Protocol.h"

#include <algorithm>
#include <thread>

using namespace ds2490;
using Clock = std::chrono::steady_clock;

// The transport the link holds: every call goes to the emulator.
class Ds2490Transport : public UsbTransport {
public:
    explicit Ds2490Transport(Ds2490Emulator& e) : e_(e) {}
    ~Ds2490Transport() override { close(); }

    bool open() override
    {
        close();
        failure_ = e_.openFrom();
        if (failure_ == UsbFailure::None) {
            open_ = true;
            lastError_.clear();
            return true;
        }
        lastError_ = describeFailure();
        return false;
    }
    void close() override
    {
        if (open_) e_.closeFrom();
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    QString name() const override { return e_.info().description(); }

    bool control(uint8_t request, uint16_t value, uint16_t index, int) override
    {
        if (!check()) return false;
        return e_.control(request, value, index);
    }
    int bulkWrite(const uint8_t* data, int len, int) override
    {
        if (!check()) return -1;
        return e_.bulkWrite(data, len);
    }
    int bulkRead(uint8_t* data, int len, int timeoutMs) override
    {
        if (!check()) return -1;
        return e_.bulkRead(data, len, timeoutMs);
    }
    int readStatus(uint8_t* data, int maxLen, int) override
    {
        if (!check()) return -1;
        return e_.readStatus(data, maxLen);
    }
    UsbFailure failure() const override { return failure_; }
    QString lastError() const override { return lastError_; }

private:
    bool check()
    {
        if (!open_) {
            failure_ = UsbFailure::Io;
            lastError_ = name() + QStringLiteral(" is not open");
            return false;
        }
        if (e_.gone()) {
            failure_ = UsbFailure::Unplugged;
            lastError_ = name() + QStringLiteral(" was unplugged");
            return false;
        }
        return true;
    }
    QString describeFailure() const
    {
        const UsbAdapterInfo i = e_.info();
        switch (failure_) {
        case UsbFailure::NoAdapter: return QStringLiteral("no USB 1-Wire adapter (DS2490) is attached");
        case UsbFailure::Permission: return QStringLiteral("%1 (%2): permission denied").arg(i.description(), i.path);
        case UsbFailure::Busy: return QStringLiteral("%1 is in use by another program").arg(i.description());
        default: return QStringLiteral("%1 cannot be opened").arg(i.description());
        }
    }

    Ds2490Emulator& e_;
    bool open_ = false;
    UsbFailure failure_ = UsbFailure::None;
    QString lastError_;
};

Ds2490Emulator::Ds2490Emulator(OneWireLink& bus, int usbBus, int usbDevice)
    : bus_(bus), usbBus_(usbBus), usbDevice_(usbDevice), epoch_(Clock::now())
{
}

Ds2490Emulator::~Ds2490Emulator() = default;

std::unique_ptr<UsbTransport> Ds2490Emulator::transport() { return std::make_unique<Ds2490Transport>(*this); }

UsbAdapterInfo Ds2490Emulator::info() const
{
    UsbAdapterInfo i;
    i.bus = usbBus_;
    i.device = usbDevice_;
    i.path = QStringLiteral("/dev/bus/usb/%1/%2").arg(usbBus_, 3, 10, QLatin1Char('0')).arg(usbDevice_, 3, 10, QLatin1Char('0'));
    return i;
}

UsbFailure Ds2490Emulator::openFrom()
{
    if (!attached_ || unplugged_) return UsbFailure::NoAdapter;
    if (noPermission_) return UsbFailure::Permission;
    if (held_ || claimed_) return UsbFailure::Busy;
    claimed_ = true;
    if (!bus_.isOpen()) (void)bus_.open();
    bus_.beginSession();   // each claim of the adapter is one session of the bus behind
    resetDevice();
    return UsbFailure::None;
}

void Ds2490Emulator::closeFrom()
{
    if (!claimed_) return;
    claimed_ = false;
    bus_.endSession();
}

bool Ds2490Emulator::gone()
{
    ++transfers_;
    if (unplugged_) return true;
    if (unplugAfter_ >= 0 && unplugAfter_-- == 0) {
        unplugged_ = true;
        attached_ = false;
        pullup_ = false;
        return true;
    }
    return false;
}

double Ds2490Emulator::nowUs() const { return std::chrono::duration<double, std::micro>(Clock::now() - epoch_).count(); }

void Ds2490Emulator::waitUntil(double us)
{
    if (!throttle_) return;
    const double now = nowUs();
    if (us > now) std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(us - now));
}

// One USB transfer: about a frame of host time.
void Ds2490Emulator::usbTime()
{
    if (!throttle_) return;
    hostUs_ = std::max(hostUs_, nowUs()) + kUsbTransferUs;
    waitUntil(hostUs_);
}

void Ds2490Emulator::busTime(double us)
{
    if (!throttle_) return;
    busyUntilUs_ = std::max(busyUntilUs_, std::max(hostUs_, nowUs())) + us;
}

void Ds2490Emulator::resetDevice()
{
    speed_ = kSpeedRegular;
    (void)bus_.setSpeed(OneWireSpeed::Standard);
    pullup_ = false;
    spuDuration_ = 0;
    pulseEnable_ = 0;
    out_.clear();
    in_.clear();
    results_.clear();
}

bool Ds2490Emulator::control(uint8_t type, uint16_t value, uint16_t index)
{
    requests_.push_back({ type, value, index });
    usbTime();
    switch (type) {
    case Control:
        if (value == kCtlResetDevice) resetDevice();
        else if (value == kCtlHaltExeIdle || value == kCtlHaltExeDone) pullup_ = false;   // ends a pulse
        else if (value == kCtlFlushCommCmds) results_.clear();
        else if (value == kCtlFlushRcvBuffer) in_.clear();
        else if (value == kCtlFlushXmtBuffer) out_.clear();
        return true;
    case Mode:
        if (value == kMod1WireSpeed) {
            speed_ = index;
            (void)bus_.setSpeed(index == kSpeedOverdrive ? OneWireSpeed::Overdrive : OneWireSpeed::Standard);
        } else if (value == kModStrongPullupDuration) {
            spuDuration_ = index;
        } else if (value == kModPulseEnable) {
            pulseEnable_ = index;
        }
        return true;
    case Comm:
        command(value, index);
        return true;
    default:
        return false;   // the device stalls requests it does not know
    }
}

bool Ds2490Emulator::busReset()
{
    busTime(speed_ == kSpeedOverdrive ? kOverdriveResetUs : kRegularResetUs);
    if (shorted_) {
        results_.push_back(kResultSh);
        return false;
    }
    if (!bus_.reset()) {
        results_.push_back(kResultNrs);
        return false;
    }
    return true;
}

void Ds2490Emulator::command(uint16_t value, uint16_t index)
{
    const double slotUs = speed_ == kSpeedOverdrive ? kOverdriveSlotUs : kRegularSlotUs;
    const uint16_t code = value & 0x00F6;   // without IM and the command-specific flag
    switch (code) {
    case kCommReset:
        busReset();
        return;
    case kCommBitIo: {
        const int r = shorted_ ? 0 : bus_.touchBit((value & kFlagD) ? 1 : 0);
        busTime(slotUs);
        in_.push_back(uint8_t(r < 0 ? 1 : r));
        return;
    }
    case kCommByteIo: {
        const int r = shorted_ ? 0 : bus_.touchByte(uint8_t(index & 0xFF));
        busTime(8 * slotUs);
        in_.push_back(uint8_t(r < 0 ? 0xFF : r));
        if ((value & kFlagSpu) && (pulseEnable_ & kPulseSpu)) pullup_ = true;
        return;
    }
    case kCommBlockIo: {
        if ((value & kFlagRst) && !busReset()) return;
        const int n = std::min<int>(index, int(out_.size()));
        std::vector<uint8_t> data(out_.begin(), out_.begin() + n);
        out_.erase(out_.begin(), out_.begin() + n);
        const int moved = shorted_ ? 0 : bus_.block(data.data(), n);
        for (int i = moved; i < n; ++i) data[size_t(i)] = 0xFF;   // a cut transfer reads as released bus
        busTime(8.0 * n * slotUs);
        in_.insert(in_.end(), data.begin(), data.end());
        return;
    }
    case kCommSearchAccess:
        search(value, index);
        return;
    default:
        return;   // commands the link does not use are taken and do nothing
    }
}

// Search access for one device: reset, the search command, then per ROM bit the two read slots
// and the direction: the only bit present, or at a disagreement the start ROM's bit.
void Ds2490Emulator::search(uint16_t value, uint16_t index)
{
    uint8_t start[8] = { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };
    for (int i = 0; i < 8 && !out_.empty(); ++i) {
        start[i] = out_.front();
        out_.pop_front();
    }
    if ((value & kFlagRst) && !busReset()) return;
    const double slotUs = speed_ == kSpeedOverdrive ? kOverdriveSlotUs : kRegularSlotUs;
    (void)bus_.touchByte(uint8_t(index & 0xFF));
    busTime(8 * slotUs);
    uint8_t rom[8] = {};
    uint8_t disagreed[8] = {};
    for (int n = 0; n < 64; ++n) {
        const int id = bus_.touchBit(1);
        const int cmp = bus_.touchBit(1);
        busTime(3 * slotUs);
        if (id < 0 || cmp < 0 || (id == 1 && cmp == 1)) {
            results_.push_back(kResultNrs);   // nobody answered this bit: the device left
            return;
        }
        int dir;
        if (id != cmp) {
            dir = id;
        } else {
            dir = (start[n / 8] >> (n % 8)) & 1;
            disagreed[n / 8] |= uint8_t(1 << (n % 8));
        }
        (void)bus_.touchBit(dir);
        if (dir) rom[n / 8] |= uint8_t(1 << (n % 8));
    }
    in_.insert(in_.end(), rom, rom + 8);
    if (value & kFlagRts) in_.insert(in_.end(), disagreed, disagreed + 8);
}

int Ds2490Emulator::bulkWrite(const uint8_t* data, int len)
{
    usbTime();
    const int room = kFifoSize - int(out_.size());
    const int n = std::max(0, std::min(len, room));
    out_.insert(out_.end(), data, data + n);
    dataOutLog_.insert(dataOutLog_.end(), data, data + n);
    return n;
}

int Ds2490Emulator::bulkRead(uint8_t* data, int len, int timeoutMs)
{
    // The data is there once the 1-Wire side has done the command.
    if (throttle_) {
        const double ready = std::min(busyUntilUs_, nowUs() + timeoutMs * 1000.0);
        hostUs_ = std::max(hostUs_, ready);
    }
    usbTime();
    const int n = std::min<int>(len, int(in_.size()));
    std::copy(in_.begin(), in_.begin() + n, data);
    in_.erase(in_.begin(), in_.begin() + n);
    return n;
}

int Ds2490Emulator::readStatus(uint8_t* data, int maxLen)
{
    usbTime();
    uint8_t status[kStatusSize] = {};
    status[kStEnableFlags] = uint8_t(pulseEnable_);
    status[kStSpeed] = uint8_t(speed_);
    status[kStSpuDuration] = uint8_t(spuDuration_);
    const bool busy = throttle_ && nowUs() < busyUntilUs_;
    status[kStDeviceStatus] = uint8_t((busy ? 0 : kStatusIdle) | (pullup_ ? kStatusSpua : 0));
    status[kStCommBufferStatus] = busy ? 1 : 0;
    status[kStDataOutStatus] = uint8_t(out_.size());
    status[kStDataInStatus] = uint8_t(std::min<size_t>(in_.size(), 255));
    const int n = std::min(maxLen, kStatusSize);
    std::copy(status, status + n, data);
    int len = n;
    if (!busy) {
        // Result bytes come with the status once the command has ended.
        const int extra = std::min<int>(maxLen - n, int(results_.size()));
        std::copy(results_.begin(), results_.begin() + extra, data + n);
        results_.erase(results_.begin(), results_.begin() + extra);
        len += extra;
    }
    return len;
}
