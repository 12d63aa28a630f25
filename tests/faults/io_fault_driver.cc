// I/O fault injection: every file-system call that the defaults store and
// the reading of a bundle's information dictionary make is failed in turn,
// once, with the errors the system gives for it (os_process.h, FileCall),
// in a fault-capable build (CORVANE_FAULT_INJECTION, with AddressSanitizer
// and LeakSanitizer). Each scenario runs once without faults to learn its
// calls and its result, then once for every call and every error that call
// can give, each time from the same files. After every run:
//   - the operation succeeded and left exactly what the fault-free run
//     left (else "lost"), or it failed with an error naming the system's
//     reason (else "unclear"); an interruption (EINTR) is retried, never
//     reported;
//   - the domain file holds, byte for byte, what it held before or what the
//     fault-free run left (else "inconsistent");
//   - the domain's lock is free (else "stale lock");
//   - no file descriptor and no memory is left behind (else "leak"; memory
//     by LeakSanitizer's check);
//   - the next write, without faults, succeeds and leaves no temporary
//     file (else "left temporaries").
// It prints one summary line and exits 1 if anything was counted.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#if defined(__has_include)
#  if __has_include(<sanitizer/lsan_interface.h>) && defined(__SANITIZE_ADDRESS__)
#    include <sanitizer/lsan_interface.h>
#    define CORVANE_LEAK_CHECK 1
#  endif
#endif

#include "../../platform/Foundation/src/io_faults.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/Foundation.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSProcessInfo.h"
#include "Foundation/NSUserDefaults.h"

