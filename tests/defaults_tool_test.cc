// End-to-end tests of the `defaults` tool, run as a child process with
// USER_DEFAULTS_DIR pointing at a fresh directory; and one check that
// NSUserDefaults in another process sees what the tool wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Foundation/Foundation.h"
#include "Foundation/NSUserDefaults.h"
#include "host_process.h"

namespace {

namespace fs = std::filesystem;
using test_support::ProcessResult;

class DefaultsTool : public testing::Test {
 protected:
  void SetUp() override { dir_ = test_support::use_fresh_defaults("tool"); }
  void TearDown() override { fs::remove_all(dir_); }
  ProcessResult run(std::vector<std::string> args) {
    return test_support::run(test_support::program("defaults"), args);
  }
  fs::path dir_;
};

TEST_F(DefaultsTool, WriteReadRoundTrip) {
  EXPECT_EQ(run({"write", "App", "Flag", "-bool", "yes"}).exit_code, 0);
  EXPECT_EQ(run({"write", "App", "Count", "-int", "-12"}).exit_code, 0);
  EXPECT_EQ(run({"write", "App", "Name", "-string", "(not a list)"}).exit_code, 0);
  EXPECT_EQ(run({"write", "App", "List", "(a, \\\"b c\\\")"}).exit_code, 0);
  EXPECT_EQ(run({"write", "App", "Phrase", "hello there"}).exit_code, 0);
  EXPECT_EQ(run({"write", "-g", "Shared", "1"}).exit_code, 0);

  ProcessResult one = run({"read", "App", "Flag"});
  EXPECT_EQ(one.exit_code, 0);
  EXPECT_EQ(one.out, "YES\n");
  EXPECT_EQ(run({"read", "App", "Name"}).out, "\"(not a list)\"\n");
  EXPECT_EQ(run({"read", "App", "List"}).out, "(\n    a,\n    \"b c\"\n)\n");
  ProcessResult all = run({"read", "App"});
  EXPECT_EQ(all.out,
            "{\n    Flag = YES;\n    Count = -12;\n    Name = \"(not a list)\";\n    List = (\n        a,\n"
            "        \"b c\"\n    );\n    Phrase = \"hello there\";\n}\n");
  EXPECT_EQ(run({"read", "NSGlobalDomain", "Shared"}).out, "1\n");
  EXPECT_EQ(run({"domains"}).out, "(\n    App,\n    NSGlobalDomain\n)\n");
  EXPECT_NE(run({"read"}).out.find("NSGlobalDomain = {"), std::string::npos);

  EXPECT_EQ(run({"delete", "App", "Flag"}).exit_code, 0);
  EXPECT_EQ(run({"read", "App", "Flag"}).exit_code, 1);
  EXPECT_EQ(run({"delete", "App"}).exit_code, 0);
  EXPECT_FALSE(fs::exists(dir_ / "App.plist"));
}

// Domains, keys and values in any letters, inside the ANSI code page or not:
// the tool takes its arguments as UTF-8 on every platform, and the domain's
// file is named in the same letters.
TEST_F(DefaultsTool, ArgumentsInAnyLettersRoundTrip) {
  const std::string jose = "Jos\xC3\xA9", japan = "\xE6\x97\xA5\xE6\x9C\xAC";
  ASSERT_EQ(run({"write", japan, jose, "-string", jose + " " + japan}).exit_code, 0);
  ProcessResult read = run({"read", japan, jose});
  EXPECT_EQ(read.exit_code, 0) << read.err;
  EXPECT_EQ(read.out, "\"" + jose + " " + japan + "\"\n");
  EXPECT_TRUE(fs::exists(dir_ / test_support::from_utf8(japan + ".plist")));
  EXPECT_EQ(run({"domains"}).out, "(\n    \"" + japan + "\"\n)\n");
}

TEST_F(DefaultsTool, WholeDomainWrite) {
  EXPECT_EQ(run({"write", "App", "{ A = 1; B = (x); }"}).exit_code, 0);
  EXPECT_EQ(run({"read", "App", "B"}).out, "(\n    x\n)\n");
}

TEST_F(DefaultsTool, UnparsableWholeDomainSaysWhere) {
  ProcessResult result = run({"write", "App", "  { A = 1;\n B = }"});
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_EQ(result.err.substr(0, result.err.find('\n', result.err.find("2:6"))),
            "defaults: the dictionary for domain App does not parse: 2:6: unexpected '}', expected a value");
  EXPECT_TRUE(fs::is_empty(dir_));
}

// A key or value that the domain file cannot hold (not UTF-8) is refused,
// and the domain keeps reading as before.
TEST_F(DefaultsTool, RefusesWhatWouldNotReadBack) {
  ASSERT_EQ(run({"write", "App", "A", "1"}).exit_code, 0);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"write", "App", "B", "caf\xE9"},
                                             {"write", "App", "\xFF", "v"},
                                             {"write", "App", "B", "-string", "\xC3"}}) {
    ProcessResult result = run(args);
    EXPECT_EQ(result.exit_code, 1) << testing::PrintToString(args);
    EXPECT_NE(result.err.find("not saving domain App: key "), std::string::npos) << result.err;
  }
  ProcessResult all = run({"read", "App"});
  EXPECT_EQ(all.exit_code, 0);
  EXPECT_EQ(all.out, "{\n    A = 1;\n}\n");
}

