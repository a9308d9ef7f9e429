#pragma once
// The trace of the 1-Wire layer (the terminal program's --trace-bus). Nothing is written unless
// a sink is set. Every line starts with the time (UTC, yyyy-MM-ddTHH:mm:ss.zzz) and a blank,
// then one of:
//   >> 55 1A 2B ...   bytes to the bus, two upper-case hex digits each, separated by blanks
//   << 55 1A 2B ...   bytes from the bus
//   >> RESET          a reset pulse (virtual bus)
//   << PRESENCE       its answer: PRESENCE or NO PRESENCE
//   # text            a message of the bus object: status changes, operations, errors
//   >> EP0 COMM 0x0075 0x0022 block I/O     a USB control request to the DS2490 (type, value,
//                                           index, meaning)
//   >> EP2 55 1A ...  /  << EP3 55 1A ...   bytes through the DS2490's bulk endpoints
//   << EP1 NRS        result bytes of the DS2490's status packets, by name
// Bytes are recorded where the link meets the hardware: for the serial link the bytes on the
// serial line to and from the DS2480B adapter (its commands included), for the virtual bus the
// 1-Wire bytes themselves. Single time slots (search, bit reads) are not recorded, only bytes.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

enum class BusTraceDirection { ToBus, FromBus };

// Sends every trace line, without its time stamp, to sink (empty function switches it off).
void SetBusTraceSink(std::function<void(const QString& line)> sink);
// "-" = standard error, anything else = a log file appended to. False (with *error) when the
// file cannot be opened.
[[nodiscard]] bool OpenBusTrace(const QString& target, QString* error = nullptr);
bool BusTraceOn();
// A message line ("# " is put before it).
void BusTraceLine(const QString& line);
// A byte line.
void BusTraceBytes(BusTraceDirection direction, const QByteArray& bytes);
void BusTraceBytes(BusTraceDirection direction, const uint8_t* bytes, int count);
// A line of the USB link, written as it is after ">> " or "<< ".
void BusTraceUsb(BusTraceDirection direction, const QString& text);
// A reset and its answer.
void BusTraceReset(bool presence);
// The line as written, time stamp included (for tests of the form).
QString BusTraceStamp(const QString& line);
