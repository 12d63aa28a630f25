// NSObject reference counting and introspection, autorelease pools, and the
// unrecognised-selector handler.
#include <gtest/gtest.h>

#include <algorithm>

#include "foundation_test_support.h"
#include "raise_support.h"

using namespace test_support;

TEST(NSObjectTest, RetainReleaseDeallocsExactlyAtZero) {
  g_deallocs = 0;
  id obj = new_tracked(1);
  EXPECT_EQ(retain_count(obj), 1u);
  EXPECT_EQ(msg<id>(obj, SELECTOR(retain)), obj);
  EXPECT_EQ(retain_count(obj), 2u);
  release(obj);
  EXPECT_EQ(g_deallocs, 0);
  EXPECT_EQ(retain_count(obj), 1u);
  release(obj);
  EXPECT_EQ(g_deallocs, 1);
}

TEST(NSObjectTest, ClassObjectsIgnoreReferenceCounting) {
  Class before = class_getSuperclass(objc_getClass("Tracked"));
  msg<id>(cls("Tracked"), SELECTOR(retain));
  msg<void>(cls("Tracked"), SELECTOR(release));
  msg<void>(cls("Tracked"), SELECTOR(release));
  EXPECT_EQ(class_getSuperclass(objc_getClass("Tracked")), before);
  EXPECT_EQ(msg<id>(cls("Tracked"), SELECTOR(copy)), cls("Tracked"));
}

TEST(NSObjectTest, Introspection) {
  NSAutoreleaseScope pool;
  id obj = new_tracked(1);
  EXPECT_TRUE(msg<BOOL>(obj, SELECTOR(isKindOfClass:), objc_getClass("NSObject")));
  EXPECT_FALSE(msg<BOOL>(obj, SELECTOR(isMemberOfClass:), objc_getClass("NSObject")));
  EXPECT_TRUE(msg<BOOL>(obj, SELECTOR(isMemberOfClass:), objc_getClass("Tracked")));
  EXPECT_FALSE(msg<BOOL>(obj, SELECTOR(isKindOfClass:), objc_getClass("NSString")));
  EXPECT_TRUE(msg<BOOL>(obj, SELECTOR(respondsToSelector:), SELECTOR(receive:)));
  EXPECT_FALSE(msg<BOOL>(obj, SELECTOR(respondsToSelector:), SELECTOR(noSuchThing)));
  EXPECT_TRUE(msg<BOOL>(cls("Tracked"), SELECTOR(instancesRespondToSelector:), SELECTOR(receive:)));
  EXPECT_FALSE(msg<BOOL>(cls("Tracked"), SELECTOR(respondsToSelector:), SELECTOR(receive:)));
  EXPECT_EQ(msg<Class>(obj, SELECTOR(superclass)), objc_getClass("NSObject"));
  EXPECT_EQ(NSStringToStd(cls("Tracked")), "Tracked");
  EXPECT_EQ(NSStringToStd(obj).rfind("<Tracked: 0x", 0), 0u);
  release(obj);
}

TEST(NSObjectTest, UnrecognizedSelectorRaisesInvalidArgument) {
  NSAutoreleaseScope pool;
  id obj = new_tracked(1);
  id e = raised_object([&] { msg<void>(obj, SELECTOR(frobnicate:), int32_t(3)); });
  ASSERT_NE(e, nil);
  EXPECT_TRUE(msg<BOOL>(msg<id>(e, SELECTOR(name)), SELECTOR(isEqual:), NSInvalidArgumentException));
  EXPECT_EQ(NSStringToStd(msg<id>(e, SELECTOR(reason))),
            "-[Tracked frobnicate:]: unrecognized selector sent to instance");
  EXPECT_EQ(raised_reason([] { msg<void>(cls("Tracked"), SELECTOR(frobnicate)); }),
            "+[Tracked frobnicate]: unrecognized selector sent to class");
  // Copying needs copyWithZone:, which NSObject does not have.
  EXPECT_NE(raised_object([&] { msg<id>(obj, SELECTOR(copy)); }), nil);
  release(obj);
}

TEST(NSAutoreleasePoolTest, DrainReleasesInOrderAndOnlyOnce) {
  g_dealloc_tags.clear();
  id pool = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  id a = msg<id>(new_tracked(1), SELECTOR(autorelease));
  id b = msg<id>(new_tracked(2), SELECTOR(autorelease));
  msg<id>(b, SELECTOR(retain));
  msg<id>(b, SELECTOR(autorelease));  // twice in the pool: released twice
  msg<id>(new_tracked(3), SELECTOR(autorelease));
  msg<id>(a, SELECTOR(retain));  // survives the drain
  msg<void>(pool, SELECTOR(drain));
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(retain_count(a), 1u);
  release(a);
  EXPECT_EQ(NSAutoreleasePoolDepth(), 0u);
}

