// Windows side of the process interface: GetCommandLineW for the arguments,
// GetModuleFileNameW for the executable, and the wide-character file calls.
// Paths and strings cross this boundary as UTF-8, converted as utf.h says:
// nothing malformed is replaced.
// windows.h must come first: shellapi.h relies on its definitions.
#include <windows.h>

#include <bcrypt.h>
#include <shellapi.h>

#include "os_process.h"
#include "utf.h"

namespace foundation::os {
namespace {

// A path or name for the system; "" when text is not UTF-8, which names no
// file and no variable, so the call made with it fails as for a missing one.
std::wstring widen(const std::string& text) { return utf::to_wide(text).value_or(std::wstring()); }

// Text from the system; a lone surrogate stays malformed (utf.h).
std::string narrow(const wchar_t* text, int length = -1) {
  if (text == nullptr) return {};
  return utf::to_utf8(length < 0 ? std::wstring_view(text)
                                 : std::wstring_view(text, static_cast<size_t>(length)));
}

std::string describe(const std::string& what, const std::string& path, DWORD error) {
  wchar_t* message = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::string text = message != nullptr ? narrow(message) : "error " + std::to_string(error);
  if (message != nullptr) LocalFree(message);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return what + " " + path + ": " + text;
}

bool is_missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The file path leads to when it is a link (a reparse point) to an existing
// file; path itself otherwise.
std::string resolve_links(const std::string& path) {
  std::wstring wide = widen(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return path;
  std::wstring final_path(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(file, final_path.data(), static_cast<DWORD>(final_path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n >= final_path.size()) {
    final_path.resize(n + 1);
    n = GetFinalPathNameByHandleW(file, final_path.data(), static_cast<DWORD>(final_path.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  CloseHandle(file);
  if (n == 0 || n >= final_path.size()) return path;
  final_path.resize(n);
  if (final_path.rfind(L"\\\\?\\UNC\\", 0) == 0)
    final_path = L"\\" + final_path.substr(7);
  else if (final_path.rfind(L"\\\\?\\", 0) == 0)
    final_path = final_path.substr(4);
  return narrow(final_path.c_str(), static_cast<int>(final_path.size()));
}

// Six letters or digits for a temporary file's name, different on each call.
std::string temporary_suffix() {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static volatile LONG counter = 0;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  unsigned long long x = static_cast<unsigned long long>(now.QuadPart) * 6364136223846793005ULL +
                         (static_cast<unsigned long long>(GetCurrentProcessId()) << 20) +
                         static_cast<unsigned long long>(InterlockedIncrement(&counter));
  std::string suffix;
  for (int i = 0; i < 6; ++i) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ULL;
    suffix += letters[x % 62];
  }
  return suffix;
}

// Whether a call failed only because another process has the file open in
// a way that stands in its way for a moment (a reader of the old file, or
// the system's indexer or virus scanner).
bool in_use(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Makes attempt until it succeeds, fails for another reason, or two
// seconds of pauses (1 ms, doubling up to 20 ms) have passed while the file
// was in use. GetLastError() says why the last attempt failed.
template <class Attempt>
bool retrying_while_in_use(Attempt attempt) {
  DWORD waited = 0, pause = 1;
  for (;;) {
    if (attempt()) return true;
    DWORD error = GetLastError();
    if (!in_use(error) || waited >= 2000) return false;
    Sleep(pause);
    waited += pause;
    pause = pause * 2 > 20 ? 20 : pause * 2;
    SetLastError(error);
  }
}

}  // namespace

bool random_bytes(void* buffer, size_t size) {
  return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(size),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

std::vector<std::string> process_arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {};
  std::vector<std::string> arguments;
  // An argument holding a surrogate without its partner stays malformed, so
  // whoever reads it refuses it as it would any other malformed bytes,
  // instead of seeing a replacement character that reads as valid.
  arguments.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

int32_t process_id() { return static_cast<int32_t>(GetCurrentProcessId()); }

std::string executable_path() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return "";
    if (n < buffer.size()) return narrow(buffer.data(), static_cast<int>(n));
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> environment_variable(const std::string& name) {
  std::wstring wide_name = widen(name);
  DWORD n = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (n == 0) return std::nullopt;
  std::wstring value(n, L'\0');
  n = GetEnvironmentVariableW(wide_name.c_str(), value.data(), n);
  return narrow(value.data(), static_cast<int>(n));
}

std::map<std::string, std::string> environment() {
  std::map<std::string, std::string> result;
  wchar_t* block = GetEnvironmentStringsW();
  if (block == nullptr) return result;
  for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
    std::string text = narrow(entry);
    size_t equals = text.find('=', 1);  // names such as "=C:" start with '='
    if (equals == std::string::npos) continue;
    result.emplace(text.substr(0, equals), text.substr(equals + 1));
  }
  FreeEnvironmentStringsW(block);
  return result;
}

// Shared for deletion, so that a writer may replace the file while it is
// read; a writer's replace holding it for a moment is waited out.
Status open_for_reading(const std::string& path, ReadableFile& file) {
  std::wstring wide = widen(path);
  HANDLE handle = INVALID_HANDLE_VALUE;
  retrying_while_in_use([&] {
    handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle != INVALID_HANDLE_VALUE;
  });
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return Status::failure(describe("cannot open", path, error), is_missing(error));
  }
  file.handle = reinterpret_cast<intptr_t>(handle);
  // Only files on disk are regular: not a pipe, a console or another device.
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    file.kind = FileKind::kOther;
    return {};
  }
  file.kind =
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::kDirectory : FileKind::kRegular;
  file.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return {};
}

Status read_some_of(const ReadableFile& file, const std::string& path, char* buffer, size_t size, size_t& n) {
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(file.handle), buffer, static_cast<DWORD>(size), &got, nullptr))
    return Status::failure(describe("cannot read", path, GetLastError()));
  n = got;
  return {};
}

void close_read_file(const ReadableFile& file) { CloseHandle(reinterpret_cast<HANDLE>(file.handle)); }

Status final_target(const std::string& path, std::string& target) {
  target = resolve_links(path);
  return {};
}

// Owners are left to the folder's inherited permissions: a replaced file
// gets those of its folder, as a new one does.
Status write_file_atomically(const std::string& target, const std::string& contents) {
  std::string temp;
  std::wstring wide_temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string prefix = join_path(directory_of(target), temporary_prefix(base_name(target)));
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp = prefix + temporary_suffix();
    wide_temp = widen(temp);
    file =
        CreateFileW(wide_temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE)
    return Status::failure(describe("cannot create a temporary file beside", target, GetLastError()));
  size_t done = 0;
  bool written = true;
  while (written && done < contents.size()) {
    DWORD n = 0;
    written =
        WriteFile(file, contents.data() + done, static_cast<DWORD>(contents.size() - done), &n, nullptr);
    done += n;
  }
  written = written && FlushFileBuffers(file);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (!written) {
    DeleteFileW(wide_temp.c_str());
    return Status::failure(describe("cannot write", temp, error));
  }
  // A reader has the old file open for a moment: wait for it to finish.
  std::wstring wide_target = widen(target);
  if (!retrying_while_in_use([&] {
        return MoveFileExW(wide_temp.c_str(), wide_target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      })) {
    error = GetLastError();
    DeleteFileW(wide_temp.c_str());
    return Status::failure(describe("cannot replace", target, error));
  }
  return {};
}

void remove_stale_temporaries(const std::string& target) {
  std::string dir = directory_of(target), base = base_name(target);
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(widen(join_path(dir, temporary_prefix(base) + "*")).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = narrow(entry.cFileName);
    // A temporary that a writer still has open cannot be deleted, and stays.
    if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        is_temporary_of(name, base))
      DeleteFileW(widen(join_path(dir, name)).c_str());
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

Status open_lock_file(const std::string& path, intptr_t& handle) {
  // The link itself when the name is one (FILE_FLAG_OPEN_REPARSE_POINT):
  // nothing is created or locked through it.
  HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return Status::failure(describe("cannot open the lock file", path, GetLastError()));
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    CloseHandle(file);
    return Status::failure("cannot lock " + path + ": not a regular file");
  }
  handle = reinterpret_cast<intptr_t>(file);
  return {};
}

// The lock belongs to this handle: two openers in one process exclude each
// other as well.
LockAttempt try_lock(intptr_t handle, const std::string& path, Status& failure) {
  OVERLAPPED where{};
  if (LockFileEx(reinterpret_cast<HANDLE>(handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                 0, &where))
    return LockAttempt::kTaken;
  DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return LockAttempt::kBusy;
  failure = Status::failure(describe("cannot lock", path, error));
  return LockAttempt::kFailed;
}

void close_lock_file(intptr_t handle) {
  HANDLE file = reinterpret_cast<HANDLE>(handle);
  OVERLAPPED where{};
  UnlockFileEx(file, 0, 1, 0, &where);
  CloseHandle(file);
}

Status remove_file(const std::string& path) {
  if (DeleteFileW(widen(path).c_str())) return {};
  DWORD error = GetLastError();
  if (is_missing(error)) return {};
  return Status::failure(describe("cannot remove", path, error));
}

// Folders get the permissions they inherit from their parent (in a user's
// profile, the user's own).
Status make_directories(const std::string& path) {
  if (path.empty() || is_directory(path)) return {};
  std::string parent = directory_of(path);
  if (!parent.empty() && parent != path && !(parent.size() == 2 && parent[1] == ':')) {
    if (Status status = make_directories(parent); !status) return status;
  }
  if (CreateDirectoryW(widen(path).c_str(), nullptr)) return {};
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS && is_directory(path)) return {};
  return Status::failure(describe("cannot create directory", path, error));
}

std::string canonical_path(const std::string& path) {
  std::wstring wide = widen(path);
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return path;
  return narrow(full.data(), static_cast<int>(n));
}

bool is_directory(const std::string& path, Status* failure) {
  DWORD attributes = GetFileAttributesW(widen(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  DWORD error = GetLastError();
  if (failure != nullptr && !is_missing(error))
    *failure = Status::failure(describe("cannot look at", path, error));
  return false;
}

namespace {
// The names in directory but "." and "..", only those of regular files when
// files_only.
Status list_names(const std::string& directory, std::vector<std::string>& names, bool files_only) {
  names.clear();
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(widen(join_path(directory, "*")).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {};  // an empty directory
    return Status::failure(describe("cannot list", directory, error), is_missing(error));
  }
  do {
    std::string name = narrow(entry.cFileName);
    bool directory_entry = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (name != "." && name != ".." && !(files_only && directory_entry)) names.push_back(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return {};
}
}  // namespace

Status list_directory(const std::string& directory, std::vector<std::string>& names) {
  return list_names(directory, names, true);
}

Status list_entries(const std::string& directory, std::vector<std::string>& names) {
  return list_names(directory, names, false);
}

}  // namespace foundation::os
