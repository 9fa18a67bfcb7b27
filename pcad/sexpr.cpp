#include "pcad/sexpr.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "pcad/cp1251.h"

namespace pcad {

namespace {

// Deepest list level whose elements are still parsed; bounds the recursion.
constexpr int kMaxDepth = 128;

// The classic locale's white space; bytes 0x80 and above never count.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isDecDigit(char c) { return c >= '0' && c <= '9'; }

const SExpr& emptyNode() {
    static const SExpr empty;
    return empty;
}

// from_chars leaves the value alone when it is out of range, where strtod gives
// infinity or zero. Decide which from the order of magnitude of the matched text:
// positive means too large. `hex` counts in binary exponents.
bool overflows(const char* first, const char* last, bool hex) {
    const int digitBits = hex ? 4 : 1;
    const char expMark1 = hex ? 'p' : 'e';
    const char expMark2 = hex ? 'P' : 'E';
    auto isDigit = [hex](char c) { return hex ? isHexDigit(c) : isDecDigit(c); };

    const char* p = first;
    std::int64_t intDigits = 0;
    bool seenNonZero = false;
    for (; p < last && isDigit(*p); ++p) {
        if (*p != '0') seenNonZero = true;
        if (seenNonZero) ++intDigits;
    }
    std::int64_t leadingFracZeros = 0;
    if (p < last && *p == '.') {
        ++p;
        for (; p < last && isDigit(*p); ++p) {
            if (!seenNonZero && intDigits == 0) {
                if (*p == '0')
                    ++leadingFracZeros;
                else
                    seenNonZero = true;
            }
        }
    }
    std::int64_t magnitude =
        intDigits > 0 ? (intDigits - 1) * digitBits : -(leadingFracZeros + 1) * digitBits;
    if (p < last && (*p == expMark1 || *p == expMark2)) {
        ++p;
        bool negExp = false;
        if (p < last && (*p == '+' || *p == '-')) {
            negExp = *p == '-';
            ++p;
        }
        std::int64_t e = 0;
        for (; p < last && isDecDigit(*p); ++p)
            if (e < 1000000000) e = e * 10 + (*p - '0');
        magnitude += negExp ? -e : e;
    }
    return magnitude > 0;
}

}  // namespace

bool SExpr::is(std::string_view name) const {
    return isList && !children.empty() && !children.front().isList && children.front().text == name;
}

const SExpr& SExpr::find(std::string_view name) const {
    for (const SExpr& c : children)
        if (c.is(name)) return c;
    return emptyNode();
}

std::vector<const SExpr*> SExpr::findAll(std::string_view name) const {
    std::vector<const SExpr*> out;
    for (const SExpr& c : children)
        if (c.is(name)) out.push_back(&c);
    return out;
}

std::string SExpr::atom(std::size_t i, std::string_view fallback) const {
    if (i < children.size()) return children[i].isList ? std::string() : children[i].text;
    return std::string(fallback);
}

std::string SExpr::value(std::string_view name, std::string_view fallback) const {
    const SExpr& list = find(name);
    if (list.children.size() >= 2) return list.children[1].text;
    return std::string(fallback);
}

SExprParser::SExprParser(const std::uint8_t* data, std::size_t size) {
    if (data != nullptr && size > 0) text_ = decodeCp1251(data, size);
}

void SExprParser::skipBlanks() {
    while (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (isBlank(c)) {
            ++pos_;
        } else if (c == ';') {
            const std::size_t eol = text_.find('\n', pos_);
            pos_ = eol == std::string::npos ? text_.size() : eol;
        } else {
            return;
        }
    }
}

SExpr SExprParser::parseAll() {
    SExpr root;
    root.isList = true;
    for (;;) {
        skipBlanks();
        if (pos_ >= text_.size()) return root;
        root.children.push_back(parseExpression(0));
    }
}

SExpr SExprParser::parseExpression(int depth) {
    if (depth > kMaxDepth) throw std::runtime_error("S-expression nesting too deep");
    skipBlanks();
    SExpr node;
    if (pos_ >= text_.size()) return node;  // nothing begins here: an empty atom
    const char c = text_[pos_];
    if (c == '(') {
        parseList(node, depth);
    } else if (c == ')') {
        throw std::runtime_error("Unexpected closing bracket");
    } else if (c == '"') {
        parseString(node);
    } else {
        parseAtom(node);
    }
    return node;
}

void SExprParser::parseList(SExpr& node, int depth) {
    ++pos_;
    node.isList = true;
    const std::size_t first = pending_.size();
    for (;;) {
        skipBlanks();
        if (pos_ >= text_.size()) throw std::runtime_error("Unclosed ASCII expression");
        if (text_[pos_] == ')') break;
        SExpr element = parseExpression(depth + 1);
        pending_.push_back(std::move(element));
    }
    ++pos_;
    const auto from = pending_.begin() + static_cast<std::ptrdiff_t>(first);
    node.children.assign(std::make_move_iterator(from), std::make_move_iterator(pending_.end()));
    pending_.erase(from, pending_.end());
}

// Copied a run at a time: up to the next quote mark, which either closes the string or,
// doubled, stands for one quote mark. A string that the text ends inside ends there.
void SExprParser::parseString(SExpr& node) {
    ++pos_;
    while (pos_ < text_.size()) {
        std::size_t quote = text_.find('"', pos_);
        if (quote == std::string::npos) quote = text_.size();
        node.text.append(text_, pos_, quote - pos_);
        pos_ = quote;
        if (pos_ >= text_.size()) return;
        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
            node.text.push_back('"');
            pos_ += 2;
            continue;
        }
        ++pos_;
        return;
    }
}

void SExprParser::parseAtom(SExpr& node) {
    const std::size_t start = pos_;
    while (pos_ < text_.size()) {
        const char b = text_[pos_];
        if (isBlank(b) || b == '(' || b == ')' || b == ';') break;
        ++pos_;
    }
    node.text.assign(text_, start, pos_ - start);
}

double toDouble(std::string_view text, double fallback) {
    const char* p = text.data();
    const char* last = text.data() + text.size();
    while (p < last && isBlank(*p)) ++p;
    bool negative = false;
    if (p < last && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // from_chars takes a '-' of its own but strtod allows only one sign.
    if (p >= last || *p == '+' || *p == '-') return fallback;

    double v = 0;
    bool hex = false;
    std::from_chars_result r{};
    // strtod reads "0x" only when a hexadecimal digit follows (possibly after the point);
    // otherwise "0x..." is the number 0 followed by letters.
    if (last - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        (isHexDigit(p[2]) || (p[2] == '.' && last - p >= 4 && isHexDigit(p[3])))) {
        hex = true;
        p += 2;
        r = std::from_chars(p, last, v, std::chars_format::hex);
    } else {
        r = std::from_chars(p, last, v, std::chars_format::general);
    }
    if (r.ptr == p) return fallback;
    if (r.ec == std::errc::result_out_of_range)
        v = overflows(p, r.ptr, hex) ? HUGE_VAL : 0.0;
    else if (r.ec != std::errc())
        return fallback;
    return negative ? -v : v;
}

}  // namespace pcad
