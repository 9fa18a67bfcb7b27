// Tree of bracketed lists, atoms and quoted strings: the text form of a P-CAD
// schematic, decoded to UTF-8. The parser knows no keyword of the format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pcad {

// The unit a bare number was written with, as a suffix ("25.4mm") or as the bare atom after
// it ("1.74 mm", any letter case); the reader names the file's own unit with it too. The
// parser keeps the number alone as the atom's text and leaves the unit atom out of the list,
// so that an extent's width and height stay its elements 1 and 2.
enum class NumberUnit : std::uint8_t { None, Millimetre, Mil };

// The unit a word names ("mm" or "mil", in any letter case); None for any other word.
NumberUnit unitNamed(std::string_view word);

// One node, owned by value by its parent. A quoted string and a bare atom give the
// same kind of node; a list's name is its first child when that child is an atom.
struct SExpr {
    std::string text;             // the atom's characters; empty for a list
    std::vector<SExpr> children;  // empty for an atom
    bool isList = false;
    bool quoted = false;  // a quoted string rather than a bare atom
    NumberUnit unit = NumberUnit::None;

    // True for a list whose first child is an atom with exactly this text.
    bool is(std::string_view name) const;
    // First child list named `name`; the shared empty node when there is none.
    const SExpr& find(std::string_view name) const;
    // Every child list named `name`, in order; the pointers live as long as the tree.
    std::vector<const SExpr*> findAll(std::string_view name) const;
    // Text of child i (empty when that child is a list), or the fallback past the end.
    std::string atom(std::size_t i, std::string_view fallback) const;
    // Text of child 1 of the list named `name`, when that list has two children.
    std::string value(std::string_view name, std::string_view fallback) const;
    // True when value(name) would be exactly `text`; copies nothing.
    bool valueIs(std::string_view name, std::string_view text) const;
};

class SExprParser {
public:
    // Decodes the bytes (Windows-1251) to UTF-8 once; parsing starts at byte 0.
    SExprParser(const std::uint8_t* data, std::size_t size);

    // A root list holding every top-level expression in file order.
    // Throws std::runtime_error on malformed text; no partial tree is returned.
    SExpr parseAll();
    // One expression at the current position; the caller has made sure one begins here.
    SExpr parseExpression(int depth);
    // Passes blanks and ';' comments.
    void skipBlanks();

    // How many numbers were written with the unit.
    std::size_t numbersIn(NumberUnit unit) const { return unitCounts_[static_cast<int>(unit)]; }

private:
    void parseList(SExpr& node, int depth);
    void parseString(SExpr& node);
    void parseAtom(SExpr& node);
    void readUnit(SExpr& node);
    bool takesUnit(SExpr& number);

    std::string text_;
    std::size_t pos_ = 0;
    // Elements of the lists being parsed, innermost last. A finished list takes its own
    // from the top at once, so that each list allocates its children exactly once rather
    // than growing them element by element.
    std::vector<SExpr> pending_;
    std::size_t unitCounts_[3] = {};
    NumberUnit unitWord_ = NumberUnit::None;  // set when an atom read is a unit word
};

// The number at the start of `text` as the classic "C" locale's strtod reads it
// (leading blanks, exponent, infinity, not-a-number and hexadecimal forms), trailing
// characters ignored; the fallback when the text is empty or nothing converts.
double toDouble(std::string_view text, double fallback);

}  // namespace pcad
