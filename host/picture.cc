// The scenario steps as text and as SVG pictures (see picture.h).
//
// Every picture is 380 by 290 units with the step written across the top,
// so that pictures of two runs line up side by side. The elements that carry
// a fact have a class naming it (window, title, level, key-badge, row,
// paper, ...), which keeps the files easy to check by machine.
#include "picture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

namespace host::picture {
namespace {

constexpr int kWidth = 380;
constexpr int kHeight = 290;

std::string format(const char* pattern, auto... values) {
  char buffer[512];
  int n = std::snprintf(buffer, sizeof buffer, pattern, values...);
  return std::string(buffer, n < 0 ? 0 : static_cast<size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);
}

// The document around a picture's body: its size, its step as <title> and
// heading, and its text report as <desc>.
std::string document(const std::string& step, const std::string& report, const std::string& body) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += format(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
      "font-family=\"DejaVu Sans, Verdana, sans-serif\" font-size=\"12\">\n",
      kWidth, kHeight, kWidth, kHeight);
  out += "<title>" + escape(step) + "</title>\n";
  out += "<desc>\n" + escape(report) + "</desc>\n";
  out += format("<rect width=\"%d\" height=\"%d\" fill=\"#eef1f5\"/>\n", kWidth, kHeight);
  out += "<text class=\"step\" x=\"10\" y=\"18\" font-weight=\"bold\">" + escape(step) + "</text>\n";
  out += body;
  out += "</svg>\n";
  return out;
}

// A small filled label, e.g. KEY on a title bar.
std::string badge(const char* cls, int x, int y, int width, const char* fill, const char* label) {
  return format(
      "<rect class=\"%s\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"15\" rx=\"3\" fill=\"%s\"/>\n"
      "<text class=\"%s\" x=\"%d\" y=\"%d\" font-size=\"10\" font-weight=\"bold\" fill=\"#ffffff\" "
      "text-anchor=\"middle\">%s</text>\n",
      cls, x, y, width, fill, cls, x + width / 2, y + 11, label);
}

// Screen pictures: windows as overlapping rectangles, the backmost at the
// top left and each nearer one further down and to the right.
constexpr int kWindowWidth = 240, kWindowHeight = 120, kStepX = 36, kStepY = 34, kBar = 22;

std::string window(const Window& w, int x, int y, bool key, bool modal) {
  std::string cls = std::string("window") + (key ? " key" : "") + (modal ? " modal" : "");
  std::string out = "<g class=\"" + cls + "\">\n";
  out += format(
      "<rect class=\"frame\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#ffffff\" stroke=\"%s\" "
      "stroke-width=\"%d\"/>\n",
      x, y, kWindowWidth, kWindowHeight, modal ? "#d9480f" : "#5c6673", modal ? 3 : 1);
  out += format("<rect class=\"bar\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\"/>\n", x, y,
                kWindowWidth, kBar, key ? "#1c5fd4" : "#c6ccd5");
  const char* ink = key ? "#ffffff" : "#1f2328";
  out += format("<text class=\"title\" x=\"%d\" y=\"%d\" font-weight=\"bold\" fill=\"%s\">", x + 7, y + 15,
                ink) +
         escape(w.title) + "</text>\n";
  out += format(
      "<text class=\"level\" x=\"%d\" y=\"%d\" font-size=\"11\" fill=\"%s\" text-anchor=\"end\">level "
      "%ld</text>\n",
      x + kWindowWidth - 6, y + 15, ink, w.level);
  int right = x + kWindowWidth - 52;
  if (key) {
    right -= 34;
    out += badge("key-badge", right, y + 4, 30, "#0b3d91", "KEY");
  }
  if (modal) out += badge("modal-badge", right - 48, y + 4, 44, "#d9480f", "MODAL");
  out += "</g>\n";
  return out;
}

std::string joined_front(const Screen& screen, const char* between) {
  std::string out;
  for (size_t i = 0; i < screen.front.size(); ++i)
    out += (i > 0 ? between : "") + screen.front[i].title + ":" + std::to_string(screen.front[i].level);
  return out;
}

// Matrix pictures: the rows shown, top to bottom, beside a scroller.
constexpr int kListX = 12, kListY = 46, kListWidth = 300, kRowHeight = 20;

std::string row_note(long row, const char* what, long first, long last) {
  if (row < 0 || (row >= first && row <= last)) return "";
  return what + std::string(" row ") + std::to_string(row) +
         (row < first ? " (above, out of view)" : " (below, out of view)");
}

}  // namespace

std::string marks(const MatrixView& view) {
  std::string out;
  for (auto [row, what] :
       {std::pair{view.edited, "editing"}, {view.selected, "selected"}, {view.clicked, "clicked"}})
    if (row >= 0) out += (out.empty() ? "" : ", ") + std::string(what) + " " + std::to_string(row);
  return out.empty() ? "none" : out;
}

