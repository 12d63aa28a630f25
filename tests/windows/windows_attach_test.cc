// The Windows start-up: a module's records are queued in link order before
// its attach notification, registered after its dynamic initialisers, and a
// module whose path fills the 260-character buffer fails to attach and
// leaves nothing registered. A module in a folder named in any letters
// registers its path intact, in UTF-8. The loader on its own is
// loader_test's.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "loader.h"
#include "objc/message.h"
#include "windows_test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kModuleName = loader::module_file_name("windows_attach_module");

fs::path built_module() {
  const char* dir = std::getenv("CORVANE_BUILD_DIR");
  return fs::path(dir != nullptr ? dir : ".") / "bin" / kModuleName;
}

std::string log_of(void* module) {
  using log_fn = const char* (*)();
  auto log = reinterpret_cast<log_fn>(windows_test::symbol(module, "windows_attach_log"));
  return log != nullptr ? log() : "(no log)";
}

fs::path scratch_directory() {
  return fs::absolute(fs::temp_directory_path()) /
         ("corvane-attach-" + std::to_string(windows_test::process_id()));
}

// A copy of the test module in scratch_directory()/folder.
fs::path module_copy_in(const fs::path& folder) {
  fs::path dir = scratch_directory() / folder;
  fs::create_directories(dir);
  fs::path file = dir / kModuleName;
  fs::copy_file(built_module(), file, fs::copy_options::overwrite_existing);
  return file;
}

// A copy of the test module whose full path is exactly length UTF-16
// characters: the padding, of `fill`, goes into one directory name.
fs::path module_copy_with_path_length(size_t length, wchar_t fill = L'd') {
  std::error_code in_use;  // a module loaded from there stays
  fs::remove_all(scratch_directory(), in_use);
  size_t fixed = scratch_directory().wstring().size() + 2 + kModuleName.size();  // two separators
  if (fixed >= length || length - fixed > 250) return {};
  return module_copy_in(std::wstring(length - fixed, fill));
}

std::string utf8(const fs::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Loads a copy of the test module from scratch_directory()/folder: the
// runtime holds the module's path as UTF-8, exactly as the folder is named.
// One folder per process: the module's classes stay registered.
// The copy stays behind: a loaded module's file cannot be removed.
void expect_path_registered_intact(const char8_t* folder) {
  fs::path file = module_copy_in(folder);
  ASSERT_NE(windows_test::load_library(file), nullptr) << windows_test::last_error();
  Class first = objc_getClass("WinAttachFirst");
  ASSERT_NE(first, Nil);
  EXPECT_EQ(class_getModulePath(first), utf8(file));
}

}  // namespace

TEST(WindowsAttach, FolderNamedInsideTheAnsiCodePage) { expect_path_registered_intact(u8"Jos\u00e9"); }
TEST(WindowsAttach, FolderNamedOutsideTheAnsiCodePage) { expect_path_registered_intact(u8"\u65e5\u672c"); }
TEST(WindowsAttach, FolderNamedOutsideTheBasicPlane) { expect_path_registered_intact(u8"clef \U0001D11E"); }

TEST(WindowsAttach, RecordsQueuedInLinkOrderAndRegisteredAfterInitialisers) {
  char error[512] = "";
  ASSERT_TRUE(objc_loadModule(built_module().string().c_str(), error, sizeof error)) << error;
  std::string log = log_of(windows_test::loaded_module(kModuleName.c_str()));
  // Initialisers run in either order; both come before any load, and the
  // first unit's class is registered (and sent load) before the second's.
  EXPECT_TRUE(log == "init-first init-second load-first load-second" ||
              log == "init-second init-first load-first load-second")
      << log;
  Class second = objc_getClass("WinAttachSecond");
  ASSERT_NE(second, Nil);
  EXPECT_EQ(msg<int32_t>(reinterpret_cast<id>(second), SELECTOR(fromCategory)), 7);
  std::string path = class_getModulePath(second);
  EXPECT_TRUE(path.ends_with(std::string("\\bin\\") + kModuleName)) << path;
}

TEST(WindowsAttach, PathThatFillsTheBufferFailsTheAttachAndRegistersNothing) {
  fs::path file = module_copy_with_path_length(260);
  ASSERT_EQ(file.wstring().size(), 260u);
  windows_test::clear_last_error();
  EXPECT_EQ(windows_test::load_library(file), nullptr);
  EXPECT_EQ(windows_test::last_error(), windows_test::kDllInitFailed);
  EXPECT_EQ(objc_getClass("WinAttachFirst"), Nil);
  EXPECT_EQ(objc_getClass("WinAttachSecond"), Nil);

  // The records the failed module queued are dropped by the next load.
  char error[512] = "";
  ASSERT_TRUE(objc_loadModule(built_module().string().c_str(), error, sizeof error)) << error;
  std::string path = class_getModulePath(objc_getClass("WinAttachFirst"));
  EXPECT_TRUE(path.ends_with(std::string("\\bin\\") + kModuleName)) << path;
}

TEST(WindowsAttach, PathOneShorterThanTheBufferAttaches) {
  fs::path file = module_copy_with_path_length(259);
  ASSERT_EQ(file.wstring().size(), 259u);
  ASSERT_NE(windows_test::load_library(file), nullptr) << windows_test::last_error();
  ASSERT_NE(objc_getClass("WinAttachFirst"), Nil);
  EXPECT_EQ(std::string(class_getModulePath(objc_getClass("WinAttachFirst"))).size(), 259u);
}

// The 260-character rule counts UTF-16 characters, not the bytes of the
// UTF-8 path: 259 characters of a three-byte letter attach, 260 do not.
TEST(WindowsAttach, BufferCountsCharactersNotUtf8Bytes) {
  fs::path too_long = module_copy_with_path_length(260, L'\u65e5');
  ASSERT_EQ(too_long.wstring().size(), 260u);
  windows_test::clear_last_error();
  EXPECT_EQ(windows_test::load_library(too_long), nullptr);
  EXPECT_EQ(windows_test::last_error(), windows_test::kDllInitFailed);
  EXPECT_EQ(objc_getClass("WinAttachFirst"), Nil);

  // Loaded through the runtime, which also drops the records the failed
  // module left queued, and takes the path as UTF-8.
  fs::path file = module_copy_with_path_length(259, L'\u65e5');
  ASSERT_EQ(file.wstring().size(), 259u);
  char error[512] = "";
  ASSERT_TRUE(objc_loadModule(utf8(file).c_str(), error, sizeof error)) << error;
  ASSERT_NE(objc_getClass("WinAttachFirst"), Nil);
  std::string path = class_getModulePath(objc_getClass("WinAttachFirst"));
  EXPECT_GT(path.size(), 400u);
  EXPECT_EQ(path, utf8(file));
}
