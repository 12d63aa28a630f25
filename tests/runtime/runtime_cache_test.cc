// The dispatch caches beyond a plain hit: which caches a category touches,
// how much memory caches keep across refreshes, respondsToSelector:
// answered from the cache (negative answers included), and pending classes
// and categories found by the name they wait for.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "../../platform/runtime/src/threads.h"
#include "objc/module.h"

namespace {

template <class F>
objc_method_def method(const char* name, F fn) noexcept {
  return {name, objc_imp(+fn)};
}

// Records, definitions, names and objects live for the process, as the
// runtime expects; kept here so that leak checkers see them reachable.
template <class T>
std::deque<T>& kept() {
  static auto* items = new std::deque<T>;
  return *items;
}

const char* keep_name(std::string name) { return kept<std::string>().emplace_back(std::move(name)).c_str(); }

id keep_instance(Class cls) { return kept<id>().emplace_back(class_createInstance(cls, 0)); }

struct Module {
  std::vector<objc_class_def*> classes;
  std::vector<const objc_category_def*> categories;
  objc_module_record record{};
};

void register_module(std::vector<objc_class_def*> classes,
                     std::vector<const objc_category_def*> categories = {}) {
  Module& m = kept<Module>().emplace_back(Module{std::move(classes), std::move(categories)});
  m.record = {OBJC_MODULE_VERSION,
              "CacheTest",
              m.classes.data(),
              static_cast<uint32_t>(m.classes.size()),
              m.categories.data(),
              static_cast<uint32_t>(m.categories.size()),
              nullptr,
              0};
  __objc_execClass(&m.record);
  objc_register_header("cache-test");
  objc_finish_header();
}

objc_class_def* class_def(const std::string& name, const char* super,
                          objc_method_list instance = objc_no_methods,
                          objc_method_list klass = objc_no_methods) {
  return &kept<objc_class_def>().emplace_back(
      objc_class_def{keep_name(name), super, sizeof(objc_object), klass, instance, Nil});
}

objc_method_def original[] = {
    method("who", [](id, SEL) { return 1; }),
    method("other", [](id, SEL) { return 5; }),
};
objc_method_def original_class[] = {method("kind", [](id, SEL) { return 1; })};
objc_method_def replacement[] = {method("who", [](id, SEL) { return 2; })};
objc_method_def replacement_class[] = {method("kind", [](id, SEL) { return 2; })};

// A root class whose methods PREFIX0, PREFIX1, ... (kFamilyMethods of
// them) all answer 7, with subclasses SUBCLASS0, SUBCLASS1, ..., in one
// module: an instance of the root, then one of each subclass.
constexpr int kFamilyMethods = 20;

struct Family {
  std::vector<id> objects;
  std::vector<SEL> selectors;
  // Sends every method to each object, as a warm cache would hold them.
  void send_all(const std::vector<id>& to) const {
    for (id object : to)
      for (SEL sel : selectors) ASSERT_EQ(msg<int>(object, sel), 7);
  }
};

Family register_family(const std::string& root, const std::string& method_prefix, int subclasses) {
  auto& methods = kept<std::vector<objc_method_def>>().emplace_back();
  Family family;
  for (int i = 0; i < kFamilyMethods; ++i) {
    methods.push_back({keep_name(method_prefix + std::to_string(i)), objc_imp(+[](id, SEL) { return 7; })});
    family.selectors.push_back(sel_registerName(methods.back().name));
  }
  std::vector<objc_class_def*> classes = {
      class_def(root, nullptr, {methods.data(), static_cast<uint32_t>(methods.size())})};
  for (int i = 0; i < subclasses; ++i)
    classes.push_back(class_def(root + "Sub" + std::to_string(i), root.c_str()));
  register_module(classes);
  for (objc_class_def* def : classes) family.objects.push_back(keep_instance(def->cls));
  return family;
}

bool slot_holds(Class cls, SEL sel) {
  objc_cache* cache = cls->cache.load();
  for (uint32_t i = 0; i <= cache->header().mask; ++i)
    if (cache->slots()[i].sel.load() == sel) return true;
  return false;
}

// A category on a class changes what it, its subclasses and their
// metaclasses find, and touches no other class's cache.
TEST(CacheRefresh, ACategoryRefreshesItsClassFamilyOnlyAndLeavesOthersCached) {
  register_module({class_def("FamRoot", nullptr, objc_methods(original), objc_methods(original_class)),
                   class_def("FamMid", "FamRoot"), class_def("FamLeaf", "FamMid"),
                   class_def("FamSibling", "FamRoot"),
                   class_def("Unrelated", nullptr, objc_methods(original), objc_methods(original_class))});
  std::vector<id> objects;
  for (const char* name : {"FamRoot", "FamMid", "FamLeaf", "FamSibling", "Unrelated"}) {
    objects.push_back(keep_instance(objc_getClass(name)));
    EXPECT_EQ(msg<int>(objects.back(), SELECTOR(who)), 1);
    EXPECT_EQ(msg<int>(objects.back(), SELECTOR(other)), 5);
    EXPECT_EQ(msg<int>(objc_getClass(name), SELECTOR(kind)), 1);
  }
  Class unrelated = objc_getClass("Unrelated");
  objc_cache* unrelated_cache = unrelated->cache.load();
  objc_cache* unrelated_meta_cache = unrelated->isa->cache.load();
  objc_cache* root_cache = objc_getClass("FamRoot")->cache.load();
  objc_cache_statistics before = objc_getCacheStatistics();

  static objc_category_def cat = {"FamMid", "Replace", objc_methods(replacement_class),
                                  objc_methods(replacement)};
  register_module({}, {&cat});

  EXPECT_EQ(msg<int>(objects[0], SELECTOR(who)), 1);  // the superclass is not extended
  EXPECT_EQ(msg<int>(objects[1], SELECTOR(who)), 2);
  EXPECT_EQ(msg<int>(objects[2], SELECTOR(who)), 2);  // inherited through the extended class
  EXPECT_EQ(msg<int>(objects[3], SELECTOR(who)), 1);
  EXPECT_EQ(msg<int>(objects[2], SELECTOR(other)), 5);
  EXPECT_EQ(msg<int>(objc_getClass("FamLeaf"), SELECTOR(kind)), 2);
  EXPECT_EQ(msg<int>(objc_getClass("FamRoot"), SELECTOR(kind)), 1);
  // Unrelated classes keep their caches and what is in them.
  EXPECT_EQ(unrelated->cache.load(), unrelated_cache);
  EXPECT_EQ(unrelated->isa->cache.load(), unrelated_meta_cache);
  EXPECT_TRUE(slot_holds(unrelated, SELECTOR(who)));
  EXPECT_EQ(objc_getClass("FamRoot")->cache.load(), root_cache);
  // Refreshing in place retires no cache.
  EXPECT_EQ(objc_getCacheStatistics().retired_bytes, before.retired_bytes);
}

// Categories on a root class followed by sends that use every cached
// selector again: cache memory stops growing once each class's cache has
// reached its size, and what growth retired stays below what is live.
TEST(CacheRefresh, RepeatedCategoriesDoNotGrowCacheMemory) {
  Family family = register_family("MemRoot", "m", 200);
  auto send_all = [&] { family.send_all(family.objects); };
  send_all();
  objc_cache_statistics warm = objc_getCacheStatistics();
  EXPECT_LT(warm.retired_bytes, warm.live_bytes);
  for (int cycle = 0; cycle < 5; ++cycle) {
    register_module({}, {&kept<objc_category_def>().emplace_back(objc_category_def{
                            "MemRoot", "Again", objc_no_methods, objc_methods(replacement)})});
    send_all();
    objc_cache_statistics now = objc_getCacheStatistics();
    EXPECT_EQ(now.live_bytes, warm.live_bytes) << cycle;
    EXPECT_EQ(now.retired_bytes, warm.retired_bytes) << cycle;
  }
}

// Caches outgrown while another thread runs are kept, since it may be
// probing any of them; once the process is back to one thread, the next
// check frees what was retired. Under ThreadSanitizer, or where the system
// gives every process threads of its own, only the first half can run.
TEST(CacheMemory, OutgrownCachesAreFreedOnlyWhileTheProcessHasOneThread) {
  bool can_be_alone = objc::os::only_thread();
  constexpr int kHalf = 500;
  Family family = register_family("GrowRoot", "g", 2 * kHalf);
  std::vector<id> first(family.objects.begin() + 1, family.objects.begin() + 1 + kHalf);
  std::vector<id> second(family.objects.begin() + 1 + kHalf, family.objects.end());
  for (id object : first) ASSERT_EQ(msg<int>(object, SELECTOR(g0)), 7);

  // The reader probes the first half's caches while the second half's
  // grow and retire, past the first check.
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop.load())
      for (id object : first) ASSERT_EQ(msg<int>(object, SELECTOR(g0)), 7);
  });
  family.send_all(second);
  size_t retired_with_a_reader = objc_getCacheStatistics().retired_bytes;
  EXPECT_GT(retired_with_a_reader, 64u * 1024) << "freed while another thread could be probing";
  stop.store(true);
  reader.join();
  // A joined thread can linger in the system's thread list for a moment;
  // a sanitizer's thread, started with the first thread of the test's,
  // stays.
  for (int i = 0; can_be_alone && i < 2000 && !objc::os::only_thread(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!can_be_alone || !objc::os::only_thread())
    GTEST_SKIP() << "this process does not get back to one thread (a sanitizer's or the system's threads)";

  family.send_all(first);  // retires as much again, and reaches the next check
  EXPECT_LT(objc_getCacheStatistics().retired_bytes, retired_with_a_reader);
}

