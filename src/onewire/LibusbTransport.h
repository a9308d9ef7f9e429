#pragma once
// The DS2490 on this computer's USB, through libusb-1.0. The adapter is found by its vendor and
// product ids; when the kernel's own 1-Wire driver holds it, that driver is detached for as long
// as the adapter is claimed (said in the bus trace) and given back at close.
#include "onewire/UsbTransport.h"
#include <vector>

struct libusb_device_handle;

class LibusbTransport : public UsbTransport {
public:
    // The adapter number is its place among the DS2490s attached (1 = the first, in bus and
    // device order), as `bus adapters` lists them.
    explicit LibusbTransport(int adapterNumber = 1);
    ~LibusbTransport() override;
    LibusbTransport(const LibusbTransport&) = delete;
    LibusbTransport& operator=(const LibusbTransport&) = delete;

    bool open() override;
    void close() override;
    bool isOpen() const override { return handle_ != nullptr; }
    QString name() const override;

    bool control(uint8_t request, uint16_t value, uint16_t index, int timeoutMs) override;
    int bulkWrite(const uint8_t* data, int len, int timeoutMs) override;
    int bulkRead(uint8_t* data, int len, int timeoutMs) override;
    int readStatus(uint8_t* data, int maxLen, int timeoutMs) override;

    UsbFailure failure() const override { return failure_; }
    QString lastError() const override { return lastError_; }

private:
    bool fail(UsbFailure why, const QString& text);
    bool transferFailed(int code, const char* what);

    int number_;
    UsbAdapterInfo info_;
    libusb_device_handle* handle_ = nullptr;
    bool detachedKernelDriver_ = false;
    UsbFailure failure_ = UsbFailure::None;
    QString lastError_;
};

// The DS2490 adapters attached, in bus and device order. Empty when there are none; *error is
// set when USB could not be asked at all.
std::vector<UsbAdapterInfo> ListUsbAdapters(QString* error = nullptr);
