// Tests of NSUserDefaults and NSProcessInfo: the search list in both
// directions, boolean readings, registration, writing through the store,
// and broken domain files. Argument-domain values come from
// NSProcessInfoOverrideArguments, set before +standardUserDefaults is first
// sent; every TEST runs in its own process, so each starts fresh. Each test
// points USER_DEFAULTS_DIR at a fresh directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "Foundation/DefaultsStore.h"
#include "Foundation/Foundation.h"
#include "Foundation/NSProcessInfo.h"
#include "Foundation/NSUserDefaults.h"
#include "held_lock.h"
#include "host_process.h"
#include "raise_support.h"
#include "windows_compat.h"

namespace {

namespace fs = std::filesystem;
using test_support::slurp;

id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }
id str(const char* text) { return NSStringFromUTF8(text); }
std::string text(id obj) { return NSStringToStd(obj); }

// The process name, so the app's domain.
const std::string& app_domain() {
  static const std::string name = "user_defaults_test";
  return name;
}

class UserDefaults : public testing::Test {
 protected:
  void SetUp() override { dir_ = test_support::use_fresh_defaults("defaults"); }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes a domain file as a user or another program would.
  void write_domain(const std::string& name, const std::string& contents) {
    std::ofstream(dir_ / (name + ".plist"), std::ios::binary) << contents;
  }
  id defaults(std::vector<std::string> arguments = {"user_defaults_test"}) {
    NSProcessInfoOverrideArguments(std::move(arguments));
    return msg<id>(cls("NSUserDefaults"), SELECTOR(standardUserDefaults));
  }
  BOOL boolean(id d, const char* key) { return msg<BOOL>(d, SELECTOR(boolForKey:), str(key)); }
  std::string domain_of(id d, const char* key) {
    id name = msg<id>(d, SELECTOR(domainNameForKey:), str(key));
    return name == nil ? "(nil)" : text(name);
  }

  fs::path dir_;
  NSAutoreleaseScope pool_;
};

// A key whose hash raises, registered by the one test that uses it (this
// program holds no records of its own).
NSUInteger RaisingKey_hash(id, SEL) { NSRaise("KeyFailed", "a key's hash raised"); }
const objc_method_def raising_key_methods[] = {{"hash", objc_imp(&RaisingKey_hash)}};
objc_class_def raising_key = {"RaisingKey", "NSObject", 0, objc_no_methods, objc_methods(raising_key_methods),
                              Nil};

TEST_F(UserDefaults, KeyThatRaisesLeavesTheDefaultsUnlocked) {
  static objc_class_def* const classes[] = {&raising_key};
  static objc_module_record record = {OBJC_MODULE_VERSION, "RaisingKey", classes, 1, nullptr, 0, nullptr, 0};
  __objc_execClass(&record);
  objc_register_header("user_defaults_test-keys");
  objc_finish_header();

  write_domain(app_domain(), "{ A = app; }");
  id d = defaults();
  id key = msg<id>(cls("RaisingKey"), SELECTOR(new));
  EXPECT_EQ(test_support::raised_name([&] { msg<id>(d, SELECTOR(objectForKey:), key); }), "KeyFailed");
  EXPECT_EQ(test_support::raised_name([&] { msg<id>(d, SELECTOR(domainNameForKey:), key); }), "KeyFailed");
  EXPECT_EQ(objc_thread_locks_held(), 0);
  // A lock left held would hang these.
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("A"))), "app");
  msg<void>(d, SELECTOR(setObject:forKey:), str("set"), str("B"));
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("B"))), "set");
  msg<void>(key, SELECTOR(release));
}

