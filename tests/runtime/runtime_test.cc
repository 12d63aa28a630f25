// The object runtime on its own: dispatch, nil sends, super sends, posing,
// categories and their pending queue, load and initialize, module loading.
// Classes are defined here with records handed to the runtime the way a
// module's start-up code does it; names are unique per test so that the
// binary can also run every test in one process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loader.h"
#include "objc/module.h"

namespace {

std::vector<std::string> events;

template <class F>
objc_method_def method(const char* name, F fn) noexcept {
  return {name, objc_imp(+fn)};
}

struct Layout : objc_object {
  int32_t value;
};

id alloc(Class cls) { return class_createInstance(cls, 0); }

// Class names live as long as the process, as the runtime expects.
const char* keep_name(std::string name) {
  static auto* names = new std::vector<std::string*>;
  return names->emplace_back(new std::string(std::move(name)))->c_str();
}

// Registers the given records as one module, then finishes it.
void register_module(const char* path, const std::vector<objc_module_record*>& records) {
  for (objc_module_record* r : records) __objc_execClass(r);
  objc_register_header(path);
  objc_finish_header();
}

objc_module_record record(const char* unit, std::vector<objc_class_def*>& classes,
                          std::vector<const objc_category_def*> categories = {}) {
  static std::vector<std::vector<const objc_category_def*>> keep;
  keep.push_back(std::move(categories));
  return {OBJC_MODULE_VERSION,
          unit,
          classes.data(),
          static_cast<uint32_t>(classes.size()),
          keep.back().data(),
          static_cast<uint32_t>(keep.back().size()),
          nullptr,
          0};
}

objc_method_def base_instance[] = {
    method("value", [](id, SEL) -> int { return 10; }),
    method("name", [](id, SEL) -> const char* { return "base"; }),
};
objc_method_def base_class[] = {
    method("kind", [](id, SEL) -> int { return 1; }),
};

// A root class "<prefix>Base" with value -> 10, name -> "base", +kind -> 1.
objc_class_def make_base(const char* name) {
  return {name, nullptr, sizeof(Layout), objc_methods(base_class), objc_methods(base_instance), Nil};
}

TEST(Dispatch, NilReceiverYieldsZeroOfEveryKind) {
  SEL sel = sel_registerName("anything:");
  EXPECT_EQ(msg<id>(nil, sel, 1), nil);
  EXPECT_EQ(msg<int>(nil, sel, 1), 0);
  EXPECT_EQ(msg<BOOL>(nil, sel, 1), NO);
  EXPECT_EQ(msg<double>(nil, sel, 1), 0.0);
  EXPECT_EQ(msg<const char*>(nil, sel, 1), nullptr);
  msg<void>(nil, sel, 1);
  objc_super sup{nil, Nil};
  EXPECT_EQ(msgSuper<int>(sup, sel), 0);
}

TEST(Dispatch, SelectorsAreInternedAndCallSitesAgree) {
  std::string name = "compose:with:";
  EXPECT_EQ(sel_registerName(name.c_str()), SELECTOR(compose:with:));
  EXPECT_STREQ(sel_getName(SELECTOR(compose:with:)), "compose:with:");
  EXPECT_NE(SELECTOR(compose:), SELECTOR(compose:with:));
}

TEST(Dispatch, InstanceAndClassMethodsAndArguments) {
  static objc_method_def adder[] = {
      method("add:to:", [](id self, SEL, int a, int b) { return static_cast<Layout*>(self)->value + a + b; }),
  };
  static objc_class_def cls = {"DispatchAdder",     nullptr, sizeof(Layout), objc_no_methods,
                               objc_methods(adder), Nil};
  std::vector<objc_class_def*> classes = {&cls};
  auto rec = record("Adder", classes);
  register_module("dispatch", {&rec});
  Class c = objc_getClass("DispatchAdder");
  ASSERT_NE(c, Nil);
  auto obj = static_cast<Layout*>(alloc(c));
  obj->value = 100;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(msg<int>(obj, SELECTOR(add:to:), 2, 3), 105);  // miss, then hits
  EXPECT_TRUE(class_respondsToSelector(c, SELECTOR(add:to:)));
  EXPECT_FALSE(class_respondsToSelector(c, SELECTOR(subtract:)));
  object_dispose(obj);
}

// A call site's selector is interned by its first send, which must still
// pass the method that selector (not the null it held before), and a null
// selector must not match the empty slots of a fresh cache.
TEST(Dispatch, FirstSendThroughASiteCarriesItsSelectorAndNullMatchesNoSlot) {
  static objc_method_def echo[] = {method("echoCommand", [](id, SEL cmd) { return cmd; })};
  static objc_class_def cls = {"DispatchEcho",     nullptr, sizeof(Layout), objc_no_methods,
                               objc_methods(echo), Nil};
  std::vector<objc_class_def*> classes = {&cls};
  auto rec = record("Echo", classes);
  register_module("echo", {&rec});
  id obj = alloc(objc_getClass("DispatchEcho"));
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(msg<SEL>(obj, SELECTOR(echoCommand)), sel_registerName("echoCommand"));
  objc_super sup{obj, objc_getClass("DispatchEcho")};
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(msgSuper<SEL>(sup, SELECTOR(echoCommand)), sel_registerName("echoCommand"));
  EXPECT_DEATH(msg<void>(obj, SEL(nullptr)), "DispatchEcho.*unrecognized selector");
  EXPECT_FALSE(class_respondsToSelector(objc_getClass("DispatchEcho"), nullptr));
  object_dispose(obj);
}

TEST(Dispatch, UnrecognizedSelectorStopsWithDiagnosis) {
  static objc_class_def cls = make_base("UnknownBase");
  std::vector<objc_class_def*> classes = {&cls};
  auto rec = record("Unknown", classes);
  register_module("unknown", {&rec});
  id obj = alloc(objc_getClass("UnknownBase"));
  EXPECT_DEATH(msg<void>(obj, SELECTOR(fly)), "-\\[UnknownBase fly\\]: unrecognized selector");
  object_dispose(obj);
}

// Base, Sub (registered before posing) and Poser, which overrides value,
// name and +kind and makes a super send in value.
struct PosingFixture {
  objc_class_def base, sub, poser, late;
  std::vector<objc_class_def*> first, second;
  objc_module_record rec1{}, rec2{};

