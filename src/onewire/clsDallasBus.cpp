// The bus object: session, status, diagnostics, search and the raw DS1921 memory protocol.
#include "onewire/clsDallasBus.h"
#include "app/modRegistry.h"
#include "onewire/BusTrace.h"
#include "onewire/BusWait.h"
#include "onewire/OneWireProtocol.h"
#include "onewire/Tmex.h"
#include <algorithm>
#include <cmath>

namespace {
const QString kClassName = QStringLiteral("clsDallasBus");

using namespace onewire;
constexpr int kPageBytes = kPacketPageSize;
constexpr int kPageBlock = 34;   // 32 data bytes and the inverted CRC16

// The 16-bit conversion of a registry text: whole numbers and numbers with a fraction
// (rounded half to even); anything else or out of range is no value.
bool toInt16(const QString& text, int16_t& out)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return false;
    const double r = std::nearbyint(v);   // default rounding mode: half to even
    if (r < -32768.0 || r > 32767.0) return false;
    out = int16_t(r);
    return true;
}

void appendRom(ByteBuffer& block, const RomArray& rom)
{
    for (int i = 0; i < 8; ++i) block.push_back(uint8_t(rom[size_t(i)] & 0xFF));
}

// Match ROM, the ROM bytes, a memory function command and its target address TA1, TA2.
ByteBuffer addressedBlock(const RomArray& rom, uint8_t command, int32_t address)
{
    ByteBuffer block{kMatchRom};
    appendRom(block, rom);
    block.push_back(command);
    block.push_back(Ta1(address));
    block.push_back(Ta2(address));
    return block;
}
} // namespace

namespace {
DeviceFactory& deviceFactory()
{
    static DeviceFactory f;
    return f;
}
} // namespace

void SetDeviceFactory(DeviceFactory factory) { deviceFactory() = std::move(factory); }

QString ResultText(BusResult r)
{
    switch (r) {
    case BusResult::Success: return QStringLiteral("success");
    case BusResult::SessionFailed: return QStringLiteral("no driver session (or a page write was short)");
    case BusResult::NoDevice: return QStringLiteral("no device (or not a family 28 device)");
    case BusResult::SelectFailed: return QStringLiteral("the device did not answer its selection");
    case BusResult::RomFailed: return QStringLiteral("the driver refused the ROM");
    case BusResult::BlockShort: return QStringLiteral("a block transfer came back short");
    case BusResult::StreamShort: return QStringLiteral("a streamed transfer came back short");
    case BusResult::ScratchpadMismatch: return QStringLiteral("the scratchpad read back differs");
    case BusResult::NoSession: return QStringLiteral("the bus session could not be taken");
    case BusResult::CopyStreamShort: return QStringLiteral("the scratchpad copy came back short");
    case BusResult::AllOnes: return QStringLiteral("the memory read gave only 0xFF");
    case BusResult::CrcMismatch: return QStringLiteral("CRC16 mismatch");
    case BusResult::PacketUnreadable: return QStringLiteral("the page packet could not be read");
    case BusResult::DuplicateDevice: return QStringLiteral("a device was found twice");
    }
    return QStringLiteral("bus result %1").arg(ToCode(r));
}

DeviceCollection::Item DeviceCollection::item(const QString& key) const
{
    for (size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i].compare(key, Qt::CaseInsensitive) == 0) return items_[i];
    return nullptr;
}

bool DeviceCollection::add(Item device, const QString& key)
{
    if (contains(key)) return false;
    items_.push_back(std::move(device));
    keys_.push_back(key);
    return true;
}

clsDallasBus::clsDallasBus()
    : bytStateBuffer(size_t(kStateBufferSize), 0)
{
    Reset();
}

clsDallasBus::~clsDallasBus()
{
    if (intSessionUsers > 0) {
        intSessionUsers = 1;
        ReleaseSessionHandle();
    }
}

void clsDallasBus::Message(const QString& text)
{
    BusTraceLine(text);
    if (SetStatusMessage) SetStatusMessage(text);
}

void clsDallasBus::SetBusStatus(int32_t vntNewValue)
{
    int32_t oldStatus = enuBusStatus;
    int32_t newStatus = vntNewValue;
    if (BusTraceOn())
        BusTraceLine(QStringLiteral("status %1 -> %2").arg(GetBusStatusText(oldStatus), GetBusStatusText(newStatus)));
    if (BeforeStatusChange) BeforeStatusChange(oldStatus, newStatus);
    enuBusStatus = newStatus;
}

