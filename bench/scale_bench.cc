// The runtime at scale, each figure beside its baseline from the same
// program: attaching categories beside many warm unrelated classes, cache
// memory across category-and-re-send cycles, registering many modules,
// a chain registered subclass first, classes registered after orphans
// that wait for ever, and posing as one name again and again.
//
// Registration and posing cannot be undone, so every measurement runs in
// a fresh child process (this program started again with --child KIND
// N), which sets up, times its own step and prints the seconds; the
// parent reports them as manual time. Process start-up is not in them.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "class_factory.h"

namespace {

const char* g_self = nullptr;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int replaced(id, SEL, int a) { return a + 2; }

// Categories, each registered as a module of its own; kept for the process.
struct CategoryModule {
  objc_method_def methods[1];
  objc_category_def def;
  const objc_category_def* list[1];
  objc_module_record record;
};

[[gnu::noinline]] void attach_category(const char* class_name, const char* method) {
  static auto* kept = new std::deque<CategoryModule>;
  CategoryModule& m = kept->emplace_back();
  m.methods[0] = {method, objc_imp(&replaced)};
  m.def = {class_name, "Bench", objc_no_methods, {m.methods, 1}};
  m.list[0] = &m.def;
  m.record = {OBJC_MODULE_VERSION, "BenchCategory", nullptr, 0, m.list, 1, nullptr, 0};
  __objc_execClass(&m.record);
  objc_register_header("category");
  objc_finish_header();
}

std::vector<id> instances(const std::vector<Class>& classes) {
  std::vector<id> objects;
  objects.reserve(classes.size());
  for (Class cls : classes) objects.push_back(class_createInstance(cls, 0));
  return objects;
}

double time_sends(const std::vector<id>& objects, int sends) {
  auto start = Clock::now();
  int sum = 0;
  for (int i = 0; i < sends; ++i)
    sum += msg<int>(objects[static_cast<size_t>(i) % objects.size()], SELECTOR(m0:), 1);
  benchmark::DoNotOptimize(sum);
  return seconds_since(start);
}

// n warm unrelated root classes, then 100 categories, each on a small
// class of its own: prints the seconds per category, and the seconds of
// 40,000 sends to the unrelated classes after the categories and before.
void category_child(long n) {
  bench::ClassFactory factory;
  std::vector<bench::SyntheticClass> synthetic;
  for (long i = 0; i < n; ++i)
    synthetic.push_back({"Unrelated" + std::to_string(i), "", bench::ClassFactory::method_names("m", 2)});
  for (int i = 0; i < 100; ++i)
    synthetic.push_back({"Extended" + std::to_string(i), "", bench::ClassFactory::method_names("m", 2)});
  std::vector<Class> classes = factory.add(synthetic);
  std::vector<id> objects = instances(classes);
  for (id object : objects) msg<int>(object, SELECTOR(m0:), 1);
  std::vector<id> unrelated(objects.begin(), objects.begin() + n);
  if (unrelated.empty()) unrelated.push_back(objects.back());
  double before = time_sends(unrelated, 40000);
  auto start = Clock::now();
  for (int i = 0; i < 100; ++i) attach_category(classes[static_cast<size_t>(n + i)]->name, "m1:");
  double per_category = seconds_since(start) / 100;
  double after = time_sends(unrelated, 40000);
  std::printf("%.9f %.9f %.9f\n", per_category, after, before);
}

// 10,000 subclasses of a root with 20 methods, every method sent to every
// class; then five cycles of a category on the root and the same sends
// again. Prints the largest heap growth of one cycle, in bytes (as
// "seconds"), and the seconds of the last cycle.
void memory_child(long n) {
  bench::ClassFactory factory;
  std::vector<bench::SyntheticClass> synthetic;
  std::vector<std::string> methods = bench::ClassFactory::method_names("m", 20);
  synthetic.push_back({"MemoryRoot", "", methods});
  for (long i = 0; i < n; ++i) synthetic.push_back({"MemorySub" + std::to_string(i), "MemoryRoot", {}});
  std::vector<id> objects = instances(factory.add(synthetic));
  std::vector<SEL> sels;
  sels.reserve(methods.size());
  for (const std::string& m : methods) sels.push_back(sel_registerName(m.c_str()));
  auto send_all = [&] {
    int sum = 0;
    for (id object : objects)
      for (SEL sel : sels) sum += msg<int>(object, sel, 1);
    benchmark::DoNotOptimize(sum);
  };
  send_all();
  double worst = 0, last = 0;
  for (int cycle = 0; cycle < 5; ++cycle) {
    size_t heap = mallinfo2().uordblks;
    auto start = Clock::now();
    attach_category("MemoryRoot", "m7:");
    send_all();
    last = seconds_since(start);
    double growth = static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heap);
    if (growth > worst) worst = growth;
  }
  std::printf("%.9f %.9f\n", worst, last);
}

// n modules of 10 classes and a category on one of them: prints the
// seconds of the first 100 modules and of the last 100.
void modules_child(long n) {
  static auto* factories = new std::deque<bench::ClassFactory>;
  double first = 0, last = 0;
  for (long m = 0; m < n; ++m) {
    std::vector<bench::SyntheticClass> synthetic;
    synthetic.reserve(10);
    std::string prefix = "Module" + std::to_string(m) + "Class";
    for (int i = 0; i < 10; ++i) synthetic.push_back({prefix + std::to_string(i), "", {"m0:"}});
    static auto* names = new std::deque<std::string>;
    const char* target = names->emplace_back(prefix + "0").c_str();
    auto start = Clock::now();
    factories->emplace_back().add(synthetic);
    attach_category(target, "m0:");
    double t = seconds_since(start);
    if (m < 100) first += t;
    if (m >= n - 100) last += t;
  }
  std::printf("%.9f %.9f\n", last, first);
}

