// The modal scenarios. "modal": a document window and a floating inspector
// palette are open, the Find panel runs modally, and the user clicks the
// palette and then the document. "nested": panel A runs modally and opens
// panel B modally inside it. After each step the scenario prints which
// window is key and the screen stack front to back with levels, so that
// runs with the application patch off and on can be compared line by line.
//
// Any send may raise. The scenario then closes and releases its windows
// and drops the events it queued before the raise goes on, and no step
// holds C++ storage across a send except under a frame that frees it.
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "AppKit/AppKit.h"
#include "Foundation/Foundation.h"
#include "picture.h"
#include "scenarios.h"

namespace host {
namespace {

id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }

class ModalSteps {
 public:
  explicit ModalSteps(std::FILE* out)
      : out_(out), app_(msg<id>(cls("NSApplication"), SELECTOR(sharedApplication))) {
    std::fprintf(out_, "application: %s\n", class_getName(object_getClass(app_)));
  }
  ~ModalSteps() = default;  // play closed everything
  // Orders out and releases the windows, and drops queued events (their
  // actions refer to this scenario's frame).
  void close_all() {
    while (msg<NSUInteger>(app_, SELECTOR(pendingEventCount)) > 0) msg<id>(app_, SELECTOR(nextEvent));
    // Each window leaves the list only once it is off screen, so that a
    // second try after a raise here finishes the job.
    while (!windows_.empty()) {
      msg<void>(windows_.back(), SELECTOR(orderOut:), id(nil));
      msg<void>(windows_.back(), SELECTOR(release));
      windows_.pop_back();
    }
  }
  // Runs a scenario's steps and closes everything; on a raise, closes
  // everything first.
  template <class Steps>
  void play(Steps&& steps) {
    NSRunCleaningUpOnRaise(
        [&] {
          steps();
          close_all();
        },
        [this] {
          close_all();
          std::vector<id>().swap(windows_);
        });
  }
  ModalSteps(const ModalSteps&) = delete;
  ModalSteps& operator=(const ModalSteps&) = delete;

  // A window of class_name, owned until the scenario ends.
  id window(const char* class_name, const char* title) {
    id w = msg<id>(msg<id>(cls(class_name), SELECTOR(alloc)), SELECTOR(init));
    windows_.push_back(w);
    msg<void>(w, SELECTOR(setTitle:), NSStringFromUTF8(title));
    return w;
  }
  // A floating inspector palette that works while a modal session runs.
  id palette(const char* title) {
    id p = window("NSPanel", title);
    msg<void>(p, SELECTOR(setFloatingPanel:), YES);
    msg<void>(p, SELECTOR(setWorksWhenModal:), YES);
    return p;
  }

  // "3. Click the Inspector", then the key window, the stack and the
  // window running modally (see picture::text), and its picture.
  void report(const char* step) {
    id pool = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
    picture::Screen screen;
    NSRunCleaningUpOnRaise(
        [&] {
          id key = msg<id>(app_, SELECTOR(keyWindow));
          if (key != nil) screen.key = title(key);
          id modal = msg<id>(app_, SELECTOR(modalWindow));
          if (modal != nil) screen.modal = title(modal);
          id ordered = msg<id>(app_, SELECTOR(orderedWindows));
          for (NSUInteger i = 0, n = msg<NSUInteger>(ordered, SELECTOR(count)); i < n; ++i) {
            id w = msg<id>(ordered, SELECTOR(objectAtIndex:), i);
            long level = static_cast<long>(msg<NSInteger>(w, SELECTOR(level)));
            id text = msg<id>(w, SELECTOR(title));
            screen.front.push_back({NSStringToStd(text), level});
          }
        },
        [&] { free_screen(screen); });
    screen.step = std::to_string(++step_) + ". " + step;
    std::fputs(picture::text(screen).c_str(), out_);
    picture::write(picture::svg(screen));
    free_screen(screen);
    msg<void>(pool, SELECTOR(drain));
  }