TEST_F(UserDefaults, SearchListOrder) {
  write_domain(app_domain(), "{ A = app; P = app; }");
  write_domain("NSGlobalDomain", "{ A = global; P = global; G = global; }");
  id d = defaults({"user_defaults_test", "-A", "argument", "-List", "(x, y)", "-Phrase", "two words"});
  msg<void>(
      d, SELECTOR(registerDefaults:),
      NSDictionaryOf(
          {{str("A"), str("registered")}, {str("G"), str("registered")}, {str("R"), str("registered")}}));
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("A"))), "argument");
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("P"))), "app");
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("G"))), "global");
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("R"))), "registered");
  EXPECT_EQ(msg<id>(d, SELECTOR(objectForKey:), str("Missing")), nil);
  EXPECT_EQ(domain_of(d, "A"), "NSArgumentDomain");
  EXPECT_EQ(domain_of(d, "P"), app_domain());
  EXPECT_EQ(domain_of(d, "G"), "NSGlobalDomain");
  EXPECT_EQ(domain_of(d, "R"), "NSRegistrationDomain");
  EXPECT_EQ(domain_of(d, "Missing"), "(nil)");
  // Argument values that read as property lists are taken as such.
  id list = msg<id>(d, SELECTOR(objectForKey:), str("List"));
  ASSERT_TRUE(NSObjectIsKindOf(list, objc_getClass("NSArray")));
  EXPECT_EQ(msg<NSUInteger>(list, SELECTOR(count)), 2u);
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("Phrase"))), "two words");
}

TEST_F(UserDefaults, RegisteredYesLosesToPersistentNo) {
  write_domain(app_domain(), "{ CorvaneEnable = NO; }");
  id d = defaults();
  msg<void>(d, SELECTOR(registerDefaults:), NSDictionaryOf({{str("CorvaneEnable"), str("YES")}}));
  EXPECT_EQ(boolean(d, "CorvaneEnable"), NO);
  EXPECT_EQ(domain_of(d, "CorvaneEnable"), app_domain());
}

TEST_F(UserDefaults, RegisteredNoLosesToArgumentYes) {
  write_domain("NSGlobalDomain", "{ CorvaneEnable = NO; }");
  id d = defaults({"user_defaults_test", "-CorvaneEnable", "YES"});
  msg<void>(d, SELECTOR(registerDefaults:), NSDictionaryOf({{str("CorvaneEnable"), str("NO")}}));
  EXPECT_EQ(boolean(d, "CorvaneEnable"), YES);
  EXPECT_EQ(domain_of(d, "CorvaneEnable"), "NSArgumentDomain");
}

TEST_F(UserDefaults, BooleanReadings) {
  id d = defaults();
  struct Case {
    id value;
    BOOL expected;
  };
  const Case cases[] = {
      {str("YES"), YES},
      {str("yes"), YES},
      {str("True"), YES},
      {str(" TRUE\n"), YES},
      {str("1"), YES},
      {str("42"), YES},
      {str("-1"), YES},
      {str("NO"), NO},
      {str("false"), NO},
      {str("0"), NO},
      {str("maybe"), NO},
      {str(""), NO},
      {str("Y"), NO},
      {str("1x"), NO},
      {NSNumberFromBool(true), YES},
      {NSNumberFromBool(false), NO},
      {NSNumberFromInt(3), YES},
      {NSNumberFromInt(0), NO},
      {NSArrayOf({str("YES")}), NO},
  };
  int index = 0;
  for (const Case& c : cases) {
    std::string key = "K" + std::to_string(index++);
    msg<void>(d, SELECTOR(registerDefaults:), NSDictionaryOf({{str(key.c_str()), c.value}}));
    EXPECT_EQ(boolean(d, key.c_str()), c.expected)
        << key << " = " << text(msg<id>(c.value, SELECTOR(description)));
  }
  EXPECT_EQ(boolean(d, "NeverSet"), NO);
}

TEST_F(UserDefaults, IntegerAndStringReadings) {
  id d = defaults({"user_defaults_test", "-N", "17", "-Big", "99999999999", "-Word", "abc", "-List", "(1)"});
  EXPECT_EQ(msg<NSInteger>(d, SELECTOR(integerForKey:), str("N")), 17);
  EXPECT_EQ(msg<NSInteger>(d, SELECTOR(integerForKey:), str("Big")), INT32_MAX);
  EXPECT_EQ(msg<NSInteger>(d, SELECTOR(integerForKey:), str("Word")), 0);
  EXPECT_EQ(msg<NSInteger>(d, SELECTOR(integerForKey:), str("Missing")), 0);
  EXPECT_EQ(text(msg<id>(d, SELECTOR(stringForKey:), str("Word"))), "abc");
  EXPECT_EQ(msg<id>(d, SELECTOR(stringForKey:), str("List")), nil);
  msg<void>(d, SELECTOR(setInteger:forKey:), NSInteger(5), str("Count"));
  EXPECT_EQ(text(msg<id>(d, SELECTOR(stringForKey:), str("Count"))), "5");
}

