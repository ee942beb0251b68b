// The prompt: one question on the prompt line of the current window and
// one answer typed after it. Return ends the answer (Esc does not); the
// answer scrolls sideways when it is longer than the rest of the line.
// Ctrl-C ends it with rt::int_flag 1 and an empty answer. The prompt line
// is cleared afterwards.
#pragma once

#include <string>
#include <string_view>

namespace rt::ui {

// The answer without trailing blanks, at most max_len characters.
std::string prompt(std::string_view question, int max_len = 80);
// One key answers at once: the character typed ("" for a key that types
// none, and after Ctrl-C).
std::string prompt_char(std::string_view question);

}  // namespace rt::ui
