// scripts/demo-page: the demo's web page, assembled from the step pictures
// of two runs of each scenario. Once on hand-made pictures (escaping, a
// step only one run has), once on pictures the sample host drew for all its
// scenarios, patches off and on, laid out as scripts/demo lays them out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "host_process.h"
#include "picture.h"
#include "picture_support.h"

namespace {

namespace fs = std::filesystem;
namespace picture = host::picture;

// Runs scripts/demo-page on dir and returns the page it wrote.
std::string assemble(const fs::path& dir) {
  std::string command = "bash \"" CORVANE_SOURCE_DIR "/scripts/demo-page\" \"" + dir.string() + "\"";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return test_support::slurp(dir / "index.html");
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

void write_pictures(const fs::path& dir, const std::vector<std::string>& pictures) {
  picture::set_directory(dir.string());
  for (const std::string& svg : pictures) picture::write(svg);
}

TEST(DemoPage, EscapesWhatItIsGivenAndMarksAStepOneRunLacks) {
  fs::path dir = test_support::fresh_directory("demo-page");
  std::ofstream(dir / "scenarios.tsv") << "odd\ta <b> & \"c\"\tit <breaks>\tit & mends\n";
  write_pictures(dir / "odd" / "off", {picture::svg(picture::Screen{"1. <i>", "A&B", "", {{"A&B", 0}}}),
                                       picture::svg(picture::Screen{"2. Only off", "", "", {}})});
  std::ofstream(dir / "odd" / "off" / "parts.txt") << "02 control a <check>\n";
  write_pictures(dir / "odd" / "on", {picture::svg(picture::Screen{"1. <i>", "", "", {{"A&B", 0}}})});
  std::string page = assemble(dir);
  EXPECT_NE(page.find("<h2>odd: a &lt;b&gt; &amp; &quot;c&quot;</h2>"), std::string::npos) << page;
  EXPECT_NE(page.find("<li><a href=\"#odd\"><b>odd</b>: a &lt;b&gt; &amp; &quot;c&quot;</a>.\n"
                      "<span class=\"fault\">Without the patches, it &lt;breaks&gt;.</span>\n"
                      "<span class=\"fix\">With them, it &amp; mends.</span></li>"),
            std::string::npos)
      << page;
  EXPECT_EQ(page.find("<i>"), std::string::npos);
  EXPECT_EQ(count(page, "<tr class=\"step\">"), 2u);
  EXPECT_NE(page.find("<pre><span class=\"fault\">without: key    A&amp;B</span>\n"
                      "<span class=\"fix\">with:    key    none</span></pre>"),
            std::string::npos)
      << page;
  // The control case's heading stands before its first step.
  size_t control = page.find("<tr class=\"part control\"><th colspan=\"2\">Control case: a &lt;check&gt;.");
  ASSERT_NE(control, std::string::npos) << page;
  EXPECT_LT(control, page.find("2. Only off"));
  EXPECT_GT(control, page.find("1. &lt;i&gt;"));
  EXPECT_NE(page.find("no such step in this run"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  if (!test_support::have_xmllint()) GTEST_SKIP() << test_support::kNoXmllint;
  EXPECT_EQ(test_support::xmllint_errors({dir / "index.html"}), "");
  fs::remove_all(dir);
}

TEST(DemoPage, ShowsEveryScenarioOfTheHostStepByStep) {
  fs::path dir = test_support::fresh_directory("demo-page");
  test_support::use_fresh_defaults("demo-page-defaults");
  auto list = test_support::run_host({"-describe-scenarios"});
  ASSERT_EQ(list.exit_code, 0) << list.err;
  std::ofstream(dir / "scenarios.tsv") << list.out;
  size_t scenarios = 0, steps = 0;
  std::istringstream lines(list.out);
  for (std::string line; std::getline(lines, line);) {
    std::string name = line.substr(0, line.find('\t'));
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
    for (const char* run : {"off", "on"}) {
      const char* patches = std::string(run) == "on" ? "YES" : "NO";
      auto played = test_support::run_host({"-scenario", name, "-pictures", (dir / name / run).string(),
                                            "-CorvaneEnable", patches, "-MatrixScrollPatchEnable", patches});
      ASSERT_EQ(played.exit_code, 0) << played.err;
    }
    ++scenarios;
    for (const auto& entry : fs::directory_iterator(dir / name / "off"))
      steps += entry.path().extension() == ".svg";
  }
  ASSERT_GE(scenarios, 4u);
  std::string page = assemble(dir);
  EXPECT_EQ(count(page, "<section id="), scenarios);
  EXPECT_EQ(count(page, "<li><a href=\"#"), scenarios);
  EXPECT_EQ(count(page, "<tr class=\"step\">"), steps);
  EXPECT_EQ(count(page, "<svg "), 2 * steps);
  EXPECT_EQ(count(page, "<tr class=\"note "), steps);
  // The matrix scenario's two parts; Return is the control case.
  EXPECT_EQ(count(page, "<tr class=\"part\"><th colspan=\"2\">edit ended by a click</th></tr>"), 1u);
  EXPECT_EQ(count(page, "<tr class=\"part control\"><th colspan=\"2\">Control case: edit ended by Return."),
            1u);
  // The modal scenario: both runs open alike; once Find runs, the palette
  // takes key only with the patches off.
  EXPECT_NE(
      page.find("<tr class=\"note same\"><td colspan=\"2\">The same with and without the patches here."),
      std::string::npos);
  EXPECT_NE(page.find("without: key    Inspector</span>\n<span class=\"fix\">with:    key    Find</span>"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("without: A5, Cancel       A5 420x595 portrait  #1</span>\n"
                      "<span class=\"fix\">with:    A5, Cancel       Letter 612x792 portrait  #1</span>"),
            std::string::npos);
  EXPECT_NE(page.find("without: marks  selected 7, clicked 152</span>\n"
                      "<span class=\"fix\">with:    marks  selected 152, clicked 152</span>"),
            std::string::npos);
  if (!test_support::have_xmllint()) GTEST_SKIP() << test_support::kNoXmllint;
  EXPECT_EQ(test_support::xmllint_errors({dir / "index.html"}), "");
  fs::remove_all(dir);
}

}  // namespace