QString clsDallasBus::GetBusStatusText(int32_t enuStatus)
{
    switch (enuStatus) {
    case cstUNDEFINED: return QStringLiteral("cstUNDEFINED");
    case cstIDLE: return QStringLiteral("cstIDLE");
    case cstDOING_INITIALISATIONS: return QStringLiteral("cstDOING_INITIALISATIONS");
    case cstWAIT_FOR_RESPONSE: return QStringLiteral("cstWAIT_FOR_RESPONSE");
    case cstREADING_DATA: return QStringLiteral("cstREADING_DATA");
    case cstWRITING_DATA: return QStringLiteral("cstWRITING_DATA");
    case cstRESETTING: return QStringLiteral("cstRESETTING");
    case cstRETREIVING_INVENTORY: return QStringLiteral("cstRETREIVING_INVENTORY");
    case cstREADING_SCRATCHPAD: return QStringLiteral("cstREADING_SCRATCHPAD");
    case cstWRITING_SCRATCHPAD: return QStringLiteral("cstWRITING_SCRATCHPAD");
    default: return QStringLiteral("xxx UNDEFINED STATUS!");
    }
}

QString clsDallasBus::ReadRegistry(const QString& key, const QString& valueName) const
{
    return ::ReadRegistry(key, valueName, QString()).toString();
}

void clsDallasBus::Reset()
{
    Message(kClassName + ": Reset() called");
    SetBusStatus(cstRESETTING);
    int16_t v = 0;
    if (toInt16(ReadRegistry(kTmexKey, "DefaultPortNum"), v)) intPortNum = v;
    if (toInt16(ReadRegistry(kTmexKey, "DefaultPortType"), v)) intPortType = v;
    if (intPortNum < 1 || intPortNum > 15) intPortNum = 1;
    if (intPortType != 5) intPortType = 5;
    Message(QStringLiteral(" using port %1 type %2").arg(intPortNum).arg(intPortType));
    char buffer[150] = {};
    Get_Version(buffer);
    Message(QStringLiteral("      DLLVersion ") + QString::fromLatin1(buffer));
    TMGetTypeVersion(intPortType, buffer);
    Message(QStringLiteral("      HWVersion ") + QString::fromLatin1(buffer));
    colDevices = DeviceCollection();
    SetBusStatus(cstIDLE);
}

void clsDallasBus::DoProcessing()
{
    Message(kClassName + ": DoProcessing() called");
}

int32_t clsDallasBus::GetSessionHandle()
{
    if (intSessionUsers == 0) lngSessionHandle = TMExtendedStartSession(intPortNum, intPortType, nullptr);
    if (lngSessionHandle <= 0) return ToCode(BusResult::SessionFailed);
    ++intSessionUsers;
    if (!blnSetupDone) {
        const int16_t r = TMSetup(lngSessionHandle);
        if (r == 1) {
            blnSetupDone = true;
            return 0;
        }
        const QString text = QStringLiteral("TMSetup()=%1").arg(r);
        BusTraceLine(QStringLiteral("CommError %1 ").arg(ToCode(BusResult::SessionFailed)) + text);
        if (CommError) CommError(ToCode(BusResult::SessionFailed), text);
        ReleaseSessionHandle();
        return ToCode(BusResult::SessionFailed);
    }
    return ToCode(BusResult::Success);
}

int32_t clsDallasBus::ReleaseSessionHandle()
{
    if (intSessionUsers <= 0) return 0;   // nothing to release
    --intSessionUsers;
    if (intSessionUsers > 0) return 0;
    TMTouchReset(lngSessionHandle);
    const int32_t r = TMEndSession(lngSessionHandle);
    lngSessionHandle = 0;
    return r;
}

int clsDallasBus::WaitForCompletion(int16_t& intTimeout)
{
    int bit = 1;
    do {
        BusWait(50);
        bit = TMTouchBit(lngSessionHandle, 1);
        --intTimeout;
    } while (bit != 0 && intTimeout >= 1);
    return bit;
}

bool clsDallasBus::ReportCommError(int32_t lngErrNo, const QString& strDescription, const QString& procedure, int position)
{
    QString text = QStringLiteral(">Err%1:\"%2\"").arg(lngErrNo).arg(strDescription);
    if (position != 0) text += QStringLiteral(" in %1 at %2").arg(procedure).arg(position);
    else text += QStringLiteral(" in %1 unknown position").arg(procedure);
    BusTraceLine(QStringLiteral("CommError %1 %2").arg(lngErrNo).arg(text));
    if (CommError) CommError(lngErrNo, text);
    return true;
}

