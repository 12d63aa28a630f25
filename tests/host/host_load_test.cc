// The real built bundle loaded by the sample host, each case in a process
// of its own: which settings turn which patch on and from which domain the
// switch came, and what happens with a bundle whose information dictionary
// is missing, lacks the fallbacks or is malformed, or whose path does not
// fit the attach handler's buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corvane_version.h"
#include "host_process.h"

namespace fs = std::filesystem;
using test_support::ProcessResult;

namespace {

class HostLoad : public ::testing::Test {
 protected:
  void SetUp() override { defaults_dir_ = test_support::use_fresh_defaults("defaults"); }
  void TearDown() override { fs::remove_all(defaults_dir_); }

  // Writes a persistent domain the way `defaults write` leaves it.
  void write_domain(const char* domain, const std::string& text) {
    std::ofstream(defaults_dir_ / (std::string(domain) + ".plist")) << text;
  }

  // A copy of the built bundle under `parent`, with Info.plist replaced by
  // `info` (or removed when info is null).
  static fs::path bundle_copy(const fs::path& parent, const char* info) {
    fs::path bundle = parent / "Corvane.bundle";
    fs::create_directories(parent);
    fs::copy(test_support::built_bundle(), bundle, fs::copy_options::recursive);
    fs::remove(bundle / "Resources" / "Info.plist");
    if (info != nullptr) std::ofstream(bundle / "Resources" / "Info.plist") << info;
    return bundle;
  }

  // Runs the host with arguments on a copy of the bundle whose Info.plist
  // holds info (none when info is null); the copy goes away afterwards.
  static ProcessResult run_host_with_info(const char* info, std::vector<std::string> arguments = {}) {
    fs::path dir = test_support::fresh_directory("bundle");
    ProcessResult r = test_support::run_host(std::move(arguments), bundle_copy(dir, info));
    fs::remove_all(dir);
    return r;
  }

