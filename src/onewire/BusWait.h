#pragma once
// Every wait of the 1-Wire code (bus waits, device pauses) goes through BusWait, so that tests
// can make them instant and see what was asked for.
#include <functional>

void BusWait(int milliseconds);
// Replaces the sleeping (empty function restores the real sleep).
void SetBusWaitForTesting(std::function<void(int milliseconds)> wait);
