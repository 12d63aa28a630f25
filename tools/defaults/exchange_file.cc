// Reading and writing the files of `defaults export` and `import`.
#include "exchange_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>

namespace defaults_tool {
namespace {

namespace fs = std::filesystem;

// The most a domain file may hold (the store's limit).
constexpr std::uintmax_t kMaxBytes = std::uintmax_t{16} << 20;

fs::path native(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

// Reads at most kMaxBytes + 1 bytes of in into text.
void read_bounded(std::istream& in, std::string& text) {
  text.clear();
  char buffer[65536];
  while (text.size() <= kMaxBytes && in.read(buffer, sizeof buffer).gcount() > 0)
    text.append(buffer, static_cast<size_t>(in.gcount()));
}

std::string too_large(const std::string& path) {
  return "cannot read " + path + ": larger than " + std::to_string(kMaxBytes >> 20) + " MiB";
}

}  // namespace

bool read_exchange_file(const std::string& path, std::string& text, std::string& why) {
  if (path == "-") {
    read_bounded(std::cin, text);
  } else {
    std::error_code error;
    fs::file_status status = fs::status(native(path), error);
    if (error || !fs::exists(status)) {
      why = "cannot read " + path + ": no such file";
      return false;
    }
    if (!fs::is_regular_file(status)) {
      why = "cannot read " + path + ": not a regular file";
      return false;
    }
    std::ifstream in(native(path), std::ios::binary);
    if (!in) {
      why = "cannot read " + path + ": cannot open it";
      return false;
    }
    read_bounded(in, text);
    if (in.bad()) {
      why = "cannot read " + path + ": a read failed";
      return false;
    }
  }
  if (text.size() > kMaxBytes) {
    why = too_large(path);
    return false;
  }
  return true;
}

bool write_exchange_file(const std::string& path, const std::string& text, std::string& why) {
  if (path == "-") {
    std::cout << text << std::flush;
    if (std::cout) return true;
    why = "cannot write to standard output";
    return false;
  }
  fs::path target = native(path);
  std::random_device random;
  fs::path temporary = target;
  temporary += "." + std::to_string(random() % 1000000) + ".tmp";
  std::error_code error;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      fs::remove(temporary, error);
      why = "cannot write " + path + ": cannot create or fill a file beside it";
      return false;
    }
  }
  std::ifstream in(temporary, std::ios::binary);
  std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  if (back != text) {
    fs::remove(temporary, error);
    why = "not writing " + path + ": what was written does not read back the same";
    return false;
  }
  fs::rename(temporary, target, error);
  if (error) {
    fs::remove(temporary, error);
    why = "cannot write " + path + ": " + error.message();
    return false;
  }
  return true;
}

}  // namespace defaults_tool