TEST_F(UserDefaults, RegisterDefaultsIgnoresNilAndNonDictionaries) {
  id d = defaults();
  msg<void>(d, SELECTOR(registerDefaults:), NSDictionaryOf({{str("A"), str("1")}}));
  msg<void>(d, SELECTOR(registerDefaults:), nil);
  msg<void>(d, SELECTOR(registerDefaults:), str("not a dictionary"));
  msg<void>(d, SELECTOR(registerDefaults:), NSArrayOf({str("A"), str("0")}));
  EXPECT_EQ(boolean(d, "A"), YES);
  // A second registration merges: new keys are added, repeated keys replaced.
  msg<void>(d, SELECTOR(registerDefaults:), NSDictionaryOf({{str("A"), str("0")}, {str("B"), str("1")}}));
  EXPECT_EQ(boolean(d, "A"), NO);
  EXPECT_EQ(boolean(d, "B"), YES);
}

TEST_F(UserDefaults, WritesGoThroughToTheAppDomainFile) {
  id d = defaults({"user_defaults_test", "-Shadowed", "argument"});
  msg<void>(d, SELECTOR(setBool:forKey:), BOOL(YES), str("Flag"));
  msg<void>(d, SELECTOR(setObject:forKey:), NSArrayOf({str("a b"), str("c")}), str("List"));
  msg<void>(d, SELECTOR(setObject:forKey:), str("mine"), str("Shadowed"));
  EXPECT_EQ(boolean(d, "Flag"), YES);
  EXPECT_EQ(domain_of(d, "Flag"), app_domain());
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("Shadowed"))), "argument");  // arguments still win

  defaults_store::Loaded on_disk = defaults_store::load(app_domain());
  ASSERT_EQ(on_disk.state, defaults_store::Loaded::kPresent);
  EXPECT_EQ(on_disk.dictionary.find("Flag")->string(), "YES");
  EXPECT_EQ(on_disk.dictionary.find("List")->array().at(0).string(), "a b");
  // Only the domain file and its lock are left behind: the temporary was
  // renamed over the file.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
  EXPECT_TRUE(fs::exists(dir_ / (app_domain() + ".plist.lock")));

  msg<void>(d, SELECTOR(removeObjectForKey:), str("Flag"));
  EXPECT_EQ(defaults_store::load(app_domain()).dictionary.find("Flag"), nullptr);
  EXPECT_EQ(boolean(d, "Flag"), NO);
  msg<void>(d, SELECTOR(setObject:forKey:), nil, str("List"));  // nil removes
  EXPECT_EQ(domain_of(d, "List"), "(nil)");
}

TEST_F(UserDefaults, RefusesValuesThatAreNotPropertyLists) {
  id d = defaults();
  msg<void>(d, SELECTOR(setObject:forKey:), str("kept"), str("K"));
  std::string before = slurp(dir_ / (app_domain() + ".plist"));
  id object = msg<id>(msg<id>(cls("NSObject"), SELECTOR(alloc)), SELECTOR(init));
  testing::internal::CaptureStderr();
  msg<void>(d, SELECTOR(setObject:forKey:), object, str("K"));
  msg<void>(d, SELECTOR(setObject:forKey:), NSArrayOf({str("ok"), object}), str("K"));
  msg<void>(d, SELECTOR(setObject:forKey:), NSDictionaryOf({{NSNumberFromInt(1), str("v")}}), str("K"));
  // Strings the file could not hold: saved, the whole domain would no longer read.
  msg<void>(d, SELECTOR(setObject:forKey:), str("not \xFF UTF-8"), str("K"));
  msg<void>(d, SELECTOR(setObject:forKey:), str("v"), str("K\xC3"));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("objects of class NSObject cannot be stored"), std::string::npos) << err;
  EXPECT_NE(err.find("dictionary keys must be strings"), std::string::npos) << err;
  EXPECT_NE(err.find("key K cannot be stored: the string starting \"not \" holds bytes that are not UTF-8"),
            std::string::npos)
      << err;
  EXPECT_EQ(msg<BOOL>(d, SELECTOR(synchronize)), YES);
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("K"))), "kept");
  EXPECT_EQ(slurp(dir_ / (app_domain() + ".plist")), before);
  msg<void>(object, SELECTOR(release));
}

