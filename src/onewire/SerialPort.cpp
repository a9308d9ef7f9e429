#include "onewire/SerialPort.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static_assert(sizeof(termios) <= 128, "saved settings buffer too small");

namespace {
using Clock = std::chrono::steady_clock;

speed_t SpeedOf(int baud)
{
    switch (baud) {
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

int LeftMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}
} // namespace

QString SerialErrorText(const QString& path, int err)
{
    QString why;
    switch (err) {
    case ENOENT: why = QStringLiteral("no such port"); break;
    case EACCES:
    case EPERM: why = QStringLiteral("permission denied: add the user to group dialout"); break;
    case EBUSY:
    case EWOULDBLOCK: why = QStringLiteral("the port is in use by another program"); break;
    case ENOTTY:
    case EINVAL: why = QStringLiteral("not a serial port"); break;
    case ENXIO:
    case ENODEV: why = QStringLiteral("the device is not connected"); break;
    case EIO: why = QStringLiteral("input/output error (adapter unplugged?)"); break;
    case ETIMEDOUT: why = QStringLiteral("no answer in time"); break;
    default: why = QString::fromLocal8Bit(strerror(err)); break;
    }
    return QStringLiteral("serial port %1: %2").arg(path, why);
}

PosixSerialPort::PosixSerialPort(const QString& path) : path_(path) {}

PosixSerialPort::~PosixSerialPort() { close(); }

bool PosixSerialPort::fail(const QString& what, int err)
{
    lastError_ = what.isEmpty() ? SerialErrorText(path_, err) : SerialErrorText(path_, err) + QStringLiteral(" (") + what + ')';
    return false;
}

bool PosixSerialPort::open()
{
    close();
    lastError_.clear();
    const QByteArray native = path_.toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(QString(), errno);
    // Exclusive use: the advisory lock stops programs that honour it (and other copies of this
    // one), TIOCEXCL stops further opens of the terminal by anyone but root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return fail(QString(), err);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(QString(), err == EINVAL ? ENOTTY : err);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(QString(), err);
    }
    std::memcpy(saved_, &tio, sizeof tio);
    savedValid_ = true;
    fd_ = fd;

    cfmakeraw(&tio);
    // 8 data bits, no parity, one stop bit, no flow control, receiver on, modem lines ignored.
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
        const int err = errno;
        close();
        return fail(QStringLiteral("setting 9600 baud 8N1"), err);
    }
    baud_ = 9600;
    // The adapter draws its supply from DTR and RTS: both are asserted. (Which of the two the
    // adapter really needs is not known; asserting both is the common practice.) Ports without
    // modem lines (pseudo-terminals) refuse the request, which is harmless.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd_, TIOCMBIS, &lines);
    return true;
}

void PosixSerialPort::close()
{
    if (fd_ < 0) return;
    if (savedValid_) {
        tcdrain(fd_);
        tcsetattr(fd_, TCSANOW, reinterpret_cast<const termios*>(saved_));
    }
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
    savedValid_ = false;
}

bool PosixSerialPort::setBaudRate(int baud)
{
    if (fd_ < 0) return fail(QStringLiteral("not open"), EBADF);
    const speed_t speed = SpeedOf(baud);
    termios tio{};
    if (speed == B0) return fail(QStringLiteral("rate %1 not supported").arg(baud), EINVAL);
    if (tcgetattr(fd_, &tio) != 0) return fail(QString(), errno);
    tcdrain(fd_);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return fail(QStringLiteral("setting %1 baud").arg(baud), errno);
    baud_ = baud;
    return true;
}

bool PosixSerialPort::sendBreak()
{
    if (fd_ < 0) return fail(QStringLiteral("not open"), EBADF);
    if (tcsendbreak(fd_, 0) != 0) return fail(QStringLiteral("break"), errno);
    return true;
}

void PosixSerialPort::drain()
{
    if (fd_ >= 0) tcdrain(fd_);
}

void PosixSerialPort::flushInput()
{
    if (fd_ >= 0) tcflush(fd_, TCIFLUSH);
}

int PosixSerialPort::write(const QByteArray& bytes, int timeoutMs)
{
    if (fd_ < 0) {
        fail(QStringLiteral("not open"), EBADF);
        return 0;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int written = 0;
    while (written < bytes.size()) {
        const ssize_t put = ::write(fd_, bytes.constData() + written, size_t(bytes.size() - written));
        if (put > 0) {
            written += int(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) {
            fail(QString(), errno);
            break;
        }
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, LeftMs(deadline)) <= 0) {
            fail(QStringLiteral("%1 of %2 bytes sent").arg(written).arg(bytes.size()), ETIMEDOUT);
            break;
        }
    }
    return written;
}

int PosixSerialPort::read(QByteArray& out, int count, int timeoutMs)
{
    if (fd_ < 0) {
        fail(QStringLiteral("not open"), EBADF);
        return 0;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int got = 0;
    char buf[512];
    while (count < 0 || got < count) {
        pollfd p{fd_, POLLIN, 0};
        const int n = ::poll(&p, 1, LeftMs(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (!(p.revents & POLLIN)) {
            if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
                fail(QString(), EIO);
                break;
            }
            continue;
        }
        const size_t want = count < 0 ? sizeof buf : std::min(sizeof buf, size_t(count - got));
        const ssize_t r = ::read(fd_, buf, want);
        if (r > 0) {
            out.append(buf, int(r));
            got += int(r);
        } else if (r < 0 && errno != EAGAIN && errno != EINTR) {
            fail(QString(), errno);
            break;
        }
    }
    return got;
}
