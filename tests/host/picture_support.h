// Reading the host's step pictures back: what an SVG file shows (window
// order, key and modal marks, levels, rows shown and marked, print
// settings), parsed from the elements the picture writer draws, and what
// the text report of a step says, so that tests can hold the two together.
// Also xmllint, when installed, to check that a file is well-formed.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host_process.h"

namespace test_support {

inline std::string unescape(std::string text) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (auto [entity, plain] : kEntities)
    for (size_t at = 0; (at = text.find(entity, at)) != std::string::npos; at += std::string(plain).size())
      text.replace(at, std::string(entity).size(), plain);
  return text;
}

// --- Screens -------------------------------------------------------------

struct ShownWindow {
  std::string title;
  long level = 0;
  bool key = false;    // carries the KEY badge
  bool modal = false;  // carries the MODAL badge
  bool operator==(const ShownWindow&) const = default;
};

// The windows of a screen picture, front to back (the picture draws them
// back to front).
inline std::vector<ShownWindow> shown_windows(const std::string& svg) {
  static const std::regex group(R"(<g class="window[^"]*">([\s\S]*?)</g>)");
  static const std::regex title(R"re(<text class="title"[^>]*>([^<]*)</text>)re");
  static const std::regex level(R"re(<text class="level"[^>]*>level (-?\d+)</text>)re");
  static const std::regex key(R"re(<text class="key-badge"[^>]*>KEY</text>)re");
  static const std::regex modal(R"re(<text class="modal-badge"[^>]*>MODAL</text>)re");
  std::vector<ShownWindow> windows;
  for (std::sregex_iterator it(svg.begin(), svg.end(), group), end; it != end; ++it) {
    std::string body = (*it)[1];
    std::smatch m;
    ShownWindow w;
    if (std::regex_search(body, m, title)) w.title = unescape(m[1]);
    if (std::regex_search(body, m, level)) w.level = std::stol(m[1]);
    w.key = std::regex_search(body, key);
    w.modal = std::regex_search(body, modal);
    windows.insert(windows.begin(), w);
  }
  return windows;
}

// A step of a modal scenario's text report.
struct ScreenReport {
  std::string step;  // "3. Click the Inspector"
  std::string key;   // "none" when none
  std::string modal;
  std::vector<ShownWindow> front;  // title and level only
};

inline std::vector<ScreenReport> screen_reports(const std::string& out) {
  static const std::regex step(R"(^\d+\. .*$)");
  static const std::regex pair(R"(^(.*):(-?\d+)$)");
  std::vector<ScreenReport> reports;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, step)) {
      reports.push_back({line, "", "", {}});
    } else if (!reports.empty() && line.rfind("   key    ", 0) == 0) {
      reports.back().key = line.substr(10);
    } else if (!reports.empty() && line.rfind("   modal  ", 0) == 0) {
      reports.back().modal = line.substr(10);
    } else if (!reports.empty() && line.rfind("   front  ", 0) == 0) {
      std::istringstream words(line.substr(10));
      std::smatch m;
      for (std::string word; words >> word;)
        if (std::regex_match(word, m, pair)) reports.back().front.push_back({m[1], std::stol(m[2])});
    }
  }
  return reports;
}

// Where a screen picture and the step's report disagree, or "".
inline std::string screen_mismatch(const std::string& svg, const ScreenReport& report) {
  std::vector<ShownWindow> shown = shown_windows(svg);
  std::string why;
  if (shown.size() != report.front.size())
    why += "the picture shows " + std::to_string(shown.size()) + " windows; ";
  for (size_t i = 0; i < shown.size() && i < report.front.size(); ++i) {
    const ShownWindow& s = shown[i];
    const ShownWindow& r = report.front[i];
    std::string at = "window " + std::to_string(i + 1) + " from the front";
    if (s.title != r.title || s.level != r.level)
      why += at + " is " + s.title + ":" + std::to_string(s.level) + ", the text says " + r.title + ":" +
             std::to_string(r.level) + "; ";
    if (s.key != (s.title == report.key)) why += at + (s.key ? " is marked key; " : " is not marked key; ");
    if (s.modal != (s.title == report.modal))
      why += at + (s.modal ? " is marked modal; " : " is not marked modal; ");
  }
  return why;
}

// --- Matrices ------------------------------------------------------------

struct ShownRow {
  long row = -1;
  bool edited = false, selected = false, clicked = false;
};