// respondsToSelector: caches both answers. A cached "no" must not change
// what a send of that selector does, and a method added later turns it
// into "yes".
TEST(RespondsToSelector, CachedAnswersFollowCategoriesAndKeepTheUnrecognizedPath) {
  register_module({class_def("AskRoot", nullptr, objc_methods(original)), class_def("AskSub", "AskRoot")});
  Class sub = objc_getClass("AskSub");
  id object = keep_instance(sub);
  EXPECT_FALSE(class_respondsToSelector(sub, SELECTOR(extra)));  // not initialised yet: not cached
  EXPECT_EQ(msg<int>(object, SELECTOR(who)), 1);                 // initialises the class
  EXPECT_TRUE(class_respondsToSelector(sub, SELECTOR(who)));
  EXPECT_TRUE(class_respondsToSelector(sub, SELECTOR(other)));
  EXPECT_FALSE(class_respondsToSelector(sub, SELECTOR(extra)));
  EXPECT_TRUE(slot_holds(sub, SELECTOR(extra)));  // the negative answer is cached
  EXPECT_FALSE(class_respondsToSelector(sub, SELECTOR(extra)));
  // A root metaclass inherits from its root class: instance methods of the
  // root answer class messages too.
  EXPECT_TRUE(class_respondsToSelector(sub->isa, SELECTOR(who)));
  EXPECT_FALSE(class_respondsToSelector(sub->isa, SELECTOR(extra)));
  EXPECT_DEATH(msg<void>(object, SELECTOR(extra)), "-\\[AskSub extra\\]: unrecognized selector");

  static objc_method_def extra[] = {method("extra", [](id, SEL) { return 9; })};
  static objc_category_def cat = {"AskRoot", "Extra", objc_no_methods, objc_methods(extra)};
  register_module({}, {&cat});
  EXPECT_TRUE(class_respondsToSelector(sub, SELECTOR(extra)));
  EXPECT_EQ(msg<int>(object, SELECTOR(extra)), 9);
}

