// Children through CreateProcessW, with no shell between: under Wine,
// cmd.exe now and then failed to find a program that was there (exit code
// 9009). Children that four threads of one test started through this at
// once, under load, now and then never got past their start under Wine;
// tests that start children from several threads use the C run-time's
// spawn instead (run_directly in defaults_tool_test.cc).
#include "child_process.h"

#include <windows.h>

#include <mutex>

#include "host_process.h"

namespace test_support {
namespace {

HANDLE open_for_child(const std::filesystem::path& file, DWORD access, DWORD disposition) {
  return CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Creates the child with the three handles as its standard ones. They are
// inheritable only while it is being created, under one lock, so that a
// child started on another thread at that moment does not inherit them and
// hold the files open after this one has ended.
bool start(std::wstring command_line, HANDLE (&handles)[3], PROCESS_INFORMATION& child) {
  static std::mutex creating;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = handles[0];
  startup.hStdOutput = handles[1];
  startup.hStdError = handles[2];
  std::lock_guard<std::mutex> hold(creating);
  for (HANDLE h : handles) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  BOOL started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &child);
  DWORD error = GetLastError();
  for (HANDLE h : handles) SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
  SetLastError(error);
  return started != FALSE;
}

}  // namespace

int run_command_line(const std::string& command_line, const std::filesystem::path& out,
                     const std::filesystem::path& err) {
  HANDLE handles[3] = {open_for_child(L"NUL", GENERIC_READ, OPEN_EXISTING),
                       open_for_child(out, GENERIC_WRITE, CREATE_ALWAYS),
                       open_for_child(err, GENERIC_WRITE, CREATE_ALWAYS)};
  int code = -1;
  PROCESS_INFORMATION child{};
  bool opened = true;
  for (HANDLE h : handles) opened = opened && h != INVALID_HANDLE_VALUE;
  if (opened && start(command_line_wide(command_line), handles, child)) {
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD exit_code = 0;
    if (GetExitCodeProcess(child.hProcess, &exit_code)) code = static_cast<int>(exit_code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  } else if (handles[2] != INVALID_HANDLE_VALUE) {
    std::string why = "cannot start " + command_line + ": error " + std::to_string(GetLastError()) + "\n";
    DWORD written = 0;
    WriteFile(handles[2], why.data(), static_cast<DWORD>(why.size()), &written, nullptr);
  }
  for (HANDLE h : handles)
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return code;
}

}  // namespace test_support