TEST_F(UserDefaults, MalformedDomainReadsEmptyAndIsNeverOverwritten) {
  const std::string broken = "{\n  CorvaneEnable = YES\n}\n";
  write_domain(app_domain(), broken);
  write_domain("NSGlobalDomain", "{ G = 1; }");
  id d = defaults();
  testing::internal::CaptureStderr();
  EXPECT_EQ(boolean(d, "CorvaneEnable"), NO);
  EXPECT_EQ(boolean(d, "G"), YES);  // other domains still work
  EXPECT_EQ(boolean(d, "CorvaneEnable"), NO);
  std::string err = testing::internal::GetCapturedStderr();
  std::string where = (dir_ / (app_domain() + ".plist")).string() + ":3:1: expected ';' after value";
  EXPECT_NE(err.find(where), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "reported more than once: " << err;

  testing::internal::CaptureStderr();
  msg<void>(d, SELECTOR(setBool:forKey:), BOOL(YES), str("CorvaneEnable"));
  msg<void>(d, SELECTOR(removeObjectForKey:), str("CorvaneEnable"));
  msg<void>(d, SELECTOR(setPersistentDomain:forName:), NSDictionaryOf({}), str(app_domain().c_str()));
  msg<void>(d, SELECTOR(removePersistentDomainForName:), str(app_domain().c_str()));
  err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("refusing to replace"), std::string::npos) << err;
  EXPECT_EQ(slurp(dir_ / (app_domain() + ".plist")), broken);
  EXPECT_EQ(boolean(d, "CorvaneEnable"), NO);
  EXPECT_EQ(msg<id>(d, SELECTOR(persistentDomainForName:), str(app_domain().c_str())), nil);
  EXPECT_EQ(msg<BOOL>(d, SELECTOR(synchronize)), NO);

  // Once the user repairs the file, synchronize picks it up.
  write_domain(app_domain(), "{ CorvaneEnable = YES; }");
  EXPECT_EQ(msg<BOOL>(d, SELECTOR(synchronize)), YES);
  EXPECT_EQ(boolean(d, "CorvaneEnable"), YES);
}

TEST_F(UserDefaults, FailedWriteChangesNothing) {
  id d = defaults();
  msg<void>(d, SELECTOR(setObject:forKey:), str("old"), str("K"));
  // Point the store below a regular file, where no directory can be made.
  std::ofstream(dir_ / "file") << "x";
  setenv("USER_DEFAULTS_DIR", (dir_ / "file" / "sub").c_str(), 1);
  testing::internal::CaptureStderr();
  msg<void>(d, SELECTOR(setObject:forKey:), str("new"), str("K"));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("not saving \"K\""), std::string::npos) << err;
  EXPECT_EQ(text(msg<id>(d, SELECTOR(objectForKey:), str("K"))), "old");
}

TEST_F(UserDefaults, NoStoreWithoutHomeOrOverride) {
  unsetenv("USER_DEFAULTS_DIR");
  unsetenv("HOME");
  unsetenv("APPDATA");      // where Windows keeps them
  unsetenv("USERPROFILE");  // and its fallback
  fs::current_path(dir_);
  std::ofstream(app_domain() + ".plist") << "{ Stray = YES; }";  // must not be taken for the domain
  id d = defaults();
  EXPECT_EQ(boolean(d, "Stray"), NO);
  testing::internal::CaptureStderr();
  msg<void>(d, SELECTOR(setBool:forKey:), BOOL(YES), str("K"));
  msg<void>(d, SELECTOR(removePersistentDomainForName:), str(app_domain().c_str()));
#if defined(_WIN32)
  const char* variable = "APPDATA";
#else
  const char* variable = "HOME";
#endif
  EXPECT_NE(testing::internal::GetCapturedStderr().find(std::string("set USER_DEFAULTS_DIR or ") + variable),
            std::string::npos);
  EXPECT_EQ(boolean(d, "K"), NO);
  EXPECT_TRUE(fs::exists(dir_ / (app_domain() + ".plist")));
  fs::current_path(dir_.parent_path());  // Windows cannot remove the working directory
}

