// The NIST_COM attribute list, its text form and the attributes every encoded stream carries.
#include "wsq/nistcom.h"

#include <climits>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wsq/diag.h"
#include "wsq/error_codes.h"

namespace quorvel::wsq {
namespace {

char* copy_string(const char* s) {
    const size_t n = std::strlen(s) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr) std::memcpy(copy, s, n);
    return copy;
}

int find_name(const char* feature, const FetList* fet) {
    for (int i = 0; i < fet->count; ++i)
        if (std::strcmp(fet->names[i], feature) == 0) return i;
    return kFetNotFound;
}

// A decimal integer read as the C runtime's atol reads it (leading white space, a sign, digits
// up to the first non-digit, 0 without digits), held within the range of int.
int parse_decimal(const char* s) {
    while (std::isspace(static_cast<unsigned char>(*s))) ++s;
    const bool negative = *s == '-';
    if (*s == '-' || *s == '+') ++s;
    long long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*s))) {
        if (v <= INT_MAX) v = v * 10 + (*s - '0');
        ++s;
    }
    if (negative) v = -v;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

int update_int(const char* feature, int value, FetList* fet) {
    char text[32];
    std::snprintf(text, sizeof text, "%d", value);
    return updatefet_ret(feature, text, fet);
}

}  // namespace

int allocfet_ret(FetList** ofet, int numfeatures) {
    FetList* fet = static_cast<FetList*>(std::malloc(sizeof(FetList)));
    if (fet == nullptr) {
        diag("ERROR : allocfet_ret : malloc : fet\n");
        return kFetNoMemory;
    }
    const size_t n = static_cast<size_t>(numfeatures > 0 ? numfeatures : 1);
    fet->names = static_cast<char**>(std::calloc(n, sizeof(char*)));
    if (fet->names == nullptr) {
        diag("ERROR : allocfet_ret : calloc : fet->names\n");
        std::free(fet);
        return kFetNoMemorySecond;
    }
    fet->values = static_cast<char**>(std::calloc(n, sizeof(char*)));
    if (fet->values == nullptr) {
        diag("ERROR : allocfet_ret : calloc : fet->values\n");
        std::free(fet->names);
        std::free(fet);
        return kFetNoMemoryThird;
    }
    fet->capacity = static_cast<int>(n);
    fet->count = 0;
    *ofet = fet;
    return 0;
}

int reallocfet_ret(FetList** ofet, int newlen) {
    if (*ofet == nullptr || (*ofet)->capacity == 0) return allocfet_ret(ofet, newlen);
    FetList* fet = *ofet;
    if (newlen <= fet->capacity) return 0;
    const size_t n = static_cast<size_t>(newlen);
    char** names = static_cast<char**>(std::realloc(fet->names, n * sizeof(char*)));
    if (names == nullptr) {
        diag("ERROR : reallocfet_ret : realloc : fet->names\n");
        return kFetNoMemory;
    }
    fet->names = names;
    char** values = static_cast<char**>(std::realloc(fet->values, n * sizeof(char*)));
    if (values == nullptr) {
        diag("ERROR : reallocfet_ret : realloc : fet->values");
        return kFetNoMemorySecond;
    }
    fet->values = values;
    // Grown slots hold nothing until they are set.
    for (int i = fet->capacity; i < newlen; ++i) names[i] = values[i] = nullptr;
    fet->capacity = newlen;
    return 0;
}

int updatefet_ret(const char* feature, const char* value, FetList* fet) {
    const int at = find_name(feature, fet);
    if (at >= 0) {
        char* copy = nullptr;
        if (value != nullptr && (copy = copy_string(value)) == nullptr) {
            diag("ERROR : updatefet_ret : strdup : fet->values[]\n");
            return kFetNoMemory;
        }
        std::free(fet->values[at]);
        fet->values[at] = copy;
        return 0;
    }
    if (fet->count >= fet->capacity) {
        const int grow = fet->capacity / 10 > 10 ? fet->capacity / 10 : 10;
        if (int ret = reallocfet_ret(&fet, fet->capacity + grow)) return ret;
    }
    char* name = copy_string(feature);
    if (name == nullptr) {
        diag("ERROR : updatefet_ret : strdup : fet->names[]\n");
        return kFetNoMemorySecond;
    }
    char* copy = nullptr;
    if (value != nullptr && (copy = copy_string(value)) == nullptr) {
        diag("ERROR : updatefet_ret : strdup : fet->values[]\n");
        std::free(name);
        return kFetNoMemoryThird;
    }
    fet->names[fet->count] = name;
    fet->values[fet->count] = copy;
    fet->count++;
    return 0;
}

