#include "ui/key_filters.h"

#include "toolkit/controls.h"

namespace quorvel::ui {
namespace {
bool is_digit(char key) { return key >= '0' && key <= '9'; }
}  // namespace

void filter_digits_key(const std::string& current_text, char& key) {
    if (current_text.size() > 16) key = 0;
    if (!is_digit(key) && key != toolkit::Edit::kBackspace) key = 0;
}

void filter_decimal_key(const std::string& current_text, char& key) {
    if (current_text.size() > 61) key = 0;
    const bool separator = key == '.' || key == ',';
    if (!is_digit(key) && key != toolkit::Edit::kBackspace && !separator) key = 0;
    // Either separator counts: the filter does not know which one the locale reads.
    if (separator && current_text.find_first_of(".,") != std::string::npos) key = 0;
}

}  // namespace quorvel::ui