  fs::path defaults_dir_;
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A path written with '/' as the host prints it on this platform.
std::string native(std::string path) {
#if defined(_WIN32)
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

TEST_F(HostLoad, ShippedFallbacksTurnBothPatchesOn) {
  ProcessResult r = test_support::run_host({});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Corvane.bundle/Corvane.") || has(r.out, "Corvane.bundle\\Corvane.")) << r.out;
  EXPECT_TRUE(has(r.out, test_support::kBundleClassesLine)) << r.out;
  EXPECT_TRUE(has(r.out, "CorvaneEnable            YES (from NSRegistrationDomain)")) << r.out;
  EXPECT_TRUE(has(r.out, "MatrixScrollPatchEnable  YES (from NSRegistrationDomain)")) << r.out;
  EXPECT_TRUE(has(r.out, "NSApplication            answered by CorvaneApplication")) << r.out;
  EXPECT_TRUE(has(r.out, "NSMatrix                 answered by CorvaneMatrix")) << r.out;
  EXPECT_TRUE(has(r.out, "the application object is a CorvaneApplication")) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(HostLoad, PersistentAndGlobalSettingsOverrideTheFallbacks) {
  write_domain("SampleHost", "{ CorvaneEnable = NO; }");
  write_domain("NSGlobalDomain", "{ MatrixScrollPatchEnable = NO; CorvaneEnable = YES; }");
  ProcessResult r = test_support::run_host({});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "CorvaneEnable            NO  (from SampleHost)")) << r.out;
  EXPECT_TRUE(has(r.out, "MatrixScrollPatchEnable  NO  (from NSGlobalDomain)")) << r.out;
  EXPECT_TRUE(has(r.out, "NSApplication            answered by NSApplication")) << r.out;
  EXPECT_TRUE(has(r.out, "NSMatrix                 answered by NSMatrix")) << r.out;
  EXPECT_TRUE(has(r.out, "the application object is a NSApplication")) << r.out;
}

TEST_F(HostLoad, ArgumentsOverrideEverythingInEitherDirection) {
  write_domain("SampleHost", "{ CorvaneEnable = NO; MatrixScrollPatchEnable = YES; }");
  ProcessResult r = test_support::run_host({"-CorvaneEnable", "YES", "-MatrixScrollPatchEnable", "NO"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "CorvaneEnable            YES (from NSArgumentDomain)")) << r.out;
  EXPECT_TRUE(has(r.out, "MatrixScrollPatchEnable  NO  (from NSArgumentDomain)")) << r.out;
  EXPECT_TRUE(has(r.out, "NSApplication            answered by CorvaneApplication")) << r.out;
  EXPECT_TRUE(has(r.out, "NSMatrix                 answered by NSMatrix")) << r.out;
}

TEST_F(HostLoad, FallbacksOffAreOverriddenByAUserSettingOn) {
  ProcessResult r =
      run_host_with_info("{ CorvaneDefaults = { CorvaneEnable = NO; MatrixScrollPatchEnable = 0; }; }",
                         {"-MatrixScrollPatchEnable", "YES"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "CorvaneEnable            NO  (from NSRegistrationDomain)")) << r.out;
  EXPECT_TRUE(has(r.out, "NSApplication            answered by NSApplication")) << r.out;
  EXPECT_TRUE(has(r.out, "NSMatrix                 answered by CorvaneMatrix")) << r.out;
}

// Without fallbacks a switch with no value anywhere reads NO: the bundle
// loads and replaces nothing, and says nothing about it.
TEST_F(HostLoad, MissingFallbacksOrInfoDictionaryLeaveBothPatchesOff) {
  for (const char* info : {"{ NSExecutable = Corvane; }", static_cast<const char*>(nullptr)}) {
    ProcessResult r = run_host_with_info(info);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(has(r.out, test_support::kBundleClassesLine)) << r.out;
    EXPECT_TRUE(has(r.out, "CorvaneEnable            NO  (from no domain")) << r.out;
    EXPECT_TRUE(has(r.out, "MatrixScrollPatchEnable  NO  (from no domain")) << r.out;
    EXPECT_TRUE(has(r.out, "NSApplication            answered by NSApplication")) << r.out;
    EXPECT_TRUE(has(r.out, "NSMatrix                 answered by NSMatrix")) << r.out;
    EXPECT_EQ(r.err, "");
  }
}

// Fallbacks that are not a dictionary are not registered; switch values of
// another kind read as booleans do: "maybe" and lists are NO, a nonzero
// number is YES.
TEST_F(HostLoad, FallbacksOfTheWrongKindReadAsBooleansOrNotAtAll) {
  struct Case {
    const char* info;
    const char* application;
    const char* matrix;
  };
  const Case cases[] = {
      {"{ CorvaneDefaults = YES; }", "NO  (from no domain", "NO  (from no domain"},
      {"{ CorvaneDefaults = (YES, YES); }", "NO  (from no domain", "NO  (from no domain"},
      {"{ CorvaneDefaults = <01>; }", "NO  (from no domain", "NO  (from no domain"},
      {"{ CorvaneDefaults = { CorvaneEnable = maybe; MatrixScrollPatchEnable = 2; }; }",
       "NO  (from NSRegistrationDomain)", "YES (from NSRegistrationDomain)"},
      {"{ CorvaneDefaults = { CorvaneEnable = (YES); MatrixScrollPatchEnable = { YES = YES; }; }; }",
       "NO  (from NSRegistrationDomain)", "NO  (from NSRegistrationDomain)"},
  };
  for (const Case& c : cases) {
    ProcessResult r = run_host_with_info(c.info);
    ASSERT_EQ(r.exit_code, 0) << c.info << "\n" << r.err;
    EXPECT_TRUE(has(r.out, std::string("CorvaneEnable            ") + c.application)) << c.info << "\n"
                                                                                      << r.out;
    EXPECT_TRUE(has(r.out, std::string("MatrixScrollPatchEnable  ") + c.matrix)) << c.info << "\n" << r.out;
    EXPECT_EQ(r.err, "") << c.info;
  }
}

// The same bundle named twice, through a link, or copied elsewhere: its
// classes are registered and started once, a copy's duplicates are
// reported and ignored, and the patches behave as after a single load.
TEST_F(HostLoad, LoadingTheBundleTwiceRegistersAndStartsItOnce) {
  fs::path dir = test_support::fresh_directory("twice");
  fs::path copy = bundle_copy(dir / "copy", "{ CorvaneDefaults = { CorvaneEnable = NO; }; }");
  std::vector<std::string> arguments = {"-bundle", copy.string()};
  std::error_code no_links;  // not every file system makes them
  fs::create_directory_symlink(test_support::built_bundle(), dir / "link.bundle", no_links);
  if (!no_links) arguments.insert(arguments.begin(), {"-bundle", (dir / "link.bundle").string()});

  ProcessResult r = test_support::run_host(arguments);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find(test_support::kBundleClassesLine), r.out.rfind(test_support::kBundleClassesLine))
      << r.out;
  EXPECT_TRUE(has(r.out, "classes:   (none)")) << r.out;
  EXPECT_TRUE(has(r.err, "class Corvane is defined twice; keeping the first (ignoring ")) << r.err;
  EXPECT_TRUE(has(r.err, "copy")) << r.err;

