#pragma once
// One control of a dialog, held by its ID: what every view renders and every dialog class
// changes. Positions are dialog units as in a dialog template (a quarter of the average
// character width horizontally, an eighth of the character height vertically), so that a view
// scales them with its font.
#include <string>
#include <vector>

namespace dialogs {

enum class ControlKind {
    GroupBox,
    RadioButton,
    CheckBox,
    Button,
    Edit,     // a line of text; read_only decides whether the user can type
    DropDown, // a drop-down list of texts (one column per row)
    ListView, // a report list: columns, rows, optional check boxes
    Progress, // a bar from 0 to 100
    Static,   // a text
    Link,     // a text drawn as a link; a click is a command of its control
};

// The console's spelling of each kind ("groupbox", "radio", ...).
const char* kind_name(ControlKind kind);

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct Control {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    Rect rect;
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool read_only = true;       // edits only
    bool checked = false;        // radio buttons and check boxes
    bool default_button = false; // the button Enter presses
    int position = 0;            // progress bars: 0..100
    // Drop-down lists and list views: the column titles (list views), the rows (one text per
    // column), the selected row (-1 none) and, for lists with check boxes, each row's mark.
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    int selection = -1;
    bool check_boxes = false;
    std::vector<bool> row_checked;
    // List views: the column whose texts are positions 0..100, drawn as bars (-1 none).
    int bar_column = -1;
    // Buttons drawn from pictures instead of their text: the released and the pressed face,
    // each as the lines of an XPM image. The text stays for the console and screen readers.
    std::vector<std::string> picture;
    std::vector<std::string> pressed_picture;

    bool is_list() const { return kind == ControlKind::DropDown || kind == ControlKind::ListView; }
};

// An entry of the window's system menu: a command, or a separator (command 0).
struct MenuItem {
    int command = 0;
    std::string text;
};

} // namespace dialogs
