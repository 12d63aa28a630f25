// The persistent-domain store: file names, loading with a diagnosis for
// broken files, and atomic saving that refuses to replace a broken file.
#include "Foundation/DefaultsStore.h"

#include <algorithm>

#include "os_process.h"

namespace defaults_store {
namespace {

constexpr std::string_view kSuffix = ".plist";

}  // namespace

std::string directory() {
  if (auto dir = foundation::os::environment_variable("USER_DEFAULTS_DIR"); dir && !dir->empty()) return *dir;
  auto home = foundation::os::environment_variable("HOME");
#if defined(_WIN32)
  if (!home || home->empty()) home = foundation::os::environment_variable("USERPROFILE");
#endif
  if (!home || home->empty()) return "";
  return foundation::os::join_path(foundation::os::join_path(*home, ".config"), "defaults");
}

bool is_valid_domain_name(std::string_view name, std::string& why) {
  if (name.empty()) {
    why = "a domain name cannot be empty";
    return false;
  }
  if (name.front() == '.') {
    why = "domain name \"" + std::string(name) + "\" starts with '.'";
    return false;
  }
  for (char c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      why = "domain name \"" + std::string(name) + "\" holds a path separator or control character";
      return false;
    }
  }
  return true;
}

std::string domain_path(std::string_view name) {
  std::string dir = directory();
  if (dir.empty()) return "";  // never a file relative to the working directory
  return foundation::os::join_path(dir, std::string(name) + std::string(kSuffix));
}

Loaded load(std::string_view name) {
  Loaded result;
  std::string why;
  if (!is_valid_domain_name(name, why)) return result;  // nothing can be stored under it
  std::string path = domain_path(name);
  if (path.empty()) return result;
  std::string text;
  foundation::os::Status status = foundation::os::read_file(path, text);
  if (!status) {
    if (status.not_found) return result;
    result.state = Loaded::kBroken;
    result.error = status.error;
    return result;
  }
  plist::Value value;
  plist::ParseError error;
  if (!plist::parse(text, path, value, error)) {
    result.state = Loaded::kBroken;
    result.error = error.describe();
    return result;
  }
  if (!value.is_dictionary()) {
    result.state = Loaded::kBroken;
    result.error = path + ":1:1: a defaults domain must hold a dictionary";
    return result;
  }
  result.state = Loaded::kPresent;
  result.dictionary = std::move(value.dictionary());
  return result;
}

namespace {

// Checks that the domain's current file may be replaced or removed.
bool may_replace(std::string_view name, std::string& why) {
  if (!is_valid_domain_name(name, why)) return false;
  Loaded current = load(name);
  if (current.state == Loaded::kBroken) {
    why = "refusing to replace " + domain_path(name) + ", which cannot be read as a domain (" +
          current.error + "); fix or remove it by hand";
    return false;
  }
  return true;
}

}  // namespace

bool save(std::string_view name, const plist::Dictionary& dictionary, std::string& why) {
  if (!may_replace(name, why)) return false;
  // Whatever is saved must read back, or the whole domain would be lost.
  for (const auto& [key, value] : dictionary) {
    if (!plist::is_writable(plist::Value(key), why) || !plist::is_writable(value, why)) {
      why = "not saving domain " + std::string(name) + ": key " + plist::quote_if_needed(key) +
            " cannot be stored: " + why;
      return false;
    }
  }
  std::string dir = directory();
  if (dir.empty()) {
    why = "no place for user defaults: set USER_DEFAULTS_DIR or HOME";
    return false;
  }
  if (auto status = foundation::os::make_directories(dir); !status) {
    why = status.error;
    return false;
  }
  auto status =
      foundation::os::write_file_atomically(domain_path(name), plist::write(plist::Value(dictionary)));
  if (!status) why = status.error;
  return status.ok;
}

bool remove(std::string_view name, std::string& why) {
  if (!may_replace(name, why)) return false;
  if (directory().empty()) return true;  // no store, so nothing to remove
  auto status = foundation::os::remove_file(domain_path(name));
  if (!status) why = status.error;
  return status.ok;
}

std::vector<std::string> domain_names() {
  std::vector<std::string> files, names;
  std::string dir = directory();
  if (dir.empty() || !foundation::os::list_directory(dir, files)) return names;
  for (const std::string& file : files) {
    if (file.size() <= kSuffix.size() || !file.ends_with(kSuffix)) continue;
    std::string name = file.substr(0, file.size() - kSuffix.size());
    std::string why;
    if (is_valid_domain_name(name, why)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace defaults_store
