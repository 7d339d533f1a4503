// Numbers as the user reads and types them in edits: the general number format and the
// decimal separator of the C locale in force (localeconv()).
#pragma once

#include <string>

namespace quorvel::toolkit {

// The user's decimal separator.
char decimal_separator();

// General format: up to 15 significant digits, no trailing zeros, the user's decimal
// separator; exponent form ("1E20", "1.5E-7") for very large or very small magnitudes.
std::string format_general(double value);

// A floating-point number written with the user's decimal separator (blanks around it
// allowed). False when the text is not a finite number.
bool parse_float(const std::string& text, double& value);

// A decimal integer in the 32-bit range, with an optional sign (blanks around it allowed).
bool parse_int(const std::string& text, int& value);

}  // namespace quorvel::toolkit