TEST_F(UserDefaults, PersistentDomainsByName) {
  id d = defaults();
  EXPECT_EQ(msg<id>(d, SELECTOR(persistentDomainForName:), str("Other")), nil);
  msg<void>(d, SELECTOR(setPersistentDomain:forName:), NSDictionaryOf({{str("X"), str("1")}}), str("Other"));
  id domain = msg<id>(d, SELECTOR(persistentDomainForName:), str("Other"));
  ASSERT_NE(domain, nil);
  EXPECT_EQ(text(msg<id>(domain, SELECTOR(objectForKey:), str("X"))), "1");
  EXPECT_TRUE(fs::exists(dir_ / "Other.plist"));
  id names = msg<id>(d, SELECTOR(persistentDomainNames));
  EXPECT_EQ(msg<NSUInteger>(names, SELECTOR(count)), 1u);

  testing::internal::CaptureStderr();
  msg<void>(d, SELECTOR(setPersistentDomain:forName:), str("not a dictionary"), str("Other"));
  msg<void>(d, SELECTOR(setPersistentDomain:forName:), NSDictionaryOf({}), str("x/../../escape"));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("must be given a dictionary"), std::string::npos) << err;
  EXPECT_NE(err.find("path separator"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir_.parent_path() / "escape.plist"));

  msg<void>(d, SELECTOR(removePersistentDomainForName:), str("Other"));
  EXPECT_FALSE(fs::exists(dir_ / "Other.plist"));
  EXPECT_EQ(msg<id>(d, SELECTOR(persistentDomainForName:), str("Other")), nil);
}

// Nesting the reader would refuse is refused by the writer, the object
// converter and the store alike; the domain keeps reading.
TEST_F(UserDefaults, NestingTheReaderRefusesIsNeverWritten) {
  id d = defaults();
  msg<void>(d, SELECTOR(setBool:forKey:), BOOL(NO), str("CorvaneEnable"));
  std::string before = slurp(dir_ / (app_domain() + ".plist"));
  auto nested = [](int levels) {
    id value = str("leaf");
    for (int i = 0; i < levels; ++i) value = NSArrayOf({value});
    return value;
  };
  testing::internal::CaptureStderr();
  // Inside the domain's dictionary, 511 levels are the most that read back.
  msg<void>(d, SELECTOR(setObject:forKey:), nested(512), str("Deep"));
  msg<void>(d, SELECTOR(setPersistentDomain:forName:), NSDictionaryOf({{str("K"), nested(512)}}),
            str("Other"));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("nesting deeper than 512 levels"), std::string::npos) << err;
  EXPECT_EQ(slurp(dir_ / (app_domain() + ".plist")), before);
  EXPECT_FALSE(fs::exists(dir_ / "Other.plist"));
  EXPECT_EQ(defaults_store::load(app_domain()).state, defaults_store::Loaded::kPresent);

  msg<void>(d, SELECTOR(setObject:forKey:), nested(511), str("Deep"));
  EXPECT_EQ(defaults_store::load(app_domain()).state, defaults_store::Loaded::kPresent);
  EXPECT_NE(defaults_store::load(app_domain()).dictionary.find("Deep"), nullptr);
}

// The saving path holds the domain's lock from reading to renaming: two
// writers at once, here two instances on two threads, keep every key.
TEST_F(UserDefaults, ConcurrentSavesKeepEveryKey) {
  defaults();
  auto writer = [](char who) {
    id pool = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
    id mine = msg<id>(msg<id>(cls("NSUserDefaults"), SELECTOR(alloc)), SELECTOR(init));
    for (int i = 0; i < 100; ++i) {
      std::string key = std::string(1, who) + std::to_string(i);
      msg<void>(mine, SELECTOR(setBool:forKey:), BOOL(YES), str(key.c_str()));
    }
    msg<void>(mine, SELECTOR(release));
    msg<void>(pool, SELECTOR(release));
  };
  std::thread first(writer, 'A'), second(writer, 'B');
  first.join();
  second.join();
  EXPECT_EQ(defaults_store::load(app_domain()).dictionary.size(), 200u);
}