int32_t clsDallasBus::Fail(int32_t number, int position, const QString& description, const QString& procedure, bool release)
{
    ReportCommError(number, description, procedure, position);
    if (release) ReleaseSessionHandle();
    return number;
}

// ---- search -------------------------------------------------------------------------------

QString clsDallasBus::ROMToString(const RomArray& intROM)
{
    RomCode rom{};
    for (int i = 0; i < 8; ++i) rom[size_t(i)] = uint8_t(intROM[size_t(i)] & 0xFF);
    return RomToText(rom);
}

int32_t clsDallasBus::DoInventory()
{
    Message(kClassName + ": DoInventory() called");
    SetBusStatus(cstRETREIVING_INVENTORY);
    colDevices = DeviceCollection();
    BusSession session(*this);
    if (session.ok()) {
        int16_t r = TMFirst(lngSessionHandle, bytStateBuffer.data());
        while (r == 1) {
            RomArray rom{};
            rom[0] = 0;
            if (TMRom(lngSessionHandle, bytStateBuffer.data(), rom.data()) == 1) {
                auto device = deviceFactory() ? deviceFactory()(this, rom) : nullptr;
                if (!device) {
                    ReportCommError(ToCode(BusResult::NoDevice), QStringLiteral("no device class registered"),
                                    QStringLiteral("DoInventory"), 0);
                    break;
                }
                if (!colDevices.add(device, ROMToString(rom))) {
                    ReportCommError(ToCode(BusResult::DuplicateDevice),
                                    QStringLiteral("This key is already associated with an element of this collection"),
                                    QStringLiteral("DoInventory"), 0);
                    break;
                }
            }
            r = TMNext(lngSessionHandle, bytStateBuffer.data());
        }
    }
    SetBusStatus(cstIDLE);
    return ToCode(BusResult::Success);
}

// ---- transfers ------------------------------------------------------------------------------
// Each transfer holds a BusSession for its whole run: the session is released when it returns,
// on success and on failure.

int32_t clsDallasBus::FailIdle(int32_t number, int position, const QString& description, const QString& procedure)
{
    SetBusStatus(cstIDLE);
    return Fail(number, position, description, procedure, false);
}

int32_t clsDallasBus::NoSessionFailure(const QString& procedure)
{
    return Fail(ToCode(BusResult::NoSession), 0, QStringLiteral("GetSessionHandle() failed"), procedure, false);
}

// Selection with TMStrongAccess inside the caller's session: the current ROM, then presence.
int32_t clsDallasBus::BeginStrongTransfer(const RomArray& rom, const QString& procedure, bool rawMessage)
{
    if (rawMessage) Message(QStringLiteral("reading raw device %1").arg(ROMToString(rom)));
    if (!SelectDevice(rom)) return FailIdle(ToCode(BusResult::RomFailed), 10, QStringLiteral("TMRom()=0"), procedure);
    const int16_t r = TMStrongAccess(lngSessionHandle, bytStateBuffer.data());
    if (r != 1) return FailIdle(ToCode(BusResult::SelectFailed), 20, QStringLiteral("TMStrongAccess()=%1").arg(r), procedure);
    return ToCode(BusResult::Success);
}

bool clsDallasBus::SelectDevice(const RomArray& rom)
{
    RomArray current = rom;
    return TMRom(lngSessionHandle, bytStateBuffer.data(), current.data()) == 1;
}

// The bytes of a page packet's region as they are in memory (the first page, or as far as the
// length byte reaches), read only while the device answers the search before and after.
bool clsDallasBus::ReadPacketRegion(const RomArray& rom, int16_t intPageNo, ByteBuffer& raw)
{
    const int32_t address = intPageNo * kPacketPageSize;
    auto readRaw = [&](int count) {
        if (TMStrongAccess(lngSessionHandle, bytStateBuffer.data()) != 1) return false;
        ByteBuffer block = addressedBlock(rom, kReadMemory, address);
        block.insert(block.end(), size_t(count), kReadSlot);
        if (TMBlockIO(lngSessionHandle, block.data(), int16_t(block.size())) != int(block.size())) return false;
        raw.assign(block.begin() + 12, block.end());
        return TMStrongAccess(lngSessionHandle, bytStateBuffer.data()) == 1;
    };
    if (!readRaw(kPacketPageSize)) return false;
    const int room = kPacketPages * kPacketPageSize - address;
    const int wanted = raw[0] + 3;
    if (wanted <= kPacketPageSize || wanted > room) return true;
    return readRaw(wanted);
}