  static inline objc_class_def* poser_def = nullptr;
  // Only converts its lambdas to function pointers; none runs at start-up.
  // NOLINTNEXTLINE(cert-err58-cpp)
  static inline objc_method_def poser_instance[] = {
      method("value",
             [](id self, SEL sel) { return msgSuper<int>(objc_super_of(self, *poser_def), sel) + 1; }),
      method("name", [](id, SEL) -> const char* { return "poser"; }),
  };
  // Only converts its lambdas to function pointers; none runs at start-up.
  // NOLINTNEXTLINE(cert-err58-cpp)
  static inline objc_method_def poser_class[] = {
      method("kind",
             [](id self, SEL sel) { return msgSuper<int>(objc_super_of_class(self, *poser_def), sel) * 7; }),
  };

  explicit PosingFixture(const std::string& prefix)
      : base(make_base(keep_name(prefix + "Base"))),
        sub{keep_name(prefix + "Sub"), base.name, sizeof(Layout), objc_no_methods, objc_no_methods, Nil},
        poser{keep_name(prefix + "Poser"),  base.name, sizeof(Layout), objc_methods(poser_class),
              objc_methods(poser_instance), Nil},
        late{keep_name(prefix + "Late"), base.name, sizeof(Layout), objc_no_methods, objc_no_methods, Nil} {
    poser_def = &poser;
    first = {&base, &sub, &poser};
    rec1 = record("PosingFirst", first);
    register_module("posing", {&rec1});
  }
  void register_late() {
    second = {&late};
    rec2 = record("PosingLate", second);
    register_module("posing-late", {&rec2});
  }
};

TEST(Posing, NameYieldsPoserAndOldObjectsKeepTheirClass) {
  PosingFixture f("P1");
  Class base = objc_getClass("P1Base");
  id before = alloc(base);
  EXPECT_STREQ(msg<const char*>(before, SELECTOR(name)), "base");  // fills Base's cache
  class_poseAs(f.poser.cls, base);
  EXPECT_EQ(objc_getClass("P1Base"), f.poser.cls);
  EXPECT_EQ(objc_getClass("P1Poser"), f.poser.cls);
  EXPECT_EQ(object_getClass(before), base);
  EXPECT_STREQ(msg<const char*>(before, SELECTOR(name)), "base");
  id after = alloc(objc_getClass("P1Base"));
  EXPECT_EQ(object_getClass(after), f.poser.cls);
  EXPECT_STREQ(msg<const char*>(after, SELECTOR(name)), "poser");
  EXPECT_EQ(class_getSuperclass(f.poser.cls), base);  // super sends still reach the replaced class
  EXPECT_EQ(msg<int>(after, SELECTOR(value)), 11);
  object_dispose(before);
  object_dispose(after);
}

TEST(Posing, SubclassesBeforeAndAfterInheritThroughPoserWithFreshCaches) {
  PosingFixture f("P2");
  id sub = alloc(f.sub.cls);
  EXPECT_EQ(msg<int>(sub, SELECTOR(value)), 10);  // cached before posing
  EXPECT_EQ(msg<int>(f.sub.cls, SELECTOR(kind)), 1);
  class_poseAs(f.poser.cls, f.base.cls);
  EXPECT_EQ(msg<int>(sub, SELECTOR(value)), 11);  // the stale entry is gone
  EXPECT_STREQ(msg<const char*>(sub, SELECTOR(name)), "poser");
  EXPECT_EQ(msg<int>(f.sub.cls, SELECTOR(kind)), 7);  // metaclass chain too
  EXPECT_EQ(class_getSuperclass(f.sub.cls), f.poser.cls);
  f.register_late();
  EXPECT_EQ(class_getSuperclass(f.late.cls), f.poser.cls);
  id late = alloc(f.late.cls);
  EXPECT_EQ(msg<int>(late, SELECTOR(value)), 11);
  EXPECT_EQ(msg<int>(f.late.cls, SELECTOR(kind)), 7);
  object_dispose(sub);
  object_dispose(late);
}

TEST(Posing, MisuseStopsWithDiagnosis) {
  PosingFixture f("P3");
  EXPECT_DEATH(class_poseAs(f.poser.cls, f.sub.cls),
               "P3Poser cannot pose as P3Sub: it is not a direct subclass");
  static objc_class_def fat = {"P3Fat", "P3Base", sizeof(Layout) + 8, objc_no_methods, objc_no_methods, Nil};
  std::vector<objc_class_def*> classes = {&fat};
  auto rec = record("Fat", classes);
  register_module("fat", {&rec});
  EXPECT_DEATH(class_poseAs(fat.cls, f.base.cls), "P3Fat cannot pose as P3Base: it adds instance variables");
}

objc_method_def category_methods[] = {
    method("name", [](id, SEL) -> const char* { return "category"; }),
    method("extra", [](id, SEL) { return 42; }),
};

TEST(Categories, ArrivingBeforeTheirClassInAnEarlierRecordWait) {
  static objc_category_def cat = {"C1Target", "Extras", objc_no_methods, objc_methods(category_methods)};
  static objc_class_def target = make_base("C1Target");
  std::vector<objc_class_def*> none, classes = {&target};
  auto rec1 = record("CategoryFirst", none, {&cat});
  auto rec2 = record("ClassSecond", classes);
  register_module("categories", {&rec1, &rec2});
  id obj = alloc(objc_getClass("C1Target"));
  EXPECT_STREQ(msg<const char*>(obj, SELECTOR(name)), "category");  // a category replaces the class's method
  EXPECT_EQ(msg<int>(obj, SELECTOR(extra)), 42);
  object_dispose(obj);
}

TEST(Categories, ArrivingInAnEarlierModuleWaitForALaterOne) {
  static objc_category_def cat = {"C2Target", "Extras", objc_no_methods, objc_methods(category_methods)};
  static objc_class_def target = make_base("C2Target");
  static objc_class_def sub = {"C2Sub", "C2Target", sizeof(Layout), objc_no_methods, objc_no_methods, Nil};
  std::vector<objc_class_def*> none, classes = {&target, &sub};
  auto rec1 = record("Early", none, {&cat});
  register_module("early-module", {&rec1});
  EXPECT_EQ(objc_getClass("C2Target"), Nil);
  auto rec2 = record("Late", classes);
  register_module("late-module", {&rec2});
  id obj = alloc(objc_getClass("C2Sub"));
  EXPECT_EQ(msg<int>(obj, SELECTOR(extra)), 42);
  EXPECT_STREQ(class_getModulePath(objc_getClass("C2Target")), "late-module");
  object_dispose(obj);
}

TEST(Categories, AttachedAfterCachingFlushesTheCache) {
  static objc_class_def target = make_base("C3Target");
  std::vector<objc_class_def*> classes = {&target};
  auto rec1 = record("C3", classes);
  register_module("c3", {&rec1});
  id obj = alloc(target.cls);
  EXPECT_STREQ(msg<const char*>(obj, SELECTOR(name)), "base");
  static objc_category_def cat = {"C3Target", "Extras", objc_no_methods, objc_methods(category_methods)};
  std::vector<objc_class_def*> none;
  auto rec2 = record("C3Cat", none, {&cat});
  register_module("c3-cat", {&rec2});
  EXPECT_STREQ(msg<const char*>(obj, SELECTOR(name)), "category");
  object_dispose(obj);
}

TEST(Classes, SubclassArrivingBeforeItsSuperclassWaits) {
  static objc_class_def sub = {"W1Sub", "W1Base", sizeof(Layout), objc_no_methods, objc_no_methods, Nil};
  static objc_class_def base = make_base("W1Base");
  std::vector<objc_class_def*> classes = {&sub, &base};
  auto rec = record("Waiting", classes);
  register_module("waiting", {&rec});
  ASSERT_NE(objc_getClass("W1Sub"), Nil);
  EXPECT_EQ(class_getSuperclass(objc_getClass("W1Sub")), objc_getClass("W1Base"));
  EXPECT_EQ(msg<int>(objc_getClass("W1Sub"), SELECTOR(kind)), 1);
}

TEST(Load, SentOnceAfterEveryRecordOnlyToImplementers) {
  static objc_method_def loading[] = {
      method("load",
             [](id self, SEL) {
               events.push_back(std::string("load ") + class_getName(reinterpret_cast<Class>(self)) +
                                (objc_getClass("L1Other") != Nil ? " sees other" : " alone"));
             }),
  };
  static objc_class_def first = {"L1First",       nullptr, sizeof(Layout), objc_methods(loading),
                                 objc_no_methods, Nil};
  static objc_class_def child = {"L1Child", "L1First", sizeof(Layout), objc_no_methods, objc_no_methods, Nil};
  static objc_class_def other = make_base("L1Other");
  std::vector<objc_class_def*> a = {&first, &child}, b = {&other};
  auto rec1 = record("L1a", a);
  auto rec2 = record("L1b", b);
  events.clear();
  __objc_execClass(&rec1);
  __objc_execClass(&rec2);
  objc_register_header("load-module");
  EXPECT_TRUE(events.empty());
  objc_finish_header();
  EXPECT_EQ(events, std::vector<std::string>{"load L1First sees other"});
  objc_finish_header();  // a second finish sends nothing again
  EXPECT_EQ(events.size(), 1u);
}

TEST(Initialize, OnceSuperclassFirstAndInheritedBySubclassThatLacksIt) {
  static objc_method_def init[] = {
      method("initialize",
             [](id self, SEL) { events.push_back(class_getName(reinterpret_cast<Class>(self))); }),
      method("kind", [](id, SEL) { return 5; }),
  };
  static objc_class_def root = {"I1Root", nullptr, sizeof(Layout), objc_methods(init), objc_no_methods, Nil};
  static objc_class_def mid = {"I1Mid", "I1Root", sizeof(Layout), objc_no_methods, objc_no_methods, Nil};
  static objc_class_def leaf = {"I1Leaf", "I1Mid", sizeof(Layout), objc_no_methods, objc_no_methods, Nil};
  std::vector<objc_class_def*> classes = {&root, &mid, &leaf};
  auto rec = record("Init", classes);
  events.clear();
  register_module("init", {&rec});
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(msg<int>(leaf.cls, SELECTOR(kind)), 5);
  EXPECT_EQ(events, (std::vector<std::string>{"I1Root", "I1Mid", "I1Leaf"}));
  msg<int>(leaf.cls, SELECTOR(kind));
  msg<int>(mid.cls, SELECTOR(kind));
  EXPECT_EQ(events.size(), 3u);
}

TEST(Modules, LoadingAMissingModuleReportsWhy) {
  char error[256] = "";
  const std::string missing = "/nonexistent/" + loader::module_file_name("Nothing");
  EXPECT_FALSE(objc_loadModule(missing.c_str(), error, sizeof error));
  EXPECT_NE(std::string(error).find("cannot load module " + missing), std::string::npos);
  EXPECT_FALSE(objc_loadModule("", error, sizeof error));
  EXPECT_STREQ(error, "no module path given");
}

}  // namespace
