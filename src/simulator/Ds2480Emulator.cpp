#include "simulator/Ds2480Emulator.h"
#include "onewire/Ds2480Protocol.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace ds2480;

namespace {

using Clock = std::chrono::steady_clock;

// Strong pull-up / programming pulse durations of the value codes 0..6 (7 = until terminated).
constexpr double kSpudUs[8] = { 16400, 65500, 131000, 262000, 524000, 1048000, 1048000, 0 };
constexpr double kPpdUs[8] = { 32, 64, 128, 256, 512, 1024, 2048, 0 };
constexpr int kBaud[8] = { 9600, 19200, 57600, 115200, 9600, 19200, 57600, 115200 };

} // namespace

Ds2480Emulator::Ds2480Emulator(OneWireLink& bus)
    : bus_(bus)
{
}

Ds2480Emulator::~Ds2480Emulator()
{
    stop();
}

bool Ds2480Emulator::start(QString* error)
{
    if (master_ >= 0)
        return true;
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("cannot open a pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    // The terminal side is opened by the link under its name; closing ours here lets the
    // emulator see when the link closes the port (the adapter's power-down).
    ::close(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    master_ = master;
    slavePath_ = QString::fromLocal8Bit(name);
    masterReset();
    masterResets_ = 0;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void Ds2480Emulator::stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();   // (a session still open on the bus behind is left to its owner)
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

std::vector<uint8_t> Ds2480Emulator::received() const
{
    std::lock_guard<std::mutex> lock(logMutex_);
    return received_;
}

std::vector<uint8_t> Ds2480Emulator::sent() const
{
    std::lock_guard<std::mutex> lock(logMutex_);
    return sent_;
}

void Ds2480Emulator::clearLog()
{
    std::lock_guard<std::mutex> lock(logMutex_);
    received_.clear();
    sent_.clear();
}

void Ds2480Emulator::waitIdle(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        int pending = 0;
        if (master_ < 0 || (ioctl(master_, FIONREAD, &pending) == 0 && pending == 0 && !busy_))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Ds2480Emulator::masterReset()
{
    calibrated_ = false;
    dataMode_ = false;
    pullup_ = false;
    escapePending_ = false;
    searchAccel_ = false;
    pulseArmed_ = false;
    std::fill(std::begin(config_), std::end(config_), uint8_t(0));
    baud_ = 9600;
    setBusSpeed(SpeedStandard);
    ++masterResets_;
}

void Ds2480Emulator::setBusSpeed(int speedCode)
{
    speed_ = speedCode;
    (void)bus_.setSpeed(speedCode == SpeedOverdrive ? OneWireSpeed::Overdrive : OneWireSpeed::Standard);
}

double Ds2480Emulator::slotUs() const
{
    return speed_ == SpeedOverdrive ? kOverdriveSlotUs : kStandardSlotUs;
}

double Ds2480Emulator::byteTimeUs() const
{
    return 10.0 * 1e6 / kBaud[config_[ParRbr] & 7];
}

static double NowUs(Clock::time_point epoch)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - epoch).count();
}

void Ds2480Emulator::run()
{
    const Clock::time_point epoch = Clock::now();
    uint8_t buf[256];
    bool hungUp = true;   // nobody has the terminal side open yet
    while (!stop_) {
        pollfd p{ master_, POLLIN, 0 };
        const int n = ::poll(&p, 1, 10);
        if (n <= 0)
            continue;
        if (p.revents & POLLIN) {
            busy_ = true;
            const ssize_t got = ::read(master_, buf, sizeof buf);
            if (got > 0) {
                const double arrival = NowUs(epoch);
                if (hungUp)
                    bus_.beginSession();   // the port was opened: a session on the bus behind
                hungUp = false;
                {
                    std::lock_guard<std::mutex> lock(logMutex_);
                    received_.insert(received_.end(), buf, buf + got);
                }
                for (ssize_t i = 0; i < got && !stop_; ++i) {
                    if (throttle_) {
                        // The byte is complete one serial byte time after the line was free;
                        // the chip takes it once it has done the 1-Wire work of the one before
                        // (which takes longer than a byte on the line at the higher rates).
                        inFreeUs_ = std::max(arrival, inFreeUs_) + byteTimeUs();
                        chipUs_ = std::max(inFreeUs_, chipUs_);
                    }
                    handleByte(buf[i]);
                    if (throttle_)
                        flushAnswers(epoch);
                }
                flushAnswers(epoch);
                busy_ = false;
                continue;
            }
            busy_ = false;
            if (got < 0 && errno == EAGAIN)
                continue;
            // EIO: the terminal side was closed (handled as a hang-up below)
        }
        if (p.revents & (POLLHUP | POLLERR | POLLIN)) {
            // The port was closed: the adapter loses its supply and starts from reset.
            if (!hungUp) {
                masterReset();
                bus_.endSession();
            }
            hungUp = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

void Ds2480Emulator::handleByte(uint8_t b)
{
    if (b == 0x00) {
        // A zero byte sent at 4800 baud looks like a break to the chip: master reset.
        if (lineBaud() == 4800) {
            masterReset();
            return;
        }
    }
    if (memoryLineBaud_ > 0 && calibrated_ && memoryLineBaud_ != baud_)
        return;   // sent at another rate than the chip's: a framing error, the byte is lost
    if (!calibrated_) {
        // Only a reset command at 9600 baud calibrates the chip; anything else is lost.
        if (b == kReset && lineBaud() == 9600)
            calibrated_ = true;
        return;
    }
    if (dataMode_)
        handleData(b);
    else
        handleCommand(b);
}

int Ds2480Emulator::lineBaud() const
{
    if (memoryLineBaud_ > 0)
        return memoryLineBaud_;
    termios tio{};
    if (tcgetattr(master_, &tio) != 0)
        return 0;
    switch (cfgetospeed(&tio)) {
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

void Ds2480Emulator::hostBytes(const uint8_t* data, int n)
{
    {
        std::lock_guard<std::mutex> lock(logMutex_);
        received_.insert(received_.end(), data, data + n);
    }
    for (int i = 0; i < n; ++i)
        handleByte(data[i]);
}

// The memory port: the host's line to the emulated chip, handled on the caller's thread.
class Ds2480MemoryPort : public SerialPort {
public:
    explicit Ds2480MemoryPort(Ds2480Emulator& chip) : chip_(chip) {}
    ~Ds2480MemoryPort() override { close(); }
    bool open() override
    {
        close();
        open_ = true;
        baud_ = 9600;
        chip_.memoryLineBaud_ = baud_;
        chip_.bus_.beginSession();
        return true;
    }
    void close() override
    {
        if (!open_)
            return;
        open_ = false;
        // The adapter loses its supply (DTR and RTS drop) and starts from reset.
        chip_.masterReset();
        chip_.bus_.endSession();
        chip_.pending_.clear();
    }
    bool isOpen() const override { return open_; }
    QString name() const override { return QStringLiteral("memory:ds2480b"); }
    bool setBaudRate(int baud) override
    {
        if (baud != 4800 && baud != 9600 && baud != 19200 && baud != 57600 && baud != 115200)
            return false;
        baud_ = baud;
        chip_.memoryLineBaud_ = baud;
        return true;
    }
    int baudRate() const override { return baud_; }
    bool sendBreak() override
    {
        if (!open_)
            return false;
        if (!chip_.breakLost_)
            chip_.masterReset();
        return true;
    }
    void drain() override {}
    void flushInput() override
    {
        // The answers did cross the line; the host throws them away.
        std::lock_guard<std::mutex> lock(chip_.logMutex_);
        chip_.sent_.insert(chip_.sent_.end(), chip_.pending_.begin(), chip_.pending_.end());
        chip_.pending_.clear();
    }
    int write(const QByteArray& bytes, int) override
    {
        if (!open_)
            return 0;
        chip_.hostBytes(reinterpret_cast<const uint8_t*>(bytes.constData()), int(bytes.size()));
        return int(bytes.size());
    }
    int read(QByteArray& out, int count, int) override
    {
        if (!open_)
            return 0;
        const int n = count < 0 ? int(chip_.pending_.size()) : std::min<int>(count, int(chip_.pending_.size()));
        out.append(reinterpret_cast<const char*>(chip_.pending_.data()), n);
        {
            std::lock_guard<std::mutex> lock(chip_.logMutex_);
            chip_.sent_.insert(chip_.sent_.end(), chip_.pending_.begin(), chip_.pending_.begin() + n);
        }
        chip_.pending_.erase(chip_.pending_.begin(), chip_.pending_.begin() + n);
        return n;
    }
    QString lastError() const override { return open_ ? QString() : QStringLiteral("memory port not open"); }

private:
    Ds2480Emulator& chip_;
    bool open_ = false;
    int baud_ = 9600;
};

std::unique_ptr<SerialPort> Ds2480Emulator::memoryPort()
{
    throttle_ = false;
    pendingAt_.clear();
    return std::make_unique<Ds2480MemoryPort>(*this);
}

void Ds2480Emulator::handleData(uint8_t b)
{
    if (escapePending_) {
        escapePending_ = false;
        if (b != kCommandMode) {
            dataMode_ = false;
            handleCommand(b);
            return;
        }
        // 0xE3 0xE3: one real 0xE3 data byte
    } else if (b == kCommandMode) {
        escapePending_ = true;
        return;
    }
    if (searchAccel_) {
        queueAnswer(searchByte(b));
        return;
    }
    const int r = bus_.touchByte(b);
    busTime(8 * slotUs());
    if (speed_ == SpeedOverdrive)
        ++overdriveBytes_;
    queueAnswer(r < 0 ? 0xFF : uint8_t(r));   // a bus without answer reads as ones
    if (pulseArmed_)
        pullup_ = config_[ParSpud] == kSpudInfinite;
}

void Ds2480Emulator::handleCommand(uint8_t b)
{
    if (b == kDataMode) {
        dataMode_ = true;
        return;
    }
    if (b == kCommandMode)
        return;
    if (b == kStopPulse) {
        if (pullup_) {
            pullup_ = false;
            queueAnswer(uint8_t(kPulse5V & 0xFC));   // pulse answer, sent when the pulse ends
        }
        return;
    }
    if (IsCommunicationCommand(b)) {
        switch (FunctionOf(b)) {
        case FnSingleBit: {
            setBusSpeed(SpeedOf(b));
            const int r = bus_.touchBit((b >> 4) & 1);
            busTime(slotUs());
            queueAnswer(uint8_t((b & 0xFC) | (r == 0 ? 0 : 3)));
            if (b & kBitStrongPullup) {
                if (config_[ParSpud] == kSpudInfinite)
                    pullup_ = true;
                else
                    busTime(kSpudUs[config_[ParSpud]]);
            }
            return;
        }
        case FnSearchAccel:
            searchAccel_ = (b >> 4) & 1;
            if (searchAccel_)
                setBusSpeed(SpeedOf(b));
            return;
        case FnReset: {
            setBusSpeed(SpeedOf(b));
            const bool presence = bus_.reset();
            busTime(speed_ == SpeedOverdrive ? kOverdriveResetUs : kStandardResetUs);
            queueAnswer(MakeResetAnswer(presence ? BusState::Presence : BusState::NoPresence));
            return;
        }
        case FnPulse:
            if ((b & 0x0C) != 0x0C)
                return;   // not a pulse (the mode bytes above are the only others in use)
            pulseArmed_ = b & 0x02;
            {
                const bool programming = b & 0x10;
                const int code = programming ? config_[ParPpd] : config_[ParSpud];
                if (code == 7) {
                    pullup_ = true;   // answered at termination
                    return;
                }
                busTime(programming ? kPpdUs[code] : kSpudUs[code]);
            }
            queueAnswer(uint8_t(b & 0xFC));
            return;
        }
        return;
    }
    if ((b & 0x81) == 0x01) {
        const int parameter = (b >> 4) & 7;
        if (parameter == 0) {
            queueAnswer(uint8_t((config_[(b >> 1) & 7] & 7) << 1));
            return;
        }
        const uint8_t code = uint8_t((b >> 1) & 7);
        if (parameter == ParRbr && maxBaud_ > 0 && kBaud[code] > maxBaud_) {
            queueAnswer(uint8_t(b & 0xFE));   // answered, but the chip stays at its rate
            return;
        }
        config_[parameter] = code;
        baud_ = kBaud[config_[ParRbr]];
        queueAnswer(uint8_t(b & 0xFE));   // at the new rate after a baud change
        return;
    }
    // anything else is not a command of the chip: ignored
}

uint8_t Ds2480Emulator::searchByte(uint8_t dirs)
{
    uint8_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const int chosen = (dirs >> (2 * k + 1)) & 1;
        int a = bus_.touchBit(1);
        int c = bus_.touchBit(1);
        if (a < 0 || c < 0)
            a = c = 1;
        int d = 0, taken = 0;
        if (a == 0 && c == 1) {
            taken = 0;
        } else if (a == 1 && c == 0) {
            taken = 1;
        } else if (a == 0 && c == 0) {
            d = 1;
            taken = chosen;
        } else {
            d = 1;   // no device answered
            taken = 1;
        }
        bus_.touchBit(taken);
        busTime(3 * slotUs());
        out |= uint8_t((d << (2 * k)) | (taken << (2 * k + 1)));
    }
    return out;
}

void Ds2480Emulator::busTime(double us)
{
    chipUs_ += us;
}

void Ds2480Emulator::queueAnswer(uint8_t b)
{
    if (silent_)
        return;
    const int limit = answerLimit_;
    if (limit == 0)
        return;
    if (limit > 0)
        answerLimit_ = limit - 1;
    if (lossyAbove_ > 0 && baud_ > lossyAbove_ && ++lossCounter_ % lossPeriod_ == 0)
        return;   // lost on a line that does not carry this rate
    if (throttle_) {
        const double start = std::max(chipUs_, outFreeUs_);
        outFreeUs_ = start + byteTimeUs();
        pendingAt_.push_back(outFreeUs_);
    }
    pending_.push_back(b);
}

void Ds2480Emulator::flushAnswers(Clock::time_point epoch)
{
    size_t done = 0;
    while (done < pending_.size() && !stop_) {
        size_t upTo = pending_.size();
        if (throttle_ && done < pendingAt_.size()) {
            // one byte at a time, each when it has finished crossing the line
            std::this_thread::sleep_until(epoch + std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double, std::micro>(pendingAt_[done])));
            upTo = done + 1;
        }
        const ssize_t put = ::write(master_, pending_.data() + done, upTo - done);
        if (put > 0) {
            std::lock_guard<std::mutex> lock(logMutex_);
            sent_.insert(sent_.end(), pending_.begin() + long(done), pending_.begin() + long(done + size_t(put)));
            done += size_t(put);
        } else if (put < 0 && errno == EAGAIN) {
            pollfd p{ master_, POLLOUT, 0 };
            if (::poll(&p, 1, 200) <= 0)
                break;   // the host does not read: drop what is left
        } else {
            break;
        }
    }
    pending_.clear();
    pendingAt_.clear();
}