TEST(NSAutoreleasePoolTest, DrainingOuterPoolDrainsInnerPoolsFirst) {
  g_dealloc_tags.clear();
  id outer = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  msg<id>(new_tracked(1), SELECTOR(autorelease));
  id inner = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  (void)inner;
  msg<id>(new_tracked(2), SELECTOR(autorelease));
  EXPECT_EQ(NSAutoreleasePoolDepth(), 2u);
  msg<void>(outer, SELECTOR(release));
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(NSAutoreleasePoolDepth(), 0u);
}

TEST(NSAutoreleasePoolTest, DeallocRaisingDuringDrainLeavesTheRestForTheOuterPool) {
  g_dealloc_tags.clear();
  g_on_dealloc = &raise_in_tagged_dealloc;
  g_raising_tag = 2;
  id outer = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  id inner = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  for (int32_t tag = 1; tag <= 3; ++tag) msg<id>(new_tracked(tag), SELECTOR(autorelease));
  EXPECT_EQ(raised_name([&] { msg<void>(inner, SELECTOR(drain)); }), "DeallocFailed");
  // The drain stopped at the raise; the pool stays open with what it had not
  // released, and nothing it released is released again.
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{1}));
  EXPECT_EQ(NSAutoreleasePoolDepth(), 2u);
  msg<void>(outer, SELECTOR(drain));
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(NSAutoreleasePoolDepth(), 0u);
  g_on_dealloc = nullptr;
}

TEST(NSAutoreleasePoolTest, InnerPoolDrainLeavesOuterObjects) {
  g_dealloc_tags.clear();
  NSAutoreleaseScope outer;
  msg<id>(new_tracked(1), SELECTOR(autorelease));
  {
    NSAutoreleaseScope inner;
    msg<id>(new_tracked(2), SELECTOR(autorelease));
  }
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{2}));
}

// A dealloc that autoreleases lands in the pool being drained and is
// released by the same drain.
void Chain_dealloc(id self, SEL);
objc_class_def chain_def = {"Chain", "Tracked", sizeof(TrackedLayout), objc_no_methods, objc_no_methods, Nil};
void Chain_dealloc(id self, SEL) {
  if (static_cast<TrackedLayout*>(self)->tag > 0) {
    id next = msg<id>(msg<id>(cls("Chain"), SELECTOR(alloc)), SELECTOR(init));
    static_cast<TrackedLayout*>(next)->tag = static_cast<TrackedLayout*>(self)->tag - 1;
    msg<id>(next, SELECTOR(autorelease));
  }
  msgSuper<void>(objc_super_of(self, chain_def), SELECTOR(dealloc));
}
const objc_method_def chain_methods[] = {{"dealloc", objc_imp(&Chain_dealloc)}};

TEST(NSAutoreleasePoolTest, ObjectsAutoreleasedDuringDrainAreReleased) {
  chain_def.instance_methods = objc_methods(chain_methods);
  static objc_class_def* const classes[] = {&chain_def};
  static objc_module_record record = {OBJC_MODULE_VERSION, "Chain", classes, 1, nullptr, 0, nullptr, 0};
  __objc_execClass(&record);
  objc_register_header("chain-test");
  objc_finish_header();

  g_dealloc_tags.clear();
  {
    NSAutoreleaseScope pool;
    id first = msg<id>(msg<id>(cls("Chain"), SELECTOR(alloc)), SELECTOR(init));
    static_cast<TrackedLayout*>(first)->tag = 3;
    msg<id>(first, SELECTOR(autorelease));
  }
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{3, 2, 1, 0}));
  EXPECT_EQ(NSAutoreleasePoolDepth(), 0u);
}

TEST(NSAutoreleasePoolTest, AutoreleaseWithoutPoolLeaksWithWarning) {
  g_deallocs = 0;
  testing::internal::CaptureStderr();
  id obj = msg<id>(new_tracked(1), SELECTOR(autorelease));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("no pool"), std::string::npos);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  EXPECT_EQ(retain_count(obj), 1u);
  EXPECT_EQ(g_deallocs, 0);
  release(obj);  // nobody else will
}

TEST(NSAutoreleasePoolTest, PoolsCannotBeRetained) {
  NSAutoreleaseScope pool;
  id inner = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  EXPECT_NE(raised_object([&] { msg<id>(inner, SELECTOR(retain)); }), nil);
  msg<void>(inner, SELECTOR(drain));
}
