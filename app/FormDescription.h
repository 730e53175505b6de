#pragma once
// A form description: the window's properties and its visual components, each with its
// place, alignment and caption, at the design resolution of 96 pixels per inch. Loading it
// builds the widgets; every number of the window's layout lives in one table.

#include <QString>

#include <map>
#include <string>
#include <vector>

class QWidget;

namespace vl {

enum class ControlKind { Panel, Button, PageControl, TabSheet, Memo };
enum class ControlAlign { None, Top, Client };

struct ControlDescription {
    const char* name;
    ControlKind kind;
    const char* parent; // empty for the window itself
    int left, top, width, height;
    ControlAlign align;
    int tabOrder; // -1: not a tab stop
    const char16_t* caption;
};

struct FormDescription {
    int left, top, clientWidth, clientHeight;
    const char* caption;
    const char* fontName;
    int fontHeight; // negative: character height in pixels at design resolution
    int designPixelsPerInch;
    std::vector<ControlDescription> controls;
};

// Builds the controls of the description inside window and returns them by name. Positions
// and sizes are scaled by the screen's pixels per inch over the design resolution.
std::map<std::string, QWidget*> loadFormDescription(const FormDescription& description, QWidget* window);

// The factor loadFormDescription scales by for the window's screen.
double formScale(const FormDescription& description, const QWidget* window);

} // namespace vl
