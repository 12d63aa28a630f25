// The host's step pictures: the picture writer on hand-made states, and
// end to end, every picture the sample host draws for the steps of its
// scenarios, held against the text report it prints for the same step.
#include "picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "host_process.h"
#include "picture_support.h"

namespace {

namespace fs = std::filesystem;
namespace picture = host::picture;
using test_support::ShownWindow;

// The off run of the modal scenario after the Find panel starts: the panel
// is key and modal but sits behind the palette.
picture::Screen find_behind_the_palette() {
  return {"2. Find runs modally", "Find", "Find", {{"Inspector", 3}, {"Find", 0}, {"Document", 0}}};
}

test_support::ScreenReport report_of(const picture::Screen& screen) {
  auto reports = test_support::screen_reports(picture::text(screen));
  return reports.empty() ? test_support::ScreenReport{} : reports.front();
}

std::vector<fs::path> svg_files(const fs::path& dir) {
  std::vector<fs::path> files;
  if (fs::is_directory(dir))
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().extension() == ".svg") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Picture, ScreenShowsTheWindowsFrontToBackWithKeyAndModalMarked) {
  picture::Screen screen = find_behind_the_palette();
  std::string svg = picture::svg(screen);
  EXPECT_EQ(test_support::shown_windows(svg),
            (std::vector<ShownWindow>{
                {"Inspector", 3, false, false}, {"Find", 0, true, true}, {"Document", 0, false, false}}));
  EXPECT_EQ(test_support::screen_mismatch(svg, report_of(screen)), "");
  EXPECT_EQ(
      picture::text(screen),
      "2. Find runs modally\n   key    Find\n   front  Inspector:3 Find:0 Document:0\n   modal  Find\n");

  // No key and no modal window: no window is marked, and the text says none.
  picture::Screen quiet{"1. Start", "", "", {{"Document", 0}}};
  EXPECT_EQ(test_support::shown_windows(picture::svg(quiet)),
            (std::vector<ShownWindow>{{"Document", 0, false, false}}));
  EXPECT_EQ(report_of(quiet).key, "none");
  EXPECT_EQ(report_of(quiet).modal, "none");
}

TEST(Picture, ManyWindowsStayInsideThePicture) {
  picture::Screen crowded{"1. Crowded", "W1", "", {}};
  for (int i = 1; i <= 7; ++i) crowded.front.push_back({"W" + std::to_string(i), 0});
  std::string svg = picture::svg(crowded);
  EXPECT_EQ(test_support::shown_windows(svg).size(), 7u);
  static const std::regex frame(R"re(class="frame" x="(\d+)" y="(\d+)" width="(\d+)" height="(\d+)")re");
  int frames = 0;
  for (std::sregex_iterator it(svg.begin(), svg.end(), frame), end; it != end; ++it, ++frames) {
    EXPECT_LE(std::stoi((*it)[1]) + std::stoi((*it)[3]), 380) << (*it)[0];
    EXPECT_LE(std::stoi((*it)[2]) + std::stoi((*it)[4]), 260) << (*it)[0];  // above the legend
  }
  EXPECT_EQ(frames, 7);
}

// The end-to-end checks below rely on screen_mismatch: it must see a
// picture of another state than the text's.
TEST(Picture, APictureOfAnotherStateThanTheTextIsCaught) {
  picture::Screen truth = find_behind_the_palette();
  picture::Screen key_elsewhere = truth;
  key_elsewhere.key = "Inspector";
  EXPECT_NE(test_support::screen_mismatch(picture::svg(key_elsewhere), report_of(truth)).find("marked key"),
            std::string::npos);
  picture::Screen modal_elsewhere = truth;
  modal_elsewhere.modal = "Document";
  EXPECT_NE(
      test_support::screen_mismatch(picture::svg(modal_elsewhere), report_of(truth)).find("marked modal"),
      std::string::npos);
  picture::Screen raised = truth;
  raised.front = {{"Find", 4}, {"Inspector", 3}, {"Document", 0}};
  EXPECT_NE(test_support::screen_mismatch(picture::svg(raised), report_of(truth)), "");
  picture::Screen closed = truth;
  closed.front.pop_back();
  EXPECT_NE(test_support::screen_mismatch(picture::svg(closed), report_of(truth)), "");
}

