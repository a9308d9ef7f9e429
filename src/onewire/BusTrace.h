#pragma once
// The diagnostic trace of the bus objects: their status changes, messages and communication
// errors. Nothing is written unless a sink is set (the terminal program's --trace-bus).
#include <QString>
#include <functional>

// Sends every trace line to sink (empty function switches the trace off).
void SetBusTraceSink(std::function<void(const QString& line)> sink);
// "-" = standard error, anything else = a log file appended to. False (with *error) when the
// file cannot be opened.
bool OpenBusTrace(const QString& target, QString* error = nullptr);
bool BusTraceOn();
void BusTraceLine(const QString& line);
