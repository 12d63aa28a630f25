// What a scenario step shows, as plain values: the scenarios fill one of
// these after each step, print its text report from it and, when the host
// was started with -pictures DIR, draw it as an SVG file in DIR. Text and
// picture are made from the same values, so they cannot disagree.
//
// The SVG files are small and self-contained. Each has the step as its
// <title> and the step's text report in its <desc>, line for line; a matrix
// picture adds a line "   marks  editing 5, selected 5" for the marks it
// draws on rows, which the text leaves out. A page built from two runs can
// so say where they differ.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host::picture {

// The screen after a step of a modal scenario.
struct Window {
  std::string title;
  long level = 0;
};
struct Screen {
  std::string step;           // "3. Click the Inspector"
  std::string key;            // title of the key window, empty for none
  std::string modal;          // title of the window running modally, empty for none
  std::vector<Window> front;  // the screen's windows, front to back
};

// The matrix after a step: the rows the window shows and the marks on rows.
// A row of -1 means none.
struct MatrixView {
  std::string step;  // "click 3rd row shown"
  long rows = 0;     // rows in the matrix
  long first = 0;    // first and last row shown
  long last = -1;
  long edited = -1;    // the row whose cell is being edited
  long clicked = -1;   // the row under the mouse when the step clicked
  long selected = -1;  // the selected row
};

// The shared print settings after a step of the page layout scenario.
struct PrintSettings {
  std::string step;  // "A5, Cancel"
  std::string paper;
  long width = 0, height = 0;  // points, portrait-wise
  bool landscape = false;
  unsigned long object = 1;  // which object holds them: 1 is the one the application started with
};

// The text reports, as the host prints them.
std::string text(const Screen& screen);
std::string text(const MatrixView& view);
std::string text(const PrintSettings& settings);
// "editing 5, selected 5, clicked 152", or "none": the rows a matrix
// picture marks.
std::string marks(const MatrixView& view);

// The pictures, as complete SVG documents.
std::string svg(const Screen& screen);
std::string svg(const MatrixView& view);
std::string svg(const PrintSettings& settings);

// Text made safe for XML character data and attribute values.
std::string escape(std::string_view text);

// Where pictures go: DIR/01.svg, DIR/02.svg, ... one per step, in the
// order the steps report. Empty (the default) writes none. The directory is
// made when missing.
void set_directory(const std::string& directory);
// Writes the next picture if a directory is set. A file that cannot be
// written is reported on stderr and makes ok() false.
void write(const std::string& svg_document);
// Starts a part of the scenario at the next picture, headed by heading; a
// control part shows a case the patches must leave as it is. Recorded, if a
// directory is set, as a line "NN control|part heading" in DIR/parts.txt,
// NN being the number of the part's first picture.
void begin_part(const std::string& heading, bool control);
bool ok();

}  // namespace host::picture
