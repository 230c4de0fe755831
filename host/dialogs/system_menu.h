#pragma once
// The system menu of Morlin's windows: a separator and Help (unless DISABLEHELP), a separator
// and About; and where Help leads.
#include "ui/control.h"

#include <string>
#include <vector>

namespace morlin {

class HostTexts;

inline constexpr int kMenuAbout = 16;
inline constexpr int kMenuHelp = 57667;

std::vector<dialogs::MenuItem> morlin_system_menu(const HostTexts& texts, bool disable_help);
// The program's help: the page Morlin.html beside the program.
std::string help_target();

} // namespace morlin