  // The user clicks a window; the report follows once the click has been
  // dispatched. Queued behind everything already queued.
  void click_then_report(id window, const char* step) {
    post(msg<id>(cls("NSEvent"), SELECTOR(mouseEventWithType:x:y:window:), NSInteger(NSLeftMouseDown),
                 NSInteger(10), NSInteger(10), window));
    then([this, step] { report(step); });
  }
  // Queues an action behind everything already queued.
  void then(std::function<void()> action) { post(NSEventWithAction(std::move(action))); }

  // Runs panel modally until a queued action stops it, then closes it the
  // way an application does once its modal loop has returned.
  void run_modally(id panel, const char* closed_step) {
    NSInteger response = msg<NSInteger>(app_, SELECTOR(runModalForWindow:), panel);
    msg<void>(panel, SELECTOR(orderOut:), id(nil));
    report(closed_step);
    std::fprintf(out_, "   loop   %s\n", response == NSRunStoppedResponse ? "stopped" : "ran out of events");
  }
  void stop_modal() {
    then([this] { msg<void>(app_, SELECTOR(stopModal)); });
  }

 private:
  void post(id event) { msg<void>(app_, SELECTOR(postEvent:atStart:), event, NO); }
  // Frees the screen's storage (assigning an empty one may keep it).
  static void free_screen(picture::Screen& screen) {
    picture::Screen empty;
    std::swap(screen, empty);
  }

  // The title's text: the send comes before the string is made.
  static std::string title(id w) {
    id text = msg<id>(w, SELECTOR(title));
    return NSStringToStd(text);
  }

  std::FILE* out_;
  id app_;
  std::vector<id> windows_;
  int step_ = 0;
};

void modal_steps(ModalSteps& s);
void nested_steps(ModalSteps& s);

}  // namespace

int run_modal_scenario(std::FILE* out) {
  NSAutoreleaseScope pool;
  ModalSteps s(out);
  s.play([&] { modal_steps(s); });
  return 0;
}

int run_nested_scenario(std::FILE* out) {
  NSAutoreleaseScope pool;
  ModalSteps s(out);
  s.play([&] { nested_steps(s); });
  return 0;
}

namespace {

void modal_steps(ModalSteps& s) {
  id document = s.window("NSWindow", "Document");
  id inspector = s.palette("Inspector");
  id find = s.window("NSPanel", "Find");
  msg<void>(document, SELECTOR(makeKeyAndOrderFront:), id(nil));
  msg<void>(inspector, SELECTOR(orderFront:), id(nil));
  s.report("Document and Inspector open");

  s.then([&] { s.report("Find runs modally"); });
  s.click_then_report(inspector, "Click the Inspector");
  s.click_then_report(document, "Click the Document");
  s.click_then_report(find, "Click the Find panel");
  s.stop_modal();
  s.run_modally(find, "Find closed");
}

void nested_steps(ModalSteps& s) {
  id document = s.window("NSWindow", "Document");
  id inspector = s.palette("Inspector");
  id a = s.window("NSPanel", "A");
  id b = s.window("NSPanel", "B");
  msg<void>(document, SELECTOR(makeKeyAndOrderFront:), id(nil));
  msg<void>(inspector, SELECTOR(orderFront:), id(nil));

  s.then([&] { s.report("A runs modally"); });
  // A's button opens B modally: B's steps are queued when it opens and run
  // inside B's loop, before what remains of A's.
  s.then([&] {
    s.then([&] { s.report("A opens B modally"); });
    s.click_then_report(inspector, "Click the Inspector");
    s.then([&] {
      msg<void>(a, SELECTOR(makeKeyAndOrderFront:), id(nil));
      s.report("A is made key");
    });
    s.stop_modal();
    s.run_modally(b, "B closed");
    s.click_then_report(inspector, "Click the Inspector");
    s.stop_modal();
  });
  s.run_modally(a, "A closed");
}

}  // namespace

}  // namespace host