namespace {

namespace fs = std::filesystem;
namespace os = foundation::os;
using Bytes = std::optional<std::string>;  // a file's contents, or nothing

// The errors each kind of call can really give, EINTR where a signal can
// interrupt it.
std::vector<int> errors_for(os::FileCall call) {
  switch (call) {
    case os::FileCall::kOpen:
      return {EACCES, EIO, EINTR};
    case os::FileCall::kStat:
      return {EIO, EACCES};
    case os::FileCall::kRead:
      return {EIO, EINTR};
    case os::FileCall::kWrite:
      return {ENOSPC, EIO, EINTR};
    case os::FileCall::kSync:
      return {EIO, ENOSPC};
    case os::FileCall::kRename:
      return {EIO, ENOSPC};
    case os::FileCall::kLock:
      return {EINTR, ENOLCK};
    case os::FileCall::kCreateTemporary:
      return {ENOSPC, EACCES, EINTR};
    case os::FileCall::kChangeMode:
      return {EPERM, EIO};
    case os::FileCall::kChangeOwner:
      return {EPERM, EIO};
    case os::FileCall::kUnlink:
      return {EIO, EACCES};
    case os::FileCall::kClose:
      return {EIO, EINTR};
    case os::FileCall::kMakeDirectory:
      return {EACCES, ENOSPC};
    case os::FileCall::kReadLink:
      return {EIO};
    case os::FileCall::kListDirectory:
      return {EIO, EACCES};
    case os::FileCall::kCount:
      break;
  }
  return {};
}

Bytes contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t open_descriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// What an operation did: ok, or the error it reported.
struct Outcome {
  bool ok = true;
  std::string error;
};

// Runs body with standard error going to a file; returns what was written.
std::string capturing_stderr(const std::function<void()>& body) {
  fs::path file = fs::temp_directory_path() / ("corvane-io-faults-stderr-" + std::to_string(getpid()));
  std::fflush(stderr);
  int saved = ::dup(2);
  int sink = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ::dup2(sink, 2);
  ::close(sink);
  body();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::string text = contents(file).value_or("");
  fs::remove(file);
  return text;
}

// One operation and the files it is judged by.
struct Scenario {
  std::string name;
  std::function<void()> prepare;  // lays out the files, not through the store
  std::function<Outcome()> act;
  fs::path file;                  // the file that must be old or new
  fs::path lock;                  // the lock the operation takes; empty: none
  std::vector<fs::path> folders;  // where temporaries could be left
  std::string domain;             // written once more after each run; empty: none
};

struct Tally {
  long runs = 0, lost = 0, leaks = 0, stale_locks = 0, inconsistent = 0, unclear = 0, temporaries = 0;
  std::map<os::FileCall, long> runs_by_call;
  std::vector<std::string> failures;  // the first few, described
  void fail(long& counter, const std::string& what) {
    ++counter;
    if (failures.size() < 20) failures.push_back(what);
  }
};

bool lock_is_free(const fs::path& lock) {
  int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return errno == ENOENT;
  bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

bool holds_temporaries(const std::vector<fs::path>& folders) {
  for (const fs::path& folder : folders) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
      if (entry.path().filename().string().find(os::kTemporaryMarker) != std::string::npos) return true;
  }
  return false;
}

bool leak_check() {
#if defined(CORVANE_LEAK_CHECK)
  return __lsan_do_recoverable_leak_check() == 0;
#else
  return true;
#endif
}

void run_scenario(const Scenario& s, Tally& tally) {
  s.prepare();
  Bytes old_bytes = contents(s.file);
  os::faults::arm(-1, 0);
  Outcome baseline = s.act();
  std::vector<os::FileCall> calls = os::faults::calls();
  Bytes new_bytes = contents(s.file);
  if (!baseline.ok) {
    tally.fail(tally.inconsistent, s.name + ": fails without faults: " + baseline.error);
    return;
  }
  for (size_t index = 0; index < calls.size(); ++index) {
    for (int error : errors_for(calls[index])) {
      std::string what = s.name + ", call " + std::to_string(index) + " (" + os::faults::name(calls[index]) +
                         ") failing with " + std::strerror(error);
      s.prepare();
      size_t descriptors = open_descriptors();
      os::faults::arm(static_cast<long>(index), error);
      Outcome outcome = s.act();
      os::faults::arm(-1, 0);
      ++tally.runs;
      ++tally.runs_by_call[calls[index]];
      Bytes now = contents(s.file);
      if (outcome.ok && now != new_bytes)
        tally.fail(tally.lost, what + ": reported success, left other content");
      if (!outcome.ok && now != old_bytes && now != new_bytes)
        tally.fail(tally.inconsistent, what + ": left neither the old nor the new content");
      if (!outcome.ok && (error == EINTR || outcome.error.find(std::strerror(error)) == std::string::npos))
        tally.fail(tally.unclear,
                   what + ": " + (error == EINTR ? "not retried: " : "unclear error: ") + outcome.error);
      if (!s.lock.empty() && !lock_is_free(s.lock)) tally.fail(tally.stale_locks, what + ": lock still held");
      if (open_descriptors() != descriptors) tally.fail(tally.leaks, what + ": a file descriptor leaked");
      if (!leak_check()) tally.fail(tally.leaks, what + ": memory leaked (LeakSanitizer's report above)");
      if (!s.domain.empty()) {
        defaults_store::Loaded next;
        std::string why;
        bool written = defaults_store::update(
            s.domain,
            [](plist::Dictionary& d) {
              d.set("Next", "1");
              return true;
            },
            next, why);
        if (!written || holds_temporaries(s.folders))
          tally.fail(tally.temporaries,
                     what + ": the next write " + (written ? "left temporaries" : "failed: " + why));
      }
    }
  }
}

// The defaults store's operations, on a store at root/store.
std::vector<Scenario> store_scenarios(const fs::path& root) {
  fs::path store = root / "store", dotfiles = root / "dotfiles";
  auto fresh = [=](const std::string& domain_text, bool stale = true) {
    std::error_code ec;
    fs::remove_all(store, ec);
    fs::remove_all(dotfiles, ec);
    fs::create_directories(store);
    if (!domain_text.empty()) std::ofstream(store / "App.plist", std::ios::binary) << domain_text;
    // What a killed writer left, and a user's own file that must stay.
    if (stale) std::ofstream(store / ".App.plist.tmp-Ab12xZ") << "{ half";
    std::ofstream(store / "App.plist.backup") << "mine";
  };
  auto set_key = [](const char* domain, const char* key) {
    return [=] {
      defaults_store::Loaded current;
      Outcome o;
      o.ok = defaults_store::update(
          domain,
          [&](plist::Dictionary& d) {
            d.set(key, "2");
            return true;
          },
          current, o.error);
      return o;
    };
  };
  const std::string old_text = "{\n    A = 1;\n}\n";
  std::vector<Scenario> list;
  list.push_back({"write a key",
                  [=] { fresh(old_text); },
                  set_key("App", "B"),
                  store / "App.plist",
                  store / "App.plist.lock",
                  {store},
                  "App"});
  list.push_back({"write a key of a new domain in a new folder",
                  [=] {
                    std::error_code ec;
                    fs::remove_all(store, ec);
                  },
                  set_key("App", "B"),
                  store / "App.plist",
                  store / "App.plist.lock",
                  {store},
                  "App"});
  list.push_back({"delete a key",
                  [=] { fresh(old_text); },
                  [] {
                    defaults_store::Loaded current;
                    Outcome o;
                    o.ok = defaults_store::update(
                        "App", [](plist::Dictionary& d) { return d.erase("A"); }, current, o.error);
                    return o;
                  },
                  store / "App.plist",
                  store / "App.plist.lock",
                  {store},
                  "App"});
  list.push_back({"write a whole domain",
                  [=] { fresh(old_text); },
                  [] {
                    plist::Dictionary d;
                    d.set("Whole", "1");
                    Outcome o;
                    o.ok = defaults_store::save("App", d, o.error);
                    return o;
                  },
                  store / "App.plist",
                  store / "App.plist.lock",
                  {store},
                  "App"});
  list.push_back({"remove a domain",
                  [=] { fresh(old_text); },
                  [] {
                    Outcome o;
                    o.ok = defaults_store::remove("App", o.error);
                    return o;
                  },
                  store / "App.plist",
                  store / "App.plist.lock",
                  {store},
                  "App"});
  list.push_back({"read a domain",
                  [=] { fresh(old_text); },
                  [] {
                    defaults_store::Loaded loaded = defaults_store::load("App");
                    Outcome o;
                    o.ok = loaded.state == defaults_store::Loaded::kPresent && loaded.dictionary.size() == 1;
                    o.error = loaded.error;
                    return o;
                  },
                  store / "App.plist",
                  "",
                  {store},
                  ""});
  list.push_back({"write a linked domain",
                  [=] {
                    fresh("", false);
                    fs::create_directories(dotfiles);
                    std::ofstream(dotfiles / "Shared.plist", std::ios::binary) << old_text;
                    std::ofstream(dotfiles / ".Shared.plist.tmp-Ab12xZ") << "{ half";
                    fs::create_symlink(dotfiles / "Shared.plist", store / "App.plist");
                  },
                  set_key("App", "B"),
                  dotfiles / "Shared.plist",
                  dotfiles / "Shared.plist.lock",
                  {store, dotfiles},
                  "App"});
  // A file of another owner and group (as root) and of its own mode, which
  // the replace must give on.
  list.push_back({"write a domain of another owner and mode",
                  [=] {
                    fresh(old_text);
                    fs::permissions(store / "App.plist", fs::perms(0640));
                    if (::geteuid() == 0 && ::chown((store / "App.plist").c_str(), 65534, 65534) != 0)
                      std::perror("io_fault_driver: chown");
                  },
                  set_key("App", "B"),
                  store / "App.plist",
                  store / "App.plist.lock",
                  {store},
                  "App"});
  return list;
}

// An application's save through NSUserDefaults, which reports on standard
// error; and a bundle's information dictionary, read on first use.
std::vector<Scenario> framework_scenarios(const fs::path& root) {
  fs::path store = root / "store";
  std::vector<Scenario> list;
  const std::string app = "io_fault_driver";
  list.push_back({"an application's setBool:forKey:",
                  [=] {
                    std::error_code ec;
                    fs::remove_all(store, ec);
                    fs::create_directories(store);
                    std::ofstream(store / (app + ".plist"), std::ios::binary) << "{\n    A = 1;\n}\n";
                  },
                  [] {
                    Outcome o;
                    o.error = capturing_stderr([] {
                      NSAutoreleaseScope pool;
                      id defaults = msg<id>(
                          msg<id>(reinterpret_cast<id>(objc_getClass("NSUserDefaults")), SELECTOR(alloc)),
                          SELECTOR(init));
                      msg<void>(defaults, SELECTOR(setBool:forKey:), BOOL(YES), NSStringFromUTF8("Flag"));
                      msg<void>(defaults, SELECTOR(release));
                    });
                    o.ok = o.error.empty();
                    return o;
                  },
                  store / (app + ".plist"),
                  store / (app + ".plist.lock"),
                  {store},
                  app});
  fs::path bundles = root / "bundles";
  auto made = std::make_shared<std::pair<int, id>>(0, nil);  // bundles made, and the last
  list.push_back({"a bundle's information dictionary",
                  [=] {
                    // A bundle object of its own each run, made before the
                    // faults start: what fails is the reading.
                    fs::path bundle = bundles / (std::to_string(++made->first) + ".bundle");
                    fs::create_directories(bundle / "Resources");
                    std::ofstream(bundle / "Resources" / "Info.plist")
                        << "{ CorvaneDefaults = { A = YES; }; }";
                    NSAutoreleaseScope pool;
                    made->second = msg<id>(reinterpret_cast<id>(objc_getClass("NSBundle")),
                                           SELECTOR(bundleWithPath:), NSStringFromUTF8(bundle.c_str()));
                  },
                  [=] {
                    Outcome o;
                    NSUInteger keys = 0;
                    o.error = capturing_stderr([&] {
                      NSAutoreleaseScope pool;
                      keys =
                          msg<NSUInteger>(msg<id>(made->second, SELECTOR(infoDictionary)), SELECTOR(count));
                    });
                    o.ok = o.error.empty() && keys == 1;
                    if (!o.ok && o.error.empty()) o.error = "read as empty without a word";
                    return o;
                  },
                  "",
                  "",
                  {},
                  ""});
  return list;
}

}  // namespace

int main() {
  auto start = std::chrono::steady_clock::now();
  fs::path root = fs::temp_directory_path() / ("corvane-io-faults-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  setenv("USER_DEFAULTS_DIR", (root / "store").c_str(), 1);
  NSProcessInfoOverrideArguments({"io_fault_driver"});
  Tally tally;
  for (auto* make : {&store_scenarios, &framework_scenarios})
    for (const Scenario& s : make(root)) run_scenario(s, tally);
  fs::remove_all(root);
  for (const std::string& failure : tally.failures)
    std::fprintf(stderr, "io_fault_driver: %s\n", failure.c_str());
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf(
      "I/O injection: %ld runs over %zu operations: %ld lost, %ld leaks, %ld stale locks, %ld inconsistent, "
      "%ld unclear, %ld left temporaries (%.0f s)\n",
      tally.runs, tally.runs_by_call.size(), tally.lost, tally.leaks, tally.stale_locks, tally.inconsistent,
      tally.unclear, tally.temporaries, took.count());
  bool clean =
      tally.lost + tally.leaks + tally.stale_locks + tally.inconsistent + tally.unclear + tally.temporaries ==
      0;
  return clean ? 0 : 1;
}