int extractfet_ret(char** ovalue, const char* feature, const FetList* fet) {
    const int at = find_name(feature, fet);
    if (at < 0) {
        diag("ERROR : extractfet_ret : feature %s not found\n", feature);
        return kFetMissing;
    }
    char* copy = nullptr;
    if (fet->values[at] != nullptr && (copy = copy_string(fet->values[at])) == nullptr) {
        diag("ERROR : extractfet_ret : strdup : value\n");
        return kFetNoMemorySecond;
    }
    *ovalue = copy;
    return 0;
}

int lookupfet(char** ovalue, const char* feature, const FetList* fet) {
    const int at = find_name(feature, fet);
    if (at < 0) return 0;
    char* copy = nullptr;
    if (fet->values[at] != nullptr && (copy = copy_string(fet->values[at])) == nullptr) {
        diag("ERROR : lookupfet : strdup : value\n");
        return kFetNoMemory;
    }
    *ovalue = copy;
    return 1;
}

int fet2string(char** ostr, const FetList* fet) {
    size_t size = 1;
    for (int i = 0; i < fet->count; ++i) {
        size += std::strlen(fet->names[i]) + 2;
        if (fet->values[i] != nullptr) size += std::strlen(fet->values[i]);
    }
    char* str = static_cast<char*>(std::calloc(size, 1));
    if (str == nullptr) {
        diag("ERROR : fet2string : malloc : str\n");
        return kFetNoMemory;
    }
    size_t at = 0;
    for (int i = 0; i < fet->count; ++i) {
        // An attribute without a value keeps its blank, so that it reads back as one.
        at += static_cast<size_t>(
            std::sprintf(str + at, "%s %s\n", fet->names[i], fet->values[i] ? fet->values[i] : ""));
    }
    if (at > 0) str[at - 1] = '\0';
    *ostr = str;
    return 0;
}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Length of the run starting at s that ends at one of the stop characters or the end.
size_t span_until(const char* s, bool stop_at_blank) {
    size_t n = 0;
    while (s[n] != '\0' && s[n] != '\n' && !(stop_at_blank && is_blank(s[n]))) ++n;
    return n;
}

char* copy_run(const char* s, size_t n) {
    char* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy != nullptr) {
        std::memcpy(copy, s, n);
        copy[n] = '\0';
    }
    return copy;
}

// Reads one "name value" line at *text into the list and moves past it.
int parse_fet_line(const char** text, FetList* fet) {
    const char* s = *text;
    // The name also stops at a line feed: a line with a name and no value is such an
    // attribute, not the first half of a name that runs into the next line.
    const size_t name_len = span_until(s, true);
    if (name_len == 0) {
        diag("ERROR : string2fet : empty name string found\n");
        return kFetBadText;
    }
    const char* v = s + name_len;
    while (is_blank(*v)) ++v;
    const size_t value_len = span_until(v, false);
    if (name_len > static_cast<size_t>(MAX_FET_LENGTH) ||
        value_len > static_cast<size_t>(MAX_FET_LENGTH)) {
        diag("ERROR : string2fet : name or value longer than %d characters\n", MAX_FET_LENGTH);
        return kFetBadText;
    }
    char* name = copy_run(s, name_len);
    char* value = value_len > 0 ? copy_run(v, value_len) : nullptr;
    int ret = (name == nullptr || (value_len > 0 && value == nullptr)) ? -2 : 0;
    if (ret != 0) diag("ERROR : string2fet : malloc : name or value\n");
    if (ret == 0) ret = updatefet_ret(name, value, fet);
    std::free(name);
    std::free(value);
    v += value_len;
    while (is_blank(*v) || *v == '\n') ++v;
    *text = v;
    return ret;
}

}  // namespace

int string2fet(FetList** ofet, const char* istr) {
    FetList* fet = nullptr;
    if (int ret = allocfet_ret(&fet, 100)) return ret;
    const char* s = istr;
    while (*s != '\0') {
        if (int ret = parse_fet_line(&s, fet)) {
            release_fet(fet);
            return ret;
        }
    }
    *ofet = fet;
    return 0;
}

