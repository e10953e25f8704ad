#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "core/diagnostics.h"

namespace zorv::core {
namespace {

struct Entry {
    std::string_view name;  // the enumerator as written in diagnostics.def
    Diag diag;
};

constexpr Entry entries[] = {
#define ZORV_DIAG(name, code, kind) {#name, Diag::name},
#include "core/diagnostics.def"
#undef ZORV_DIAG
};

// "ZORV-" then upper-case words of letters and digits joined by single hyphens: a family and an
// optional detail ("ZORV-EMBEDDING", "ZORV-PARSE-SYNTAX").
bool well_formed(std::string_view code) {
    if (!code.starts_with("ZORV-")) return false;
    std::string_view rest = code.substr(5);
    int words = 0;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t dash = rest.find('-', start);
        if (dash == std::string_view::npos) dash = rest.size();
        std::string_view word = rest.substr(start, dash - start);
        if (word.empty()) return false;
        for (char c : word) {
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
        }
        ++words;
        start = dash + 1;
    }
    return words >= 1;
}

// ParseDuplicateKey -> ZORV-PARSE-DUPLICATE-KEY: the enumerator spells its code.
std::string code_of_name(std::string_view name) {
    std::string code = "ZORV";
    for (char c : name) {
        if (c >= 'A' && c <= 'Z') code += '-';
        code += static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    }
    return code;
}

std::string_view family(std::string_view code) {
    std::string_view rest = code.substr(5);
    return rest.substr(0, rest.find('-'));
}

TEST(Diagnostics, CodesAreWellFormedUniqueAndSpelledByTheirName) {
    std::set<std::string_view> seen;
    for (const Entry& e : entries) {
        const std::string_view code = diag_code(e.diag);
        EXPECT_TRUE(well_formed(code)) << code;
        EXPECT_TRUE(seen.insert(code).second) << "duplicate " << code;
        EXPECT_EQ(code_of_name(e.name), code) << e.name;
    }
}

TEST(Diagnostics, KindFollowsTheFamily) {
    for (const Entry& e : entries) {
        const std::string_view code = diag_code(e.diag);
        const std::string_view fam = family(code);
        if (fam == "LEX") {
            EXPECT_EQ(diag_kind(e.diag), ErrorKind::Lex) << code;
        } else if (fam == "PARSE") {
            EXPECT_EQ(diag_kind(e.diag), ErrorKind::Parse) << code;
        } else if (fam == "VALIDATION" || fam == "BIND") {
            EXPECT_EQ(diag_kind(e.diag), ErrorKind::Validation) << code;
        }
    }
}

TEST(Diagnostics, WellFormedRefusesMalformedCodes) {
    for (std::string_view bad : {"ZORV-", "ZORV-parse-SYNTAX", "ZORV-PARSE--SYNTAX", "ZORV-PARSE-SYNTAX-",
                                 "ZORVX-PARSE-SYNTAX", "PARSE-SYNTAX", "ZORV-PARSE-SYN TAX"}) {
        EXPECT_FALSE(well_formed(bad)) << bad;
    }
    EXPECT_TRUE(well_formed("ZORV-PARSE-STATEMENT-LIMIT"));
    EXPECT_TRUE(well_formed("ZORV-EMBEDDING"));
}

TEST(Diagnostics, RaiseHelperTakesCodeAndKindFromTheCatalogue) {
    auto lex = fail(Diag::LexChar, "m", Span{1, 2});
    EXPECT_EQ(format_error(lex.error()), "[ZORV-LEX-CHAR] m at 1..2");
    EXPECT_EQ(lex.error().kind, ErrorKind::Lex);
    const ZorvError bind = make_error(Diag::BindTypeMismatch, "vector elements must be numeric");
    EXPECT_EQ(bind.code, "ZORV-BIND-TYPE-MISMATCH");
    EXPECT_EQ(bind.kind, ErrorKind::Validation);
    EXPECT_FALSE(bind.span);
}

}  // namespace
}  // namespace zorv::core
