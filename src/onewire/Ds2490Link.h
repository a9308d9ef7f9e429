#pragma once
// The 1-Wire link through a DS2490 USB bridge (the USB 1-Wire adapters sold today), spoken to
// over a UsbTransport: the adapter on this computer's USB through libusb (LibusbTransport), or
// any other transport given to it (an emulated adapter).
//
// Resets, bits and bytes are single communication commands; blocks go through the adapter's
// data FIFO in pieces of up to 128 bytes; the ROM search is the adapter's search access, one
// device a command. Every wait is bounded: an adapter that is pulled out, held by another
// program or not allowed to this user gives a failure whose message names the cause and the
// remedy (lastError()), never a hang. After a failure the next call opens the adapter again.
#include "onewire/OneWireLink.h"
#include "onewire/UsbTransport.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class Ds2490Link : public OneWireLink {
public:
    // The adapter of that number among the DS2490s attached (1 = the first), through libusb.
    explicit Ds2490Link(int adapterNumber = 1);
    explicit Ds2490Link(std::unique_ptr<UsbTransport> usb);
    ~Ds2490Link() override;
    Ds2490Link(const Ds2490Link&) = delete;
    Ds2490Link& operator=(const Ds2490Link&) = delete;

    bool open() override;
    void close() override;
    bool isOpen() const override { return usb_->isOpen(); }

    bool reset() override;
    int touchBit(int bit) override;
    int touchByte(uint8_t byte) override;
    int block(uint8_t* buffer, int len) override;
    int touchBytePower(uint8_t byte) override;
    bool searchNext(OneWireSearchState& state, bool alarmOnly = false) override;
    bool setSpeed(OneWireSpeed speed) override;
    OneWireSpeed speed() const override { return speed_; }
    bool supportsOverdrive() const override { return true; }

    uint64_t timeSlots() const override { return timeSlots_; }
    QString version() const override;
    QString lastError() const override { return lastError_; }

    // Why the last step failed, as the transport saw it (None after success).
    UsbFailure failure() const { return failure_; }
    // USB transfers (control, bulk, status) since construction, for the benchmark.
    uint64_t usbTransfers() const { return transfers_; }
    // 1-Wire time of the resets and slots since construction at the speeds used, in
    // microseconds (the adapter's typical timing), for the benchmark's bound.
    double slotTimeUs() const { return slotTimeUs_; }

private:
    bool ensureReady();
    bool initAdapter();
    bool control(uint8_t type, uint16_t value, uint16_t index, const char* meaning);
    bool comm(uint16_t value, uint16_t index, const char* meaning);
    bool mode(uint16_t value, uint16_t index, const char* meaning);
    // Polls the status until the adapter is idle; the result bytes (device detections left
    // out) are appended to *results.
    bool waitIdle(std::vector<uint8_t>* results);
    bool sendData(const uint8_t* data, int len);
    // Reads exactly len bytes from the data FIFO within the deadline.
    bool readData(uint8_t* data, int len);
    bool usbFailed();
    bool fail(UsbFailure why, const QString& message);
    void addSlots(uint64_t count);
    void addReset();

    std::unique_ptr<UsbTransport> usb_;
    bool ready_ = false;
    bool pullupActive_ = false;
    OneWireSpeed speed_ = OneWireSpeed::Standard;
    uint64_t timeSlots_ = 0;
    uint64_t transfers_ = 0;
    double slotTimeUs_ = 0;
    UsbFailure failure_ = UsbFailure::None;
    QString lastError_;
};

// The message of a USB failure: the cause (as the transport gave it) and what the operator can
// do about it, for example "... permission denied: install the udev rule ...".
QString UsbFailureMessage(UsbFailure why, const QString& cause);

// Makes the USB back-end known to CreateLinkForPort (see RegisterSerialLink).
void RegisterUsbLink();
