// Each patched method against the framework's own, in the same run and on
// the same object: the object's class is switched between the framework
// class and the bundle's patch class, so both sides pay the same dispatch
// and do the same framework work, and the difference is the patch's own
// step. Every figure reports the heap allocations per call.
//
// The bundle's two units are linked into this program and registered as
// its module; the patch classes are used directly, whatever the defaults
// say about posing.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "AppKit/AppKit.h"
#include "AppKit/NSMatrix.h"
#include "AppKit/NSScrollView.h"
#include "Corvane.h"
#include "Foundation/Foundation.h"
#include "alloc_counter.h"

namespace {

id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }

id new_object(const char* class_name, NSInteger x, NSInteger y, NSInteger width, NSInteger height) {
  return msg<id>(msg<id>(cls(class_name), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:), x, y,
                 width, height);
}

struct World {
  Class framework_application = objc_getClass("NSApplication");
  Class framework_matrix = objc_getClass("NSMatrix");
  Class patched_application = Nil, patched_matrix = Nil;
  id app = nil, panel = nil, outer_panel = nil, window = nil, matrix = nil;
  id mouse_down = nil, key_down = nil;

  World() {
    // The framework classes are read above, before the bundle's units
    // register and perhaps pose. Defaults come from an empty directory.
    auto dir = std::filesystem::temp_directory_path() / ("corvane-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("USER_DEFAULTS_DIR", dir.c_str(), 1);
    msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));  // lives for the process
    objc_register_header("patch_bench");
    objc_finish_header();
    patched_application = objc_getClass("CorvaneApplication");
    patched_matrix = objc_getClass("CorvaneMatrix");

    app = msg<id>(cls("NSApplication"), SELECTOR(sharedApplication));
    panel = new_object("NSPanel", 10, 10, 200, 100);
    outer_panel = new_object("NSPanel", 20, 20, 200, 100);
    window = new_object("NSWindow", 0, 0, 500, 300);
    id scroll = new_object("NSScrollView", 0, 0, 200, 200);
    matrix = msg<id>(msg<id>(cls("NSMatrix"), SELECTOR(alloc)), SELECTOR(initWithRows:columns:),
                     NSInteger(300), NSInteger(1));
    msg<void>(scroll, SELECTOR(setDocumentView:), matrix);
    msg<void>(window, SELECTOR(setContentView:), scroll);
    msg<void>(window, SELECTOR(makeKeyAndOrderFront:), id(nil));
    mouse_down = msg<id>(msg<id>(cls("NSEvent"), SELECTOR(mouseEventWithType:x:y:window:),
                                 NSInteger(NSLeftMouseDown), NSInteger(5), NSInteger(5), window),
                         SELECTOR(retain));
    key_down = msg<id>(msg<id>(cls("NSEvent"), SELECTOR(keyEventWithType:characters:window:),
                               NSInteger(NSKeyDown), NSStringFromUTF8("\t"), window),
                       SELECTOR(retain));
  }

  void use_application(bool patched) { app->isa = patched ? patched_application : framework_application; }
  void use_matrix(bool patched) { matrix->isa = patched ? patched_matrix : framework_matrix; }
  // What -currentEvent yields, as if the application were dispatching it.
  void set_current_event(id event) { reinterpret_cast<NSApplicationLayout*>(app)->current_event = event; }
};

World& world() {
  static World* w = new World;
  return *w;
}

template <bool kPatched>
void OrderFrontModalWindow(benchmark::State& state) {
  World& w = world();
  w.use_application(kPatched);
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state)
    benchmark::DoNotOptimize(msg<id>(w.app, SELECTOR(_orderFrontModalWindow:), w.panel));
  bench::report_allocations(state, before);
}
BENCHMARK(OrderFrontModalWindow<false>)->Name("OrderFrontModalWindow/framework");
BENCHMARK(OrderFrontModalWindow<true>)->Name("OrderFrontModalWindow/patched");

// A begin/end pair; with the argument 1 inside an outer session that stays
// open, so that the patch's stack already exists.
template <bool kPatched>
void ModalSessionPair(benchmark::State& state) {
  World& w = world();
  w.use_application(kPatched);
  _NSModalSession* outer = nullptr;
  if (state.range(0) > 0)
    outer = msg<_NSModalSession*>(w.app, SELECTOR(beginModalSessionForWindow:), w.outer_panel);
  unsigned long before = bench::allocations();
  long live_before = bench::live_blocks();
  for ([[maybe_unused]] auto _ : state) {
    auto* session = msg<_NSModalSession*>(w.app, SELECTOR(beginModalSessionForWindow:), w.panel);
    msg<void>(w.app, SELECTOR(endModalSession:), session);
  }
  bench::report_allocations(state, before);
  // What the pairs left behind: nothing, if every session's record and
  // every stack the patch created were given back.
  state.counters["blocks_left"] = static_cast<double>(bench::live_blocks() - live_before);
  if (outer != nullptr) msg<void>(w.app, SELECTOR(endModalSession:), outer);
  // With every session ended, the patch's stack holds nothing.
  state.counters["idle_stack"] = _modalWindows == nil ? 0 : 1;
}
BENCHMARK(ModalSessionPair<false>)->Name("ModalSessionPair/framework")->Arg(0)->Arg(1);
BENCHMARK(ModalSessionPair<true>)->Name("ModalSessionPair/patched")->Arg(0)->Arg(1);

// Scrolls back and forth between two rows far apart, so every call moves
// the scroll view; the arguments are what the framework itself passes.
template <bool kPatched>
void ScrollCellToVisible(benchmark::State& state) {
  World& w = world();
  w.use_matrix(kPatched);
  NSInteger row = 0;
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state) {
    row = row == 0 ? 200 : 0;
    msg<void>(w.matrix, SELECTOR(scrollCellToVisibleAtRow:column:), row, NSInteger(0));
  }
  bench::report_allocations(state, before);
}
BENCHMARK(ScrollCellToVisible<false>)->Name("ScrollCellToVisible/framework");
BENCHMARK(ScrollCellToVisible<true>)->Name("ScrollCellToVisible/patched");

// Ends an edit under a key event (argument 0) or a mouse-down (1). Only the
// -textDidEndEditing: call is timed; starting the edit is not.
template <bool kPatched>
void TextDidEndEditing(benchmark::State& state) {
  World& w = world();
  w.use_matrix(kPatched);
  w.use_application(false);
  w.set_current_event(state.range(0) == 0 ? w.key_down : w.mouse_down);
  NSAutoreleaseScope pool;
  unsigned long allocations = 0;
  NSInteger row = 0;
  for ([[maybe_unused]] auto _ : state) {
    row = row == 5 ? 250 : 5;
    msg<BOOL>(w.matrix, SELECTOR(editCellAtRow:column:), row, NSInteger(0));
    unsigned long before = bench::allocations();
    auto start = std::chrono::steady_clock::now();
    msg<void>(w.matrix, SELECTOR(textDidEndEditing:), id(nil));
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    allocations += bench::allocations() - before;
    state.SetIterationTime(elapsed.count());
  }
  w.set_current_event(nil);
  state.counters["allocs_per_iter"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}
// A fixed count: only part of each iteration is timed, so a time-based
// count would run for many times the minimum time.
BENCHMARK(TextDidEndEditing<false>)
    ->Name("TextDidEndEditing/framework")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(20000);
BENCHMARK(TextDidEndEditing<true>)
    ->Name("TextDidEndEditing/patched")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(20000);

}  // namespace