  // Loaded twice, the modal scenario plays exactly as loaded once.
  ProcessResult once = test_support::run_host({"-scenario", "modal"});
  ProcessResult twice = test_support::run_host({"-bundle", copy.string(), "-scenario", "modal"});
  ASSERT_EQ(twice.exit_code, 0) << twice.err;
  EXPECT_EQ(twice.out, once.out);
  fs::remove_all(dir);
}

TEST_F(HostLoad, MalformedInfoDictionaryIsReportedWithItsPositionAndReadsEmpty) {
  ProcessResult r = run_host_with_info("{\n  CorvaneDefaults = { CorvaneEnable = YES\n}");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.err, "Info.plist:3:1")) << r.err;
  EXPECT_TRUE(has(r.out, "fallbacks: (none in Info.plist)")) << r.out;
  EXPECT_TRUE(has(r.out, "NSApplication            answered by NSApplication")) << r.out;
}

// The attach handler reads the module's path into a 260-byte buffer. A
// longer path must not be registered truncated: the module attaches
// nothing and the host's load reports the failure.
TEST_F(HostLoad, BundlePathTooLongForTheAttachBufferFailsTheLoad) {
  fs::path dir = test_support::fresh_directory("long");
  fs::path deep = dir;
  while (deep.string().size() < 300) deep /= std::string(40, 'd');
  ProcessResult r = test_support::run_host({}, bundle_copy(deep, nullptr));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(has(r.err, "did not attach")) << r.err;
  EXPECT_FALSE(has(r.out, "answered by Corvane")) << r.out;
  std::error_code ignored;  // Windows file calls may refuse the long path
  fs::remove_all(dir, ignored);
}

// Install folders may be named in any letters, inside the ANSI code page
// (José) or outside it (日本): the host takes the path from its command
// line, the module's own path is read back intact, so the information
// dictionary beside it is found and its fallbacks turn both patches on.
TEST_F(HostLoad, BundleInAFolderNamedBeyondAsciiFindsItsFallbacks) {
  for (const char* folder : {"Jos\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC"}) {
    fs::path dir = test_support::fresh_directory("named") / test_support::from_utf8(folder);
    fs::create_directories(dir);
    fs::copy(test_support::built_bundle(), dir / "Corvane.bundle", fs::copy_options::recursive);
    ProcessResult r = test_support::run_host({}, dir / "Corvane.bundle");
    ASSERT_EQ(r.exit_code, 0) << folder << "\n" << r.err;
    EXPECT_TRUE(has(r.out, native(std::string(folder) + "/Corvane.bundle\n"))) << r.out;
    EXPECT_TRUE(has(r.out, native(std::string(folder) + "/Corvane.bundle/Corvane."))) << r.out;
    EXPECT_FALSE(has(r.out, "(none in Info.plist)")) << r.out;
    EXPECT_TRUE(has(r.out, test_support::kBundleClassesLine)) << r.out;
    EXPECT_TRUE(has(r.out, "CorvaneEnable            YES (from NSRegistrationDomain)")) << r.out;
    EXPECT_TRUE(has(r.out, "MatrixScrollPatchEnable  YES (from NSRegistrationDomain)")) << r.out;
    EXPECT_TRUE(has(r.out, "the application object is a CorvaneApplication")) << r.out;
    EXPECT_EQ(r.err, "") << folder;

    // The scenarios run the same from there.
    ProcessResult modal = test_support::run_host({"-scenario", "modal"}, dir / "Corvane.bundle");
    EXPECT_EQ(modal.exit_code, 0) << modal.err;
    EXPECT_EQ(modal.out, test_support::run_host({"-scenario", "modal"}).out) << folder;
    fs::remove_all(dir.parent_path());
  }
}

