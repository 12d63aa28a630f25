// The test module of windows_attach_test: a DLL of two units, each with a
// class whose load method appends to a log, and with dynamic initialisers
// that append to it too. The log tells whether the records were queued
// in link order and registered after the module's initialisers had run.
#pragma once

#include <string>

// Appends what to the module's log.
void windows_attach_note(const char* what);

// The log so far, entries separated by spaces; looked up by name.
extern "C" __declspec(dllexport) const char* windows_attach_log();
