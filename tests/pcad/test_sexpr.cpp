#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pcad/sexpr.h"

namespace {

using pcad::SExpr;
using pcad::SExprParser;
using pcad::toDouble;

SExpr parse(std::string_view text) {
    SExprParser parser(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return parser.parseAll();
}

std::string parseError(std::string_view text) {
    try {
        parse(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

TEST(SExprParser, TopLevelShapeCommentsAndBlanks) {
    EXPECT_TRUE(parse("").children.empty());
    EXPECT_TRUE(parse(" \t\r\n\v\f; only a comment\n;another").children.empty());
    EXPECT_TRUE(parse("").isList);

    const SExpr root = parse("ACCEL_ASCII \"my file.sch\"\n(asciiHeader (asciiVersion 3 0))");
    ASSERT_EQ(root.children.size(), 3u);
    EXPECT_EQ(root.children[0].text, "ACCEL_ASCII");
    EXPECT_FALSE(root.children[0].isList);
    EXPECT_EQ(root.children[1].text, "my file.sch");
    EXPECT_TRUE(root.children[2].is("asciiHeader"));
    EXPECT_EQ(root.children[2].find("asciiVersion").atom(2, "?"), "0");

    const SExpr commented = parse("one ; (not a list\ntwo");
    ASSERT_EQ(commented.children.size(), 2u);
    EXPECT_EQ(commented.children[1].text, "two");

    // A no-break space (UTF-8 of 0xA0) is not a blank: it stays inside the atom.
    const SExpr nbsp = parse(
        "a\xA0"
        "b");
    ASSERT_EQ(nbsp.children.size(), 1u);
    EXPECT_EQ(nbsp.children[0].text,
              "a\xC2\xA0"
              "b");
}

TEST(SExprParser, StringsAndAtoms) {
    const SExpr root = parse("\"say \"\"hi\"\"\\n\nnext;(x)\" a\"b c(d)");
    ASSERT_EQ(root.children.size(), 4u);
    EXPECT_EQ(root.children[0].text, "say \"hi\"\\n\nnext;(x)");
    EXPECT_EQ(root.children[1].text, "a\"b");
    EXPECT_EQ(root.children[2].text, "c");
    EXPECT_TRUE(root.children[3].is("d"));

    // Windows-1251 bytes are decoded before parsing.
    const SExpr cyr = parse("\"\xC0\xFF\"");
    EXPECT_EQ(cyr.children[0].text, "\xD0\x90\xD1\x8F");

    const SExpr open = parse("\"runs to the end (");
    ASSERT_EQ(open.children.size(), 1u);
    EXPECT_EQ(open.children[0].text, "runs to the end (");
}

// A number's unit, fused or as the next bare atom, becomes part of that number.
TEST(SExprParser, NumbersWithUnits) {
    const std::string text = "(e 1.5 mm 2Mil \"mm\" 3 \"mm\" 4 MM mm) (fileUnits mm) (mm 5) (w 6mmx)";
    SExprParser parser(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const SExpr root = parser.parseAll();
    const SExpr& e = root.children.at(0);
    ASSERT_EQ(e.children.size(), 8u);
    const char* texts[] = {"e", "1.5", "2", "mm", "3", "mm", "4", "mm"};
    const pcad::NumberUnit units[] = {pcad::NumberUnit::None,       pcad::NumberUnit::Millimetre,
                                      pcad::NumberUnit::Mil,        pcad::NumberUnit::None,
                                      pcad::NumberUnit::None,       pcad::NumberUnit::None,
                                      pcad::NumberUnit::Millimetre, pcad::NumberUnit::None};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(e.children[i].text, texts[i]) << i;
        EXPECT_EQ(e.children[i].unit, units[i]) << i;
    }
    EXPECT_EQ(root.children[1].children.at(1).text, "mm");  // not after a number
    EXPECT_EQ(root.children[2].children.size(), 2u);
    EXPECT_EQ(root.children[3].children.at(1).text, "6mmx");
    EXPECT_EQ(parser.numbersIn(pcad::NumberUnit::Millimetre), 2u);
    EXPECT_EQ(parser.numbersIn(pcad::NumberUnit::Mil), 1u);
}

TEST(SExprParser, ErrorsAndDepthLimit) {
    EXPECT_EQ(parseError("(a (b)"), "Unclosed ASCII expression");
    EXPECT_EQ(parseError("(a \"b)"), "Unclosed ASCII expression");
    EXPECT_EQ(parseError("(a) )"), "Unexpected closing bracket");

    const std::string ok = std::string(129, '(') + std::string(129, ')');
    EXPECT_EQ(parseError(ok), "no error");
    EXPECT_EQ(parseError(std::string(130, '(') + std::string(130, ')')), "S-expression nesting too deep");
    EXPECT_EQ(parseError(std::string(129, '(') + "x" + std::string(129, ')')),
              "S-expression nesting too deep");
    // A deep, unclosed run fails on depth before it can run out of stack.
    EXPECT_EQ(parseError(std::string(100000, '(')), "S-expression nesting too deep");
}

TEST(SExprQueries, FindValueAtom) {
    const SExpr root = parse("(top (rotation 90) (width) (pt (1 2) 3) ((x) y) (rotation 45))");
    const SExpr& top = root.children[0];
    EXPECT_EQ(top.value("rotation", "f"), "90");
    EXPECT_EQ(top.value("width", "f"), "f");
    EXPECT_EQ(top.value("pt", "f"), "");
    EXPECT_EQ(top.findAll("rotation").size(), 2u);
    EXPECT_EQ(top.findAll("rotation")[1]->atom(1, ""), "45");
    EXPECT_EQ(top.find("pt").atom(1, "f"), "");
    EXPECT_EQ(top.find("pt").atom(2, "f"), "3");
    EXPECT_EQ(top.find("pt").atom(3, "f"), "f");
    EXPECT_FALSE(top.children[4].is(""));  // headed by a list: no name

    const SExpr& missing = top.find("nothing");
    EXPECT_FALSE(missing.isList);
    EXPECT_EQ(&missing, &missing.find("x").find("y"));
    EXPECT_EQ(missing.value("x", "fb"), "fb");
    EXPECT_EQ(missing.atom(0, "fb"), "fb");
    EXPECT_FALSE(top.is("to"));
}

TEST(ToDouble, ReadsLikeClassicStrtod) {
    EXPECT_EQ(toDouble("", 7), 7);
    EXPECT_EQ(toDouble("abc", 7), 7);
    EXPECT_EQ(toDouble("-1.5e1x", 7), -15);
    EXPECT_EQ(toDouble("0.254mm", 7), 0.254);
    EXPECT_EQ(toDouble("  \t+2.5", 7), 2.5);
    EXPECT_EQ(toDouble("1e", 7), 1);
    EXPECT_EQ(toDouble("+-1", 7), 7);
    EXPECT_EQ(toDouble("0x1A", 7), 26);
    EXPECT_EQ(toDouble("-0x1p4", 7), -16);
    EXPECT_EQ(toDouble("0x.8", 7), 0.5);
    EXPECT_EQ(toDouble("0xg", 7), 0);
    EXPECT_TRUE(std::isinf(toDouble("inf", 7)));
    EXPECT_TRUE(std::isinf(toDouble("-Infinity", 7)));
    EXPECT_TRUE(std::isnan(toDouble("nan", 7)));
    EXPECT_EQ(toDouble("1e999", 7), HUGE_VAL);
    EXPECT_EQ(toDouble("-1e999", 7), -HUGE_VAL);
    EXPECT_EQ(toDouble("0.000001e999", 7), HUGE_VAL);
    EXPECT_EQ(toDouble("1e-999", 7), 0);
    EXPECT_EQ(toDouble("0x1p99999", 7), HUGE_VAL);
    EXPECT_EQ(toDouble("1e99999999999999999999", 7), HUGE_VAL);

    // The process locale does not change the decimal point.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        EXPECT_EQ(toDouble("1.5", 7), 1.5);
        EXPECT_EQ(toDouble("1,5", 7), 1);
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
