#include "onewire/LibusbTransport.h"
#include "onewire/BusTrace.h"
#include "onewire/Ds2490Protocol.h"

#include <libusb.h>
#include <algorithm>

namespace {

// One libusb context for the process, made on first use.
libusb_context* Context(QString* error)
{
    static libusb_context* ctx = nullptr;
    static int status = 1;
    if (status == 1) status = libusb_init(&ctx);
    if (status != 0) {
        if (error) *error = QStringLiteral("USB cannot be used on this computer: %1").arg(QString::fromUtf8(libusb_strerror(status)));
        return nullptr;
    }
    return ctx;
}

struct Found {
    UsbAdapterInfo info;
    libusb_device* device = nullptr;
};

// The DS2490s attached, in bus and device order; the devices are referenced (unref them).
std::vector<Found> FindAdapters(QString* error)
{
    std::vector<Found> out;
    libusb_context* ctx = Context(error);
    if (!ctx) return out;
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    if (n < 0) {
        if (error) *error = QStringLiteral("the USB devices cannot be listed: %1").arg(QString::fromUtf8(libusb_strerror(int(n))));
        return out;
    }
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
        if (d.idVendor != ds2490::kVendorId || d.idProduct != ds2490::kProductId) continue;
        Found f;
        f.info.bus = libusb_get_bus_number(list[i]);
        f.info.device = libusb_get_device_address(list[i]);
        f.info.path = QStringLiteral("/dev/bus/usb/%1/%2").arg(f.info.bus, 3, 10, QLatin1Char('0')).arg(f.info.device, 3, 10, QLatin1Char('0'));
        f.device = libusb_ref_device(list[i]);
        out.push_back(f);
    }
    libusb_free_device_list(list, 1);
    std::sort(out.begin(), out.end(), [](const Found& a, const Found& b) {
        return a.info.bus != b.info.bus ? a.info.bus < b.info.bus : a.info.device < b.info.device;
    });
    return out;
}

} // namespace

std::vector<UsbAdapterInfo> ListUsbAdapters(QString* error)
{
    std::vector<UsbAdapterInfo> out;
    for (const Found& f : FindAdapters(error)) {
        out.push_back(f.info);
        libusb_unref_device(f.device);
    }
    return out;
}

LibusbTransport::LibusbTransport(int adapterNumber) : number_(std::max(1, adapterNumber)) {}

LibusbTransport::~LibusbTransport() { close(); }

QString LibusbTransport::name() const
{
    if (info_.bus == 0) return QStringLiteral("USB adapter %1 (DS2490)").arg(number_);
    return info_.description();
}

bool LibusbTransport::fail(UsbFailure why, const QString& text)
{
    failure_ = why;
    lastError_ = text;
    return false;
}

bool LibusbTransport::open()
{
    close();
    failure_ = UsbFailure::None;
    lastError_.clear();
    QString error;
    std::vector<Found> found = FindAdapters(&error);
    if (!error.isEmpty()) return fail(UsbFailure::Io, error);
    if (int(found.size()) < number_) {
        for (Found& f : found) libusb_unref_device(f.device);
        if (found.empty()) return fail(UsbFailure::NoAdapter, QStringLiteral("no USB 1-Wire adapter (DS2490) is attached"));
        return fail(UsbFailure::NoAdapter, QStringLiteral("USB adapter %1 is not attached (%2 DS2490 found)").arg(number_).arg(found.size()));
    }
    info_ = found[size_t(number_ - 1)].info;
    libusb_device* device = found[size_t(number_ - 1)].device;
    const int rc = libusb_open(device, &handle_);
    for (Found& f : found) libusb_unref_device(f.device);
    if (rc != 0) {
        handle_ = nullptr;
        if (rc == LIBUSB_ERROR_ACCESS) return fail(UsbFailure::Permission, QStringLiteral("%1 (%2): permission denied").arg(info_.description(), info_.path));
        if (rc == LIBUSB_ERROR_NO_DEVICE) return fail(UsbFailure::Unplugged, QStringLiteral("%1 was unplugged").arg(info_.description()));
        return fail(UsbFailure::Io, QStringLiteral("%1 cannot be opened: %2").arg(info_.description(), QString::fromUtf8(libusb_strerror(rc))));
    }
    if (libusb_kernel_driver_active(handle_, ds2490::kInterface) == 1) {
        const int d = libusb_detach_kernel_driver(handle_, ds2490::kInterface);
        if (d != 0) {
            libusb_close(handle_);
            handle_ = nullptr;
            if (d == LIBUSB_ERROR_ACCESS) return fail(UsbFailure::Permission, QStringLiteral("%1 (%2): the kernel's 1-Wire driver holds it and may not be detached: permission denied").arg(info_.description(), info_.path));
            return fail(UsbFailure::Busy, QStringLiteral("%1: the kernel's 1-Wire driver holds it and could not be detached: %2").arg(info_.description(), QString::fromUtf8(libusb_strerror(d))));
        }
        detachedKernelDriver_ = true;
        BusTraceLine(QStringLiteral("%1: the kernel's 1-Wire driver held the adapter; it is detached while this program uses it").arg(info_.description()));
    }
    const int c = libusb_claim_interface(handle_, ds2490::kInterface);
    if (c != 0) {
        const QString what = info_.description();
        close();
        if (c == LIBUSB_ERROR_BUSY) return fail(UsbFailure::Busy, QStringLiteral("%1 is in use by another program").arg(what));
        if (c == LIBUSB_ERROR_NO_DEVICE) return fail(UsbFailure::Unplugged, QStringLiteral("%1 was unplugged").arg(what));
        return fail(UsbFailure::Io, QStringLiteral("%1 cannot be claimed: %2").arg(what, QString::fromUtf8(libusb_strerror(c))));
    }
    return true;
}

