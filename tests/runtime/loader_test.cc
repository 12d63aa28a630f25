// The platform loader against loader.h, the same cases on every platform:
// opening a module and looking its symbols up, finding a loaded library by
// its base name without loading anything, a module's own path and the
// buffer rule it is read under, and file names that match what the build
// lays out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host_process.h"
#include "loader.h"
#include "objc/runtime.h"

namespace fs = std::filesystem;
using test_support::build_dir;
using test_support::from_utf8;
using test_support::utf8;

namespace {

const char program_anchor = 0;

fs::path test_module() { return build_dir() / "bin" / loader::module_file_name("loader_test_module"); }

// The length of path in the units the system reads it in (bytes, or UTF-16
// characters on Windows).
size_t system_length(const std::string& path) {
#if defined(_WIN32)
  return from_utf8(path).wstring().size();
#else
  return path.size();
#endif
}

}  // namespace

TEST(Loader, OpensAModuleFindsItsSymbolsAndTellsItsPath) {
  std::string why;
  loader::Handle module = loader::open(utf8(test_module()).c_str(), why);
  ASSERT_NE(module, nullptr) << why;
  EXPECT_EQ(why, "");

  auto answer = reinterpret_cast<int (*)()>(loader::symbol(module, "loader_test_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(loader::symbol(module, "no_such_symbol"), nullptr);
  EXPECT_EQ(loader::symbol(nullptr, "loader_test_answer"), nullptr);

  auto anchor = reinterpret_cast<const void* (*)()>(loader::symbol(module, "loader_test_anchor"));
  ASSERT_NE(anchor, nullptr);
  std::string path;
  ASSERT_TRUE(loader::own_path(anchor(), 1024, path));
  EXPECT_TRUE(fs::equivalent(from_utf8(path), test_module())) << path;
  loader::close(module);
  loader::close(nullptr);  // nothing to close
}

TEST(Loader, OwnPathNeedsRoomForTheTerminator) {
  std::string full;
  ASSERT_TRUE(loader::own_path(&program_anchor, 1024, full));
  EXPECT_TRUE(fs::equivalent(from_utf8(full), test_support::program("loader_test"))) << full;
  size_t length = system_length(full);

  std::string exact;
  EXPECT_TRUE(loader::own_path(&program_anchor, length + 1, exact));
  EXPECT_EQ(exact, full);
  EXPECT_FALSE(loader::own_path(&program_anchor, length, exact));
  EXPECT_EQ(exact, "");
}

TEST(Loader, FindsLoadedLibrariesByBaseNameAndLoadsNothing) {
  ASSERT_NE(sel_registerName("load"), nullptr);  // the runtime library is in use, so loaded
  EXPECT_NE(loader::find_loaded("nextpdo"), nullptr);
  EXPECT_EQ(loader::find_loaded("loader_test_module"), nullptr);
  EXPECT_EQ(loader::find_loaded("no_such_library"), nullptr);
  EXPECT_EQ(loader::find_loaded("loader_test_module"), nullptr);  // the look-up loaded nothing
}

TEST(Loader, SaysWhyAModuleDoesNotOpen) {
  std::string why;
  EXPECT_EQ(loader::open(("/no/such/" + loader::module_file_name("Module")).c_str(), why), nullptr);
  EXPECT_FALSE(why.empty());

  fs::path junk = test_support::fresh_directory("loader") / loader::module_file_name("Junk");
  std::ofstream(junk) << "not a module";
  why.clear();
  EXPECT_EQ(loader::open(utf8(junk).c_str(), why), nullptr);
  EXPECT_FALSE(why.empty());
  fs::remove_all(junk.parent_path());
}

// The names the code builds are the names the build gave the files.
TEST(Loader, FileNamesMatchWhatTheBuildLaysOut) {
  EXPECT_TRUE(fs::exists(build_dir() / "Corvane.bundle" / loader::module_file_name("Corvane")));
  EXPECT_TRUE(fs::exists(test_module()));
  std::string runtime = std::string(loader::kLibraryPrefix) + "nextpdo" + loader::kModuleSuffix;
  EXPECT_TRUE(fs::exists(build_dir() / "lib" / runtime) || fs::exists(build_dir() / "bin" / runtime))
      << runtime;
}
