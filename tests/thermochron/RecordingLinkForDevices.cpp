// The recording link of the bus tests, built into this test program too.
#include "onewire/RecordingLink.cpp"
