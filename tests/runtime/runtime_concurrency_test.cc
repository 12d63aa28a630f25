// The runtime's tables under concurrency. Sender threads send cached and
// uncached messages (instance and class methods, super sends, first sends
// that run initialize and fill caches) and look classes and selectors up by
// name, while a writer thread registers records in rounds (subclasses of
// the classes being sent to, a category waiting for its class, categories
// that replace methods and so flush every cache) and loads a module. Every
// send must find the right implementation throughout, and a class name must
// yield nil or the complete class, never anything between. The assertions
// hold whatever the interleaving; ThreadSanitizer (SANITIZE=thread
// scripts/test) also checks the memory accesses behind them.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "loader.h"
#include "objc/module.h"

namespace {

constexpr int kSenders = 4;
constexpr int kRounds = 12;
// Plain classes each round adds; together they take the class table past
// its first size while it is being read.
constexpr int kBulk = 24;
// Passes each sender makes once the writer has finished.
constexpr int kPassesAfter = 40;
// Passes every sender makes between two rounds, so that each round lands
// among sends.
constexpr int kPassesPerRound = 3;

id object_of(Class cls) { return reinterpret_cast<id>(cls); }

// --- ConcBase and ConcMid, registered before the threads start ---------
// ConcBase: value -> 10, tag -> 0, +kind -> 1, +flavor -> 0.
// ConcMid : ConcBase: value -> super + 5, +kind -> super * 3.
// Round r's categories replace tag on ConcBase and +flavor on ConcMid by
// methods returning r.

template <int N>
int number(id, SEL) {
  return N;
}

int ConcMid_value(id self, SEL sel);
int ConcMid_kind(id self, SEL sel);

objc_method_def base_instance[] = {{"value", objc_imp(&number<10>)}, {"tag", objc_imp(&number<0>)}};
objc_method_def base_class[] = {{"kind", objc_imp(&number<1>)}, {"flavor", objc_imp(&number<0>)}};
objc_method_def mid_instance[] = {{"value", objc_imp(&ConcMid_value)}};
objc_method_def mid_class[] = {{"kind", objc_imp(&ConcMid_kind)}};
objc_class_def base_def = {
    "ConcBase", nullptr, sizeof(objc_object), objc_methods(base_class), objc_methods(base_instance), Nil};
objc_class_def mid_def = {
    "ConcMid", "ConcBase", sizeof(objc_object), objc_methods(mid_class), objc_methods(mid_instance), Nil};

int ConcMid_value(id self, SEL sel) { return msgSuper<int>(objc_super_of(self, mid_def), sel) + 5; }
int ConcMid_kind(id self, SEL sel) { return msgSuper<int>(objc_super_of_class(self, mid_def), sel) * 3; }

// --- The rounds -------------------------------------------------------
// Round r registers, as one module of two records:
//   record 1: a category on ConcRound<r>Sub adding extra -> 7r, which waits
//             for its class;
//   record 2: ConcRound<r>Leaf : ConcRound<r>Sub (listed first, so it waits
//             for its superclass), ConcRound<r>Sub : ConcMid with
//             value -> super + 100r and an initialize, kBulk plain classes
//             ConcRound<r>Bulk<j> : ConcBase, and the categories on ConcBase
//             and ConcMid.

struct InitializeLog {
  std::array<std::atomic<int>, 2> runs{};   // [0] the Sub, [1] the Leaf
  std::array<std::atomic<bool>, 2> done{};  // set as initialize returns
};
std::array<InitializeLog, kRounds + 1> initialize_log;
std::atomic<int> methods_before_initialize{0};

struct Round {
  std::string sub_name, leaf_name, absent_name;
  std::vector<std::string> bulk_names;
  objc_method_def sub_instance[1], sub_class[1], sub_extra[1], base_tag[1], mid_flavor[1];
  objc_class_def sub{}, leaf{};
  std::vector<objc_class_def> bulk;
  objc_category_def on_sub{}, on_base{}, on_mid{};
  std::vector<objc_class_def*> classes;
  std::vector<const objc_category_def*> first_categories, second_categories;
  objc_module_record first{}, second{};
};
// [r] for r in 1...kRounds; [0] unused.
std::deque<Round>& rounds() {
  static std::deque<Round> all;
  return all;
}

template <int R>
void ConcRoundSub_initialize(id self, SEL) {
  InitializeLog& log = initialize_log[R];
  int which = reinterpret_cast<Class>(self) == rounds()[R].sub.cls ? 0 : 1;
  log.runs[which].fetch_add(1);
  // A message from the class's own initialize goes ahead.
  msg<int>(self, SELECTOR(flavor));
  log.done[which].store(true, std::memory_order_release);
}

template <int R>
int ConcRoundSub_value(id self, SEL sel) {
  int which = self->isa == rounds()[R].sub.cls ? 0 : 1;
  if (!initialize_log[R].done[which].load(std::memory_order_acquire)) methods_before_initialize.fetch_add(1);
  return msgSuper<int>(objc_super_of(self, rounds()[R].sub), sel) + 100 * R;
}

template <int R>
void build_round() {
  Round& r = rounds().emplace_back();
  std::string prefix = "ConcRound" + std::to_string(R);
  r.sub_name = prefix + "Sub";
  r.leaf_name = prefix + "Leaf";
  r.absent_name = prefix + "Su";  // a prefix of a registered name
  for (int j = 0; j < kBulk; ++j) r.bulk_names.push_back(prefix + "Bulk" + std::to_string(j));

  r.sub_instance[0] = {"value", objc_imp(&ConcRoundSub_value<R>)};
  r.sub_class[0] = {"initialize", objc_imp(&ConcRoundSub_initialize<R>)};
  r.sub_extra[0] = {"extra", objc_imp(&number<7 * R>)};
  r.base_tag[0] = {"tag", objc_imp(&number<R>)};
  r.mid_flavor[0] = {"flavor", objc_imp(&number<R>)};
  r.sub = {r.sub_name.c_str(),           "ConcMid", sizeof(objc_object), objc_methods(r.sub_class),
           objc_methods(r.sub_instance), Nil};
  r.leaf = {r.leaf_name.c_str(), r.sub_name.c_str(), sizeof(objc_object),
            objc_no_methods,     objc_no_methods,    Nil};
  for (const std::string& name : r.bulk_names)
    r.bulk.push_back({name.c_str(), "ConcBase", sizeof(objc_object), objc_no_methods, objc_no_methods, Nil});
  r.on_sub = {r.sub_name.c_str(), "Extra", objc_no_methods, objc_methods(r.sub_extra)};
  r.on_base = {"ConcBase", "Tag", objc_no_methods, objc_methods(r.base_tag)};
  r.on_mid = {"ConcMid", "Flavor", objc_methods(r.mid_flavor), objc_no_methods};

  r.classes = {&r.leaf, &r.sub};
  for (objc_class_def& def : r.bulk) r.classes.push_back(&def);
  r.first_categories = {&r.on_sub};
  r.second_categories = {&r.on_base, &r.on_mid};
  r.first = {OBJC_MODULE_VERSION, "ConcRoundFirst", nullptr, 0, r.first_categories.data(), 1, nullptr, 0};
  r.second = {OBJC_MODULE_VERSION,
              "ConcRoundSecond",
              r.classes.data(),
              static_cast<uint32_t>(r.classes.size()),
              r.second_categories.data(),
              2,
              nullptr,
              0};
}

template <int... R>
void build_rounds(std::integer_sequence<int, R...>) {
  rounds().emplace_back();
  (build_round<R + 1>(), ...);
}

// --- The shared state ---------------------------------------------------

struct Shared {
  std::atomic<int> rounds_done{0};  // rounds 1...rounds_done are registered
  std::atomic<bool> module_loaded{false};
  std::atomic<bool> finished{false};
  std::array<std::atomic<int>, kSenders> passes{};

