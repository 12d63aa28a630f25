// Where applications look for plug-in bundles (PlugInFolders.h): each
// platform's conventional per-user and machine-wide places, the override
// for tests, and the bundles a folder holds.
#include "Foundation/PlugInFolders.h"

#include <algorithm>
#include <optional>

#include "os_process.h"

namespace {

namespace os = foundation::os;

// Below the per-user and machine-wide base folders.
const char* const kSubfolders[] = {"AppKit", "PlugIns"};

std::optional<std::string> variable(const char* name) {
  auto value = os::environment_variable(name);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

std::string below(std::string base) {
  for (const char* part : kSubfolders) base = os::join_path(base, part);
  return base;
}

#if defined(_WIN32)
constexpr char kListSeparator = ';';

std::optional<std::string> user_folder() {
  auto base = variable("APPDATA");
  return base ? std::optional(below(*base)) : std::nullopt;
}
// A 32-bit program on 64-bit Windows sees the x86 Common Files folder here.
std::optional<std::string> machine_folder() {
  auto base = variable("CommonProgramFiles");
  return base ? std::optional(below(*base)) : std::nullopt;
}
#else
constexpr char kListSeparator = ':';

// $XDG_DATA_HOME counts only as an absolute path.
std::optional<std::string> user_folder() {
  if (auto data = variable("XDG_DATA_HOME"); data && data->front() == '/') return below(*data);
  auto home = variable("HOME");
  return home ? std::optional(below(os::join_path(os::join_path(*home, ".local"), "share"))) : std::nullopt;
}
// The build sets the folder from the install prefix, where `cmake --install`
// puts the bundle.
std::optional<std::string> machine_folder() { return std::string(CORVANE_MACHINE_PLUGIN_FOLDER); }
#endif

}  // namespace

std::vector<NSPlugInFolder> NSPlugInFolders() {
  std::vector<NSPlugInFolder> folders;
  auto add = [&](const char* kind, const std::string& path) {
    if (path.empty()) return;
    std::string resolved = os::is_directory(path) ? os::canonical_path(path) : path;
    for (const NSPlugInFolder& f : folders)
      if (f.path == resolved) return;
    folders.push_back({kind, resolved});
  };
  if (auto list = os::environment_variable("PLUGINS_PATH")) {
    size_t start = 0;
    while (start <= list->size()) {
      size_t end = std::min(list->find(kListSeparator, start), list->size());
      add("PLUGINS_PATH", list->substr(start, end - start));
      start = end + 1;
    }
    return folders;
  }
  if (auto folder = user_folder()) add("per-user", *folder);
  if (auto folder = machine_folder()) add("machine", *folder);
  return folders;
}

std::vector<std::string> NSBundlePathsInFolder(const std::string& folder) {
  std::vector<std::string> names, paths;
  if (!os::list_entries(folder, names)) return paths;
  std::sort(names.begin(), names.end());
  const std::string suffix = ".bundle";
  for (const std::string& name : names)
    if (name.size() > suffix.size() && name.ends_with(suffix)) paths.push_back(os::join_path(folder, name));
  return paths;
}