int32_t clsDallasBus::ReadPage(const RomArray& intROM, int16_t intPageNo, ByteBuffer& bytReadBuff)
{
    const QString proc = QStringLiteral("ReadPage");
    const QString romText = ROMToString(intROM);
    Message(kClassName + QStringLiteral(": ReadPage(%1,%2...) called").arg(romText).arg(intPageNo));
    SetBusStatus(cstREADING_DATA);
    BusSession session(*this);
    if (!session.ok()) {
        // Reported as a failure, not as an empty page: the caller must not take the buffer.
        SetBusStatus(cstIDLE);
        return NoSessionFailure(proc);
    }
    if (!SelectDevice(intROM)) return FailIdle(ToCode(BusResult::RomFailed), 10, QStringLiteral("TMRom()=0"), proc);
    Message(QStringLiteral("reading device %1 page %2").arg(romText).arg(intPageNo));
    // A page without a valid packet and a disturbed transfer look alike in one read: a page
    // counts as holding no packet only when its bytes read the same twice while the device
    // answers; a transfer that fails is asked for again, a bounded number of times.
    ByteBuffer buffer(4097, 0);
    ByteBuffer previousRaw;
    int16_t n = 0;
    auto deliver = [&](const uint8_t* data, int count) {
        if (count > 0) bytReadBuff.assign(data, data + count);
        else bytReadBuff.assign(1, 0);
        SetBusStatus(cstIDLE);
        return ToCode(BusResult::Success);
    };
    for (int attempt = 0; attempt < kReadPacketAttempts; ++attempt) {
        n = TMReadPacket(lngSessionHandle, bytStateBuffer.data(), intPageNo, buffer.data(), 4096);
        if (n >= 0) return deliver(buffer.data(), n);
        if (n == kTmNoSession) break;
        ByteBuffer raw;
        if (n != kTmBadPacket || !ReadPacketRegion(intROM, intPageNo, raw)) {
            TMReportDamage(lngSessionHandle);
            previousRaw.clear();
            continue;
        }
        // The raw bytes may hold the packet that a disturbed packet read missed.
        const int len = raw[0];
        if (len + 3 <= int(raw.size()) &&
            uint16_t(~TmexPacketCrc(intPageNo, raw.data(), len + 1)) == uint16_t(raw[size_t(len + 1)] | (raw[size_t(len + 2)] << 8)))
            return deliver(raw.data() + 1, len);
        if (!previousRaw.empty() && raw == previousRaw) {
            Message(QStringLiteral("device %1 page %2 holds no packet").arg(romText).arg(intPageNo));
            return deliver(nullptr, 0);
        }
        if (!previousRaw.empty()) TMReportDamage(lngSessionHandle);   // two reads that differ
        previousRaw = raw;
    }
    return FailIdle(ToCode(BusResult::PacketUnreadable), 10, QStringLiteral("TMReadPacket()=%1").arg(n), proc);
}

int32_t clsDallasBus::WritePage(const RomArray& intROM, int16_t intPageNo, const ByteBuffer& bytWriteBuff)
{
    const QString proc = QStringLiteral("WritePage");
    Message(kClassName + ": WritePage() called");
    SetBusStatus(cstWRITING_DATA);
    BusSession session(*this);
    if (!session.ok()) {
        // Nothing was written: a failure, never a success.
        SetBusStatus(cstIDLE);
        return NoSessionFailure(proc);
    }
    if (!SelectDevice(intROM)) return FailIdle(ToCode(BusResult::RomFailed), 10, QStringLiteral("TMRom()=0"), proc);
    const int length = int(bytWriteBuff.size());
    Message(QStringLiteral("writing device %1 page %2, no of bytes:%3").arg(ROMToString(intROM)).arg(intPageNo).arg(length));
    const int16_t n = length > 32767 ? int16_t(-1)
        : TMWritePacket(lngSessionHandle, bytStateBuffer.data(), intPageNo, bytWriteBuff.data(), int16_t(length));
    SetBusStatus(cstIDLE);
    return n == length ? ToCode(BusResult::Success) : ToCode(BusResult::PageWriteShort);
}