  std::mutex failures_lock;
  std::vector<std::string> failures;  // the first few, guarded by failures_lock
  std::atomic<int> failure_count{0};

  void fail(const std::string& what) {
    failure_count.fetch_add(1);
    std::lock_guard guard(failures_lock);
    if (failures.size() < 10) failures.push_back(what);
  }
};

const char* module_path() {
  static const std::string path = [] {
    const char* dir = std::getenv("CORVANE_BUILD_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/ConcurrencyModule/" +
           loader::module_file_name("ConcurrencyModule");
  }();
  return path.c_str();
}

// What an unrecognised selector does here: the sender records it as a
// wrong look-up instead of stopping the process.
[[noreturn]] void throw_unrecognized(id receiver, SEL sel) {
  throw std::runtime_error(std::string("unrecognized selector ") + sel_getName(sel) + " sent to " +
                           class_getName(receiver->isa));
}

// --- The sender ---------------------------------------------------------

class Sender {
 public:
  Sender(Shared& shared, int index) : shared_(shared), index_(index) {
    base_ = objc_getClass("ConcBase");
    mid_ = objc_getClass("ConcMid");
    base_object_ = class_createInstance(base_, 0);
    mid_object_ = class_createInstance(mid_, 0);
  }
  ~Sender() {
    for (id obj : owned_) object_dispose(obj);
    object_dispose(base_object_);
    object_dispose(mid_object_);
  }

  void run() {
    for (int pass = 0, after = 0;; ++pass) {
      bool finished = shared_.finished.load(std::memory_order_acquire);
      try {
        one_pass(pass);
      } catch (const std::exception& e) {
        shared_.fail(e.what());
      }
      shared_.passes[index_].fetch_add(1, std::memory_order_release);
      if (finished && ++after >= kPassesAfter) break;
    }
  }

 private:
  void check(bool ok, const std::string& what) {
    if (!ok) shared_.fail(what);
  }
  void check_value(int got, int want, const char* what) {
    if (got != want)
      shared_.fail(std::string(what) + ": got " + std::to_string(got) + ", want " + std::to_string(want));
  }
  // A method that round r replaces yields r for some r in [before, after + 1]
  // (rounds 1...before were complete when the pass started, round after + 1
  // may be under way as it ends), and never goes back.
  void check_round_number(int got, int before, int after, int& last, const char* what) {
    if (got < before || got > after + 1 || got < last)
      shared_.fail(std::string(what) + ": got " + std::to_string(got) + " between rounds " +
                   std::to_string(before) + " and " + std::to_string(after) + ", after " +
                   std::to_string(last));
    last = got;
  }

  id instance_of(Class cls) {
    for (size_t i = 0; i < owned_classes_.size(); ++i)
      if (owned_classes_[i] == cls) return owned_[i];
    owned_classes_.push_back(cls);
    return owned_.emplace_back(class_createInstance(cls, 0));
  }

  void one_pass(int pass) {
    int before = shared_.rounds_done.load(std::memory_order_acquire);
    bool module_loaded = shared_.module_loaded.load(std::memory_order_acquire);
    int tags[3], flavors[2];

    // Cached sends to the classes in use from the start.
    check_value(msg<int>(base_object_, SELECTOR(value)), 10, "-[ConcBase value]");
    check_value(msg<int>(mid_object_, SELECTOR(value)), 15, "-[ConcMid value]");
    check_value(msgSuper<int>(objc_super{mid_object_, base_}, SELECTOR(value)), 10,
                "super value from ConcMid");
    check_value(msg<int>(object_of(mid_), SELECTOR(kind)), 3, "+[ConcMid kind]");
    check_value(msg<int>(object_of(base_), SELECTOR(flavor)), 0, "+[ConcBase flavor]");
    tags[0] = msg<int>(base_object_, SELECTOR(tag));
    tags[1] = msg<int>(mid_object_, SELECTOR(tag));
    flavors[0] = msg<int>(object_of(mid_), SELECTOR(flavor));
    check(sel_registerName("tag") == SELECTOR(tag), "selector tag looked up by name");

    // A round's classes, looked up by name: nil until the round registers
    // them, then complete.
    // Every other pass watches the round that comes next, so that its
    // classes are looked up while they register; the others go over the
    // rounds already registered.
    int k = pass % 2 == 0 ? std::min(kRounds, before + 1) : 1 + pass / 2 % std::min(kRounds, before + 1);
    const Round& round = rounds()[k];
    // The leaf first: it registers after its superclass, so once it is
    // seen the superclass must be too.
    Class leaf = objc_getClass(round.leaf_name.c_str());
    Class sub = objc_getClass(round.sub_name.c_str());
    check(k > before || (sub != Nil && leaf != Nil), round.sub_name + " or its leaf missing after its round");
    tags[2] = -1;
    flavors[1] = -1;
    if (sub != Nil) {
      check(std::strcmp(class_getName(sub), round.sub_name.c_str()) == 0,
            "wrong class for " + round.sub_name);
      check(class_getSuperclass(sub) == mid_, round.sub_name + " does not inherit from ConcMid");
      id obj = instance_of(sub);
      check_value(msg<int>(obj, SELECTOR(value)), 15 + 100 * k, "-[ConcRoundSub value]");
      check_value(msg<int>(obj, SELECTOR(extra)), 7 * k, "-[ConcRoundSub extra] from its waiting category");
      tags[2] = msg<int>(obj, SELECTOR(tag));
      flavors[1] = msg<int>(object_of(sub), SELECTOR(flavor));
    }
    if (leaf != Nil) {
      check(sub != Nil && class_getSuperclass(leaf) == sub, round.leaf_name + " seen without its superclass");
      check(std::strcmp(class_getName(leaf), round.leaf_name.c_str()) == 0,
            "wrong class for " + round.leaf_name);
      id obj = instance_of(leaf);
      check_value(msg<int>(obj, SELECTOR(value)), 15 + 100 * k, "-[ConcRoundLeaf value]");
      check_value(msg<int>(obj, SELECTOR(extra)), 7 * k, "-[ConcRoundLeaf extra]");
    }
    const std::string& bulk_name = round.bulk_names[pass / 2 % kBulk];
    Class bulk = objc_getClass(bulk_name.c_str());
    check(k > before || bulk != Nil, bulk_name + " missing after its round");
    if (bulk != Nil) {
      check(std::strcmp(class_getName(bulk), bulk_name.c_str()) == 0, "wrong class for " + bulk_name);
      check(class_getSuperclass(bulk) == base_, bulk_name + " does not inherit from ConcBase");
      check_value(msg<int>(object_of(bulk), SELECTOR(kind)), 1, "+[ConcRoundBulk kind]");
    }
    check(objc_getClass(round.absent_name.c_str()) == Nil, round.absent_name + " found but never registered");
    check(objc_getClass("ConcAbsent") == Nil, "ConcAbsent found but never registered");

    // The loaded module's class and category.
    Class module_sub = objc_getClass("ConcModuleSub");
    check(!module_loaded || module_sub != Nil, "ConcModuleSub missing after its module loaded");
    if (module_sub != Nil) {
      check(class_getSuperclass(module_sub) == mid_, "ConcModuleSub does not inherit from ConcMid");
      check_value(msg<int>(instance_of(module_sub), SELECTOR(value)), 1015, "-[ConcModuleSub value]");
    }
    if (module_loaded) {
      check_value(msg<int>(mid_object_, SELECTOR(moduleAnswer)), 42,
                  "-[ConcMid moduleAnswer] from the module");
      check_value(msg<int>(object_of(module_sub), SELECTOR(kindSeenAtLoad)), 3,
                  "+[ConcModuleSub kindSeenAtLoad]");
    }

    int after = shared_.rounds_done.load(std::memory_order_acquire);
    for (int tag : tags)
      if (tag != -1) check_round_number(tag, before, after, last_tag_, "tag");
    for (int flavor : flavors)
      if (flavor != -1) check_round_number(flavor, before, after, last_flavor_, "+flavor");
  }

  Shared& shared_;
  int index_;
  Class base_, mid_;
  id base_object_, mid_object_;
  std::vector<Class> owned_classes_;
  std::vector<id> owned_;
  int last_tag_ = 0, last_flavor_ = 0;
};

// --- The writer ---------------------------------------------------------

// Waits until every sender has made `passes` more passes than `from`, or
// until a generous deadline, so that each change lands among sends.
void wait_for_senders(Shared& shared, const std::array<int, kSenders>& from, int passes) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (int i = 0; i < kSenders; ++i)
    while (shared.passes[i].load(std::memory_order_acquire) < from[i] + passes &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
}

std::array<int, kSenders> passes_now(Shared& shared) {
  std::array<int, kSenders> now;
  for (int i = 0; i < kSenders; ++i) now[i] = shared.passes[i].load(std::memory_order_acquire);
  return now;
}

void write(Shared& shared) {
  wait_for_senders(shared, {}, kPassesPerRound);
  for (int r = 1; r <= kRounds; ++r) {
    auto from = passes_now(shared);
    __objc_execClass(&rounds()[r].first);
    __objc_execClass(&rounds()[r].second);
    objc_register_header(("concurrency-round-" + std::to_string(r)).c_str());
    objc_finish_header();
    shared.rounds_done.store(r, std::memory_order_release);
    if (r == kRounds / 2) {
      char error[512] = "";
      if (objc_loadModule(module_path(), error, sizeof error))
        shared.module_loaded.store(true, std::memory_order_release);
      else
        shared.fail(error);
    }
    wait_for_senders(shared, from, kPassesPerRound);
  }
  shared.finished.store(true, std::memory_order_release);
}

TEST(Concurrency, SendsStayCorrectWhileRecordsRegisterAndAModuleLoads) {
  objc_setUnrecognizedSelectorHandler(&throw_unrecognized);
  build_rounds(std::make_integer_sequence<int, kRounds>());
  objc_class_def* start_classes[] = {&base_def, &mid_def};
  objc_module_record start = {OBJC_MODULE_VERSION, "ConcStart", start_classes, 2, nullptr, 0, nullptr, 0};
  __objc_execClass(&start);
  objc_register_header("concurrency-start");
  objc_finish_header();
  size_t classes_before = objc_getClassCount();

  Shared shared;
  std::vector<std::thread> threads;
  {
    std::deque<Sender> senders;
    for (int i = 0; i < kSenders; ++i) senders.emplace_back(shared, i);
    for (Sender& sender : senders) threads.emplace_back([&sender] { sender.run(); });
    threads.emplace_back([&shared] { write(shared); });
    for (std::thread& t : threads) t.join();
  }

  EXPECT_EQ(shared.failure_count.load(), 0);
  for (const std::string& failure : shared.failures) ADD_FAILURE() << failure;
  EXPECT_EQ(methods_before_initialize.load(), 0) << "a method ran before its class's initialize returned";
  EXPECT_TRUE(shared.module_loaded.load());

  // Afterwards every class and method that was registered is reachable.
  EXPECT_EQ(objc_getClassCount(), classes_before + size_t{kRounds} * (2 + kBulk) + 1);
  Class mid = objc_getClass("ConcMid");
  id mid_object = class_createInstance(mid, 0);
  EXPECT_EQ(msg<int>(mid_object, SELECTOR(tag)), kRounds);
  EXPECT_EQ(msg<int>(object_of(mid), SELECTOR(flavor)), kRounds);
  EXPECT_EQ(msg<int>(mid_object, SELECTOR(moduleAnswer)), 42);
  object_dispose(mid_object);
  for (int r = 1; r <= kRounds; ++r) {
    SCOPED_TRACE("round " + std::to_string(r));
    Class sub = objc_getClass(rounds()[r].sub_name.c_str());
    Class leaf = objc_getClass(rounds()[r].leaf_name.c_str());
    ASSERT_NE(sub, Nil);
    ASSERT_NE(leaf, Nil);
    EXPECT_EQ(sub, rounds()[r].sub.cls);
    EXPECT_EQ(class_getSuperclass(leaf), sub);
    for (Class cls : {sub, leaf}) {
      id obj = class_createInstance(cls, 0);
      EXPECT_EQ(msg<int>(obj, SELECTOR(value)), 15 + 100 * r);
      EXPECT_EQ(msg<int>(obj, SELECTOR(extra)), 7 * r);
      object_dispose(obj);
    }
    // Each ran initialize exactly once, however many threads sent it its
    // first message.
    EXPECT_EQ(initialize_log[r].runs[0].load(), 1);
    EXPECT_EQ(initialize_log[r].runs[1].load(), 1);
    for (const std::string& name : rounds()[r].bulk_names)
      EXPECT_NE(objc_getClass(name.c_str()), Nil) << name;
  }
  Class module_sub = objc_getClass("ConcModuleSub");
  ASSERT_NE(module_sub, Nil);
  EXPECT_NE(std::string(class_getModulePath(module_sub)).find("ConcurrencyModule"), std::string::npos);
  EXPECT_EQ(msg<int>(object_of(module_sub), SELECTOR(kindSeenAtLoad)), 3);
}

// A class's initialize may wait for another thread that sends a first
// message to an unrelated class: initialising one class does not hold up
// another's.
objc_class_def waiting_def, other_def;
std::atomic<bool> other_sent{false};
std::atomic<bool> waited_for_other{false};
std::thread other_sender;

// Starts a thread that sends ConcOther its first message and waits, up to
// a deadline, for that send to return. The thread is joined by the test,
// not here, so that a runtime that makes it wait fails instead of hanging.
void ConcWaiting_initialize(id, SEL) {
  other_sender = std::thread([] {
    msg<int>(object_of(objc_getClass("ConcOther")), SELECTOR(kind));
    other_sent.store(true);
  });
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!other_sent.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  waited_for_other.store(other_sent.load());
}

TEST(Concurrency, InitializeOfOneClassDoesNotHoldUpAnother) {
  static objc_method_def waiting_class[] = {{"initialize", objc_imp(&ConcWaiting_initialize)},
                                            {"kind", objc_imp(&number<2>)}};
  static objc_method_def other_class[] = {{"kind", objc_imp(&number<4>)}};
  waiting_def = {"ConcWaiting",   nullptr, sizeof(objc_object), objc_methods(waiting_class),
                 objc_no_methods, Nil};
  other_def = {"ConcOther", nullptr, sizeof(objc_object), objc_methods(other_class), objc_no_methods, Nil};
  objc_class_def* classes[] = {&waiting_def, &other_def};
  objc_module_record record = {OBJC_MODULE_VERSION, "ConcInitialize", classes, 2, nullptr, 0, nullptr, 0};
  __objc_execClass(&record);
  objc_register_header("concurrency-initialize");
  objc_finish_header();

  EXPECT_EQ(msg<int>(object_of(objc_getClass("ConcWaiting")), SELECTOR(kind)), 2);
  other_sender.join();
  EXPECT_TRUE(waited_for_other.load()) << "the first send to ConcOther waited for ConcWaiting's initialize";
  EXPECT_EQ(msg<int>(object_of(objc_getClass("ConcOther")), SELECTOR(kind)), 4);
}

}  // namespace

// Caches read without a lock while they grow (each reader fills new
// selectors) and while categories change what their slots hold: every send
// finds the old or the new implementation, respondsToSelector: never
// answers wrongly, and the caches retired by growth stay below the live
// ones (nothing is freed that a reader might hold, and nothing piles up).
TEST(Concurrency, CachesRefreshedAndGrownUnderLockFreeReaders) {
  constexpr int kMethods = 64, kSubclasses = 8, kCategories = 200;
  static std::deque<std::string> names;
  static std::vector<objc_method_def> methods;
  methods.reserve(kMethods);
  for (int i = 0; i < kMethods; ++i)
    methods.push_back({names.emplace_back("grow" + std::to_string(i)).c_str(), objc_imp(&number<1>)});
  static objc_class_def root = {"GrowRoot", nullptr, 0, objc_no_methods, {methods.data(), kMethods}, Nil};
  static std::deque<objc_class_def> subs;
  static std::vector<objc_class_def*> defs = {&root};
  defs.reserve(1 + kSubclasses);
  for (int i = 0; i < kSubclasses; ++i)
    defs.push_back(
        &subs.emplace_back(objc_class_def{names.emplace_back("GrowSub" + std::to_string(i)).c_str(),
                                          "GrowRoot", 0, objc_no_methods, objc_no_methods, Nil}));
  static objc_module_record record = {
      OBJC_MODULE_VERSION, "Grow", defs.data(), static_cast<uint32_t>(defs.size()), nullptr, 0, nullptr, 0};
  __objc_execClass(&record);
  objc_register_header("grow");
  objc_finish_header();
  static std::vector<id> objects;
  objects.reserve(defs.size());
  for (objc_class_def* def : defs) objects.push_back(class_createInstance(def->cls, 0));
  std::vector<SEL> sels;
  sels.reserve(methods.size());
  for (const objc_method_def& m : methods) sels.push_back(sel_registerName(m.name));
  SEL missing = sel_registerName("growMissing");

  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  readers.reserve(kSenders);
  for (int t = 0; t < kSenders; ++t) {
    readers.emplace_back([&, t] {
      // Each reader starts on a different subclass, so caches fill from
      // several threads at once.
      for (int pass = 0; !done.load() || pass < 4; ++pass) {
        for (size_t i = 0; i < objects.size(); ++i) {
          id object = objects[(i + static_cast<size_t>(t)) % objects.size()];
          for (SEL sel : sels) {
            int got = msg<int>(object, sel);
            if (got != 1 && got != 2) wrong.fetch_add(1);
          }
          if (!class_respondsToSelector(object->isa, sels[static_cast<size_t>(pass) % kMethods]) ||
              class_respondsToSelector(object->isa, missing))
            wrong.fetch_add(1);
        }
      }
    });
  }
  static std::deque<objc_method_def> replaced;
  static std::deque<objc_category_def> categories;
  static std::deque<objc_module_record> records;
  static std::deque<const objc_category_def*> lists;
  for (int c = 0; c < kCategories; ++c) {
    objc_method_def& m =
        replaced.emplace_back(objc_method_def{methods[c % kMethods].name, objc_imp(&number<2>)});
    lists.push_back(
        &categories.emplace_back(objc_category_def{"GrowRoot", "Grow", objc_no_methods, {&m, 1}}));
    records.push_back({OBJC_MODULE_VERSION, "GrowCategory", nullptr, 0, &lists.back(), 1, nullptr, 0});
    __objc_execClass(&records.back());
    objc_register_header("grow-category");
    objc_finish_header();
  }
  done.store(true);
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  for (id object : objects)
    for (SEL sel : sels) EXPECT_EQ(msg<int>(object, sel), 2);
  objc_cache_statistics stats = objc_getCacheStatistics();
  EXPECT_LT(stats.retired_bytes, stats.live_bytes);
  for (id object : objects) object_dispose(object);
}
