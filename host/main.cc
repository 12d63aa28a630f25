// The sample host: a small application on the stand-in framework. It
// creates the shared application object and loads bundles: those named
// with -bundle, or else, by finishing its launch, every bundle in the
// framework's plug-in folders (Foundation/PlugInFolders.h). It prints what
// the loads did, and plays a scenario when one is named with -scenario.
//
//   SampleHost [-bundle PATH]... [-scenario NAME [-pictures DIR]] [-list-scenarios]
//              [-describe-scenarios] [-Key value]...
//
// -pictures DIR also draws each step of the scenario as an SVG file in DIR
// (01.svg, 02.svg, ...), made from the values its text report prints.
// -describe-scenarios prints, for each scenario, its name, summary, what
// goes wrong without the patches and what the patches change, separated by
// tabs, one scenario a line.
//
// Other -Key value pairs are user defaults in the argument domain, for
// example -CorvaneEnable NO.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/Foundation.h"
#include "Foundation/NSProcessInfo.h"
#include "load_report.h"
#include "picture.h"
#include "scenarios.h"

namespace {

struct Options {
  std::vector<std::string> bundles;
  std::optional<std::string> scenario;
  std::optional<std::string> pictures;
  bool list = false;
  bool describe = false;
};

// args: UTF-8, program name first.
bool parse(const std::vector<std::string>& args, Options& options) {
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-list-scenarios") {
      options.list = true;
    } else if (args[i] == "-describe-scenarios") {
      options.describe = true;
    } else if (args[i].starts_with('-') && i + 1 < args.size()) {
      if (args[i] == "-bundle") options.bundles.push_back(args[i + 1]);
      if (args[i] == "-scenario") options.scenario = args[i + 1];
      if (args[i] == "-pictures") options.pictures = args[i + 1];
      ++i;  // every other -Key value pair is a user default
    } else {
      std::fprintf(stderr, "SampleHost: unexpected argument '%s'\n", args[i].c_str());
      return false;
    }
  }
  return true;
}

int list_scenarios() {
  for (const host::Scenario* s = host::kScenarios; s->name != nullptr; ++s)
    std::printf("%-12s %s\n", s->name, s->summary);
  return 0;
}

int describe_scenarios() {
  for (const host::Scenario* s = host::kScenarios; s->name != nullptr; ++s)
    std::printf("%s\t%s\t%s\t%s\n", s->name, s->summary, s->without_patches, s->with_patches);
  return 0;
}

}  // namespace

int main() {
  Options options;
  if (!parse(NSProcessInfoArguments(), options)) {
    std::fprintf(stderr,
                 "usage: SampleHost [-bundle PATH]... [-scenario NAME [-pictures DIR]] [-list-scenarios] "
                 "[-describe-scenarios] [-Key value]...\n");
    return 2;
  }
  if (options.list) return list_scenarios();
  if (options.describe) return describe_scenarios();
  const host::Scenario* scenario = nullptr;
  if (options.scenario && (scenario = host::find_scenario(options.scenario->c_str())) == nullptr) {
    std::fprintf(stderr, "SampleHost: no scenario named '%s' (see -list-scenarios)\n",
                 options.scenario->c_str());
    return 2;
  }

  // Nothing in the host catches framework exceptions: one that escapes a
  // load or a scenario ends the process with the framework's report of its
  // name and reason and a non-zero status. No handler frame lies beyond
  // main, so the locals here are never jumped over.
  NSAutoreleaseScope pool;  // drained however main returns
  id app = msg<id>(objc_getClass("NSApplication"), SELECTOR(sharedApplication));
  std::vector<id> loaded;
  if (options.bundles.empty()) {
    // The application's launch loads its plug-ins.
    msg<void>(app, SELECTOR(finishLaunching));
    id plugins = msg<id>(app, SELECTOR(plugIns));
    for (NSUInteger i = 0, n = msg<NSUInteger>(plugins, SELECTOR(count)); i < n; ++i)
      loaded.push_back(msg<id>(plugins, SELECTOR(objectAtIndex:), i));
  }
  for (const std::string& path : options.bundles) {
    id bundle = msg<id>(objc_getClass("NSBundle"), SELECTOR(bundleWithPath:), NSStringFromUTF8(path.c_str()));
    if (!msg<BOOL>(bundle, SELECTOR(load))) {
      id why = msg<id>(bundle, SELECTOR(loadErrorDescription));
      std::fprintf(stderr, "SampleHost: cannot load bundle %s: %s\n", path.c_str(),
                   why != nil ? NSStringToStd(why).c_str() : "no such bundle");
      return 1;
    }
    // Two spellings of one directory (a link) are one bundle, reported once.
    if (std::find(loaded.begin(), loaded.end(), bundle) == loaded.end()) loaded.push_back(bundle);
  }
  if (scenario == nullptr) host::print_load_report(stdout, loaded, options.bundles.empty());
  if (scenario == nullptr) return 0;
  if (options.pictures) host::picture::set_directory(*options.pictures);
  int code = scenario->run(stdout);
  return code == 0 && !host::picture::ok() ? 1 : code;
}
