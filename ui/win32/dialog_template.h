#pragma once
// An extended dialog template (the DLGTEMPLATEEX layout of Windows) written into memory, so
// that a dialog of the dialog layer is created from a template as the system's dialog manager
// makes it: its controls by ID at their places in dialog units, in the dialog font "MS Shell
// Dlg" 8. The template ID goes into the template's help ID. Texts are left empty: the view sets
// them from the dialog once the window is there. Portable, so that its layout can be checked
// anywhere.
#include "ui/control.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dialogs {

struct TemplateControl {
    int id = 0;
    // A predefined class by its atom (0x0080 button, 0x0081 edit, 0x0082 static, 0x0085
    // combo box), or a registered class by name when class_atom is 0.
    std::uint16_t class_atom = 0;
    std::u16string class_name;
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    Rect rect;
};

struct TemplateWindow {
    int template_id = 0;
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    int width = 0;
    int height = 0;
};

// The template's bytes, to be kept DWORD-aligned in memory by the caller (a vector of
// std::uint32_t, say). Positions and sizes are clamped to what a template holds.
std::vector<std::uint8_t> dialog_template(const TemplateWindow& window,
                                          const std::vector<TemplateControl>& controls);

} // namespace dialogs
