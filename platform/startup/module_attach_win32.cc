// Windows attach entry. For a DLL it is the attach notification: the C
// run-time start-up (DllMainCRTStartup) runs the static-constructor table,
// which queues the module's records, before it calls DllMain, so the records
// are all queued when the attach sequence registers them. A failed attach
// makes DllMain return FALSE, and the load fails. Detaching undoes nothing.
//
// A program never receives the attach notification, so a program that holds
// records attaches from a constructor instead, which the start-up runs after
// the static-constructor table.
#include <windows.h>

#include "module_attach.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this module's base address, from the linker

namespace {

bool is_program() { return GetModuleHandleA(nullptr) == reinterpret_cast<HMODULE>(&__ImageBase); }

__attribute__((constructor)) void program_attach() {
  if (is_program()) startup::attach_module(&__ImageBase);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  // A module handle is the module's base address, so it also names the
  // module to the loader's address look-up.
  return startup::attach_module(reinterpret_cast<const void*>(instance)) ? TRUE : FALSE;
}
