// The fault driver: proves that the framework paths the sample host relies
// on, and the host's scenarios themselves, survive a fault at any point.
// A fault kind (raise injection today) is armed to strike at the N-th
// opportunity of a run, for N = 1, 2, ... until a run finishes with no
// fault. After every run it checks that the host's top level caught
// exactly the injected fault, that the state is back at its base (the
// matrix patch's counter, the modal window stack, the pool depth, the
// handler chain, the runtime's cleanups and tracked locks), and that
// nothing leaked; then it runs the path again without a fault and
// compares the output with the reference run's, exactly.
//
//   fault_driver KIND PROCESS [--sample K]
//     KIND     raise
//     PROCESS  list       names every path, one a line, after its kind
//              paths      every in-process path, batched in this process
//              scenarios  the host's scenarios only
//              bundle N   the bundle's load with the N-th send raising
//                         (fault_driver_bundle only: the load happens once
//                         per process)
//     --sample K  K runs per path, their N spread evenly over the path's
//                 opportunities, and one past the last (a bounded sample)
//     --path NAME only the path of that name (a leak check tells only
//                 the first run that leaked in a process)
//
// The patches are on or off as the argument domain says
// (-CorvaneEnable YES -MatrixScrollPatchEnable YES). The last line is
//   faults KIND PROCESS: P paths, R runs, C crashes, L leaks, D deadlocks, I inconsistent
// A crash or deadlock ends the process; scripts/test-faults counts those.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AppKit/AppKit.h"
#include "AppKit/NSMatrix.h"
#include "AppKit/NSPageLayout.h"
#include "AppKit/NSPrintInfo.h"
#include "AppKit/NSScrollView.h"
#include "Foundation/Foundation.h"
#include "Foundation/NSProcessInfo.h"
#include "fault_kinds.h"
#include "fault_paths.h"

#if !defined(_WIN32)
#  include <unistd.h>
#endif
#if defined(__SANITIZE_ADDRESS__)
#  include <sanitizer/lsan_interface.h>
#  define FAULTS_LEAK_CHECK 1
#else
#  define FAULTS_LEAK_CHECK 0
#endif

namespace {

using faults::FaultKind;
using faults::Path;

struct Totals {
  long paths = 0, runs = 0, leaks = 0, inconsistent = 0;
};

// Where a deadlock is reported from: the path and run under way.
const char* g_current_path = "";
long g_current_run = 0;
constexpr unsigned kRunSeconds = 20;
// LeakSanitizer checks the whole process at exit; FAULTS_LEAK_EACH_RUN=N
// checks after every run from the N-th on as well, to name the first run
// that leaked.
const long g_leak_check_from =
    std::getenv("FAULTS_LEAK_EACH_RUN") != nullptr ? std::atol(std::getenv("FAULTS_LEAK_EACH_RUN")) : 0;

#if !defined(_WIN32)
void on_alarm(int) {
  char line[256];
  int n = std::snprintf(line, sizeof line, "faults: deadlock: %s, run %ld did not finish in %u s\n",
                        g_current_path, g_current_run, kRunSeconds);
  if (n > 0) static_cast<void>(write(2, line, static_cast<size_t>(n)));
  _exit(4);
}
void start_watchdog() { alarm(kRunSeconds); }
void stop_watchdog() { alarm(0); }
#else
void start_watchdog() {}
void stop_watchdog() {}
#endif

// What must be back at its base after every run.
struct State {
  uint32_t pools;
  unsigned chain;
  int locks;
  objc_cleanup* cleanups;
  std::string bundle;  // the patches' state (faults::bundle_state)