int32_t clsDallasBus::WriteSemaphor(const RomArray& intROM, uint8_t bytValue)
{
    Message(kClassName + QStringLiteral(": WriteSemaphor(%1) called").arg(QChar(bytValue)));
    return WritePage(intROM, 0, ByteBuffer{bytValue});
}

int32_t clsDallasBus::ReadSemaphor(const RomArray& intROM, uint8_t& bytValue)
{
    ByteBuffer page;
    const int32_t r = ReadPage(intROM, 0, page);
    if (r != ToCode(BusResult::Success)) return r;
    const uint8_t first = page.empty() ? 0 : page[0];
    Message(kClassName + QStringLiteral(": ReadSemaphor(%1) called, result =>%2<").arg(ROMToString(intROM)).arg(QChar(first)));
    bytValue = first;
    return ToCode(BusResult::Success);
}

int32_t clsDallasBus::WriteScratch(const RomArray& intROM, int32_t lngAddress, const ByteBuffer& bytData)
{
    const QString proc = QStringLiteral("WriteScratch");
    Message(kClassName + ": WriteScratch() called");
    BusSession session(*this);
    if (!session.ok()) return NoSessionFailure(proc);
    SetBusStatus(cstWRITING_SCRATCHPAD);
    RomArray rom = intROM;
    int16_t r = TMRom(lngSessionHandle, bytStateBuffer.data(), rom.data());
    if (r != 1) return Fail(ToCode(BusResult::RomFailed), 10, QStringLiteral("TMRom()=%1").arg(r), proc, false);
    r = TMAccess(lngSessionHandle, bytStateBuffer.data());
    if (r != 1) return Fail(ToCode(BusResult::SelectFailed), 20, QStringLiteral("TMAccess()=%1").arg(r), proc, false);

    const int n = int(bytData.size());
    ByteBuffer block = addressedBlock(rom, kWriteScratchpad, lngAddress);
    block.insert(block.end(), bytData.begin(), bytData.end());
    int16_t count = TMBlockIO(lngSessionHandle, block.data(), int16_t(block.size()));
    if (count != n + 12) return Fail(ToCode(BusResult::BlockShort), 30, QStringLiteral("TMBlockIO()=%1").arg(count), proc, false);

    r = TMAccess(lngSessionHandle, bytStateBuffer.data());
    if (r != 1) return Fail(ToCode(BusResult::SelectFailed), 40, QStringLiteral("2. TMAccess()=%1").arg(r), proc, false);
    SetBusStatus(cstREADING_SCRATCHPAD);
    ByteBuffer back(size_t(n + 4), kReadSlot);
    back[0] = kReadScratchpad;
    count = TMBlockStream(lngSessionHandle, back.data(), int16_t(back.size()));
    if (count != n + 4) return Fail(ToCode(BusResult::StreamShort), 50, QStringLiteral("TMBlockStream()=%1").arg(count), proc, false);

    const int32_t mismatch = ToCode(BusResult::ScratchpadMismatch);
    if (!std::equal(back.begin() + 4, back.end(), block.begin() + 12) || back[1] != block[10] || back[2] != block[11])
        TMReportDamage(lngSessionHandle);
    for (int i = 0; i < n; ++i)
        if (back[size_t(4 + i)] != block[size_t(12 + i)])
            return Fail(mismatch, 60, QStringLiteral("inconsistent data scratchpad reread"), proc, false);
    if (back[1] != block[10]) return Fail(mismatch, 70, QStringLiteral("inconsistent address1 reread"), proc, false);
    if (back[2] != block[11]) return Fail(mismatch, 80, QStringLiteral("inconsistent address2 reread"), proc, false);
    return ToCode(BusResult::Success);
}