std::string escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        // Control characters other than tab and newline are not XML.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t')
          out += '?';
        else
          out += c;
    }
  }
  return out;
}

// "3. Click the Inspector", then the key window, the stack and the modal
// window:
//      key    Find
//      front  Find:4 Inspector:3 Document:0
//      modal  Find
std::string text(const Screen& screen) {
  return screen.step + "\n" + "   key    " + (screen.key.empty() ? "none" : screen.key) + "\n" +
         "   front  " + joined_front(screen, " ") + "\n" + "   modal  " +
         (screen.modal.empty() ? "none" : screen.modal) + "\n";
}

// "click 3rd row shown        rows 150-159"
std::string text(const MatrixView& view) {
  return format("%-26s rows %3ld-%ld\n", view.step.c_str(), view.first, view.last);
}

// "A5, Cancel       Letter 612x792 portrait  #1"
std::string text(const PrintSettings& settings) {
  return format("%-16s %s %ldx%ld %s  #%lu\n", settings.step.c_str(), settings.paper.c_str(), settings.width,
                settings.height, settings.landscape ? "landscape" : "portrait", settings.object);
}

std::string svg(const Screen& screen) {
  std::string body;
  const int n = static_cast<int>(screen.front.size());
  // More than four windows are drawn closer together, to stay in the picture.
  const int step_x = n > 4 ? 3 * kStepX / (n - 1) : kStepX, step_y = n > 4 ? 3 * kStepY / (n - 1) : kStepY;
  // Back to front, so that nearer windows cover those behind them.
  for (int i = n - 1; i >= 0; --i) {
    const Window& w = screen.front[static_cast<size_t>(i)];
    int k = n - 1 - i;
    body += window(w, 12 + k * step_x, 30 + k * step_y, !screen.key.empty() && w.title == screen.key,
                   !screen.modal.empty() && w.title == screen.modal);
  }
  if (n == 0) body += "<text x=\"12\" y=\"60\" fill=\"#5c6673\">no windows on screen</text>\n";
  body += "<text class=\"legend\" x=\"10\" y=\"268\" font-size=\"11\">key: " +
          escape(screen.key.empty() ? "none" : screen.key) +
          " \u00b7 modal: " + escape(screen.modal.empty() ? "none" : screen.modal) + "</text>\n";
  body += "<text class=\"legend\" x=\"10\" y=\"283\" font-size=\"11\">front to back: " +
          escape(joined_front(screen, ", ")) + "</text>\n";
  return document(screen.step, text(screen).substr(screen.step.size() + 1), body);
}

std::string svg(const MatrixView& view) {
  std::string body =
      format("<text class=\"shown\" x=\"%d\" y=\"38\" font-size=\"11\">rows %ld-%ld of %ld</text>\n", kListX,
             view.first, view.last, view.rows);
  for (long row = view.first; row <= view.last; ++row) {
    int y = kListY + static_cast<int>(row - view.first) * kRowHeight;
    bool edited = row == view.edited, selected = row == view.selected, clicked = row == view.clicked;
    std::string cls = std::string("row") + (edited ? " edited" : "") + (selected ? " selected" : "") +
                      (clicked ? " clicked" : "");
    const char* fill = selected ? "#1c5fd4" : edited ? "#fff3bf" : "#ffffff";
    const char* ink = selected ? "#ffffff" : "#1f2328";
    body += "<g class=\"" + cls + "\">\n";
    body += format(
        "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\" stroke=\"%s\" "
        "stroke-width=\"%d\"/>\n",
        kListX, y, kListWidth, kRowHeight, fill, edited ? "#e8a400" : "#c6ccd5", edited ? 2 : 1);
    body += format("<text class=\"row-number\" x=\"%d\" y=\"%d\" fill=\"%s\">row %ld</text>\n", kListX + 8,
                   y + 14, ink, row);
    std::string marks;
    if (edited) marks += "editing ";
    if (selected) marks += "selected ";
    if (clicked) marks += "\u2190 clicked";
    if (!marks.empty())
      body +=
          format("<text class=\"marks\" x=\"%d\" y=\"%d\" font-size=\"11\" fill=\"%s\" text-anchor=\"end\">",
                 kListX + kListWidth - 8, y + 14, ink) +
          escape(marks) + "</text>\n";
    body += "</g>\n";
  }
  // The scroller: where the rows shown lie among all of them.
  const int track = 10 * kRowHeight;
  int top = view.rows > 0 ? static_cast<int>(view.first * track / view.rows) : 0;
  int size = view.rows > 0 ? static_cast<int>((view.last - view.first + 1) * track / view.rows) : track;
  body += format("<rect x=\"%d\" y=\"%d\" width=\"12\" height=\"%d\" fill=\"#d5dae1\"/>\n",
                 kListX + kListWidth + 8, kListY, track);
  body += format(
      "<rect class=\"scroller\" x=\"%d\" y=\"%d\" width=\"12\" height=\"%d\" rx=\"3\" fill=\"#5c6673\"/>\n",
      kListX + kListWidth + 8, kListY + top, size < 4 ? 4 : size);
  int y = kListY + track + 18;
  for (const std::string& note : {row_note(view.edited, "editing", view.first, view.last),
                                  row_note(view.clicked, "clicked", view.first, view.last),
                                  row_note(view.selected, "selected", view.first, view.last)}) {
    if (note.empty()) continue;
    body += format("<text class=\"note\" x=\"%d\" y=\"%d\" font-size=\"11\" fill=\"#9c3a00\">", kListX, y) +
            escape(note) + "</text>\n";
    y += 14;
  }
  return document(view.step, text(view) + "   marks  " + marks(view) + "\n", body);
}