  static State now() {
    NSHandlerFrame probe;
    _NSAddHandler(&probe);
    unsigned chain = probe.depth - 1;
    _NSRemoveHandler(&probe);
    return {NSAutoreleasePoolDepth(), chain, objc_thread_locks_held(), objc_cleanup_top(),
            faults::bundle_state()};
  }
  std::string differences(const State& base) const {
    std::string d;
    if (pools != base.pools) d += " pools " + std::to_string(base.pools) + "->" + std::to_string(pools);
    if (chain != base.chain)
      d += " handler chain " + std::to_string(base.chain) + "->" + std::to_string(chain);
    if (locks != base.locks)
      d += " tracked locks " + std::to_string(base.locks) + "->" + std::to_string(locks);
    if (cleanups != base.cleanups) d += " cleanup chain moved";
    if (bundle != base.bundle) d += " bundle state '" + base.bundle + "' -> '" + bundle + "'";
    return d;
  }
};

// Runs path once in a pool of its own, inside a top-level handler, with
// kind (if any) armed at n for the path's own sends. Answers the output;
// *caught is the exception that reached the top (retained), nil if none;
// *unspent (if given) the opportunities the countdown still had left.
std::string run_once(const Path& path, id* caught, const FaultKind* kind = nullptr, long n = 0,
                     long* unspent = nullptr) {
  std::string out;
  *caught = nil;
  id pool = msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSAutoreleasePool")), SELECTOR(alloc)),
                    SELECTOR(init));
  NSRunProtected(
      [&] {
        if (kind != nullptr) kind->arm(n);
        path.run(out);
      },
      [&](id e) { *caught = msg<id>(e, SELECTOR(retain)); });
  if (unspent != nullptr) *unspent = kind->unspent();
  if (kind != nullptr) kind->disarm();
  NSRunProtected([&] { msg<void>(pool, SELECTOR(drain)); },
                 [&](id e) {
                   if (*caught == nil) *caught = msg<id>(e, SELECTOR(retain));
                 });
  return out;
}

void report(const char* what, const Path& path, long n, const std::string& detail) {
  std::fprintf(stderr, "faults: %s: %s, run %ld:%s\n", what, path.name, n, detail.c_str());
}

// The N of the i-th run: 1, 2, ... when every opportunity is taken; with a
// sample of K, K values spread evenly over the path's `opportunities`, then
// one past the last, which must finish with no fault.
long nth_run(long i, long sample, long opportunities) {
  if (sample == 0) return i + 1;
  if (i >= sample) return opportunities + 1;
  return 1 + i * opportunities / sample;
}

// Drives one path: N = 1, 2, ... until a run finishes with no fault, or
// a sample of N spread over the whole path.
void drive(const FaultKind& kind, const Path& path, long sample, Totals& totals) {
  ++totals.paths;
  g_current_path = path.name;
  id caught = nil;
  // The reference run, armed past its end, also counts its opportunities.
  constexpr long kNever = 1L << 30;
  long unspent = 0;
  std::string reference = run_once(path, &caught, &kind, kNever, &unspent);
  const long opportunities = kNever - unspent;
  if (caught != nil) {
    report("inconsistent", path, 0, " the reference run raised " + faults::describe(caught));
    msg<void>(caught, SELECTOR(release));
    ++totals.inconsistent;
    return;
  }
  long runs = 0;
  for (long i = 0;; ++i) {
    const long n = nth_run(i, sample, opportunities);
    g_current_run = n;
    State base = State::now();
    start_watchdog();
    std::string out = run_once(path, &caught, &kind, n);
    bool struck = kind.struck();
    stop_watchdog();
    ++runs;
    std::string problems;
    if (struck && !kind.is_injected(caught))
      problems +=
          " the top level caught " + (caught != nil ? faults::describe(caught) : std::string("nothing"));
    if (!struck && caught != nil) problems += " a run with no fault raised " + faults::describe(caught);
    if (!struck && out != reference) problems += " a run with no fault printed other output";
    msg<void>(caught, SELECTOR(release));
    std::string site = struck ? " (" + kind.site() + ")" : std::string();
    kind.forget();
    std::string moved = State::now().differences(base);
    if (!moved.empty()) problems += moved;
    if (struck) {
      start_watchdog();
      std::string again = run_once(path, &caught);
      stop_watchdog();
      if (caught != nil)
        problems += " the run after raised " + faults::describe(caught);
      else if (again != reference)
        problems += " the run after printed:\n" + again + "instead of:\n" + reference;
      msg<void>(caught, SELECTOR(release));
    }
    if (!problems.empty()) {
      report("inconsistent", path, n, site + problems);
      ++totals.inconsistent;
    }
#if FAULTS_LEAK_CHECK
    if (g_leak_check_from > 0 && n >= g_leak_check_from && totals.leaks == 0 &&
        __lsan_do_recoverable_leak_check() != 0) {
      report("leak", path, n, site + " (above)");
      ++totals.leaks;
    }
#endif
    if (!struck || (sample > 0 && i >= sample)) break;
  }
  totals.runs += runs;
  std::printf("path %-28s %6ld runs\n", path.name, runs);
  std::fflush(stdout);
}

