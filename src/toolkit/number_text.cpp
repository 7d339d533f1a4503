#include "toolkit/number_text.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quorvel::toolkit {
namespace {

std::string trim_blanks(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// "1.5e-07" -> "1.5E-7", "1e+20" -> "1E20".
std::string shorten_exponent(const std::string& text) {
    const size_t e = text.find('e');
    if (e == std::string::npos) return text;
    std::string result = text.substr(0, e) + "E";
    size_t pos = e + 1;
    if (text[pos] == '-') result += '-';
    if (text[pos] == '-' || text[pos] == '+') ++pos;
    while (pos + 1 < text.size() && text[pos] == '0') ++pos;
    return result + text.substr(pos);
}

}  // namespace

char decimal_separator() {
    const lconv* conv = std::localeconv();
    if (conv == nullptr || conv->decimal_point == nullptr || conv->decimal_point[0] == '\0')
        return '.';
    return conv->decimal_point[0];
}

std::string format_general(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    char buffer[64];
    // printf writes the locale's decimal point itself.
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return shorten_exponent(buffer);
}

bool parse_float(const std::string& text, double& value) {
    const std::string trimmed = trim_blanks(text);
    if (trimmed.empty()) return false;
    const char separator = decimal_separator();
    bool digit_seen = false;
    for (char c : trimmed) {
        const bool digit = c >= '0' && c <= '9';
        digit_seen = digit_seen || digit;
        // Only plain decimal notation: no hexadecimal, "inf" or "nan" spellings.
        if (!digit && c != separator && c != '+' && c != '-' && c != 'e' && c != 'E') return false;
    }
    if (!digit_seen) return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(trimmed.c_str(), &end);
    if (end != trimmed.c_str() + trimmed.size() || !std::isfinite(parsed) || errno == ERANGE)
        return false;
    value = parsed;
    return true;
}

bool parse_int(const std::string& text, int& value) {
    const std::string trimmed = trim_blanks(text);
    size_t pos = (!trimmed.empty() && (trimmed[0] == '+' || trimmed[0] == '-')) ? 1 : 0;
    if (pos == trimmed.size()) return false;
    long long parsed = 0;
    for (; pos < trimmed.size(); ++pos) {
        const char c = trimmed[pos];
        if (c < '0' || c > '9') return false;
        parsed = parsed * 10 + (c - '0');
        if (parsed > 2147483648LL) return false;
    }
    if (trimmed[0] == '-') parsed = -parsed;
    if (parsed > 2147483647LL || parsed < -2147483648LL) return false;
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace quorvel::toolkit
