#pragma once
// A DS2490 USB 1-Wire bridge in software: it answers the adapter's vendor commands, bulk
// endpoints and status packets and drives a OneWireLink (normally the virtual bus) behind it.
// transport() gives the UsbTransport a Ds2490Link uses, in the same process; every command is
// carried out when it arrives.
//
// With throttling on, every USB transfer costs about one USB frame and the 1-Wire activity its
// bus time at the speed set (the bridge's typical timing), so that wall times measured through
// the emulator are those of a real adapter: data and the idle status are only there once the
// bus time of the command has passed.
//
// Faults, as a hand-held reader produces them: no adapter attached, the adapter unplugged after
// a number of transfers (and plugged back), held by another program, no permission on its device
// node, and a 1-Wire line that is shorted.
#include "onewire/OneWireLink.h"
#include "onewire/UsbTransport.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class Ds2490Emulator {
public:
    explicit Ds2490Emulator(OneWireLink& bus, int usbBus = 1, int usbDevice = 4);
    ~Ds2490Emulator();
    Ds2490Emulator(const Ds2490Emulator&) = delete;
    Ds2490Emulator& operator=(const Ds2490Emulator&) = delete;

    // A transport with this emulator behind it. The emulator must outlive it.
    std::unique_ptr<UsbTransport> transport();
    UsbAdapterInfo info() const;

    void setThrottle(bool on) { throttle_ = on; }
    // Faults.
    void setAttached(bool on) { attached_ = on; }                  // off: no adapter (open fails)
    void unplugAfterTransfers(int n) { unplugAfter_ = n; }         // -1 = never
    void plugBackIn() { attached_ = true; unplugAfter_ = -1; unplugged_ = false; }
    void setHeldByOtherProgram(bool on) { held_ = on; }
    void setNoPermission(bool on) { noPermission_ = on; }
    void setShorted(bool on) { shorted_ = on; }

    // What the host asked for, for byte-for-byte checks.
    struct Request {
        uint8_t type;
        uint16_t value;
        uint16_t index;
    };
    const std::vector<Request>& requests() const { return requests_; }
    const std::vector<uint8_t>& dataOut() const { return dataOutLog_; }   // bytes the host sent on EP2
    void clearLog() { requests_.clear(); dataOutLog_.clear(); }
    uint64_t transfers() const { return transfers_; }
    bool strongPullupActive() const { return pullup_; }
    int speed() const { return speed_; }
    bool claimed() const { return claimed_; }

private:
    friend class Ds2490Transport;
    // Transport side.
    UsbFailure openFrom();
    void closeFrom();
    bool gone();                    // counts one transfer; true when the adapter is gone
    bool control(uint8_t type, uint16_t value, uint16_t index);
    int bulkWrite(const uint8_t* data, int len);
    int bulkRead(uint8_t* data, int len, int timeoutMs);
    int readStatus(uint8_t* data, int maxLen);

    void command(uint16_t value, uint16_t index);
    void resetDevice();
    bool busReset();                // false: no presence (result queued)
    void search(uint16_t value, uint16_t index);
    void busTime(double us);
    void usbTime();
    double nowUs() const;
    void waitUntil(double us);

    OneWireLink& bus_;
    int usbBus_;
    int usbDevice_;
    bool throttle_ = false;
    bool attached_ = true;
    bool unplugged_ = false;
    int unplugAfter_ = -1;
    bool held_ = false;
    bool noPermission_ = false;
    bool shorted_ = false;
    bool claimed_ = false;

    // chip state
    int speed_ = 0;
    bool pullup_ = false;
    uint16_t spuDuration_ = 0;
    uint16_t pulseEnable_ = 0;
    std::deque<uint8_t> out_;       // EP2 FIFO (host to 1-Wire)
    std::deque<uint8_t> in_;        // EP3 FIFO (1-Wire to host)
    std::vector<uint8_t> results_;  // result bytes for the next status packet

    // timing
    std::chrono::steady_clock::time_point epoch_;
    double busyUntilUs_ = 0;        // the 1-Wire side is busy until then
    double hostUs_ = 0;             // where the host's transfers have got to

    std::vector<Request> requests_;
    std::vector<uint8_t> dataOutLog_;
    uint64_t transfers_ = 0;
};