// A writer that holds a domain's lock and never lets go (a stopped process)
// holds others up for the documented five seconds, no more: the
// application's save and the `defaults` tool, waiting side by side, each
// give up with an error that says why, and the application's defaults are
// usable again at once; the save goes through once the lock is free.
TEST_F(UserDefaults, AHeldLockHoldsSavesUpOnlySoLong) {
  id d = defaults();
  auto held = std::make_unique<test_support::HeldLock>(dir_ / (app_domain() + ".plist.lock"));
  ASSERT_TRUE(held->held());
  test_support::ProcessResult tool;
  std::thread other([&] {
    tool = test_support::run(test_support::program("defaults"), {"write", app_domain(), "T", "1"});
  });
  testing::internal::CaptureStderr();
  msg<void>(d, SELECTOR(setBool:forKey:), BOOL(YES), str("Flag"));
  std::string err = testing::internal::GetCapturedStderr();
  other.join();
  std::string why = "cannot lock " + (dir_ / (app_domain() + ".plist.lock")).string() +
                    ": another process has held it for 5 s; giving up";
  EXPECT_NE(err.find("not saving \"Flag\": " + why), std::string::npos) << err;
  EXPECT_EQ(tool.exit_code, 1);
  EXPECT_EQ(tool.err, "defaults: " + why + "\n");
  EXPECT_EQ(boolean(d, "Flag"), NO);
  EXPECT_FALSE(fs::exists(dir_ / (app_domain() + ".plist")));
  held.reset();
  msg<void>(d, SELECTOR(setBool:forKey:), BOOL(YES), str("Flag"));
  EXPECT_EQ(defaults_store::load(app_domain()).dictionary.find("Flag")->string(), "YES");
}

// A UTF-8 byte-order mark before a domain is skipped.
TEST_F(UserDefaults, DomainFileWithAByteOrderMarkReads) {
  write_domain(app_domain(), "\xEF\xBB\xBF{ CorvaneEnable = NO; }");
  write_domain("NSGlobalDomain", "\xEF\xBB\xBF{ G = YES; }");
  id d = defaults();
  msg<void>(d, SELECTOR(registerDefaults:), NSDictionaryOf({{str("CorvaneEnable"), str("YES")}}));
  EXPECT_EQ(boolean(d, "CorvaneEnable"), NO);
  EXPECT_EQ(boolean(d, "G"), YES);
}

TEST_F(UserDefaults, SynchronizeSeesChangesFromOtherProcesses) {
  id d = defaults();
  EXPECT_EQ(boolean(d, "Late"), NO);
  write_domain("NSGlobalDomain", "{ Late = YES; }");
  EXPECT_EQ(boolean(d, "Late"), NO);  // cached until synchronize
  EXPECT_EQ(msg<BOOL>(d, SELECTOR(synchronize)), YES);
  EXPECT_EQ(boolean(d, "Late"), YES);
  // A write keeps keys another process added meanwhile.
  write_domain(app_domain(), "{ Theirs = 1; }");
  msg<void>(d, SELECTOR(setObject:forKey:), str("2"), str("Mine"));
  EXPECT_NE(defaults_store::load(app_domain()).dictionary.find("Theirs"), nullptr);
}

TEST(ProcessInfo, ArgumentsNameAndEnvironment) {
  NSAutoreleaseScope pool;
  NSProcessInfoOverrideArguments({"/some/where/tool.exe", "-A", "b"});
  id info = msg<id>(cls("NSProcessInfo"), SELECTOR(processInfo));
  EXPECT_EQ(info, msg<id>(cls("NSProcessInfo"), SELECTOR(processInfo)));
  id arguments = msg<id>(info, SELECTOR(arguments));
  ASSERT_EQ(msg<NSUInteger>(arguments, SELECTOR(count)), 3u);
  EXPECT_EQ(text(msg<id>(arguments, SELECTOR(objectAtIndex:), NSUInteger(2))), "b");
  // The name comes from the executable itself, not from the arguments.
  EXPECT_EQ(text(msg<id>(info, SELECTOR(processName))), "user_defaults_test");
  setenv("CORVANE_TEST_VARIABLE", "value = 1", 1);
  EXPECT_EQ(text(msg<id>(info, SELECTOR(environmentValueForKey:), str("CORVANE_TEST_VARIABLE"))),
            "value = 1");
  EXPECT_EQ(msg<id>(info, SELECTOR(environmentValueForKey:), str("CORVANE_SURELY_UNSET")), nil);
  id environment = msg<id>(info, SELECTOR(environment));
  EXPECT_EQ(text(msg<id>(environment, SELECTOR(objectForKey:), str("CORVANE_TEST_VARIABLE"))), "value = 1");
}

TEST(ProcessInfo, ReadsTheRealCommandLine) {
  std::vector<std::string> arguments = NSProcessInfoArguments();
  ASSERT_FALSE(arguments.empty());
  EXPECT_NE(arguments[0].find("user_defaults_test"), std::string::npos);
}

}  // namespace
