// only_thread on Windows: a snapshot of the system's threads, counting
// those of this process.
#include <windows.h>

// Needs the types windows.h declares.
#include <tlhelp32.h>

#include "threads.h"

namespace objc::os {

bool only_thread() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  DWORD self = GetCurrentProcessId();
  int threads = 0;
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more && threads < 2;
       more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == self) ++threads;
  CloseHandle(snapshot);
  return threads == 1;
}

}  // namespace objc::os