int usage() {
  std::fprintf(stderr, "usage: fault_driver raise paths|scenarios|bundle N [--sample K] [--path NAME]\n");
  return 2;
}

}  // namespace

int main() {
  std::vector<std::string> args = NSProcessInfoArguments();
  // Only the driver's own arguments: -Key value pairs are user defaults.
  std::vector<std::string> own;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i].size() > 1 && args[i][0] == '-' && args[i][1] != '-') {
      ++i;
      continue;
    }
    own.push_back(args[i]);
  }
  if (own.size() < 2) return usage();
  const FaultKind* kind = faults::find_kind(own[0].c_str());
  if (kind == nullptr) return usage();
  const std::string process = own[1];
  long sample = 0, bundle_n = 0;
  std::string only;
  size_t next = 2;
  if (process == "bundle") {
    if (own.size() < 3) return usage();
    bundle_n = std::atol(own[2].c_str());
    next = 3;
  }
  for (; next < own.size(); ++next) {
    if (own[next] == "--sample" && next + 1 < own.size())
      sample = std::atol(own[++next].c_str());
    else if (own[next] == "--path" && next + 1 < own.size())
      only = own[++next];
    else
      return usage();
  }
  if (!objc_fault_capable()) {
    std::fprintf(stderr,
                 "fault_driver: this build has no fault hook (configure with CORVANE_FAULT_INJECTION=ON)\n");
    return 2;
  }
#if !defined(_WIN32)
  std::signal(SIGALRM, on_alarm);
#endif
  // The program's own records (the driver's classes, and the bundle's
  // units in fault_driver), registered as the tests register theirs.
  id pool = msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSAutoreleasePool")), SELECTOR(alloc)),
                    SELECTOR(init));
  objc_register_header("fault_driver");
  objc_finish_header();
  msg<id>(objc_getClass("NSApplication"), SELECTOR(sharedApplication));
  msg<void>(pool, SELECTOR(drain));
  Totals totals;
  if (process == "bundle") {
    id run_pool = msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSAutoreleasePool")), SELECTOR(alloc)),
                          SELECTOR(init));
    faults::BundleRun run = faults::load_bundle_with_fault(*kind, bundle_n);
    NSRunProtected([&] { msg<void>(run_pool, SELECTOR(drain)); }, [](id) {});
    totals.paths = 1;
    totals.runs = 1;
    if (!run.consistent) ++totals.inconsistent;
    std::printf("bundle load, send %ld: %s\n", bundle_n, run.struck ? "raised" : "no fault: finished");
#if FAULTS_LEAK_CHECK
    if (__lsan_do_recoverable_leak_check() != 0) ++totals.leaks;
#endif
  } else if (process == "list") {
    for (const Path* path = faults::paths(); path->name != nullptr; ++path)
      std::printf("%s\t%s\n", path->scenario ? "scenario" : "framework", path->name);
    return 0;
  } else if (process == "paths" || process == "scenarios") {
    for (const Path* path = faults::paths(); path->name != nullptr; ++path) {
      if (process == "scenarios" && !path->scenario) continue;
      if (!only.empty() && only != path->name) continue;
      drive(*kind, *path, sample, totals);
    }
  } else {
    return usage();
  }
  std::printf("faults %s %s: %ld paths, %ld runs, 0 crashes, %ld leaks, 0 deadlocks, %ld inconsistent\n",
              kind->name, process.c_str(), totals.paths, totals.runs, totals.leaks, totals.inconsistent);
  std::fflush(stdout);
  return totals.leaks == 0 && totals.inconsistent == 0 ? 0 : 1;
}
