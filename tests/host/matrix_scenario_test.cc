// End to end: the sample host loads the built bundle and plays the matrix
// scenario with the switches given on its command line, each run a process
// of its own with user defaults in a fresh directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host_process.h"

namespace {

using test_support::has_line;

test_support::ProcessResult play(const char* corvane, const char* matrix_patch) {
  test_support::use_fresh_defaults("matrix-defaults");
  return test_support::run_host(
      {"-scenario", "matrix", "-CorvaneEnable", corvane, "-MatrixScrollPatchEnable", matrix_patch});
}

TEST(MatrixScenario, MatrixPatchOnAloneKeepsTheRowsTheUserScrolledTo) {
  auto run = play("NO", "YES");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(has_line(run.out, "matrix class: CorvaneMatrix")) << run.out;
  EXPECT_TRUE(has_line(run.out, "click 3rd row shown        rows 150-159")) << run.out;
  EXPECT_TRUE(has_line(run.out, "  selected row 152")) << run.out;
  EXPECT_TRUE(has_line(run.out, "  row 5 reads \"Item 5!\"")) << run.out;
  // Return ends the edit as it always did: back to the edited cell.
  EXPECT_TRUE(has_line(run.out, "press Return               rows   5-14")) << run.out;
  EXPECT_TRUE(has_line(run.out, "  row 5 reads \"Item 5!?\"")) << run.out;
}

TEST(MatrixScenario, ApplicationPatchOnAloneLeavesTheMatrixJumpingBack) {
  auto run = play("YES", "NO");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(has_line(run.out, "matrix class: NSMatrix")) << run.out;
  EXPECT_TRUE(has_line(run.out, "click 3rd row shown        rows   5-14")) << run.out;
  EXPECT_TRUE(has_line(run.out, "  selected row 7")) << run.out;
  EXPECT_TRUE(has_line(run.out, "press Return               rows   5-14")) << run.out;
}

}  // namespace
