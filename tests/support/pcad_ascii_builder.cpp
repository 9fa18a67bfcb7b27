#include "support/pcad_ascii_builder.h"

namespace kgtest {

PcadAsciiBuilder& PcadAsciiBuilder::sheet(const std::string& body) {
    sheets += "(sheet \"Sheet" + std::to_string(++sheetCount) + "\"\n" + body + "\n)\n";
    return *this;
}

std::string PcadAsciiBuilder::text() const {
    std::string s = "ACCEL_ASCII \"synthetic.sch\"\n\n(asciiHeader\n  (asciiVersion 3 0)\n";
    if (!units.empty()) s += "  (fileUnits " + units + ")\n";
    s += ")\n(library \"Library_1\"\n" + library + ")\n(netlist \"Netlist_1\"\n" + netlist + ")\n";
    s += "(schematicDesign \"SchematicDesign_1\"\n(schDesignHeader\n" + header + ")\n" + sheets + ")\n";
    return s;
}

std::vector<std::uint8_t> PcadAsciiBuilder::bytes() const {
    const std::string s = text();
    return {s.begin(), s.end()};
}

}  // namespace kgtest
