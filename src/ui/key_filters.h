// Typing filters shared by the dialogs' edits. A rejected key is set to 0.
#pragma once

#include <string>

namespace quorvel::ui {

// Digits and backspace only, and nothing at all once the text is longer than 16 characters.
void filter_digits_key(const std::string& current_text, char& key);

// Digits, backspace and one decimal separator ("." or ","), and nothing at all once the text
// is longer than 61 characters.
void filter_decimal_key(const std::string& current_text, char& key);

}  // namespace quorvel::ui
