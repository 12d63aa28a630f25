// The page layout scenario: the user opens Page Layout from the menu,
// chooses A5 paper and presses Cancel; then opens it again, chooses A5 and
// presses OK. After each step it prints the shared print settings and which
// object holds them (#1 is the one the application started with), so that
// runs with the application patch off and on can be compared line by line.
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
  ~PageLayoutSteps() {
    for (id info : seen_) msg<void>(info, SELECTOR(release));
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
    picture::PrintSettings settings;
    settings.step = step;
    settings.paper = NSStringToStd(msg<id>(info, SELECTOR(paperName)));
    settings.width = msg<NSInteger>(info, SELECTOR(paperWidth));
    settings.height = msg<NSInteger>(info, SELECTOR(paperHeight));
    settings.landscape = msg<NSInteger>(info, SELECTOR(orientation)) == NSLandscapeOrientation;
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
  PageLayoutSteps steps(out);
  steps.report("start");
  steps.page_layout("A5", "cancel:");
  steps.report("A5, Cancel");
  steps.page_layout("A5", "ok:");
  steps.report("A5, OK");
  return 0;
}

}  // namespace host
