#pragma once

// Test-side writer of P-CAD text schematics ("ACCEL_ASCII") in the forms P-CAD saves: a header
// that may name the file's unit, a library, a netlist and a design of sheets.
//
//     kgtest::PcadAsciiBuilder b("Mil");
//     b.library += "(symbolDef \"R\" (pin (pt 0 0) (pinLength 100)))";
//     b.sheet("(symbol (symbolRef \"R\") (pt 1000 1000))");
//     std::vector<pcad::Page> pages = pcad::readAscii(b.bytes().data(), b.bytes().size());

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kgtest {

struct PcadAsciiBuilder {
    // The header's "fileUnits" value; empty writes no "fileUnits" list.
    explicit PcadAsciiBuilder(std::string units = "") : units(std::move(units)) {}

    // Appends a sheet named "Sheet<n>" holding `body`.
    PcadAsciiBuilder& sheet(const std::string& body);

    std::string text() const;
    std::vector<std::uint8_t> bytes() const;

    std::string units;
    std::string library;  // the lists inside "library"
    std::string netlist;  // the lists inside "netlist"
    std::string header;   // the lists inside "schDesignHeader"
    std::string sheets;
    int sheetCount = 0;
};

}  // namespace kgtest
