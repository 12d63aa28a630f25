// Message dispatch against its baseline in the same run: a cached send, a
// cached super send and a send to nil, each beside an indirect call through
// a function pointer with the same arguments, and respondsToSelector:
// answered yes and no beside a cached send. Every benchmark also reports
// the heap allocations it made per iteration.
//
// Fairness: each loop reads its receiver (and the baseline its function
// pointer) from a variable whose address has escaped, so the compiler must
// load it again after every opaque call, exactly once per call, as a real
// call site loads a pointer it keeps in memory. Nothing is volatile, and
// nothing can be hoisted out of the loop or devirtualised.
#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "objc/module.h"

namespace {

struct Layout : objc_object {
  int value;
};

int add(id self, SEL, int a) { return static_cast<Layout*>(self)->value + a; }

// The framework's respondsToSelector:, as its root class implements it.
BOOL responds(id self, SEL, SEL sel) { return objc::responds_to(self->isa, sel); }

objc_method_def root_methods[] = {{"add:", objc_imp(&add)}, {"respondsToSelector:", objc_imp(&responds)}};
objc_class_def root_def = {"BenchRoot", nullptr, sizeof(Layout), objc_no_methods, objc_methods(root_methods),
                           Nil};
objc_class_def sub_def = {"BenchSub", "BenchRoot", sizeof(Layout), objc_no_methods, objc_no_methods, Nil};
objc_class_def* classes[] = {&root_def, &sub_def};
objc_module_record record = {OBJC_MODULE_VERSION, "Bench", classes, 2, nullptr, 0, nullptr, 0};

id make_object() {
  static id object = [] {
    __objc_execClass(&record);
    objc_register_header("dispatch_bench");
    objc_finish_header();
    auto* o = static_cast<Layout*>(class_createInstance(sub_def.cls, 0));
    o->value = 1;
    id result = o;
    // Fill the caches the loops below use, so that every timed send hits.
    msg<int>(result, SELECTOR(add:), 0);
    msgSuper<int>(objc_super{result, root_def.cls}, SELECTOR(add:), 0);
    msg<BOOL>(result, SELECTOR(respondsToSelector:), SELECTOR(add:));
    msg<BOOL>(result, SELECTOR(respondsToSelector:), SELECTOR(subtract:));
    return result;
  }();
  return object;
}

void IndirectCall(benchmark::State& state) {
  id object = make_object();
  SEL sel = SELECTOR(add:);
  int (*fn)(id, SEL, int) = &add;
  benchmark::DoNotOptimize(&object);
  benchmark::DoNotOptimize(&sel);
  benchmark::DoNotOptimize(&fn);
  int sum = 0;
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(sum += fn(object, sel, 1));
  bench::report_allocations(state, before);
}
BENCHMARK(IndirectCall);

void CachedSend(benchmark::State& state) {
  id object = make_object();
  benchmark::DoNotOptimize(&object);
  int sum = 0;
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(sum += msg<int>(object, SELECTOR(add:), 1));
  bench::report_allocations(state, before);
}
BENCHMARK(CachedSend);

void CachedSuperSend(benchmark::State& state) {
  objc_super sup{make_object(), root_def.cls};
  benchmark::DoNotOptimize(&sup);
  int sum = 0;
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state)
    benchmark::DoNotOptimize(sum += msgSuper<int>(sup, SELECTOR(add:), 1));
  bench::report_allocations(state, before);
}
BENCHMARK(CachedSuperSend);

void NilSend(benchmark::State& state) {
  make_object();
  id object = nil;
  benchmark::DoNotOptimize(&object);
  int sum = 0;
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(sum += msg<int>(object, SELECTOR(add:), 1));
  bench::report_allocations(state, before);
}
BENCHMARK(NilSend);

// respondsToSelector: sent for a method the receiver has, and for one it
// lacks; both answers come from the dispatch cache.
void RespondsToSelector(benchmark::State& state) {
  id object = make_object();
  SEL asked = state.range(0) != 0 ? SELECTOR(add:) : SELECTOR(subtract:);
  benchmark::DoNotOptimize(&object);
  benchmark::DoNotOptimize(&asked);
  int sum = 0;
  unsigned long before = bench::allocations();
  for ([[maybe_unused]] auto _ : state)
    benchmark::DoNotOptimize(sum += msg<BOOL>(object, SELECTOR(respondsToSelector:), asked));
  bench::report_allocations(state, before);
}
BENCHMARK(RespondsToSelector)->Arg(1)->Arg(0);

}  // namespace