TEST(Picture, TitlesThatLookLikeMarkupAreEscaped) {
  picture::Screen screen{"1. <b>\"Tom\" & 'Jerry'</b>", "A<B", "", {{"A<B", 0}, {"x & y", 2}}};
  std::string svg = picture::svg(screen);
  EXPECT_EQ(svg.find("<b>"), std::string::npos);
  EXPECT_EQ(svg.find("A<B"), std::string::npos);
  EXPECT_EQ(test_support::shown_windows(svg),
            (std::vector<ShownWindow>{{"A<B", 0, true, false}, {"x & y", 2, false, false}}));
  EXPECT_EQ(picture::escape("\"<&>'\x01"), "&quot;&lt;&amp;&gt;&apos;?");
  if (!test_support::have_xmllint()) GTEST_SKIP() << test_support::kNoXmllint;
  fs::path dir = test_support::fresh_directory("picture-escape");
  picture::set_directory(dir.string());
  picture::write(svg);
  picture::write(picture::svg(picture::PrintSettings{"<&>", "A&4", 595, 842, false, 1}));
  picture::write(picture::svg(picture::MatrixView{"type \"<\"", 300, 0, 9, 5, -1, 5}));
  EXPECT_EQ(test_support::xmllint_errors(svg_files(dir)), "");
  fs::remove_all(dir);
}

TEST(Picture, MatrixMarksRowsInViewAndNotesThoseOutOfView) {
  // The off run after the click: the view jumped back to the edited cell.
  picture::MatrixView view{"click 3rd row shown", 300, 150, 159, 5, 152, 7};
  std::string svg = picture::svg(view);
  auto rows = test_support::shown_rows(svg);
  ASSERT_EQ(rows.size(), 10u);
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].row, 150 + static_cast<long>(i));
    EXPECT_EQ(rows[i].clicked, rows[i].row == 152) << rows[i].row;
    EXPECT_FALSE(rows[i].edited || rows[i].selected) << rows[i].row;
  }
  EXPECT_NE(svg.find("editing row 5 (above, out of view)"), std::string::npos);
  EXPECT_NE(svg.find("selected row 7 (above, out of view)"), std::string::npos);
  EXPECT_EQ(picture::marks(view), "editing 5, selected 7, clicked 152");
  EXPECT_EQ(picture::text(view), "click 3rd row shown        rows 150-159\n");

  picture::MatrixView plain{"start", 300, 0, 9, -1, -1, -1};
  EXPECT_EQ(picture::marks(plain), "none");
  for (const auto& row : test_support::shown_rows(picture::svg(plain)))
    EXPECT_FALSE(row.edited || row.selected || row.clicked) << row.row;
}

TEST(Picture, PrintSettingsShowPaperSizeOrientationAndWhichObject) {
  picture::PrintSettings settings{"A5, OK", "A5", 420, 595, true, 2};
  std::string svg = picture::svg(settings);
  EXPECT_EQ(test_support::shown_settings(svg), (test_support::ShownSettings{"A5", "landscape", 420, 595, 2}));
  EXPECT_NE(svg.find("a new object since start"), std::string::npos);
  // Landscape turns the sheet: wider than high, at the same scale.
  EXPECT_NE(svg.find(R"(class="sheet" x="20" y="40" width="160" height="113")"), std::string::npos) << svg;
  EXPECT_EQ(picture::text(settings), "A5, OK           A5 420x595 landscape  #2\n");
  EXPECT_NE(picture::svg(picture::PrintSettings{"start", "Letter", 612, 792, false, 1})
                .find("same object as at start"),
            std::string::npos);
}

TEST(Picture, WritesOneNumberedFilePerStepAndReportsWhatItCannotWrite) {
  fs::path dir = test_support::fresh_directory("picture-write");
  picture::write("not written: no directory yet");
  picture::set_directory((dir / "modal" / "off").string());
  picture::write("first");
  picture::write("second");
  EXPECT_EQ(test_support::slurp(dir / "modal" / "off" / "01.svg"), "first");
  EXPECT_EQ(test_support::slurp(dir / "modal" / "off" / "02.svg"), "second");
  EXPECT_EQ(svg_files(dir / "modal" / "off").size(), 2u);
  EXPECT_TRUE(picture::ok());

  std::ofstream(dir / "plain-file") << "in the way";
  picture::set_directory((dir / "plain-file" / "pictures").string());
  picture::write("third");
  EXPECT_FALSE(picture::ok());
  fs::remove_all(dir);
}

// --- End to end ------------------------------------------------------------

struct PlayedRun {
  test_support::ProcessResult result;
  std::vector<std::string> pictures;  // the step pictures, in step order
};