// A chain registered subclass first resolves link by link as each
// superclass arrives; classes waiting for a name that never comes stay
// out of the way; a category waits for its class by name.
TEST(Pending, ReversedChainOrphansAndWaitingCategoriesResolveByName) {
  constexpr int kDepth = 500;
  std::vector<objc_class_def*> reversed;
  for (int i = kDepth - 1; i > 0; --i)
    reversed.push_back(class_def("Chain" + std::to_string(i), keep_name("Chain" + std::to_string(i - 1))));
  reversed.push_back(class_def("Orphan", "NeverRegistered"));
  static objc_category_def waiting = {"Chain0", "Waiting", objc_no_methods, objc_methods(replacement)};
  register_module(reversed, {&waiting});
  EXPECT_EQ(objc_getClass("Chain1"), Nil);
  register_module({class_def("Chain0", nullptr, objc_methods(original))});
  for (int i = 1; i < kDepth; ++i) {
    Class cls = objc_getClass(("Chain" + std::to_string(i)).c_str());
    ASSERT_NE(cls, Nil) << i;
    ASSERT_EQ(class_getSuperclass(cls), objc_getClass(("Chain" + std::to_string(i - 1)).c_str())) << i;
  }
  id leaf = keep_instance(objc_getClass(("Chain" + std::to_string(kDepth - 1)).c_str()));
  EXPECT_EQ(msg<int>(leaf, SELECTOR(who)), 2);  // the category reached Chain0 when it arrived
  EXPECT_EQ(msg<int>(leaf, SELECTOR(other)), 5);
  EXPECT_EQ(objc_getClass("Orphan"), Nil);
  register_module({class_def("NeverRegistered", nullptr)});
  ASSERT_NE(objc_getClass("Orphan"), Nil);
  EXPECT_EQ(class_getSuperclass(objc_getClass("Orphan")), objc_getClass("NeverRegistered"));
}

}  // namespace
