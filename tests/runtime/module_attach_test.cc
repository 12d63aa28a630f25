// A module's attach, end to end through the platform loader: it registers
// only the records inside the module it names; a failed attach, and the
// module's unloading after it, leave none of its records behind; and an
// entry point the attach handler does not find is named, by the handler
// and by objc_loadModule.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host_process.h"
#include "loader.h"
#include "objc/module.h"
#include "objc/runtime.h"

namespace {

namespace fs = std::filesystem;

fs::path probe(const char* name) {
  return test_support::build_dir() / "AttachProbe" / loader::module_file_name(name);
}

// A copy of the probe whose path is too long for the attach handler's
// 260-unit buffer.
fs::path probe_with_long_path() {
  fs::path deep = fs::absolute(test_support::fresh_directory("attach"));
  while (deep.native().size() < 300) deep /= std::string(40, 'd');
  fs::create_directories(deep);
  fs::path file = deep / loader::module_file_name("AttachProbe");
  fs::copy_file(probe("AttachProbe"), file);
  return file;
}

objc_class_def local_class = {"AttachTestLocalClass", nullptr,         sizeof(objc_object),
                              objc_no_methods,        objc_no_methods, Nil};
objc_class_def* const local_classes[] = {&local_class};
objc_module_record local_record = {
    OBJC_MODULE_VERSION, "AttachTestLocal", local_classes, 1, nullptr, 0, nullptr, 0};

TEST(ModuleAttach, FailedAttachLeavesNoRecordsBehind) {
  fs::path file = probe_with_long_path();
  std::string why;
  // On POSIX the module loads and its attach fails; on Windows the failed
  // attach fails the load. Either way the module then goes.
  loader::close(loader::open(test_support::utf8(file).c_str(), why));
  EXPECT_EQ(objc_getClass("AttachProbeClass"), Nil);
  // A registration that comes later takes none of the gone module's records.
  objc_register_header("module_attach_test-later");
  objc_finish_header();
  EXPECT_EQ(objc_getClass("AttachProbeClass"), Nil);

  char error[512] = "";
  EXPECT_FALSE(objc_loadModule(test_support::utf8(file).c_str(), error, sizeof error));
  EXPECT_NE(std::string(error).find("did not attach: its path could not be read or is too long"),
            std::string::npos)
      << error;
  EXPECT_EQ(objc_getClass("AttachProbeClass"), Nil);
  std::string good = test_support::utf8(probe("AttachProbe"));
  ASSERT_TRUE(objc_loadModule(good.c_str(), error, sizeof error)) << error;
  ASSERT_NE(objc_getClass("AttachProbeClass"), Nil);
  std::string registered = class_getModulePath(objc_getClass("AttachProbeClass"));
  EXPECT_TRUE(registered.ends_with(
      test_support::utf8(fs::path("AttachProbe") / loader::module_file_name("AttachProbe"))))
      << registered;
#if !defined(_WIN32)
  fs::remove_all(file.parent_path().parent_path());  // Windows keeps what it has loaded
#endif
}

TEST(ModuleAttach, MissingEntryPointIsNamed) {
  std::string path = test_support::utf8(probe("AttachProbeNoEntry"));
  char error[512] = "";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(objc_loadModule(path.c_str(), error, sizeof error));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("the runtime's entry point objc_missing_register_header was not found; skipped"),
            std::string::npos)
      << err;
  EXPECT_NE(std::string(error).find("did not attach: its attach handler did not find the runtime's "
                                    "objc_register_header"),
            std::string::npos)
      << error;
  EXPECT_EQ(objc_getClass("AttachProbeClass"), Nil);
  objc_register_header("module_attach_test-later");
  objc_finish_header();
  EXPECT_EQ(objc_getClass("AttachProbeClass"), Nil);
}

// Records queued by someone else while a module attaches stay queued for
// their own registration.
TEST(ModuleAttach, RegistersOnlyTheRecordsInsideTheModuleItNames) {
  __objc_execClass(&local_record);
  std::string why;
  loader::Handle module = loader::open(test_support::utf8(probe("AttachProbe")).c_str(), why);
  ASSERT_NE(module, nullptr) << why;
  ASSERT_NE(objc_getClass("AttachProbeClass"), Nil);
  EXPECT_EQ(objc_getClass("AttachTestLocalClass"), Nil);
  objc_register_header("module_attach_test-local");
  objc_finish_header();
  ASSERT_NE(objc_getClass("AttachTestLocalClass"), Nil);
  EXPECT_EQ(std::string(class_getModulePath(objc_getClass("AttachTestLocalClass"))),
            "module_attach_test-local");
}

}  // namespace