int32_t clsDallasBus::CopyScratch(const RomArray& intROM, int32_t lngAddress, int16_t intLen)
{
    (void)intROM;   // the device selected by the preceding WriteScratch is the current one
    const QString proc = QStringLiteral("CopyScratch");
    Message(kClassName + ": CopyScratch() called");
    BusSession session(*this);
    if (!session.ok()) return NoSessionFailure(proc);
    SetBusStatus(cstWRITING_SCRATCHPAD);
    const int16_t r = TMAccess(lngSessionHandle, bytStateBuffer.data());
    if (r != 1) return Fail(ToCode(BusResult::SelectFailed), 20, QStringLiteral("TMAccess()=%1").arg(r), proc, false);
    ByteBuffer block(14, kReadSlot);
    block[0] = kCopyScratchpad;
    block[1] = Ta1(lngAddress);
    block[2] = Ta2(lngAddress);
    block[3] = uint8_t((lngAddress + intLen - 1) & 0x1F);
    block[13] = 0x00;
    const int16_t count = TMBlockStream(lngSessionHandle, block.data(), 14);
    if (count != 14) return Fail(ToCode(BusResult::CopyStreamShort), 50, QStringLiteral("TMBlockStream()=%1").arg(count), proc, false);
    return ToCode(BusResult::Success);
}

int32_t clsDallasBus::ReadRawMemory(const RomArray& intROM, int32_t intAddress, int16_t intLen, ByteBuffer& bytReadBuff)
{
    const QString proc = QStringLiteral("ReadRawMemory");
    Message(kClassName + QStringLiteral(": ReadRawMemory(%1) called").arg(ROMToString(intROM)));
    SetBusStatus(cstREADING_DATA);
    BusSession session(*this);
    if (!session.ok()) {
        SetBusStatus(cstIDLE);
        return NoSessionFailure(proc);
    }
    if (const int32_t r = BeginStrongTransfer(intROM, proc, true)) return r;
    const int n = intLen < 0 ? 0 : intLen;
    ByteBuffer block = addressedBlock(intROM, kReadMemory, intAddress);
    block.insert(block.end(), size_t(n + 1), kReadSlot);
    const int16_t count = TMBlockIO(lngSessionHandle, block.data(), int16_t(block.size()));
    if (count != n + 13) return FailIdle(ToCode(BusResult::BlockShort), 30, QStringLiteral("TMBlockIO()=%1").arg(count), proc);
    bytReadBuff.assign(block.begin() + 12, block.begin() + 12 + n);
    SetBusStatus(cstIDLE);
    bool allFF = true;
    for (uint8_t b : bytReadBuff) allFF = allFF && b == 0xFF;
    return allFF ? ToCode(BusResult::AllOnes) : ToCode(BusResult::Success);
}

int32_t clsDallasBus::ReadPageCRC(const RomArray& intROM, int32_t intAddress, int16_t& intPageCount, ByteBuffer& bytReadBuff)
{
    const QString proc = QStringLiteral("ReadPageCRC");
    Message(kClassName + QStringLiteral(": ReadPageCRC(%1) called").arg(ROMToString(intROM)));
    SetBusStatus(cstREADING_DATA);
    BusSession session(*this);
    if (!session.ok()) {
        SetBusStatus(cstIDLE);
        return NoSessionFailure(proc);
    }
    if (const int32_t r = BeginStrongTransfer(intROM, proc, true)) return r;
    bytReadBuff.assign(size_t(std::max<int>(0, intPageCount) * kPageBytes + 1), 0);
    size_t k = 0;
    bool running = false;
    int repeats = 0;
    // A page whose transfer comes back short or fails its CRC is asked for again with its own
    // address (where a stream stopped, the device's position is not known), but not for ever.
    while (intPageCount > 0) {
        lngCrc16 = 0;
        ByteBuffer block;
        if (!running) {
            block = addressedBlock(intROM, kReadMemoryCrc, intAddress + int32_t(k));
            DoCrc16(kReadMemoryCrc);
            DoCrc16(block[10]);
            DoCrc16(block[11]);
        }
        block.insert(block.end(), size_t(kPageBlock), kReadSlot);
        const int16_t count = running ? TMBlockStream(lngSessionHandle, block.data(), int16_t(block.size()))
                                      : TMBlockIO(lngSessionHandle, block.data(), int16_t(block.size()));
        if (count != int(block.size())) {
            TMReportDamage(lngSessionHandle);   // the repeat goes at standard speed if this was overdrive
            if (++repeats > kReadPageCrcRepeats)
                return running ? FailIdle(ToCode(BusResult::StreamShort), 50, QStringLiteral("TMBlockStream()=%1").arg(count), proc)
                               : FailIdle(ToCode(BusResult::BlockShort), 30, QStringLiteral("TMBlockIO()=%1").arg(count), proc);
            running = false;
            continue;
        }
        const size_t dataStart = block.size() - kPageBlock;
        for (size_t i = dataStart; i < block.size(); ++i) DoCrc16(block[i]);
        if (lngCrc16 != kCrc16Residue) {
            TMReportDamage(lngSessionHandle);
            if (++repeats > kReadPageCrcRepeats) {
                SetBusStatus(cstIDLE);
                return ToCode(BusResult::CrcMismatch);
            }
            running = false;
            continue;
        }
        std::copy(block.begin() + long(dataStart), block.begin() + long(dataStart) + kPageBytes, bytReadBuff.begin() + long(k));
        k += kPageBytes;
        running = true;
        repeats = 0;
        --intPageCount;
    }
    SetBusStatus(cstIDLE);
    return ToCode(BusResult::Success);
}