void release_fet(FetList* fet) {
    if (fet == nullptr) return;
    for (int i = 0; i < fet->count; ++i) {
        std::free(fet->names[i]);
        std::free(fet->values[i]);
    }
    std::free(fet->names);
    std::free(fet->values);
    std::free(fet);
}

namespace {

int set_nistcom_attributes(FetList* fet, int w, int h, int d, int ppi, int lossyflag) {
    if (int ret = update_int("PIX_WIDTH", w, fet)) return ret;
    if (int ret = update_int("PIX_HEIGHT", h, fet)) return ret;
    if (int ret = update_int("PIX_DEPTH", d, fet)) return ret;
    if (int ret = update_int("PPI", ppi, fet)) return ret;
    char* lossy = nullptr;
    const int found = lookupfet(&lossy, "LOSSY", fet);
    if (found < 0) return found;
    const bool keep =
        found == 1 && lossy != nullptr && std::strcmp(lossy, "0") != 0 && lossyflag == 0;
    std::free(lossy);
    if (keep) {
        diag("WARNING : combine_nistcom : ");
        diag("request to unset lossy flag ignored\n");
    } else if (int ret = update_int("LOSSY", lossyflag, fet)) {
        return ret;
    }
    return update_int(NISTCOM_NAME, fet->count, fet);
}

}  // namespace

int combine_nistcom(FetList** onistcom, int w, int h, int d, int ppi, int lossyflag) {
    FetList* fet = *onistcom;
    const bool created = fet == nullptr;
    if (created) {
        if (int ret = allocfet_ret(&fet, 6)) return ret;
        if (int ret = updatefet_ret(NISTCOM_NAME, "6", fet)) {
            release_fet(fet);
            return ret;
        }
    }
    if (int ret = set_nistcom_attributes(fet, w, h, d, ppi, lossyflag)) {
        if (created) release_fet(fet);
        return ret;
    }
    *onistcom = fet;
    return 0;
}

int add_wsq_attributes(FetList** onistcom, int w, int h, int d, int ppi, int lossyflag,
                       float r_bitrate) {
    const bool created = *onistcom == nullptr;
    if (int ret = combine_nistcom(onistcom, w, h, d, ppi, lossyflag)) return ret;
    FetList* fet = *onistcom;
    char rate[64];
    std::snprintf(rate, sizeof rate, "%f", static_cast<double>(r_bitrate));
    int ret = updatefet_ret("COLORSPACE", "GRAY", fet);
    if (ret == 0) ret = updatefet_ret("COMPRESSION", "WSQ", fet);
    if (ret == 0) ret = updatefet_ret("WSQ_BITRATE", rate, fet);
    if (ret == 0) ret = update_int(NISTCOM_NAME, fet->count, fet);
    if (ret != 0 && created) {
        release_fet(fet);
        *onistcom = nullptr;
    }
    return ret;
}

int put_wsq_comments(const char* comment, int w, int h, int d, int ppi, int lossyflag,
                     float r_bitrate, OutputBuffer& out) {
    FetList* nistcom = nullptr;
    bool separate = false;
    if (comment != nullptr) {
        if (std::strncmp(comment, NISTCOM_NAME, 8) == 0) {
            if (int ret = string2fet(&nistcom, comment)) return ret;
        } else {
            separate = true;
        }
    }
    if (int ret = add_wsq_attributes(&nistcom, w, h, d, ppi, lossyflag, r_bitrate)) {
        release_fet(nistcom);
        return ret;
    }
    char* text = nullptr;
    int ret = fet2string(&text, nistcom);
    release_fet(nistcom);
    if (ret != 0) return ret;
    ret = putc_comment_segment(COM_WSQ, text, static_cast<int>(std::strlen(text)), out);
    std::free(text);
    if (ret != 0 || !separate) return ret;
    const size_t n = std::strlen(comment);
    return putc_comment_segment(COM_WSQ, comment, n > INT_MAX ? INT_MAX : static_cast<int>(n), out);
}

int find_ppi_mem(int* oppi, const unsigned char* data, int len) {
    FetList* nistcom = nullptr;
    if (int ret = find_nistcom_comment(&nistcom, data, len)) return ret;
    if (nistcom == nullptr) {
        *oppi = -1;
        return 0;
    }
    char* value = nullptr;
    const int ret = extractfet_ret(&value, "PPI", nistcom);
    release_fet(nistcom);
    if (ret != 0) return ret;
    *oppi = value == nullptr ? -1 : parse_decimal(value);
    std::free(value);
    return 0;
}

}  // namespace quorvel::wsq
