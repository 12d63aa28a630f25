// NSNotificationCenter: wildcard matching, removal, and changes to the
// registrations made from inside a post.
#include <gtest/gtest.h>

#include "foundation_test_support.h"
#include "raise_support.h"

using namespace test_support;

namespace {

id center() { return NSDefaultNotificationCenter(); }
void observe(id observer, const char* name, id object) {
  msg<void>(center(), SELECTOR(addObserver:selector:name:object:), observer, SELECTOR(receive:),
            name != nullptr ? str(name) : nil, object);
}
void post(const char* name, id object) {
  msg<void>(center(), SELECTOR(postNotificationName:object:), str(name), object);
}

class NotificationTest : public testing::Test {
 protected:
  void SetUp() override { g_received.clear(); }
  void TearDown() override { g_on_receive = nullptr; }
  NSAutoreleaseScope pool_;
};

}  // namespace

TEST_F(NotificationTest, DefaultCenterIsOnePerProcess) {
  EXPECT_NE(center(), nil);
  EXPECT_EQ(center(), msg<id>(cls("NSNotificationCenter"), SELECTOR(defaultCenter)));
}

TEST_F(NotificationTest, NameAndSenderWildcardsInRegistrationOrder) {
  id sender = new_tracked(100);
  id other_sender = new_tracked(200);
  id by_name = new_tracked(1);
  id any = new_tracked(2);
  id by_sender = new_tracked(3);
  id by_both = new_tracked(4);
  observe(by_name, "Ping", nil);
  observe(any, nullptr, nil);
  observe(by_sender, nullptr, sender);
  observe(by_both, "Ping", sender);

  post("Ping", sender);
  EXPECT_EQ(g_received, (std::vector<std::string>{"1:Ping", "2:Ping", "3:Ping", "4:Ping"}));
  g_received.clear();
  post("Ping", other_sender);
  post("Pong", sender);
  EXPECT_EQ(g_received, (std::vector<std::string>{"1:Ping", "2:Ping", "2:Pong", "3:Pong"}));

  for (id o : {by_name, any, by_sender, by_both}) {
    msg<void>(center(), SELECTOR(removeObserver:), o);
    release(o);
  }
  release(sender);
  release(other_sender);
}

TEST_F(NotificationTest, RemovalByNameAndSenderLeavesOtherRegistrations) {
  id sender = new_tracked(100);
  id o = new_tracked(1);
  observe(o, "A", nil);
  observe(o, "B", nil);
  observe(o, "B", sender);
  msg<void>(center(), SELECTOR(removeObserver:name:object:), o, str("B"), sender);
  post("B", sender);
  EXPECT_EQ(g_received, (std::vector<std::string>{"1:B"}));
  g_received.clear();
  msg<void>(center(), SELECTOR(removeObserver:name:object:), o, str("B"), nil);
  post("A", nil);
  post("B", nil);
  EXPECT_EQ(g_received, (std::vector<std::string>{"1:A"}));
  msg<void>(center(), SELECTOR(removeObserver:), o);
  g_received.clear();
  post("A", nil);
  EXPECT_TRUE(g_received.empty());
  release(o);
  release(sender);
}

// The first observer deallocates the second, which removes itself on the
// way out; the second must not be called for the post in progress.
TEST_F(NotificationTest, ObserverRemovedDuringPostIsNotCalled) {
  static id s_victim;
  id killer = new_tracked(1);
  s_victim = new_tracked(2);
  observe(killer, "Ping", nil);
  observe(s_victim, "Ping", nil);
  g_on_dealloc = [](id obj) { msg<void>(center(), SELECTOR(removeObserver:), obj); };
  g_on_receive = [](id observer, id) {
    if (static_cast<TrackedLayout*>(observer)->tag == 1 && s_victim != nil) {
      release(s_victim);
      s_victim = nil;
    }
  };
  post("Ping", nil);
  g_on_dealloc = nullptr;
  EXPECT_EQ(g_received, (std::vector<std::string>{"1:Ping"}));
  msg<void>(center(), SELECTOR(removeObserver:), killer);
  release(killer);
}

TEST_F(NotificationTest, ObserverAddedDuringPostWaitsForTheNextPost) {
  static id s_late;
  id early = new_tracked(1);
  s_late = new_tracked(2);
  observe(early, "Ping", nil);
  g_on_receive = [](id observer, id) {
    if (static_cast<TrackedLayout*>(observer)->tag == 1) observe(s_late, "Ping", nil);
  };
  post("Ping", nil);
  EXPECT_EQ(g_received, (std::vector<std::string>{"1:Ping"}));
  g_on_receive = nullptr;
  g_received.clear();
  post("Ping", nil);
  EXPECT_EQ(g_received, (std::vector<std::string>{"1:Ping", "2:Ping"}));
  for (id o : {early, s_late}) {
    msg<void>(center(), SELECTOR(removeObserver:), o);
    release(o);
  }
}

TEST_F(NotificationTest, NotificationCarriesSenderAndDetails) {
  id sender = new_tracked(7);
  id info = NSDictionaryOf({{str("k"), str("v")}});
  id n =
      msg<id>(cls("NSNotification"), SELECTOR(notificationWithName:object:userInfo:), str("N"), sender, info);
  EXPECT_EQ(msg<id>(n, SELECTOR(object)), sender);
  EXPECT_EQ(msg<id>(n, SELECTOR(userInfo)), info);
  EXPECT_EQ(retain_count(sender), 2u);  // the notification retains its sender
  EXPECT_NE(raised_object([&] { msg<void>(center(), SELECTOR(postNotification:), nil); }), nil);
  EXPECT_NE(raised_object([&] {
              msg<void>(center(), SELECTOR(addObserver:selector:name:object:), nil, SELECTOR(receive:), nil,
                        nil);
            }),
            nil);
  release(sender);
}

TEST_F(NotificationTest, ObserverThatRaisesEndsThePostAndLeavesTheCentreUsable) {
  id sender = new_tracked(100);
  id raiser = new_tracked(1);
  id later = new_tracked(2);
  observe(raiser, "Ping", nil);
  observe(later, "Ping", nil);
  g_on_receive = [](id observer, id) {
    if (static_cast<TrackedLayout*>(observer)->tag == 1) NSRaise("ObserverFailed", "raised in a delivery");
  };
  EXPECT_EQ(raised_name([&] { post("Ping", sender); }), "ObserverFailed");
  EXPECT_TRUE(g_received.empty());      // the post ended at the raise
  EXPECT_EQ(retain_count(sender), 1u);  // and released the notification it made
  // Registrations still change and posts still go out.
  msg<void>(center(), SELECTOR(removeObserver:), raiser);
  post("Ping", sender);
  EXPECT_EQ(g_received, (std::vector<std::string>{"2:Ping"}));
  for (id o : {raiser, later}) {
    msg<void>(center(), SELECTOR(removeObserver:), o);
    release(o);
  }
  release(sender);
}