// Without -bundle the host finishes launching, which loads the plug-in
// folders in order: a bundle directory name at most once, the first that
// loads winning, and a bundle that does not load reported in one line and
// skipped.
TEST_F(HostLoad, PlugInFoldersLoadEachBundleOnceInOrderAndSkipBrokenOnes) {
  fs::path dir = test_support::fresh_directory("plugins");
  fs::path first = dir / "first", second = dir / "second";
  bundle_copy(first, "{ CorvaneDefaults = { CorvaneEnable = NO; MatrixScrollPatchEnable = YES; }; }");
  fs::create_directories(first / "Empty.bundle");
  std::ofstream(first / "Notes.bundle") << "a file, not a bundle";
  std::ofstream(first / "README.txt") << "not a bundle at all";
  fs::create_directories(second);
  fs::copy(test_support::built_bundle(), second / "Corvane.bundle", fs::copy_options::recursive);
#if defined(_WIN32)
  const char separator = ';';
#else
  const char separator = ':';
#endif
  test_support::set_env("PLUGINS_PATH", test_support::utf8(first) + separator + test_support::utf8(second));

  ProcessResult r = test_support::run(test_support::program("SampleHost"), {});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "from:      the PLUGINS_PATH plug-in folder " + test_support::utf8(first))) << r.out;
  EXPECT_TRUE(has(r.out, "CorvaneEnable            NO  (from NSRegistrationDomain)")) << r.out;
  EXPECT_EQ(r.out.find(test_support::kBundleClassesLine), r.out.rfind(test_support::kBundleClassesLine));
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  EXPECT_TRUE(
      has(r.err, "AppKit: skipping plug-in " + native(test_support::utf8(first / "Empty.bundle")) + ": "))
      << r.err;
  EXPECT_TRUE(has(r.err, "AppKit: skipping plug-in " + native(test_support::utf8(first / "Notes.bundle")) +
                             ": not a directory\n"))
      << r.err;

  // The first folder's copy broken, the second folder's loads.
  for (const auto& entry : fs::directory_iterator(first / "Corvane.bundle"))
    if (entry.is_regular_file()) fs::remove(entry.path());
  r = test_support::run(test_support::program("SampleHost"), {});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "from:      the PLUGINS_PATH plug-in folder " + test_support::utf8(second)))
      << r.out;
  EXPECT_TRUE(has(r.out, "CorvaneEnable            YES (from NSRegistrationDomain)")) << r.out;
  EXPECT_TRUE(has(r.err, "skipping plug-in " + native(test_support::utf8(first / "Corvane.bundle"))))
      << r.err;
  test_support::unset_env("PLUGINS_PATH");
  fs::remove_all(dir);
}

// Installing for one user is copying the bundle into the per-user folder
// (under XDG_DATA_HOME, or %APPDATA% on Windows); uninstalling is deleting it.
TEST_F(HostLoad, BundleCopiedIntoThePerUserFolderIsLoadedAndDeletingItUninstalls) {
  test_support::unset_env("PLUGINS_PATH");
  fs::path data = test_support::fresh_directory("user-data") / test_support::from_utf8("Jos\xC3\xA9");
#if defined(_WIN32)
  _wputenv_s(L"APPDATA", data.wstring().c_str());  // the narrow call would take the name as ANSI
#else
  test_support::set_env("XDG_DATA_HOME", test_support::utf8(data));
#endif
  fs::path folder = data / "AppKit" / "PlugIns";
  fs::create_directories(folder);
  fs::copy(test_support::built_bundle(), folder / "Corvane.bundle", fs::copy_options::recursive);
  ProcessResult r = test_support::run(test_support::program("SampleHost"), {});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "plug-ins:  per-user     " + native(test_support::utf8(folder)) + "\n")) << r.out;
  EXPECT_TRUE(has(r.out, "from:      the per-user plug-in folder")) << r.out;
  EXPECT_TRUE(has(r.out, "version:   " CORVANE_VERSION "\n")) << r.out;
  EXPECT_TRUE(has(r.out, "the application object is a CorvaneApplication")) << r.out;

  fs::remove_all(folder / "Corvane.bundle");
  r = test_support::run(test_support::program("SampleHost"), {});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(has(r.out, "from:      the per-user plug-in folder")) << r.out;
  fs::remove_all(data.parent_path());
}

TEST_F(HostLoad, MissingBundleIsReported) {
  ProcessResult r = test_support::run_host({}, "/nonexistent/Corvane.bundle");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(has(r.err, "cannot load bundle /nonexistent/Corvane.bundle")) << r.err;
}

}  // namespace
