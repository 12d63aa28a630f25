// The page layout scenario: the user opens Page Layout from the menu,
// chooses A5 paper and presses Cancel; then opens it again, chooses A5 and
// presses OK. After each step it prints the shared print settings and which
// object holds them (#1 is the one the application started with), so that
// runs with the application patch off and on can be compared line by line.
// It starts from new default settings, and on a raise it gives up what it
// holds and drops the events it queued before the raise goes on.
#include <cstdio>
#include <string>
#include <vector>

#include "AppKit/AppKit.h"
#include "AppKit/NSPageLayout.h"
#include "AppKit/NSPrintInfo.h"
#include "Foundation/Foundation.h"
#include "picture.h"
#include "scenarios.h"

namespace host {
namespace {

id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }
id shared_print_info() { return msg<id>(cls("NSPrintInfo"), SELECTOR(sharedPrintInfo)); }

class PageLayoutSteps {
 public:
  explicit PageLayoutSteps(std::FILE* out) : out_(out) {}
  ~PageLayoutSteps() = default;  // the scenario gave everything up
  void give_up() {
    id app = msg<id>(cls("NSApplication"), SELECTOR(sharedApplication));
    while (msg<NSUInteger>(app, SELECTOR(pendingEventCount)) > 0) msg<id>(app, SELECTOR(nextEvent));
    for (id info : seen_) msg<void>(info, SELECTOR(release));
    std::vector<id>().swap(seen_);  // nothing raises from here on
  }
  PageLayoutSteps(const PageLayoutSteps&) = delete;
  PageLayoutSteps& operator=(const PageLayoutSteps&) = delete;

  // "Letter 612x792 portrait  #1": the settings without their margins, and
  // the number of the object that holds them, counted as they appear (see
  // picture::text); and their picture.
  void report(const char* step) {
    id info = shared_print_info();
    size_t number = 0;
    while (number < seen_.size() && seen_[number] != info) ++number;
    if (number == seen_.size()) seen_.push_back(msg<id>(info, SELECTOR(retain)));
    // Every send first, then the C++ values.
    id paper = msg<id>(info, SELECTOR(paperName));
    NSInteger width = msg<NSInteger>(info, SELECTOR(paperWidth));
    NSInteger height = msg<NSInteger>(info, SELECTOR(paperHeight));
    bool landscape = msg<NSInteger>(info, SELECTOR(orientation)) == NSLandscapeOrientation;
    picture::PrintSettings settings;
    settings.step = step;
    settings.paper = NSStringToStd(paper);
    settings.width = width;
    settings.height = height;
    settings.landscape = landscape;
    settings.object = number + 1;
    std::fputs(picture::text(settings).c_str(), out_);
    picture::write(picture::svg(settings));
  }

  // The user picks Page Layout from the menu, chooses a paper in the panel
  // and presses the button; the application's loop dispatches the choice.
  void page_layout(const char* paper, const char* button) {
    NSPageLayoutSetScriptedUser([paper, button](id panel) {
      msg<void>(panel, SELECTOR(choosePaperName:), NSStringFromUTF8(paper));
      msg<void>(panel, sel_registerName(button), id(nil));
    });
    id app = msg<id>(cls("NSApplication"), SELECTOR(sharedApplication));
    msg<void>(app, SELECTOR(postEvent:atStart:),
              NSEventWithAction([app] { msg<void>(app, SELECTOR(runPageLayout:), id(nil)); }), NO);
    msg<void>(app, SELECTOR(run));
  }

 private:
  std::FILE* out_;
  std::vector<id> seen_;  // retained, so that no address is reused while compared
};

}  // namespace

int run_page_layout_scenario(std::FILE* out) {
  NSAutoreleaseScope pool;
  id fresh =
      msg<id>(msg<id>(msg<id>(cls("NSPrintInfo"), SELECTOR(alloc)), SELECTOR(init)), SELECTOR(autorelease));
  msg<void>(cls("NSPrintInfo"), SELECTOR(setSharedPrintInfo:), fresh);
  PageLayoutSteps steps(out);
  NSRunCleaningUpOnRaise(
      [&] {
        steps.report("start");
        steps.page_layout("A5", "cancel:");
        steps.report("A5, Cancel");
        steps.page_layout("A5", "ok:");
        steps.report("A5, OK");
        steps.give_up();
      },
      [&] { steps.give_up(); });
  return 0;
}

}  // namespace host
