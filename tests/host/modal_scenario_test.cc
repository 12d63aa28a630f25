// End to end: the sample host loads the built bundle and plays the modal
// scenarios with "CorvaneEnable" off and on, each run a process of its own
// with user defaults in a fresh directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host_process.h"

namespace {

test_support::ProcessResult play(const char* scenario, const char* corvane) {
  test_support::use_fresh_defaults("modal-defaults");
  return test_support::run_host(
      {"-scenario", scenario, "-CorvaneEnable", corvane, "-MatrixScrollPatchEnable", "NO"});
}

// The step's title line and the key and front lines that follow it.
std::string step(const std::string& out, const std::string& title) {
  size_t at = ("\n" + out).find("\n" + title + "\n");
  if (at == std::string::npos) return "(no step " + title + ")";
  size_t end = at;
  for (int lines = 0; lines < 3 && end != std::string::npos; ++lines) end = out.find('\n', end + 1);
  return out.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

TEST(ModalScenario, PatchOffLeavesTheFrameworkUntouched) {
  auto run = play("modal", "NO");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out.rfind("application: NSApplication\n", 0), 0u) << run.out;
  // The panel stays at its own level, behind the palette, which takes key.
  EXPECT_EQ(step(run.out, "2. Find runs modally"),
            "2. Find runs modally\n   key    Find\n   front  Inspector:3 Find:0 Document:0");
  EXPECT_EQ(step(run.out, "3. Click the Inspector"),
            "3. Click the Inspector\n   key    Inspector\n   front  Inspector:3 Find:0 Document:0");
}

TEST(ModalScenario, PatchOnKeepsTheFindPanelKeyAndInFront) {
  auto run = play("modal", "YES");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out.rfind("application: CorvaneApplication\n", 0), 0u) << run.out;
  EXPECT_EQ(step(run.out, "3. Click the Inspector"),
            "3. Click the Inspector\n   key    Find\n   front  Find:4 Inspector:3 Document:0");
  EXPECT_EQ(step(run.out, "6. Find closed"),
            "6. Find closed\n   key    Document\n   front  Inspector:3 Document:0");
}

TEST(ModalScenario, NestedSessionsKeepTheInnermostPanelKey) {
  auto off = play("nested", "NO");
  auto on = play("nested", "YES");
  ASSERT_EQ(off.exit_code, 0) << off.err;
  ASSERT_EQ(on.exit_code, 0) << on.err;
  EXPECT_EQ(step(off.out, "4. A is made key"),
            "4. A is made key\n   key    A\n   front  Inspector:3 A:0 B:0 Document:0");
  EXPECT_EQ(step(on.out, "4. A is made key"),
            "4. A is made key\n   key    B\n   front  B:4 A:4 Inspector:3 Document:0");
  EXPECT_EQ(step(on.out, "6. Click the Inspector"),
            "6. Click the Inspector\n   key    A\n   front  A:4 Inspector:3 Document:0");
}

}  // namespace