int32_t clsDallasBus::SendCommand(const RomArray& intROM, uint8_t bytCommand)
{
    const QString proc = QStringLiteral("SendCommand");
    Message(kClassName + QStringLiteral(": SendCommand(%1) called").arg(ROMToString(intROM)));
    SetBusStatus(cstWRITING_DATA);
    BusSession session(*this);
    if (!session.ok()) {
        SetBusStatus(cstIDLE);
        return NoSessionFailure(proc);
    }
    if (const int32_t r = BeginStrongTransfer(intROM, proc, false)) return r;
    ByteBuffer block;
    block.push_back(kMatchRom);
    appendRom(block, intROM);
    block.push_back(bytCommand);
    const int16_t count = TMBlockIO(lngSessionHandle, block.data(), 10);
    if (count != 10) return FailIdle(ToCode(BusResult::BlockShort), 30, QStringLiteral("TMBlockIO()=%1").arg(count), proc);
    SetBusStatus(cstIDLE);
    return ToCode(BusResult::Success);
}

int32_t clsDallasBus::ReadScratch(const RomArray& intROM, ByteBuffer& bytReadBuff)
{
    if (!ROMToString(intROM).endsWith(QStringLiteral("28"))) return ToCode(BusResult::NotTemperatureSensor);
    const QString proc = QStringLiteral("ReadScratch");
    Message(kClassName + ": ReadScratch() called");
    BusSession session(*this);
    if (!session.ok()) return NoSessionFailure(proc);
    SetBusStatus(cstREADING_SCRATCHPAD);
    if (!SelectDevice(intROM)) return Fail(ToCode(BusResult::RomFailed), 10, QStringLiteral("TMRom()=0"), proc, false);
    const int16_t r = TMAccess(lngSessionHandle, bytStateBuffer.data());
    if (r != 1) return Fail(ToCode(BusResult::SelectFailed), 40, QStringLiteral("TMAccess()=%1").arg(r), proc, false);
    ByteBuffer block;
    block.push_back(kMatchRom);
    appendRom(block, intROM);
    block.push_back(kReadScratchpad28);
    block.insert(block.end(), 11, kReadSlot);
    const int16_t count = TMBlockStream(lngSessionHandle, block.data(), 21);
    if (count != 21) return Fail(ToCode(BusResult::StreamShort), 50, QStringLiteral("TMBlockStream()=%1").arg(count), proc, false);
    bytReadBuff.assign(block.begin() + 10, block.begin() + 20);
    return ToCode(BusResult::Success);
}

bool clsDallasBus::TouchBytes(ByteBuffer& bytBytes, const RomArray& intROMCode)
{
    RomArray rom = intROMCode;
    if (TMRom(lngSessionHandle, bytStateBuffer.data(), rom.data()) != 1) return false;
    if (TMStrongAccess(lngSessionHandle, bytStateBuffer.data()) != 1) return false;
    for (size_t i = 0; i + 1 < bytBytes.size(); ++i)
        bytBytes[i] = uint8_t(TMTouchByte(lngSessionHandle, bytBytes[i]) & 0xFF);
    return true;
}

// ---- CRC16 ----------------------------------------------------------------------------------

// The bytewise form of the 1-Wire CRC16 (the parity formulation gives the same register).
int32_t clsDallasBus::DoCrc16(int32_t b)
{
    lngCrc16 = Crc16Step(uint16_t(lngCrc16 & 0xFFFF), uint8_t(b & 0xFF));
    return lngCrc16;
}

int clsDallasBus::odd_parity(int32_t x)
{
    int p = 0;
    for (int i = 0; i < 8; ++i) {
        p = (p + x) & 1;
        x = (x & 0xFFFE) / 2;
    }
    return p;
}