inline std::vector<ShownRow> shown_rows(const std::string& svg) {
  static const std::regex group(R"re(<g class="row([^"]*)">([\s\S]*?)</g>)re");
  static const std::regex number(R"re(<text class="row-number"[^>]*>row (\d+)</text>)re");
  std::vector<ShownRow> rows;
  for (std::sregex_iterator it(svg.begin(), svg.end(), group), end; it != end; ++it) {
    std::string marks = (*it)[1], body = (*it)[2];
    std::smatch m;
    ShownRow r;
    if (std::regex_search(body, m, number)) r.row = std::stol(m[1]);
    r.edited = marks.find(" edited") != std::string::npos;
    r.selected = marks.find(" selected") != std::string::npos;
    r.clicked = marks.find(" clicked") != std::string::npos;
    rows.push_back(r);
  }
  return rows;
}

// A step line of the matrix scenario, "click 3rd row shown        rows 150-159",
// with the "  selected row N" line that may follow it.
struct MatrixReport {
  std::string step;
  long first = 0, last = 0;
  long selected = -1;  // -1 when the report does not say
};

inline std::vector<MatrixReport> matrix_reports(const std::string& out) {
  static const std::regex step(R"(^(.{26}) rows +(\d+)-(\d+)$)");
  static const std::regex selected(R"(^  selected row (\d+)$)");
  std::vector<MatrixReport> reports;
  std::istringstream lines(out);
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, m, step)) {
      std::string name = m[1];
      name.erase(name.find_last_not_of(' ') + 1);
      reports.push_back({name, std::stol(m[2]), std::stol(m[3])});
    } else if (!reports.empty() && std::regex_match(line, m, selected)) {
      reports.back().selected = std::stol(m[1]);
    }
  }
  return reports;
}

// --- Print settings ------------------------------------------------------

struct ShownSettings {
  std::string paper, orientation;
  long width = 0, height = 0;
  unsigned long object = 0;
  bool operator==(const ShownSettings&) const = default;
};

inline ShownSettings shown_settings(const std::string& svg) {
  static const std::regex paper(R"re(<text class="paper"[^>]*>([^<]*)</text>)re");
  static const std::regex size(R"re(<text class="size"[^>]*>(\d+) \S+ (\d+) pt</text>)re");
  static const std::regex orientation(R"re(<text class="orientation"[^>]*>([a-z]+)</text>)re");
  static const std::regex object(R"re(<text class="object"[^>]*>object #(\d+)</text>)re");
  ShownSettings s;
  std::smatch m;
  if (std::regex_search(svg, m, paper)) s.paper = unescape(m[1]);
  if (std::regex_search(svg, m, size)) s.width = std::stol(m[1]), s.height = std::stol(m[2]);
  if (std::regex_search(svg, m, orientation)) s.orientation = m[1];
  if (std::regex_search(svg, m, object)) s.object = std::stoul(m[1]);
  return s;
}

// "A5, Cancel       Letter 612x792 portrait  #1"
inline std::vector<std::pair<std::string, ShownSettings>> settings_reports(const std::string& out) {
  static const std::regex step(R"(^(.{16}) (\S+) (\d+)x(\d+) (portrait|landscape)  #(\d+)$)");
  std::vector<std::pair<std::string, ShownSettings>> reports;
  std::istringstream lines(out);
  std::smatch m;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_match(line, m, step))
      reports.push_back({m[1], {m[2], m[5], std::stol(m[3]), std::stol(m[4]), std::stoul(m[6])}});
  return reports;
}

// --- Well-formedness -----------------------------------------------------

// Whether xmllint can be run here (a Windows build under Wine cannot).
inline bool have_xmllint() {
#if defined(_WIN32)
  return false;
#else
  return std::system("xmllint --version >/dev/null 2>&1") == 0;
#endif
}

inline constexpr const char* kNoXmllint =
    "xmllint is not installed (Debian package libxml2-utils; scripts/bootstrap installs it)";

// xmllint's complaints about the files, or "" when every one is well-formed.
inline std::string xmllint_errors(const std::vector<std::filesystem::path>& files) {
  std::filesystem::path dir = fresh_directory("xmllint");
  std::filesystem::path log = dir / "log";
  std::string command = "xmllint --noout";
  for (const auto& f : files) command += " \"" + f.string() + "\"";
  command += " > \"" + log.string() + "\" 2>&1";
  int status = std::system(command.c_str());
  std::ifstream in(log);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::filesystem::remove_all(dir);
  return status == 0 ? "" : text.empty() ? "xmllint failed" : text;
}

}  // namespace test_support
