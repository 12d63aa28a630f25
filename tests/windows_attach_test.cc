// The Windows start-up: a module's records are queued in link order before
// its attach notification, registered after its dynamic initialisers, and a
// module whose path fills the 260-byte buffer fails to attach and leaves
// nothing registered. Also the loader's own-path rule on its own.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "loader.h"
#include "objc/message.h"
#include "windows_test_support.h"

namespace fs = std::filesystem;

namespace {

const char kModuleName[] = "windows_attach_module.dll";

fs::path built_module() {
  const char* dir = std::getenv("CORVANE_BUILD_DIR");
  return fs::path(dir != nullptr ? dir : ".") / "bin" / kModuleName;
}

std::string log_of(void* module) {
  using log_fn = const char* (*)();
  auto log = reinterpret_cast<log_fn>(windows_test::symbol(module, "windows_attach_log"));
  return log != nullptr ? log() : "(no log)";
}

// A copy of the test module whose full path is exactly length characters:
// the padding goes into one directory name.
fs::path module_copy_with_path_length(size_t length) {
  fs::path base = fs::absolute(fs::temp_directory_path()) /
                  ("corvane-attach-" + std::to_string(windows_test::process_id()));
  fs::remove_all(base);
  size_t fixed = base.wstring().size() + 2 + std::strlen(kModuleName);  // two separators
  if (fixed >= length || length - fixed > 250) return {};
  fs::path dir = base / std::string(length - fixed, 'd');
  fs::create_directories(dir);
  fs::path file = dir / kModuleName;
  fs::copy_file(built_module(), file, fs::copy_options::overwrite_existing);
  return file;
}

}  // namespace

TEST(WindowsAttach, RecordsQueuedInLinkOrderAndRegisteredAfterInitialisers) {
  char error[512] = "";
  ASSERT_TRUE(objc_loadModule(built_module().string().c_str(), error, sizeof error)) << error;
  std::string log = log_of(windows_test::loaded_module(kModuleName));
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

TEST(WindowsLoader, OwnPathNeedsRoomForTheTerminator) {
  void* self = windows_test::loaded_module(nullptr);
  char full[1024];
  ASSERT_TRUE(loader::own_path(self, full, sizeof full));
  size_t length = std::strlen(full);
  EXPECT_TRUE(std::string(full).ends_with(".exe")) << full;

  char exact[1024];
  EXPECT_TRUE(loader::own_path(self, exact, length + 1));
  EXPECT_STREQ(exact, full);
  EXPECT_FALSE(loader::own_path(self, exact, length));
}

TEST(WindowsLoader, FindsLoadedModulesByBaseNameAndOpensNothing) {
  EXPECT_NE(loader::find_loaded("nextpdo"), nullptr);
  EXPECT_EQ(loader::find_loaded("windows_attach_module"), nullptr);
  EXPECT_EQ(loader::module_file_name("Corvane"), "Corvane.dll");
  std::string why;
  EXPECT_EQ(loader::open("Z:\\no\\such\\Module.dll", why), nullptr);
  EXPECT_FALSE(why.empty());
}
