// The S-expression parser of P-CAD text schematics, with its depth and size limits.
#include "pcad/sexpr.h"

#include <cstdint>
#include <iterator>
#include <stdexcept>

#include "common/ascii.h"
#include "common/number.h"
#include "pcad/cp1251.h"

namespace pcad {

namespace {

// Deepest list level whose elements are still parsed; bounds the recursion.
constexpr int kMaxDepth = 128;

// The classic locale's white space; bytes 0x80 and above never count.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isWholeNumber(const std::string& text) {
    double value = 0;
    std::size_t end = 0;
    return common::scanReal(text, value, end) != common::RealScan::None && end == text.size();
}

const SExpr& emptyNode() {
    static const SExpr empty;
    return empty;
}

}  // namespace

NumberUnit unitNamed(std::string_view word) {
    if (common::equalsIgnoringAsciiCase(word, "mm")) return NumberUnit::Millimetre;
    if (common::equalsIgnoringAsciiCase(word, "mil")) return NumberUnit::Mil;
    return NumberUnit::None;
}

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

bool SExpr::valueIs(std::string_view name, std::string_view text) const {
    const SExpr& list = find(name);
    return list.children.size() >= 2 && list.children[1].text == text;
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
        if (unitWord_ != NumberUnit::None) {
            // Set by the last atom read, and cleared after every element of every list: so it
            // is this element's own when this element is a bare atom.
            const bool taken =
                !element.isList && !element.quoted && pending_.size() > first && takesUnit(pending_.back());
            unitWord_ = NumberUnit::None;
            if (taken) continue;
        }
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
    node.quoted = true;
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
    // Most atoms are numbers and keywords that end in neither m nor l, as every unit does.
    const char last = static_cast<char>(text_[pos_ - 1] | 0x20);
    if (last == 'm' || last == 'l') readUnit(node);
}

// An atom that may be a unit, or a number that carries one ("25.4mm"): the number alone
// stays, with its unit.
void SExprParser::readUnit(SExpr& node) {
    if (node.text.size() <= 3) {
        unitWord_ = unitNamed(node.text);
        if (unitWord_ != NumberUnit::None) return;
    }
    const char c = node.text.front();
    if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.')) return;
    double value = 0;
    std::size_t end = 0;
    if (common::scanReal(node.text, value, end) == common::RealScan::None || end == 0) return;
    const NumberUnit unit = unitNamed(std::string_view(node.text).substr(end));
    if (unit == NumberUnit::None) return;
    node.text.resize(end);
    node.unit = unit;
    ++unitCounts_[static_cast<int>(unit)];
}

// A bare unit atom after a bare number is that number's unit, and no element of its own.
bool SExprParser::takesUnit(SExpr& number) {
    if (number.isList || number.quoted || number.unit != NumberUnit::None || !isWholeNumber(number.text))
        return false;
    number.unit = unitWord_;
    ++unitCounts_[static_cast<int>(unitWord_)];
    return true;
}

double toDouble(std::string_view text, double fallback) {
    double value = 0;
    std::size_t end = 0;
    // Out of range counts as strtod gives it (infinity or zero), without the error.
    return common::scanReal(text, value, end) == common::RealScan::None ? fallback : value;
}

}  // namespace pcad
