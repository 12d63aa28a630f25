// End-to-end tests of the `defaults` tool, run as a child process with
// USER_DEFAULTS_DIR pointing at a fresh directory; and one check that
// NSUserDefaults in another process sees what the tool wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#if defined(_WIN32)
#  include <process.h>
#else
#  include <spawn.h>
#  include <sys/resource.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

#include "Foundation/DefaultsStore.h"
#include "Foundation/Foundation.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/PropertyList.h"
#include "corvane_version.h"
#include "host_process.h"

namespace {

namespace fs = std::filesystem;
using test_support::ProcessResult;

// Caps the address space of this process and the programs it starts, for
// the life of the object, where that means something: not under a
// sanitizer, whose shadow memory needs far more, nor under valgrind.
class LimitedAddressSpace {
 public:
  explicit LimitedAddressSpace([[maybe_unused]] size_t bytes) {
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    const char* runner = std::getenv("CHILD_RUNNER");
    if ((runner != nullptr && *runner != '\0') || ::getrlimit(RLIMIT_AS, &old_) != 0) return;
    struct rlimit limited = old_;
    limited.rlim_cur = std::min<rlim_t>(bytes, old_.rlim_max);
    set_ = ::setrlimit(RLIMIT_AS, &limited) == 0;
#endif
  }
  ~LimitedAddressSpace() {
#if !defined(_WIN32)
    if (set_) ::setrlimit(RLIMIT_AS, &old_);
#endif
  }