TEST_F(DefaultsTool, UsageErrorsExitTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"frobnicate"},
                                             {"write", "App"},
                                             {"write", "App", "K"},
                                             {"write", "App", "K", "-bool", "maybe"},
                                             {"write", "App", "K", "-int", "12x"},
                                             {"write", "App", "K", "-int", "99999999999"},
                                             {"write", "App", "K", "-float", "1"},
                                             {"write", "App", "K", "-string"},
                                             {"write", "../evil", "K", "v"},
                                             {"read", "App", "K", "extra"},
                                             {"delete"},
                                             {"domains", "extra"}}) {
    ProcessResult result = run(args);
    EXPECT_EQ(result.exit_code, 2) << testing::PrintToString(args);
    EXPECT_NE(result.err.find("usage: defaults"), std::string::npos) << result.err;
  }
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(DefaultsTool, MissingThingsExitOne) {
  ProcessResult result = run({"read", "Nowhere"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "defaults: domain Nowhere does not exist\n");
  run({"write", "App", "K", "v"});
  result = run({"read", "App", "Other"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "defaults: key Other does not exist in domain App\n");
  EXPECT_EQ(run({"delete", "App", "Other"}).exit_code, 1);
  EXPECT_EQ(run({"delete", "Nowhere"}).exit_code, 1);
}

TEST_F(DefaultsTool, MalformedDomainIsReportedAndLeftAlone) {
  const std::string broken = "{ A = 1; B = }";
  std::ofstream(dir_ / "App.plist") << broken;
  ProcessResult result = run({"read", "App"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err,
            "defaults: " + (dir_ / "App.plist").string() + ":1:14: unexpected '}', expected a value\n");
  EXPECT_EQ(run({"write", "App", "C", "1"}).exit_code, 1);
  EXPECT_EQ(run({"delete", "App", "A"}).exit_code, 1);
  EXPECT_EQ(run({"delete", "App"}).exit_code, 1);
  EXPECT_EQ(run({"write", "App", "{ C = 1; }"}).exit_code, 1);
  EXPECT_EQ(test_support::slurp(dir_ / "App.plist"), broken);
}

TEST_F(DefaultsTool, UserDefaultsSeeWhatTheToolWrote) {
  NSAutoreleaseScope pool;
  ASSERT_EQ(run({"write", "defaults_tool_test", "Flag", "-bool", "YES"}).exit_code, 0);
  id defaults =
      msg<id>(reinterpret_cast<id>(objc_getClass("NSUserDefaults")), SELECTOR(standardUserDefaults));
  EXPECT_EQ(msg<BOOL>(defaults, SELECTOR(boolForKey:), NSStringFromUTF8("Flag")), YES);
  msg<void>(defaults, SELECTOR(setInteger:forKey:), NSInteger(7), NSStringFromUTF8("Count"));
  EXPECT_EQ(run({"read", "defaults_tool_test", "Count"}).out, "7\n");
}

}  // namespace
