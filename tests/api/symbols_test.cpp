// The shared library's dynamic symbol table against the public headers: every function and
// data symbol the C headers declare is there (the exports of quorvel.h also with a leading
// underscore), the C++ API of quorvel.hpp is there, and nothing else is: no internal
// namespace, no libstdc++ template instance. The one exception, the toolkit the desktop module
// links against, sits in a private version node of its own and in no other.
#include <gtest/gtest.h>

#include <quorvel/version.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "support/test_support.h"

namespace {

std::string header(const std::string& name) {
    std::ifstream file(std::string(QUORVEL_INCLUDE_DIR) + "/quorvel/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Names declared after the export macro (functions and extern data), skipping its #define.
std::set<std::string> declared(const std::string& text, const std::string& macro) {
    static const std::regex name_before_paren_or_semicolon(R"((\w+)\s*[\(;])");
    std::set<std::string> names;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(macro + " ", 0) != 0) continue;
        std::smatch match;
        if (std::regex_search(line, match, name_before_paren_or_semicolon)) names.insert(match[1]);
    }
    return names;
}

std::set<std::string> expected_c_symbols() {
    std::set<std::string> names = declared(header("wingdi.h"), "QUORVEL_GDI_API");
    for (const std::string& name : declared(header("quorvel.h"), "QUORVEL_API")) {
        names.insert(name);
        const bool data =
            name == "TiffDialog" || name == "WSQDialog" || name == "FileFormatConverterForm";
        if (!data) names.insert("_" + name);
    }
    return names;
}

const std::string kPublicNode = "QUORVEL_0";
const std::string kPrivateNode = std::string("QUORVEL_PRIVATE_") + QUORVEL_VERSION_STRING;

struct Symbol {
    std::string name;
    std::string node;  // the version node, empty for none
};

// "name@@VERSION" or "name" per line, demangled or not.
std::vector<Symbol> dynamic_symbols(bool demangle) {
    const std::string command = std::string("nm -D --defined-only --format=posix ") +
                                (demangle ? "-C " : "") + QUORVEL_SHARED_LIB;
    std::istringstream lines(quorvel::testing::run_output(command));
    // posix format: "<name> <type> <value> [<size>]"; demangled names hold spaces. Type A is
    // the version node itself, not a symbol.
    static const std::regex entry(R"(^(.*) ([A-Za-z]) [0-9a-f]+( [0-9a-f]+)?$)");
    std::vector<Symbol> symbols;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (!std::regex_match(line, match, entry) || match[2] == "A") continue;
        Symbol symbol{match[1], {}};
        if (const size_t at = symbol.name.find('@'); at != std::string::npos) {
            symbol.node = symbol.name.substr(symbol.name.find_first_not_of('@', at));
            symbol.name.resize(at);
        }
        symbols.push_back(symbol);
    }
    return symbols;
}

// The C++ API: quorvel::<function>(...) or a member, typeinfo or vtable of a quorvel::<Class>;
// never quorvel::<namespace>::...
bool public_cpp_symbol(const std::string& demangled) {
    static const std::regex api(
        R"(^(typeinfo for |typeinfo name for |vtable for )?quorvel::([A-Z]\w*(::|$)|[a-z_]\w*\())");
    return std::regex_search(demangled, api);
}

// What the desktop module may take from the library: the toolkit and the presenter.
bool private_cpp_symbol(const std::string& demangled) {
    static const std::regex toolkit(
        R"(^(typeinfo for |typeinfo name for |vtable for )?quorvel::(toolkit|platform)::)");
    return std::regex_search(demangled, toolkit);
}

TEST(SharedLibrarySymbols, EveryDeclaredCExportIsDefined) {
    ASSERT_TRUE(quorvel::testing::have_tool("nm"));
    std::set<std::string> defined;
    for (const Symbol& symbol : dynamic_symbols(false)) defined.insert(symbol.name);
    const std::set<std::string> expected = expected_c_symbols();
    ASSERT_GT(expected.size(), 40u);  // the headers were read
    for (const std::string& name : expected) EXPECT_TRUE(defined.count(name)) << name;
}

// The public node holds the exports and the C++ API alone, the private node the toolkit alone.
TEST(SharedLibrarySymbols, NothingButTheExportsAndTheCppApiIsPublic) {
    ASSERT_TRUE(quorvel::testing::have_tool("nm"));
    const std::set<std::string> expected = expected_c_symbols();
    const std::vector<Symbol> raw = dynamic_symbols(false);
    const std::vector<Symbol> demangled = dynamic_symbols(true);
    ASSERT_EQ(raw.size(), demangled.size());
    size_t cpp_symbols = 0, private_symbols = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
        const std::string& name = demangled[i].name;
        const std::string what = name + " (" + raw[i].name + "@" + raw[i].node + ")";
        if (raw[i].node == kPrivateNode) {
            EXPECT_TRUE(private_cpp_symbol(name)) << what;
            ++private_symbols;
            continue;
        }
        EXPECT_EQ(raw[i].node, kPublicNode) << what;
        if (expected.count(raw[i].name)) continue;
        EXPECT_TRUE(public_cpp_symbol(name)) << what;
        ++cpp_symbols;
    }
    EXPECT_GT(cpp_symbols, 0u);      // quorvel::encode and friends are exported
    EXPECT_GT(private_symbols, 0u);  // the forms the module shows
}

TEST(SharedLibrarySymbols, ThePublicPatternRefusesInternalsAndLibstdcxx) {
    for (const char* name :
         {"quorvel::wsq::diag(char const*, ...)", "std::vector<int>::_M_realloc_insert()",
          "vtable for quorvel::raster::Codec", "quorvel::cpp::invalid_argument()",
          "typeinfo for quorvel::toolkit::Edit"}) {
        EXPECT_FALSE(public_cpp_symbol(name)) << name;
    }
    for (const char* name : {"quorvel::encode(unsigned char const*, int, int)",
                             "quorvel::Error::~Error()", "typeinfo for quorvel::Error"}) {
        EXPECT_TRUE(public_cpp_symbol(name)) << name;
    }
}

}  // namespace