 private:
  bool set_ = false;
#if !defined(_WIN32)
  struct rlimit old_ {};
#endif
};

class DefaultsTool : public testing::Test {
 protected:
  void SetUp() override { dir_ = test_support::use_fresh_defaults("tool"); }
  void TearDown() override { fs::remove_all(dir_); }
  ProcessResult run(const std::vector<std::string>& args) {
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

// The reader's nesting limit is the writer's: a value one level too deep
// for the domain is refused, and the domain reads as before, byte for byte.
TEST_F(DefaultsTool, WritesOnlyWhatReadsBack) {
  ASSERT_EQ(run({"write", "App", "CorvaneEnable", "NO"}).exit_code, 0);
  std::string before = test_support::slurp(dir_ / "App.plist");
  // 511 levels inside the domain's own dictionary read back; 512 do not.
  ASSERT_EQ(run({"write", "App", "Deep", std::string(511, '(') + std::string(511, ')')}).exit_code, 0);
  ASSERT_EQ(run({"delete", "App", "Deep"}).exit_code, 0);
  ProcessResult deep = run({"write", "App", "Deep", std::string(512, '(') + std::string(512, ')')});
  EXPECT_EQ(deep.exit_code, 1);
  EXPECT_NE(deep.err.find("not saving domain App: it would not read back"), std::string::npos) << deep.err;
  EXPECT_NE(deep.err.find("nesting deeper than 512 levels"), std::string::npos) << deep.err;
  EXPECT_EQ(test_support::slurp(dir_ / "App.plist"), before);
  EXPECT_EQ(run({"read", "App", "CorvaneEnable"}).out, "NO\n");
}

// A domain nested to the reader's limit, with a wide list whose pretty text
// would be larger than the reader takes although the file is small: it
// reads, takes a write and a delete, and what `read` prints stays within
// the reader's limit, because pretty text is indented only so deep and
// gives way to the smallest text where it would not fit. Natively the tool
// gets 512 MiB of address space, far below what unbounded indentation took.
TEST_F(DefaultsTool, DeepAndWideDomainsAreReadAndEditedInBoundedMemory) {
  std::string deep, wide = std::string(7, '(');  // innermost list at level 7
  for (int level = 0; level < 511; ++level) {
    deep += '(';
    for (int i = 0; i < 50; ++i) deep += "a,";
  }
  deep += std::string(511, ')');
  for (int i = 0; i < 500000; ++i) wide += "a,";
  wide += std::string(7, ')');
  const std::string file = "{Deep=" + deep + ";Wide=" + wide + ";}";
  std::ofstream(dir_ / "App.plist", std::ios::binary) << file;
  plist::Value expected;
  plist::ParseError error;
  ASSERT_TRUE(plist::parse(file, "", expected, error)) << error.describe();
  LimitedAddressSpace limit(size_t{512} << 20);

  ProcessResult all = run({"read", "App"});
  ASSERT_EQ(all.exit_code, 0) << all.err;
  EXPECT_LE(all.out.size(), file.size());
  plist::Value printed;
  ASSERT_TRUE(plist::parse(all.out, "", printed, error)) << error.describe();
  EXPECT_TRUE(printed == expected);

  ProcessResult write = run({"write", "App", "K", "1"});
  ASSERT_EQ(write.exit_code, 0) << write.err;
  EXPECT_LE(fs::file_size(dir_ / "App.plist"), file.size() + 4);
  defaults_store::Loaded after = defaults_store::load("App");
  ASSERT_EQ(after.state, defaults_store::Loaded::kPresent) << after.error;
  expected.dictionary().set("K", "1");
  EXPECT_TRUE(plist::Value(after.dictionary) == expected);

  // A domain that would pass the limit even in the smallest text is refused.
  plist::Dictionary larger;
  larger.set("Big", std::string(size_t{16} << 20, 'x'));
  std::string why;
  EXPECT_FALSE(defaults_store::save("Big", larger, why));
  EXPECT_EQ(why, "not saving domain Big: it would take more than the 16 MiB a domain may hold");
  EXPECT_FALSE(fs::exists(dir_ / "Big.plist"));
}

// What is typed is stored unless all of it reads as a property list: a
// comment marker is part of the string.
TEST_F(DefaultsTool, ValueWithACommentMarkerIsStoredAsTyped) {
  ASSERT_EQ(run({"write", "App", "K", "a // b"}).exit_code, 0);
  EXPECT_EQ(run({"read", "App", "K"}).out, "\"a // b\"\n");
  ASSERT_EQ(run({"write", "App", "L", "(a, /* b */ c)"}).exit_code, 0);
  EXPECT_EQ(run({"read", "App", "L"}).out, "\"(a, /* b */ c)\"\n");
}

// Runs the tool and waits for it, with no shell and no captured output:
// for children started from several threads at once. Under Wine on a
// loaded machine, cmd.exe's redirection does not bear that, and children
// that test_support::run starts with CreateProcessW from four threads now
// and then never got past their start (measured with two busy loops on
// the two cores); the C run-time's spawn does, but fails now and then to
// start one at all (-1, and the write never happened), so a failed start is
// tried again, up to three times.
int run_directly(const std::vector<std::string>& args) {
  std::string tool = test_support::utf8(test_support::program("defaults"));
#if defined(_WIN32)
  // The run-time joins the arguments with spaces: each is quoted.
  std::vector<std::wstring> words{test_support::command_line_wide("\"" + tool + "\"")};
  for (const std::string& a : args) words.push_back(test_support::command_line_wide("\"" + a + "\""));
  std::vector<const wchar_t*> argv;
  for (const std::wstring& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);
  std::wstring path = test_support::command_line_wide(tool);
  intptr_t code = -1;
  for (int attempt = 0; attempt < 3 && code == -1; ++attempt)
    code = _wspawnv(_P_WAIT, path.c_str(), argv.data());
  return static_cast<int>(code);
#else
  std::vector<char*> argv{tool.data()};
  std::vector<std::string> copies(args);
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// Four processes writing one domain at once while this one reads it over
// and over: each write is a locked read-modify-write, and a reader never
// stands in a writer's way (on Windows the replace waits out a reader's
// open file), so every write succeeds and every key survives. The reader
// lets go between reads, as applications starting up do: one that held the
// file open without a break could keep a Windows writer out past its two
// seconds of waiting.
TEST_F(DefaultsTool, ConcurrentWritersAndAReaderKeepEveryKey) {
  constexpr int kWriters = 4, kWrites = 30;
  auto writer = [](char who) {
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(run_directly({"write", "Race", std::string(1, who) + std::to_string(i), "1"}), 0);
  };
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    while (!done) {
      defaults_store::Loaded loaded = defaults_store::load("Race");
      EXPECT_NE(loaded.state, defaults_store::Loaded::kBroken) << loaded.error;
      ++reads;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::vector<std::thread> writers;
  writers.reserve(kWriters);
  for (int w = 0; w < kWriters; ++w) writers.emplace_back(writer, static_cast<char>('A' + w));
  for (std::thread& t : writers) t.join();
  done = true;
  reader.join();
  EXPECT_GT(reads.load(), 0);
  defaults_store::Loaded all = defaults_store::load("Race");
  ASSERT_EQ(all.state, defaults_store::Loaded::kPresent) << all.error;
  EXPECT_EQ(all.dictionary.size(), static_cast<size_t>(kWriters * kWrites));
}

// Names that cannot be a file on every system are refused alike by
// reading and writing: device names with any extension, ':' (a hidden
// stream on NTFS), names too long for the temporary file beside them, and
// bytes that are not UTF-8 (which no listing of the domains could print).
TEST_F(DefaultsTool, NamesThatCannotBeFilesAreRefused) {
  for (const std::string& name : std::vector<std::string>{"AUX", "com1", "Lpt9.x", "con.plist", "NUL ", "x:y",
                                                          "a*b", std::string(238, 'n'), "a\xFF"}) {
    ProcessResult read = run({"read", name});
    EXPECT_EQ(read.exit_code, 1) << name;
    EXPECT_NE(read.err.find("domain name"), std::string::npos) << read.err;
    ProcessResult write = run({"write", name, "K", "v"});
    EXPECT_EQ(write.exit_code, 2) << name;
    EXPECT_NE(write.err.find("domain name"), std::string::npos) << write.err;
  }
  EXPECT_TRUE(fs::is_empty(dir_));
  // The longest name allowed is written and read back; COM10 is no device.
  for (const std::string& name : {std::string(237, 'n'), std::string("COM10"), std::string("auxiliary")}) {
    ASSERT_EQ(run({"write", name, "K", "v"}).exit_code, 0) << name;
    EXPECT_EQ(run({"read", name, "K"}).out, "v\n") << name;
  }
}

// A byte-order mark, as editors on Windows write, is skipped: the domain
// reads, and takes writes.
TEST_F(DefaultsTool, DomainWithAByteOrderMarkReadsAndWrites) {
  std::ofstream(dir_ / "App.plist", std::ios::binary) << "\xEF\xBB\xBF{ A = 1; }\n";
  EXPECT_EQ(run({"read", "App", "A"}).out, "1\n");
  ASSERT_EQ(run({"write", "App", "B", "2"}).exit_code, 0);
  EXPECT_EQ(run({"read", "App"}).out, "{\n    A = 1;\n    B = 2;\n}\n");
}

// Temporaries that writers stopped part-way left, named as only the store
// names them, are removed by the next write of their domain; every other
// file stays, however much its name looks like one.
TEST_F(DefaultsTool, OnlyTheStoresOwnTemporariesAreSwept) {
  ASSERT_EQ(run({"write", "App", "A", "1"}).exit_code, 0);
  const std::vector<std::string> kept = {
      "App.plist.backup", "App.plist.before",       "App.plist.orig01",       "App.plist.bak001",
      "App.plist.Ab12xZ", ".App.plist.tmp-Ab12xZ7", ".Other.plist.tmp-Ab12xZ"};
  for (const std::string& name : kept) std::ofstream(dir_ / name) << "mine";
  std::ofstream(dir_ / ".App.plist.tmp-Ab12xZ") << "{ half";
  ASSERT_EQ(run({"write", "App", "B", "2"}).exit_code, 0);
  EXPECT_FALSE(fs::exists(dir_ / ".App.plist.tmp-Ab12xZ"));
  for (const std::string& name : kept) EXPECT_EQ(test_support::slurp(dir_ / name), "mine") << name;
}

TEST_F(DefaultsTool, OversizedDomainIsRefusedWithoutReadingItAll) {
  {
    std::ofstream big(dir_ / "Big.plist", std::ios::binary);
    big << "{ A = \"";
    big << std::string((16 << 20) + 1, 'x');
    big << "\"; }";
  }
  ProcessResult read = run({"read", "Big"});
  EXPECT_EQ(read.exit_code, 1);
  EXPECT_NE(read.err.find("larger than 16 MiB"), std::string::npos) << read.err;
  EXPECT_EQ(run({"write", "Big", "B", "1"}).exit_code, 1);
}

#if !defined(_WIN32)
// Special files never block or exhaust a reader: a FIFO or a link to a
// device is refused at once, as not a regular file.
TEST_F(DefaultsTool, SpecialFilesAreRefusedAtOnce) {
  ASSERT_EQ(::mkfifo((dir_ / "Fifo.plist").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir_ / "Zero.plist");
  for (const char* name : {"Fifo", "Zero"}) {
    ProcessResult read = run({"read", name});
    EXPECT_EQ(read.exit_code, 1) << name;
    EXPECT_NE(read.err.find("not a regular file"), std::string::npos) << read.err;
    EXPECT_EQ(run({"write", name, "K", "v"}).exit_code, 1) << name;
  }
  EXPECT_EQ(fs::status(dir_ / "Fifo.plist").type(), fs::file_type::fifo);
}

// A new domain is private to its user; a domain file keeps its mode.
TEST_F(DefaultsTool, NewDomainsArePrivateAndModesAreKept) {
  ASSERT_EQ(run({"write", "App", "A", "1"}).exit_code, 0);
  struct stat info {};
  ASSERT_EQ(::stat((dir_ / "App.plist").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::chmod((dir_ / "App.plist").c_str(), 0640), 0);
  ASSERT_EQ(run({"write", "App", "B", "2"}).exit_code, 0);
  ASSERT_EQ(::stat((dir_ / "App.plist").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// A domain file that is a link (into a dotfiles folder) stays a link, and
// the file it leads to is replaced in its own folder. Two names linked to
// one file share one lock, beside that file: writers through either name
// keep each other's keys, and their sweeps never take a live temporary.
TEST_F(DefaultsTool, LinkedDomainsAreWrittenThroughUnderTheTargetsLock) {
  fs::path dotfiles = dir_ / "dotfiles";
  fs::create_directories(dotfiles);
  std::ofstream(dotfiles / "Shared.plist") << "{ A = 1; }";
  fs::create_symlink(fs::path("dotfiles") / "Shared.plist", dir_ / "App.plist");
  fs::create_symlink(dotfiles / "Shared.plist", dir_ / "Other.plist");
  ASSERT_EQ(run({"write", "App", "B", "2"}).exit_code, 0);
  EXPECT_TRUE(fs::is_symlink(dir_ / "App.plist"));
  EXPECT_EQ(test_support::slurp(dotfiles / "Shared.plist"), "{\n    A = 1;\n    B = 2;\n}\n");

  auto writer = [](const char* domain) {
    for (int i = 0; i < 40; ++i)
      EXPECT_EQ(run_directly({"write", domain, domain + std::to_string(i), "1"}), 0);
  };
  std::thread first(writer, "App"), second(writer, "Other");
  first.join();
  second.join();
  defaults_store::Loaded all = defaults_store::load("Other");
  ASSERT_EQ(all.state, defaults_store::Loaded::kPresent) << all.error;
  EXPECT_EQ(all.dictionary.size(), 82u);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dotfiles))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Shared.plist", "Shared.plist.lock"}));
  EXPECT_FALSE(fs::exists(dir_ / "App.plist.lock"));
}

// A lock file that is a link is refused without following it: a dangling
// one never makes the file it names (for root in a user's store, a file
// anywhere), and one to a file of the user's leaves that file alone.
TEST_F(DefaultsTool, LockFilesThatAreLinksAreRefused) {
  fs::create_symlink(dir_ / "planted", dir_ / "App.plist.lock");
  std::ofstream(dir_ / "mine") << "mine";
  fs::create_symlink(dir_ / "mine", dir_ / "Other.plist.lock");
  for (const char* domain : {"App", "Other"}) {
    ProcessResult write = run({"write", domain, "K", "v"});
    EXPECT_EQ(write.exit_code, 1) << domain;
    EXPECT_NE(write.err.find(".plist.lock: it is a symbolic link, not a regular file"), std::string::npos)
        << write.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "planted"));
  EXPECT_EQ(test_support::slurp(dir_ / "mine"), "mine");
  EXPECT_FALSE(fs::exists(dir_ / "App.plist"));
}

// Folders the store makes are its user's alone, so that no one else can
// list the domains' names.
TEST_F(DefaultsTool, FoldersTheStoreMakesArePrivate) {
  test_support::set_env("USER_DEFAULTS_DIR", (dir_ / "config" / "defaults").string());
  ASSERT_EQ(run({"write", "App", "K", "v"}).exit_code, 0);
  for (const fs::path& folder : {dir_ / "config", dir_ / "config" / "defaults"}) {
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
  }
}

// A replaced domain file keeps its owner and group: root writing into a
// user's store (here in a set-group-id folder, whose group a new file would
// take) gives the new file to the user. A writer that may not do so
// refuses, naming the owner, and leaves the file as it was.
TEST_F(DefaultsTool, OwnerAndGroupAreKeptOrTheReplaceIsRefused) {
  const char* setpriv = "/usr/bin/setpriv";
  if (::geteuid() != 0 || !fs::exists(setpriv))
    GTEST_SKIP() << "needs root and setpriv to act as another user";
  constexpr uid_t kUser = 65534;  // nobody
  constexpr gid_t kGroup = 65534;
  ASSERT_EQ(::chmod(dir_.c_str(), 02777), 0);
  std::ofstream(dir_ / "App.plist") << "{ A = 1; }";
  ASSERT_EQ(::chown((dir_ / "App.plist").c_str(), kUser, kGroup), 0);
  ASSERT_EQ(::chmod((dir_ / "App.plist").c_str(), 0640), 0);
  ASSERT_EQ(run({"write", "App", "B", "2"}).exit_code, 0);
  struct stat info {};
  ASSERT_EQ(::stat((dir_ / "App.plist").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, kUser);
  EXPECT_EQ(info.st_gid, kGroup);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  // The same store, written by the user: root's file cannot become theirs.
  std::ofstream(dir_ / "Root.plist") << "{ A = 1; }";
  ASSERT_EQ(::chmod((dir_ / "Root.plist").c_str(), 0644), 0);
  ProcessResult refused = test_support::run(
      setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups",
                test_support::utf8(test_support::program("defaults")), "write", "Root", "B", "2"});
  EXPECT_EQ(refused.exit_code, 1) << refused.err;
  EXPECT_NE(refused.err.find("Root.plist: it belongs to user root (uid 0) and group root (gid 0)"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(test_support::slurp(dir_ / "Root.plist"), "{ A = 1; }");
  ASSERT_EQ(::stat((dir_ / "Root.plist").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}
#endif

// A plain value that looks like a yes or a no is stored as typed, with one
// note saying how a switch reads it; the words -bool takes print nothing.
TEST_F(DefaultsTool, BooleanLookalikesAreStoredWithANote) {
  struct Case {
    const char* value;
    bool note;
    const char* reads;  // how a boolean read takes it
  };
  for (const Case& c : {Case{"on", true, "NO"}, Case{"OFF", true, "NO"}, Case{"y", true, "NO"},
                        Case{"n", true, "NO"}, Case{"Enable", true, "NO"}, Case{"disable", true, "NO"},
                        Case{"YES", false, "YES"}, Case{"maybe", false, "NO"}, Case{"1", false, "YES"}}) {
    ProcessResult r = run({"write", "App", "CorvaneEnable", c.value});
    EXPECT_EQ(r.exit_code, 0) << c.value;
    std::string note = "defaults: note: \"" + std::string(c.value) +
                       "\" is stored as a string, which a boolean read takes as " + c.reads +
                       "; for a switch write -bool YES or -bool NO\n";
    EXPECT_EQ(r.err, c.note ? note : "");
    EXPECT_EQ(run({"read", "App", "CorvaneEnable"}).out, std::string(c.value) + "\n");
    EXPECT_EQ(run({"read-type", "App", "CorvaneEnable"}).out,
              "Type is string (a boolean read takes it as " + std::string(c.reads) + ")\n");
  }
  ProcessResult refused = run({"write", "App", "K", "-bool", "on"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("-bool takes YES, TRUE or 1 and NO, FALSE or 0 (in any case), not \"on\""),
            std::string::npos)
      << refused.err;
  ASSERT_EQ(run({"write", "App", "L", "(a)"}).exit_code, 0);
  EXPECT_EQ(run({"read-type", "App", "L"}).out, "Type is array\n");
  EXPECT_EQ(run({"read-type", "App", "Nothing"}).exit_code, 1);
  EXPECT_EQ(run({"read-type", "App"}).exit_code, 2);
}

// export writes the domain as it reads back; import replaces a domain with
// a file's dictionary, and refuses what is not one, changing nothing.
TEST_F(DefaultsTool, ExportAndImportCarryAWholeDomain) {
  ASSERT_EQ(run({"write", "App", "{ CorvaneEnable = NO; Name = \\\"J\xC3\xB6rg\\\"; }"}).exit_code, 0);
  fs::path folder = dir_ / "Sicherung \xC3\xA9t\xC3\xA9";
  fs::create_directories(folder);
  fs::path file = folder / "App.plist";
  ASSERT_EQ(run({"export", "App", test_support::utf8(file)}).exit_code, 0);
  EXPECT_EQ(test_support::slurp(file), test_support::slurp(dir_ / "App.plist"));
  EXPECT_EQ(run({"export", "App", "-"}).out, test_support::slurp(file));
  ASSERT_EQ(run({"import", "Copy", test_support::utf8(file)}).exit_code, 0);
  EXPECT_EQ(run({"read", "Copy"}).out, run({"read", "App"}).out);

  std::ofstream(folder / "list.plist") << "(a, b)";
  std::ofstream(folder / "broken.plist") << "{ a = ";
  for (const char* name : {"list.plist", "broken.plist", "missing.plist"}) {
    ProcessResult r = run({"import", "Copy", test_support::utf8(folder / name)});
    EXPECT_EQ(r.exit_code, 1) << name;
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
  }
  EXPECT_EQ(run({"read", "Copy"}).out, run({"read", "App"}).out);
  EXPECT_EQ(run({"export", "Nowhere", test_support::utf8(folder / "n.plist")}).exit_code, 1);
  EXPECT_FALSE(fs::exists(folder / "n.plist"));
  EXPECT_EQ(run({"--version"}).out, "defaults (Corvane) " CORVANE_VERSION "\n");
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
