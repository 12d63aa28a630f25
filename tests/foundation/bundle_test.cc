// Tests of NSBundle: one object per path, module paths, loading a real
// module and failing to load a missing one, and the information dictionary
// when it is missing or malformed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <thread>

#if !defined(_WIN32)
#  include <sys/stat.h>
#endif

#include "Foundation/Foundation.h"
#include "Foundation/NSBundle.h"
#include "host_process.h"
#include "loader.h"
#include "raise_support.h"

namespace {

namespace fs = std::filesystem;

// A class of the test program itself, for +bundleForClass:.
objc_class_def local_class = {"BundleTestLocalClass", "NSObject", 0, objc_no_methods, objc_no_methods, Nil};
objc_class_def* const local_classes[] = {&local_class};
objc_module_record local_record = {
    OBJC_MODULE_VERSION, "BundleTest", local_classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(local_record)

// A bundle subclass whose first +alloc raises, as a subclass's own code may
// while a bundle is being made.
bool g_alloc_raised = false;
objc_class_def& flaky_bundle_def();
id FlakyBundle_alloc(id self, SEL sel) {
  if (!g_alloc_raised) {
    g_alloc_raised = true;
    NSRaise("AllocFailed", "first alloc of a bundle subclass");
  }
  return msgSuper<id>(objc_super_of_class(self, flaky_bundle_def()), sel);
}
const objc_method_def flaky_class_methods[] = {{"alloc", objc_imp(&FlakyBundle_alloc)}};
objc_class_def flaky_bundle = {"BundleTestFlakyBundle",           "NSBundle",      0,
                               objc_methods(flaky_class_methods), objc_no_methods, Nil};
objc_class_def& flaky_bundle_def() { return flaky_bundle; }
objc_class_def* const flaky_classes[] = {&flaky_bundle};
objc_module_record flaky_record = {
    OBJC_MODULE_VERSION, "BundleTestFlaky", flaky_classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(flaky_record)

// Told by the test module's +load; raises while g_refuse_load is set, and
// loads g_nested_module if one is named. Notes the thread it ran on.
bool g_refuse_load = false;
std::string g_nested_module;
BOOL g_nested_loaded = NO;
std::atomic<int> g_hook_calls{0};
std::thread::id g_hook_thread;
void BundleTestLoadHook_moduleDidLoad(id, SEL, id) {
  g_hook_thread = std::this_thread::get_id();
  ++g_hook_calls;
  if (g_refuse_load) NSRaise("LoadRefused", "the module's load raised");
  if (!g_nested_module.empty()) {
    char error[512] = "";
    g_nested_loaded = objc_loadModule(g_nested_module.c_str(), error, sizeof error);
  }
}
const objc_method_def hook_class_methods[] = {
    {"moduleDidLoad:", objc_imp(&BundleTestLoadHook_moduleDidLoad)}};
objc_class_def load_hook = {"BundleTestLoadHook", "NSObject", 0, objc_methods(hook_class_methods),
                            objc_no_methods,      Nil};
objc_class_def* const hook_classes[] = {&load_hook};
objc_module_record hook_record = {
    OBJC_MODULE_VERSION, "BundleTestHook", hook_classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(hook_record)

id bundle_class() { return reinterpret_cast<id>(objc_getClass("NSBundle")); }
id str(const std::string& text) { return NSStringFromUTF8(text.c_str()); }
std::string text(id obj) { return NSStringToStd(obj); }
id bundle_at(const fs::path& path) {
  return msg<id>(bundle_class(), SELECTOR(bundleWithPath:), str(path.string()));
}

class Bundle : public testing::Test {
 protected:
  void SetUp() override { dir_ = fs::canonical(test_support::fresh_directory("bundle")); }
  // Windows refuses to delete a module file that is still loaded (a copy
  // loaded by a test stays loaded); what is left goes with the temporary
  // directory.
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // A bundle directory, with an Info.plist holding info unless it is null.
  fs::path make_bundle(const std::string& name, const char* info) {
    fs::path path = dir_ / name;
    fs::create_directories(path / "Resources");
    if (info != nullptr) std::ofstream(path / "Resources" / "Info.plist", std::ios::binary) << info;
    return path;
  }

  fs::path dir_;
  NSAutoreleaseScope pool_;
};

TEST_F(Bundle, OneObjectPerPath) {
  fs::path path = make_bundle("A.bundle", nullptr);
  id bundle = bundle_at(path);
  ASSERT_NE(bundle, nil);
  EXPECT_EQ(bundle_at(path.string() + "/"), bundle);
  EXPECT_EQ(bundle_at(path / ".." / "A.bundle"), bundle);
  EXPECT_EQ(text(msg<id>(bundle, SELECTOR(bundlePath))), path.string());
  EXPECT_EQ(bundle_at(dir_ / "Missing.bundle"), nil);
  EXPECT_EQ(msg<id>(bundle_class(), SELECTOR(bundleWithPath:), nil), nil);
  EXPECT_EQ(bundle_at(""), nil);
}

TEST_F(Bundle, RaiseWhileMakingABundleEntersNothingAndLocksNothing) {
  fs::path path = make_bundle("Flaky.bundle", nullptr);
  id flaky = reinterpret_cast<id>(objc_getClass("BundleTestFlakyBundle"));
  id path_string = str(path.string());  // made outside: the raise skips the lambda's frame
  EXPECT_EQ(test_support::raised_name([&] { msg<id>(flaky, SELECTOR(bundleWithPath:), path_string); }),
            "AllocFailed");
  EXPECT_EQ(objc_thread_locks_held(), 0);
  // Nothing was entered for the path, and the table is free: the next
  // request makes the bundle, and every later one finds it.
  id bundle = msg<id>(flaky, SELECTOR(bundleWithPath:), str(path.string()));
  ASSERT_NE(bundle, nil);
  EXPECT_EQ(object_getClass(bundle), objc_getClass("BundleTestFlakyBundle"));
  EXPECT_EQ(bundle_at(path), bundle);
  EXPECT_EQ(text(msg<id>(bundle, SELECTOR(bundlePath))), path.string());
}

TEST_F(Bundle, InfoDictionaryAndIdentifier) {
  fs::path path =
      make_bundle("Info.bundle", "// comment\n{ NSBundleIdentifier = com.example.x; Sub = { K = V; }; }");
  id bundle = bundle_at(path);
  id info = msg<id>(bundle, SELECTOR(infoDictionary));
  EXPECT_EQ(msg<id>(bundle, SELECTOR(infoDictionary)), info);  // read once
  EXPECT_EQ(text(msg<id>(bundle, SELECTOR(bundleIdentifier))), "com.example.x");
  id sub = msg<id>(bundle, SELECTOR(objectForInfoDictionaryKey:), str("Sub"));
  EXPECT_EQ(text(msg<id>(sub, SELECTOR(objectForKey:), str("K"))), "V");
  EXPECT_EQ(msg<id>(bundle, SELECTOR(objectForInfoDictionaryKey:), str("Nope")), nil);
  EXPECT_EQ(msg<id>(bundle, SELECTOR(objectForInfoDictionaryKey:), nil), nil);
}

TEST_F(Bundle, MissingInfoDictionaryIsEmptyAndSilent) {
  id bundle = bundle_at(make_bundle("Quiet.bundle", nullptr));
  testing::internal::CaptureStderr();
  id info = msg<id>(bundle, SELECTOR(infoDictionary));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_NE(info, nil);
  EXPECT_EQ(msg<NSUInteger>(info, SELECTOR(count)), 0u);
  EXPECT_EQ(msg<id>(bundle, SELECTOR(bundleIdentifier)), nil);
}

// An information dictionary saved with a UTF-8 byte-order mark keeps its
// entries; one that is not a regular file (a FIFO) is reported at once
// rather than waited on, and reads empty.
TEST_F(Bundle, InfoDictionaryWithAByteOrderMarkOrOfTheWrongKind) {
  id marked = bundle_at(make_bundle("Marked.bundle", "\xEF\xBB\xBF{ NSBundleIdentifier = com.example.m; }"));
  EXPECT_EQ(text(msg<id>(marked, SELECTOR(bundleIdentifier))), "com.example.m");
#if !defined(_WIN32)
  fs::path fifo = make_bundle("Fifo.bundle", nullptr);
  ASSERT_EQ(::mkfifo((fifo / "Resources" / "Info.plist").c_str(), 0600), 0);
  testing::internal::CaptureStderr();
  id info = msg<id>(bundle_at(fifo), SELECTOR(infoDictionary));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
  EXPECT_EQ(msg<NSUInteger>(info, SELECTOR(count)), 0u);
#endif
}

TEST_F(Bundle, MalformedInfoDictionaryReportsOnceAndReadsEmpty) {
  fs::path path = make_bundle("Bad.bundle", "{\n  NSBundleIdentifier = x;\n  Broken = \"open\n}\n");
  id bundle = bundle_at(path);
  testing::internal::CaptureStderr();
  id info = msg<id>(bundle, SELECTOR(infoDictionary));
  msg<id>(bundle, SELECTOR(bundleIdentifier));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "NSBundle: " + (path / "Resources" / "Info.plist").string() + ":3:12: unterminated string\n");
  EXPECT_EQ(msg<NSUInteger>(info, SELECTOR(count)), 0u);

  fs::path not_dictionary = make_bundle("List.bundle", "(a, b)");
  testing::internal::CaptureStderr();
  EXPECT_EQ(msg<NSUInteger>(msg<id>(bundle_at(not_dictionary), SELECTOR(infoDictionary)), SELECTOR(count)),
            0u);
  EXPECT_NE(
      testing::internal::GetCapturedStderr().find(":1:1: an information dictionary must be a dictionary"),
      std::string::npos);
}

TEST_F(Bundle, ExecutablePath) {
  id plain = bundle_at(make_bundle("Plain", nullptr));
  EXPECT_EQ(msg<id>(plain, SELECTOR(executablePath)), nil);
  fs::path x = make_bundle("X.bundle", nullptr);
  EXPECT_EQ(text(msg<id>(bundle_at(x), SELECTOR(executablePath))),
            (x / loader::module_file_name("X")).string());
  fs::path named = make_bundle("Y.bundle", "{ NSExecutable = Inner; }");
  EXPECT_EQ(text(msg<id>(bundle_at(named), SELECTOR(executablePath))),
            (named / loader::module_file_name("Inner")).string());
  fs::path file = make_bundle("Z.bundle", "{ NSExecutable = lib.module; }");
  EXPECT_EQ(text(msg<id>(bundle_at(file), SELECTOR(executablePath))), (file / "lib.module").string());
}

TEST_F(Bundle, LoadFailureIsReported) {
  id bundle = bundle_at(make_bundle("Empty.bundle", nullptr));
  EXPECT_EQ(msg<id>(bundle, SELECTOR(loadErrorDescription)), nil);
  EXPECT_EQ(msg<BOOL>(bundle, SELECTOR(load)), NO);
  EXPECT_EQ(msg<BOOL>(bundle, SELECTOR(isLoaded)), NO);
  id why = msg<id>(bundle, SELECTOR(loadErrorDescription));
  ASSERT_NE(why, nil);
  EXPECT_NE(text(why).find("Empty"), std::string::npos) << text(why);

  // A file that is not a module fails the same way.
  fs::path junk = make_bundle("Junk.bundle", nullptr);
  std::ofstream(junk / loader::module_file_name("Junk")) << "not a module";
  EXPECT_EQ(msg<BOOL>(bundle_at(junk), SELECTOR(load)), NO);
  EXPECT_NE(msg<id>(bundle_at(junk), SELECTOR(loadErrorDescription)), nil);
  id dir_only = bundle_at(make_bundle("NoModuleName", nullptr));
  EXPECT_EQ(msg<BOOL>(dir_only, SELECTOR(load)), NO);
  EXPECT_NE(text(msg<id>(dir_only, SELECTOR(loadErrorDescription))).find("names no module"),
            std::string::npos);
}

TEST_F(Bundle, LoadsARealModuleOnce) {
  fs::path path = test_support::build_dir() / "TestModule.bundle";
  id bundle = bundle_at(path);
  ASSERT_NE(bundle, nil) << path;
  EXPECT_EQ(msg<BOOL>(bundle, SELECTOR(isLoaded)), NO);
  EXPECT_EQ(objc_getClass("BundleTestModuleClass"), Nil);
  ASSERT_EQ(msg<BOOL>(bundle, SELECTOR(load)), YES) << text(msg<id>(bundle, SELECTOR(loadErrorDescription)));
  EXPECT_EQ(msg<BOOL>(bundle, SELECTOR(load)), YES);
  EXPECT_EQ(msg<BOOL>(bundle, SELECTOR(isLoaded)), YES);
  EXPECT_EQ(msg<id>(bundle, SELECTOR(loadErrorDescription)), nil);
  Class loaded = objc_getClass("BundleTestModuleClass");
  ASSERT_NE(loaded, Nil);
  EXPECT_EQ(msg<int32_t>(reinterpret_cast<id>(loaded), SELECTOR(answer)), 42);
  EXPECT_EQ(msg<id>(bundle_class(), SELECTOR(bundleForClass:), loaded), bundle);
  EXPECT_EQ(msg<id>(reinterpret_cast<id>(loaded), SELECTOR(bundleSeenAtLoad)), bundle);

  // Loading the same module again, directly or from a copy at another path,
  // registers nothing more and sends +load to nothing more.
  fs::path copy = dir_ / "copy" / "TestModule.bundle";
  fs::create_directories(copy);
  fs::copy(path, copy, fs::copy_options::recursive);
  char error[512] = "";
  fs::path module = fs::path(text(msg<id>(bundle, SELECTOR(executablePath))));
  EXPECT_EQ(objc_loadModule(module.string().c_str(), error, sizeof error), YES) << error;
  EXPECT_EQ(msg<BOOL>(bundle_at(copy), SELECTOR(load)), YES);
  EXPECT_EQ(objc_getClass("BundleTestModuleClass"), loaded);
  EXPECT_EQ(msg<int32_t>(reinterpret_cast<id>(loaded), SELECTOR(loadCount)), 1);
}

// A raise from a module's +load comes out of -load after the platform
// loader has returned, never out of the loader itself, which holds a lock
// of its own while it attaches modules: another thread can load a module
// afterwards, and the bundle loads again without sending +load twice.
TEST_F(Bundle, ARaiseFromTheModulesLoadLeavesLoadingUsable) {
  fs::path path = test_support::build_dir() / "TestModule.bundle";
  id bundle = bundle_at(path);
  ASSERT_NE(bundle, nil) << path;
  g_refuse_load = true;
  EXPECT_EQ(test_support::raised_name([&] { msg<BOOL>(bundle, SELECTOR(load)); }), "LoadRefused");
  g_refuse_load = false;
  EXPECT_EQ(objc_thread_locks_held(), 0);
  Class loaded = objc_getClass("BundleTestModuleClass");
  ASSERT_NE(loaded, Nil);
  EXPECT_EQ(msg<int32_t>(reinterpret_cast<id>(loaded), SELECTOR(loadCount)), 1);

  fs::path copy = dir_ / "copy" / "TestModule.bundle";
  fs::create_directories(copy);
  fs::copy(path, copy, fs::copy_options::recursive);
  std::string module = (copy / fs::path(text(msg<id>(bundle, SELECTOR(executablePath)))).filename()).string();
  auto done = std::make_shared<std::promise<bool>>();
  std::thread([done, module] {
    char error[512] = "";
    done->set_value(objc_loadModule(module.c_str(), error, sizeof error) == YES);
  }).detach();
  std::future<bool> other = done->get_future();
  ASSERT_EQ(other.wait_for(std::chrono::seconds(20)), std::future_status::ready)
      << "the loader stayed locked";
  EXPECT_TRUE(other.get());
  EXPECT_EQ(msg<BOOL>(bundle, SELECTOR(load)), YES);
  EXPECT_EQ(msg<int32_t>(reinterpret_cast<id>(loaded), SELECTOR(loadCount)), 1);
}

// A load may load another module: nothing of the runtime's is held while
// loads run.
TEST_F(Bundle, ALoadThatLoadsAnotherModuleDoesNotDeadlock) {
  fs::path path = test_support::build_dir() / "TestModule.bundle";
  fs::path copy = dir_ / "nested" / "TestModule.bundle";
  fs::create_directories(copy);
  fs::copy(path, copy, fs::copy_options::recursive);
  g_nested_module = (copy / loader::module_file_name("TestModule")).string();
  auto done = std::make_shared<std::promise<BOOL>>();
  std::string module = (path / loader::module_file_name("TestModule")).string();
  std::thread([done, module] {
    char error[512] = "";
    done->set_value(objc_loadModule(module.c_str(), error, sizeof error));
  }).detach();
  std::future<BOOL> loaded = done->get_future();
  ASSERT_EQ(loaded.wait_for(std::chrono::seconds(20)), std::future_status::ready)
      << "the nested load deadlocked";
  EXPECT_EQ(loaded.get(), YES);
  EXPECT_EQ(g_nested_loaded, YES);
  EXPECT_EQ(g_hook_calls, 1);
}

// A module the system loads by itself (the plain system call, not
// objc_loadModule) registers inside the loader; its loads run on that
// thread at its next runtime entry after the loader has returned, and no
// other thread's registration sends them.
TEST_F(Bundle, ASystemLoadedModulesLoadsRunOnItsThreadAfterTheLoaderReturns) {
  std::string module =
      (test_support::build_dir() / "TestModule.bundle" / loader::module_file_name("TestModule")).string();
  std::promise<void> opened, registered;
  int calls_after_open = -1;
  std::thread::id loading_thread;
  std::thread loading([&] {
    loading_thread = std::this_thread::get_id();
    std::string why;
    ASSERT_NE(loader::open(module.c_str(), why), nullptr) << why;
    calls_after_open = g_hook_calls;
    opened.set_value();
    registered.get_future().wait();
    EXPECT_NE(objc_getClass("BundleTestModuleClass"), Nil);  // the next runtime entry
  });
  opened.get_future().wait();
  objc_register_header("bundle_test-other-thread");  // this thread's own registration
  objc_finish_header();
  EXPECT_EQ(g_hook_calls, 0);
  registered.set_value();
  loading.join();
  EXPECT_EQ(calls_after_open, 0);
  EXPECT_EQ(g_hook_calls, 1);
  EXPECT_EQ(g_hook_thread, loading_thread);
}

TEST_F(Bundle, MainBundleAndClassesOfTheExecutable) {
  id main = msg<id>(bundle_class(), SELECTOR(mainBundle));
  ASSERT_NE(main, nil);
  EXPECT_EQ(fs::path(text(msg<id>(main, SELECTOR(bundlePath)))),
            fs::canonical(test_support::build_dir() / "bin"));
  EXPECT_EQ(msg<BOOL>(main, SELECTOR(isLoaded)), YES);
  EXPECT_EQ(msg<id>(bundle_class(), SELECTOR(bundleForClass:), objc_getClass("BundleTestLocalClass")), main);
  // Foundation's own classes belong to the directory holding the library.
  id foundation = msg<id>(bundle_class(), SELECTOR(bundleForClass:), objc_getClass("NSObject"));
  ASSERT_NE(foundation, nil);
#if defined(_WIN32)
  const char* library_dir = "bin";  // DLLs are built beside the programs
#else
  const char* library_dir = "lib";
#endif
  EXPECT_EQ(fs::path(text(msg<id>(foundation, SELECTOR(bundlePath)))).filename(), library_dir);
}

}  // namespace
