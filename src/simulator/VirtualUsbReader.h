#pragma once
// The virtual bench behind an emulated DS2490 USB adapter, as one link: the program speaks USB
// transfers (Ds2490Link) to the emulator, which drives the virtual bus. Chosen with
// `sim reader DS2490`; the trace then shows the adapter's requests and bulk bytes.
#include "onewire/Ds2490Link.h"
#include "simulator/Ds2490Emulator.h"
#include "simulator/VirtualBus.h"

class VirtualUsbReader : public OneWireLink {
public:
    explicit VirtualUsbReader(std::shared_ptr<VirtualWorld> world)
        : bus_(std::move(world)), adapter_(bus_), link_(adapter_.transport())
    {
    }

    bool open() override { return link_.open(); }
    void close() override { link_.close(); }
    bool isOpen() const override { return link_.isOpen(); }
    bool reset() override { return link_.reset(); }
    int touchBit(int bit) override { return link_.touchBit(bit); }
    int touchByte(uint8_t byte) override { return link_.touchByte(byte); }
    int block(uint8_t* buffer, int len) override { return link_.block(buffer, len); }
    int touchBytePower(uint8_t byte) override { return link_.touchBytePower(byte); }
    bool searchNext(OneWireSearchState& state, bool alarmOnly = false) override { return link_.searchNext(state, alarmOnly); }
    bool setSpeed(OneWireSpeed speed) override { return link_.setSpeed(speed); }
    OneWireSpeed speed() const override { return link_.speed(); }
    bool supportsOverdrive() const override { return link_.supportsOverdrive(); }
    uint64_t timeSlots() const override { return link_.timeSlots(); }
    QString version() const override { return link_.version() + QStringLiteral(", emulated in front of the virtual bus"); }
    QString lastError() const override { return link_.lastError(); }
    // The bench's state file is read and written per driver session, as on the bus itself.
    void beginSession() override { bus_.beginSession(); }
    void endSession() override { bus_.endSession(); }

    Ds2490Emulator& adapter() { return adapter_; }

private:
    VirtualBus bus_;
    Ds2490Emulator adapter_;
    Ds2490Link link_;
};