std::string svg(const PrintSettings& settings) {
  // The sheet drawn to scale, turned when the orientation is landscape.
  constexpr double kScale = 0.27;
  long w = settings.landscape ? settings.height : settings.width;
  long h = settings.landscape ? settings.width : settings.height;
  int sw = static_cast<int>(static_cast<double>(w) * kScale),
      sh = static_cast<int>(static_cast<double>(h) * kScale);
  std::string body = format(
      "<rect class=\"sheet\" x=\"20\" y=\"40\" width=\"%d\" height=\"%d\" fill=\"#ffffff\" "
      "stroke=\"#5c6673\"/>\n",
      sw, sh);
  body += format(
              "<text x=\"%d\" y=\"%d\" font-size=\"16\" font-weight=\"bold\" fill=\"#5c6673\" "
              "text-anchor=\"middle\">",
              20 + sw / 2, 40 + sh / 2) +
          escape(settings.paper) + "</text>\n";
  const int x = 200;
  body += "<text x=\"" + std::to_string(x) + "\" y=\"56\" font-size=\"11\" fill=\"#5c6673\">paper</text>\n";
  body += "<text class=\"paper\" x=\"" + std::to_string(x) +
          "\" y=\"72\" font-size=\"15\" font-weight=\"bold\">" + escape(settings.paper) + "</text>\n";
  body += format("<text class=\"size\" x=\"%d\" y=\"92\">%ld \u00d7 %ld pt</text>\n", x, settings.width,
                 settings.height);
  body += format("<text class=\"orientation\" x=\"%d\" y=\"110\">%s</text>\n", x,
                 settings.landscape ? "landscape" : "portrait");
  body +=
      "<text x=\"" + std::to_string(x) + "\" y=\"140\" font-size=\"11\" fill=\"#5c6673\">held by</text>\n";
  // Which object holds the settings is a fact, neither fault nor fix: the
  // page around the picture says which side is which.
  bool same = settings.object == 1;
  body += format(
      "<text class=\"object\" x=\"%d\" y=\"156\" font-size=\"15\" font-weight=\"bold\" fill=\"#1f2328\">"
      "object #%lu</text>\n",
      x, settings.object);
  body += format("<text class=\"same\" x=\"%d\" y=\"174\" font-size=\"11\">%s</text>\n", x,
                 same ? "same object as at start" : "a new object since start");
  return document(settings.step, text(settings), body);
}

namespace {
std::string directory_;
int written_ = 0;
bool parts_begun_ = false;  // parts.txt written since set_directory
bool ok_ = true;
}  // namespace

void set_directory(const std::string& directory) {
  directory_ = directory;
  written_ = 0;
  parts_begun_ = false;
}

void write(const std::string& svg_document) {
  if (directory_.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(directory_, error);
  std::filesystem::path file = std::filesystem::path(directory_) / format("%02d.svg", ++written_);
  std::ofstream out(file, std::ios::binary);  // the same bytes on every system
  out << svg_document;
  out.close();
  if (!out) {
    std::fprintf(stderr, "SampleHost: cannot write the picture %s\n", file.string().c_str());
    ok_ = false;
  }
}

void begin_part(const std::string& heading, bool control) {
  if (directory_.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(directory_, error);
  std::filesystem::path file = std::filesystem::path(directory_) / "parts.txt";
  // A run starts the file afresh and adds to it.
  std::ofstream out(file, std::ios::binary | (parts_begun_ ? std::ios::app : std::ios::trunc));
  parts_begun_ = true;
  out << format("%02d %s ", written_ + 1, control ? "control" : "part") << heading << "\n";
  out.close();
  if (!out) {
    std::fprintf(stderr, "SampleHost: cannot write %s\n", file.string().c_str());
    ok_ = false;
  }
}

bool ok() { return ok_; }

}  // namespace host::picture