void LibusbTransport::close()
{
    if (!handle_) return;
    libusb_release_interface(handle_, ds2490::kInterface);
    if (detachedKernelDriver_) {
        libusb_attach_kernel_driver(handle_, ds2490::kInterface);
        detachedKernelDriver_ = false;
    }
    libusb_close(handle_);
    handle_ = nullptr;
}

bool LibusbTransport::transferFailed(int code, const char* what)
{
    if (code == LIBUSB_ERROR_NO_DEVICE) return fail(UsbFailure::Unplugged, QStringLiteral("%1 was unplugged").arg(info_.description()));
    if (code == LIBUSB_ERROR_TIMEOUT) return fail(UsbFailure::Timeout, QStringLiteral("%1 did not answer (%2)").arg(info_.description(), QLatin1String(what)));
    return fail(UsbFailure::Io, QStringLiteral("%1: %2 failed: %3").arg(info_.description(), QLatin1String(what), QString::fromUtf8(libusb_strerror(code))));
}

bool LibusbTransport::control(uint8_t request, uint16_t value, uint16_t index, int timeoutMs)
{
    if (!handle_) return fail(UsbFailure::Io, QStringLiteral("%1 is not open").arg(name()));
    const int rc = libusb_control_transfer(handle_, ds2490::kVendorOut, request, value, index, nullptr, 0, unsigned(timeoutMs));
    return rc < 0 ? transferFailed(rc, "control request") : true;
}

int LibusbTransport::bulkWrite(const uint8_t* data, int len, int timeoutMs)
{
    if (!handle_) return fail(UsbFailure::Io, QStringLiteral("%1 is not open").arg(name())), -1;
    int done = 0;
    const int rc = libusb_bulk_transfer(handle_, ds2490::kEpDataOut, const_cast<uint8_t*>(data), len, &done, unsigned(timeoutMs));
    if (rc != 0 && !(rc == LIBUSB_ERROR_TIMEOUT && done > 0)) return transferFailed(rc, "sending data"), -1;
    return done;
}

int LibusbTransport::bulkRead(uint8_t* data, int len, int timeoutMs)
{
    if (!handle_) return fail(UsbFailure::Io, QStringLiteral("%1 is not open").arg(name())), -1;
    int done = 0;
    const int rc = libusb_bulk_transfer(handle_, ds2490::kEpDataIn, data, len, &done, unsigned(timeoutMs));
    if (rc == LIBUSB_ERROR_TIMEOUT) return done;
    if (rc != 0) return transferFailed(rc, "reading data"), -1;
    return done;
}

int LibusbTransport::readStatus(uint8_t* data, int maxLen, int timeoutMs)
{
    if (!handle_) return fail(UsbFailure::Io, QStringLiteral("%1 is not open").arg(name())), -1;
    int done = 0;
    const int rc = libusb_interrupt_transfer(handle_, ds2490::kEpStatus, data, maxLen, &done, unsigned(timeoutMs));
    if (rc != 0) return transferFailed(rc, "reading the status"), -1;
    return done;
}