// A chain of n classes in one module, subclass first or in order.
void chain_child(long n, bool reversed) {
  std::vector<bench::SyntheticClass> synthetic;
  for (long i = 0; i < n; ++i)
    synthetic.push_back(
        {"Chain" + std::to_string(i), i == 0 ? "" : "Chain" + std::to_string(i - 1), {"m0:"}});
  if (reversed) std::reverse(synthetic.begin(), synthetic.end());
  bench::ClassFactory factory;
  auto start = Clock::now();
  std::vector<Class> classes = factory.add(synthetic);
  double t = seconds_since(start);
  if (objc_getClass(("Chain" + std::to_string(n - 1)).c_str()) == Nil) std::exit(1);
  std::printf("%.9f\n", t);
}

// 1,000 classes, one module each: what orphans must not slow down. Not
// inlined, so that scripts/bench-instructions can count it.
[[gnu::noinline]] void register_later_classes(bench::ClassFactory& factory) {
  for (int i = 0; i < 1000; ++i) factory.add({{"Later" + std::to_string(i), "", {"m0:"}}});
}

// n classes waiting for a superclass that never comes and n categories
// waiting for a class that never comes, then 1,000 classes registered one
// module each: prints their seconds.
void orphans_child(long n) {
  bench::ClassFactory factory;
  std::vector<bench::SyntheticClass> orphans;
  for (long i = 0; i < n; ++i)
    orphans.push_back({"Orphan" + std::to_string(i), "Missing" + std::to_string(i), {}});
  if (n > 0) factory.add(orphans);
  static auto* names = new std::deque<std::string>;
  for (long i = 0; i < n; ++i)
    attach_category(names->emplace_back("Absent" + std::to_string(i)).c_str(), "m0:");
  auto start = Clock::now();
  register_later_classes(factory);
  std::printf("%.9f\n", seconds_since(start));
}

// n classes, each registered as a subclass of the class named PoseName at
// that moment and posing as it, then sent one message: prints the
// seconds per pose.
void pose_child(long n) {
  bench::ClassFactory factory;
  factory.add({{"PoseName", "", bench::ClassFactory::method_names("m", 8)}});
  auto start = Clock::now();
  for (long i = 0; i < n; ++i) {
    Class poser = factory.add({{"Poser" + std::to_string(i), "PoseName", {}}}).front();
    class_poseAs(poser, objc_getClass("PoseName"));
    id object = class_createInstance(objc_getClass("PoseName"), 0);
    benchmark::DoNotOptimize(msg<int>(object, SELECTOR(m3:), 1));
  }
  std::printf("%.9f\n", seconds_since(start) / static_cast<double>(n));
}

int run_child(const char* kind, long n) {
  if (std::strcmp(kind, "category") == 0)
    category_child(n);
  else if (std::strcmp(kind, "memory") == 0)
    memory_child(n);
  else if (std::strcmp(kind, "modules") == 0)
    modules_child(n);
  else if (std::strcmp(kind, "chain-reversed") == 0)
    chain_child(n, true);
  else if (std::strcmp(kind, "chain-in-order") == 0)
    chain_child(n, false);
  else if (std::strcmp(kind, "orphans") == 0)
    orphans_child(n);
  else if (std::strcmp(kind, "pose") == 0)
    pose_child(n);
  else
    return 2;
  return 0;
}

// Runs the child and sets the iteration time to its field-th figure.
void Measure(benchmark::State& state, const char* kind, int field) {
  long n = state.range(0);
  std::string command = std::string("'") + g_self + "' --child " + kind + " " + std::to_string(n);
  for ([[maybe_unused]] auto _ : state) {
    double figures[3] = {0, 0, 0};
    std::FILE* child = popen(command.c_str(), "r");
    int read =
        child != nullptr ? std::fscanf(child, "%lf %lf %lf", &figures[0], &figures[1], &figures[2]) : 0;
    if (child == nullptr || pclose(child) != 0 || read <= field) {
      state.SkipWithError("the child process failed");
      return;
    }
    state.SetIterationTime(figures[field]);
  }
}

}  // namespace

// Per category, beside n warm unrelated classes; n = 0 is the baseline.
BENCHMARK_CAPTURE(Measure, Category, "category", 0)->Arg(0)->Arg(10000)->UseManualTime()->Iterations(5);
// 40,000 sends to the unrelated classes after the categories, and before.
BENCHMARK_CAPTURE(Measure, SendsAfterCategories, "category", 1)->Arg(10000)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(Measure, SendsBeforeCategories, "category", 2)->Arg(10000)->UseManualTime()->Iterations(5);
// Largest heap growth of one category-and-re-send cycle, in bytes shown
// as seconds, and the time of one cycle.
BENCHMARK_CAPTURE(Measure, HeapGrowthPerCycle, "memory", 0)->Arg(10000)->UseManualTime()->Iterations(3);
BENCHMARK_CAPTURE(Measure, CategoryAndResendCycle, "memory", 1)->Arg(10000)->UseManualTime()->Iterations(3);
BENCHMARK_CAPTURE(Measure, ModulesLast100, "modules", 0)->Arg(2000)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(Measure, ModulesFirst100, "modules", 1)->Arg(2000)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(Measure, ChainReversed, "chain-reversed", 0)->Arg(4000)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(Measure, ChainInOrder, "chain-in-order", 0)->Arg(4000)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(Measure, ClassesAfterOrphans, "orphans", 0)
    ->Arg(0)
    ->Arg(1000)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(Measure, PerPose, "pose", 0)->Arg(1000)->Arg(4000)->UseManualTime()->Iterations(5);

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return run_child(argv[2], std::atol(argv[3]));
  g_self = argv[0];
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
