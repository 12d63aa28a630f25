// Message dispatch against its baseline in the same run: a cached send, a
// cached super send and a send to nil, each beside an indirect call through
// a function pointer with the same arguments.
#include <benchmark/benchmark.h>

#include "objc/module.h"

namespace {

struct Layout : objc_object {
  int value;
};

int add(id self, SEL, int a) { return static_cast<Layout*>(self)->value + a; }

objc_method_def root_methods[] = {{"add:", objc_imp(&add)}};
objc_class_def root_def = {"BenchRoot", nullptr, sizeof(Layout), objc_no_methods, objc_methods(root_methods), Nil};
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
    return static_cast<id>(o);
  }();
  return object;
}

void IndirectCall(benchmark::State& state) {
  id object = make_object();
  SEL sel = SELECTOR(add:);
  int (*volatile fn)(id, SEL, int) = &add;
  int sum = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sum += fn(object, sel, 1));
}
BENCHMARK(IndirectCall);

void CachedSend(benchmark::State& state) {
  id object = make_object();
  id volatile receiver = object;
  int sum = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sum += msg<int>(receiver, SELECTOR(add:), 1));
}
BENCHMARK(CachedSend);

void CachedSuperSend(benchmark::State& state) {
  id object = make_object();
  objc_super sup{object, root_def.cls};
  benchmark::DoNotOptimize(sup);
  int sum = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sum += msgSuper<int>(sup, SELECTOR(add:), 1));
}
BENCHMARK(CachedSuperSend);

void NilSend(benchmark::State& state) {
  id volatile receiver = nil;
  int sum = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sum += msg<int>(receiver, SELECTOR(add:), 1));
}
BENCHMARK(NilSend);

}  // namespace
