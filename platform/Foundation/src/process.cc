// The rules of the process interface that every platform shares: which
// files read_file takes (regular files of at most kMaxFileSize bytes, also
// when one grows while it is read) and what it says about the others. The
// system calls are in process_posix.cc and process_win32.cc.
#include "os_process.h"

namespace foundation::os {

Status read_file(const std::string& path, std::string& contents) {
  contents.clear();
  ReadableFile file;
  if (Status status = open_for_reading(path, file); !status) return status;
  // Closes the file on every way out, and empties contents on a failure.
  auto fail = [&](Status why) {
    close_read_file(file);
    contents.clear();
    return why;
  };
  if (file.kind == FileKind::kDirectory)
    return fail(Status::failure("cannot read " + path + ": a directory, not a regular file"));
  if (file.kind != FileKind::kRegular)
    return fail(Status::failure("cannot read " + path + ": not a regular file"));
  const std::string too_large =
      "cannot read " + path + ": larger than " + std::to_string(kMaxFileSize >> 20) + " MiB";
  if (file.size > kMaxFileSize) return fail(Status::failure(too_large));
  char buffer[65536];
  for (;;) {
    size_t n = 0;
    if (Status status = read_some_of(file, path, buffer, sizeof buffer, n); !status) return fail(status);
    if (n == 0) break;
    contents.append(buffer, n);
    if (contents.size() > kMaxFileSize) return fail(Status::failure(too_large));  // it grew while being read
  }
  close_read_file(file);
  return {};
}

}  // namespace foundation::os