PlayedRun play(const char* scenario, const char* patches, const fs::path& dir) {
  test_support::use_fresh_defaults("picture-defaults");
  PlayedRun run;
  run.result = test_support::run_host({"-scenario", scenario, "-pictures", dir.string(), "-CorvaneEnable",
                                       patches, "-MatrixScrollPatchEnable", patches});
  for (const fs::path& file : svg_files(dir)) run.pictures.push_back(test_support::slurp(file));
  return run;
}

class PictureScenario : public ::testing::TestWithParam<const char*> {};

TEST_P(PictureScenario, ScreenPicturesShowTheWindowsTheTextReports) {
  for (const char* scenario : {"modal", "nested"}) {
    fs::path dir = test_support::fresh_directory("pictures");
    PlayedRun run = play(scenario, GetParam(), dir);
    ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
    auto reports = test_support::screen_reports(run.result.out);
    ASSERT_GE(reports.size(), 6u) << run.result.out;
    ASSERT_EQ(run.pictures.size(), reports.size()) << scenario;
    for (size_t i = 0; i < reports.size(); ++i)
      EXPECT_EQ(test_support::screen_mismatch(run.pictures[i], reports[i]), "")
          << scenario << " step " << reports[i].step << "\n"
          << run.result.out;
    fs::remove_all(dir);
  }
}

TEST_P(PictureScenario, MatrixPicturesShowTheRowsTheTextReports) {
  fs::path dir = test_support::fresh_directory("pictures");
  PlayedRun run = play("matrix", GetParam(), dir);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  auto reports = test_support::matrix_reports(run.result.out);
  ASSERT_EQ(reports.size(), 8u) << run.result.out;
  ASSERT_EQ(run.pictures.size(), reports.size());
  bool saw_selection = false;
  for (size_t i = 0; i < reports.size(); ++i) {
    auto rows = test_support::shown_rows(run.pictures[i]);
    ASSERT_EQ(rows.size(), static_cast<size_t>(reports[i].last - reports[i].first + 1)) << reports[i].step;
    for (size_t r = 0; r < rows.size(); ++r) EXPECT_EQ(rows[r].row, reports[i].first + static_cast<long>(r));
    if (reports[i].selected >= 0) {
      saw_selection = true;
      for (const auto& row : rows) EXPECT_EQ(row.selected, row.row == reports[i].selected) << reports[i].step;
    }
    int edited = 0, selected = 0, clicked = 0;
    for (const auto& row : rows) edited += row.edited, selected += row.selected, clicked += row.clicked;
    EXPECT_LE(edited, 1);
    EXPECT_LE(selected, 1);
    EXPECT_LE(clicked, 1);
  }
  EXPECT_TRUE(saw_selection) << run.result.out;
  fs::remove_all(dir);
}

TEST_P(PictureScenario, PageLayoutPicturesShowTheSettingsTheTextReports) {
  fs::path dir = test_support::fresh_directory("pictures");
  PlayedRun run = play("pagelayout", GetParam(), dir);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  auto reports = test_support::settings_reports(run.result.out);
  ASSERT_EQ(reports.size(), 3u) << run.result.out;
  ASSERT_EQ(run.pictures.size(), reports.size());
  for (size_t i = 0; i < reports.size(); ++i)
    EXPECT_EQ(test_support::shown_settings(run.pictures[i]), reports[i].second) << reports[i].first;
  fs::remove_all(dir);
}

TEST_P(PictureScenario, EveryPictureIsWellFormed) {
  if (!test_support::have_xmllint()) GTEST_SKIP() << test_support::kNoXmllint;
  fs::path dir = test_support::fresh_directory("pictures");
  std::vector<fs::path> files;
  for (const char* scenario : {"modal", "nested", "matrix", "pagelayout"}) {
    PlayedRun run = play(scenario, GetParam(), dir / scenario);
    ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
    auto more = svg_files(dir / scenario);
    ASSERT_FALSE(more.empty()) << scenario;
    files.insert(files.end(), more.begin(), more.end());
  }
  EXPECT_EQ(test_support::xmllint_errors(files), "");
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Patches, PictureScenario, ::testing::Values("NO", "YES"),
                         [](const auto& info) { return std::string(info.param[0] == 'Y' ? "On" : "Off"); });

TEST(PictureScenarioHost, APictureDirectoryThatCannotBeMadeFailsTheRun) {
  fs::path dir = test_support::fresh_directory("pictures");
  std::ofstream(dir / "plain-file") << "in the way";
  PlayedRun run = play("pagelayout", "NO", dir / "plain-file");
  EXPECT_EQ(run.result.exit_code, 1);
  EXPECT_NE(run.result.err.find("cannot write the picture"), std::string::npos) << run.result.err;
  fs::remove_all(dir);
}

}  // namespace
