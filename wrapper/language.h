#pragma once
// The process-wide language flag of Valdrun (0 English, 1 German): every bilingual text is
// picked by it at the moment it is shown or formatted, so a change of language takes effect
// with the next message. Set from the command line, toggled by the windows' language buttons.
#include "wrapper/messages.h"

#include <string>

namespace valdrun {

Language current_language();
void set_language(Language language);
Language toggle_language(); // returns the new language

// The text of a role in the current language.
std::string text(Message role);
// printf-style formatting of a role's text in the current language.
std::string format_text(Message role, ...);

} // namespace valdrun
