#pragma once
// A serial port as the DS2480B link needs it: raw bytes at a chosen rate, a break, flushing,
// and reads and writes with a time limit. PosixSerialPort is the real port (termios); tests and
// the simulator put an in-memory port with an emulated adapter behind the same interface.
#include <QByteArray>
#include <QString>
#include <memory>

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the port at 9600 baud, 8N1, raw. False with lastError() set.
    [[nodiscard]] virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString name() const = 0;

    // Changes the rate of the open port (4800, 9600, 19200, 57600, 115200); written bytes are
    // sent at the old rate first.
    [[nodiscard]] virtual bool setBaudRate(int baud) = 0;
    virtual int baudRate() const = 0;
    // Holds the line low for a break (the DS2480B's master reset).
    virtual bool sendBreak() = 0;
    // Waits until every written byte has left.
    virtual void drain() = 0;
    // Discards bytes received and not yet read.
    virtual void flushInput() = 0;

    // Writes all bytes within timeoutMs; returns the number written.
    virtual int write(const QByteArray& bytes, int timeoutMs) = 0;
    // Reads until count bytes have arrived or timeoutMs has passed; appends them to out and
    // returns how many were read. A count of -1 takes whatever arrives within timeoutMs.
    virtual int read(QByteArray& out, int count, int timeoutMs) = 0;

    virtual QString lastError() const = 0;
};

// The serial ports of the system (/dev/ttyS0, /dev/ttyUSB0, ...). The port is opened for this
// program alone (TIOCEXCL and an exclusive flock): another program holding it is refused with a
// clear message. Its terminal settings are saved at open and restored at close.
class PosixSerialPort : public SerialPort {
public:
    explicit PosixSerialPort(const QString& path);
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool open() override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    QString name() const override { return path_; }
    bool setBaudRate(int baud) override;
    int baudRate() const override { return baud_; }
    bool sendBreak() override;
    void drain() override;
    void flushInput() override;
    int write(const QByteArray& bytes, int timeoutMs) override;
    int read(QByteArray& out, int count, int timeoutMs) override;
    QString lastError() const override { return lastError_; }

private:
    bool fail(const QString& what, int err);

    QString path_;
    int fd_ = -1;
    int baud_ = 9600;
    bool savedValid_ = false;
    unsigned char saved_[128] = {};   // the port's termios settings before open
    QString lastError_;
};

// The one wording of a system error on a serial port, for every failure of this layer:
// "serial port /dev/ttyUSB0: permission denied: add the user to group dialout".
QString SerialErrorText(const QString& path, int err);
