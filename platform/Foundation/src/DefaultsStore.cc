// The persistent-domain store: file names, loading with a diagnosis for
// broken files, and locked, atomic saving that refuses to replace a broken
// file or to leave one that would not read back.
#include "Foundation/DefaultsStore.h"

#include <algorithm>

#include "os_process.h"
#include "utf.h"

namespace defaults_store {
namespace {

constexpr std::string_view kSuffix = ".plist";

// Whether name, up to its first '.' and without trailing spaces, is one of
// the names Windows gives to devices, in any case. COM and LPT also take
// the superscript digits 1 to 3.
bool is_device_name(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  std::string upper(stem);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  if (!upper.starts_with("COM") && !upper.starts_with("LPT")) return false;
  std::string_view digit = std::string_view(upper).substr(3);
  return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
         digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

}  // namespace

// Where each platform keeps a user's settings: %APPDATA% (the roaming
// application data) on Windows, ~/.config elsewhere; the environment
// variable that names it goes into the message when it is unknown.
#if defined(_WIN32)
constexpr const char* kSettingsVariable = "APPDATA";
std::string settings_folder() {
  auto appdata = foundation::os::environment_variable(kSettingsVariable);
  if (appdata && !appdata->empty()) return *appdata;
  auto profile = foundation::os::environment_variable("USERPROFILE");
  if (!profile || profile->empty()) return "";
  return foundation::os::join_path(foundation::os::join_path(*profile, "AppData"), "Roaming");
}
#else
constexpr const char* kSettingsVariable = "HOME";
std::string settings_folder() {
  auto home = foundation::os::environment_variable(kSettingsVariable);
  if (!home || home->empty()) return "";
  return foundation::os::join_path(*home, ".config");
}
#endif

std::string directory() {
  if (auto dir = foundation::os::environment_variable("USER_DEFAULTS_DIR"); dir && !dir->empty()) return *dir;
  std::string settings = settings_folder();
  return settings.empty() ? "" : foundation::os::join_path(settings, "defaults");
}

bool is_valid_domain_name(std::string_view name, std::string& why) {
  if (name.empty()) {
    why = "a domain name cannot be empty";
    return false;
  }
  if (!utf::is_utf8(name)) {
    why = "domain name \"" + std::string(name) + "\" is not UTF-8";
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
  for (char c : name) {
    if (std::string_view(":*?\"<>|").find(c) != std::string_view::npos) {
      why = "domain name \"" + std::string(name) + "\" holds '" + c + "', which a file name cannot hold";
      return false;
    }
  }
  if (name.size() > kMaxDomainNameLength) {
    why = "domain name \"" + std::string(name.substr(0, 20)) + "...\" is " + std::to_string(name.size()) +
          " bytes long; a domain name may have at most " + std::to_string(kMaxDomainNameLength);
    return false;
  }
  if (is_device_name(name)) {
    why = "domain name \"" + std::string(name) + "\" is the name of a device on Windows, not of a file";
    return false;
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
  if (!plist::parse_file(text, path, value, error)) {
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

// The lock a domain's writers take, held with the file it guards: the
// file the domain's name leads to (through any symbolic links), which is
// what the write replaces and beside which the sweep looks.
struct DomainLock {
  foundation::os::FileLock lock;
  std::string target;
};

// Takes the domain's lock, creating the directory first, then removes what
// writers that died part-way left: every writer of the target holds this
// lock while its temporary file exists, so none of those is a live
// writer's. Should the name be re-linked to another file while this waits,
// it locks that file instead.
bool lock_domain(std::string_view name, DomainLock& held, std::string& why) {
  std::string dir = directory();
  if (dir.empty()) {
    why = std::string("no place for user defaults: set USER_DEFAULTS_DIR or ") + kSettingsVariable;
    return false;
  }
  if (auto status = foundation::os::make_directories(dir); !status) {
    why = status.error;
    return false;
  }
  std::string path = domain_path(name);
  for (int attempt = 0;; ++attempt) {
    foundation::os::Status status = foundation::os::final_target(path, held.target);
    if (status) status = held.lock.acquire(held.target + ".lock", kLockTimeoutMilliseconds);
    std::string now;
    if (status) status = foundation::os::final_target(path, now);
    if (!status) {
      held.lock.release();
      why = status.error;
      return false;
    }
    if (now == held.target) break;
    held.lock.release();
    if (attempt == 3) {
      why = "cannot lock " + path + ": it is being re-linked to other files";
      return false;
    }
  }
  foundation::os::remove_stale_temporaries(held.target);
  return true;
}

std::string refusal(std::string_view name, const Loaded& current) {
  return "refusing to replace " + domain_path(name) + ", which cannot be read as a domain (" + current.error +
         "); fix or remove it by hand";
}

// Writes dictionary as the domain's file if it reads back as itself.
// Expects the domain's lock held.
bool write_locked(std::string_view name, const DomainLock& held, const plist::Dictionary& dictionary,
                  std::string& why) {
  std::string problem;
  for (const auto& [key, value] : dictionary) {
    if (!plist::is_writable(plist::Value(key), problem) || !plist::is_writable(value, problem)) {
      why = "not saving domain " + std::string(name) + ": key " + plist::quote_if_needed(key) +
            " cannot be stored: " + problem;
      return false;
    }
  }
  // The reader's limits are the writer's: what is written must read back
  // as it is, or the whole domain would be lost to every reader. Pretty
  // text that would pass the reader's size gives way to the smallest, which
  // is never larger than a file that held the same domain; the writer
  // stops at the limit rather than build more.
  plist::Value dictionary_value(dictionary);
  std::string text;
  if (!plist::write_within(dictionary_value, foundation::os::kMaxFileSize, text)) {
    why = "not saving domain " + std::string(name) + ": it would take more than the " +
          std::to_string(foundation::os::kMaxFileSize >> 20) + " MiB a domain may hold";
    return false;
  }
  plist::Value read_back;
  plist::ParseError error;
  if (!plist::parse_file(text, "", read_back, error) || !(read_back == dictionary_value)) {
    why = "not saving domain " + std::string(name) + ": it would not read back (" +
          (error.message.empty() ? std::string("it reads back changed") : error.describe()) + ")";
    return false;
  }
  auto status = foundation::os::write_file_atomically(held.target, text);
  if (!status) why = status.error;
  return status.ok;
}

// Takes the domain's lock (the caller's to hold) and loads the domain,
// refusing a name that cannot be a file and a domain that does not parse.
bool lock_and_load(std::string_view name, DomainLock& held, Loaded& current, std::string& why) {
  if (!is_valid_domain_name(name, why) || !lock_domain(name, held, why)) return false;
  current = load(name);
  if (current.state != Loaded::kBroken) return true;
  why = refusal(name, current);
  return false;
}

}  // namespace

bool save(std::string_view name, const plist::Dictionary& dictionary, std::string& why) {
  DomainLock held;
  Loaded current;
  return lock_and_load(name, held, current, why) && write_locked(name, held, dictionary, why);
}

bool update(std::string_view name, const std::function<bool(plist::Dictionary&)>& edit, Loaded& current,
            std::string& why) {
  current = Loaded();
  DomainLock held;
  if (!lock_and_load(name, held, current, why)) return false;
  if (!edit(current.dictionary)) return true;
  if (!write_locked(name, held, current.dictionary, why)) return false;
  current.state = Loaded::kPresent;
  return true;
}

bool remove(std::string_view name, std::string& why) {
  if (!is_valid_domain_name(name, why)) return false;
  // No store, so nothing to remove (and no lock file to make).
  foundation::os::Status looked;
  if (directory().empty()) return true;
  if (!foundation::os::is_directory(directory(), &looked)) {
    why = looked.error;
    return looked.ok;
  }
  DomainLock held;
  Loaded current;
  if (!lock_and_load(name, held, current, why)) return false;
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
