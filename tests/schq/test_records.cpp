// Record streams split into records, the field parser and the typed getters of a field.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "schq/error.h"
#include "schq/record_fields.h"
#include "schq/records.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using schq::PropertyMap;

void appendRecord(Bytes& out, const std::string& body, std::uint8_t high = 0) {
    const std::uint32_t header =
        static_cast<std::uint32_t>(body.size()) | (static_cast<std::uint32_t>(high) << 24);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(header >> (8 * i)));
    out.insert(out.end(), body.begin(), body.end());
}

Bytes stream(const std::vector<std::string>& bodies) {
    Bytes out;
    for (const auto& b : bodies) appendRecord(out, b);
    return out;
}

PropertyMap single(const std::string& body) {
    const auto records = schq::splitRecords(stream({body}));
    EXPECT_EQ(records.size(), 1u);
    return records.empty() ? PropertyMap{} : PropertyMap(records[0]);
}

std::string splitError(const Bytes& bytes) {
    try {
        schq::splitRecords(bytes);
    } catch (const schq::Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(SchqRecords, SplitsRecordsAndSkipsBinaryOnes) {
    EXPECT_TRUE(schq::splitRecords({}).empty());

    Bytes bytes;
    appendRecord(bytes, std::string("|RECORD=1|Name=x|") + '\0');
    appendRecord(bytes, "\x01\x02\x03\x04\x05", 1);
    appendRecord(bytes, "|RECORD=2");
    appendRecord(bytes, "");
    appendRecord(bytes, std::string(3, '\0'));
    const auto records = schq::splitRecords(bytes);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], (PropertyMap{{"RECORD", "1"}, {"NAME", "x"}}));
    EXPECT_EQ(records[1], (PropertyMap{{"RECORD", "2"}})) << "the binary record takes no position";
    EXPECT_TRUE(records[2].empty());
    EXPECT_TRUE(records[3].empty());
}

TEST(SchqRecords, MalformedStreams) {
    EXPECT_EQ(splitError({1, 0, 0}), "Truncated SchDoc record header");

    Bytes trailing = stream({"|A=1"});
    trailing.insert(trailing.end(), {0, 0});
    EXPECT_EQ(splitError(trailing), "Truncated SchDoc record header");

    Bytes text = stream({"|A=1"});
    text.pop_back();
    EXPECT_EQ(splitError(text), "SchDoc record extends outside stream");

    Bytes binary;
    appendRecord(binary, "abcd", 1);
    binary.pop_back();
    EXPECT_EQ(splitError(binary), "SchDoc record extends outside stream");

    Bytes hugeLength = {0xFF, 0xFF, 0xFF, 0x00, 'x'};
    EXPECT_EQ(splitError(hugeLength), "SchDoc record extends outside stream");
}

TEST(SchqRecords, RecordLimit) {
    // 2,000,001 empty text records are still accepted; any further record,
    // binary or not, is refused.
    Bytes bytes(static_cast<std::size_t>(2000001) * 4, 0);
    EXPECT_EQ(schq::splitRecords(bytes).size(), 2000001u);
    appendRecord(bytes, "", 1);
    EXPECT_EQ(splitError(bytes), "Too many SchDoc records");
}

TEST(SchqRecords, Fields) {
    EXPECT_EQ(single("|A=1|A=2|"), (PropertyMap{{"A", "2"}}));
    EXPECT_EQ(single("|TEXT=a=b|"), (PropertyMap{{"TEXT", "a=b"}}));
    EXPECT_TRUE(single("|=x|").empty());
    EXPECT_TRUE(single("|novalue|").empty());
    EXPECT_TRUE(single("||||").empty());
    EXPECT_EQ(single("A=|b="), (PropertyMap{{"A", ""}, {"B", ""}})) << "no leading bar, empty values";
    EXPECT_EQ(single("|mixed_Case.x=Keep Case"), (PropertyMap{{"MIXED_CASE.X", "Keep Case"}}));
    EXPECT_EQ(single(std::string("|A=x\0y|", 7))["A"], std::string("x\0y", 3)) << "inner NUL is kept";

    const std::string key128(128, 'k');
    EXPECT_EQ(single("|" + key128 + "=v").count(schq::upperCase(key128)), 1u);
    EXPECT_TRUE(single("|" + key128 + "k=v").empty());
}

TEST(SchqRecords, Utf8Keys) {
    // Windows-1251 for plain keys, raw bytes for "%UTF8%" keys, and the UTF-8
    // value wins over the plain one whatever the order.
    const auto m = single("|%utf8%text=\xD0\x96|TEXT=\xC6|NAME=\xC6|%UTF8%=e|%UTF8%%UTF8%X=y");
    EXPECT_EQ(m.at("%UTF8%TEXT"), "\xD0\x96");
    EXPECT_EQ(m.at("TEXT"), "\xD0\x96");
    EXPECT_EQ(m.at("NAME"), "\xD0\x96") << "0xC6 is U+0416 in Windows-1251";
    EXPECT_EQ(m.at(""), "e");
    EXPECT_EQ(m.at("%UTF8%X"), "y");
    EXPECT_EQ(m.at("X"), "y");
    EXPECT_EQ(m.size(), 8u);
}

// Records view their list's text; a copy owns its entries and outlives the list.
TEST(SchqRecords, MapsAreValuesThatOutliveTheirList) {
    PropertyMap copy;
    {
        const auto records = schq::splitRecords(stream({"|RECORD=2|Name=a", "|RECORD=3"}));
        copy = PropertyMap(records[0]);
        PropertyMap edited(records[1]);
        edited["RECORD"] = "4";
        EXPECT_TRUE(edited.emplace("NEW", "x"));
        EXPECT_EQ(records[1], (PropertyMap{{"RECORD", "3"}}));
        EXPECT_EQ(edited, (PropertyMap{{"RECORD", "4"}, {"NEW", "x"}}));
    }
    EXPECT_EQ(copy, (PropertyMap{{"NAME", "a"}, {"RECORD", "2"}}));

    // Decoded values of every record, many in one record, survive the list being moved.
    std::string many = "|A=\xC0";
    for (int i = 0; i < 40; ++i) many += "|K" + std::to_string(i) + "=\xB9\xC1";
    auto list = schq::splitRecords(stream({"|T=\xC6", many}));
    const auto moved = std::move(list);
    EXPECT_EQ(moved[0].at("T"), "\xD0\x96");
    EXPECT_EQ(moved[1].at("A"), "\xD0\x90");
    for (int i = 0; i < 40; ++i) EXPECT_EQ(moved[1].at("K" + std::to_string(i)), "\xE2\x84\x96\xD0\x91");
    EXPECT_FALSE(copy.emplace("NAME", "b"));
    EXPECT_EQ(copy.at("NAME"), "a");
    EXPECT_THROW(copy.at("NONE"), std::out_of_range);
    EXPECT_EQ(copy.entry(copy.lowerBound("O")).key, "RECORD");
}

TEST(SchqRecords, KeysLongerThanAWordAndDoubledPrefixes) {
    // The bytes next to a..z and above 0x7F stay as they are; several values of a record decode.
    const auto m = single("|`az{@AZ[\xE1zq.long=1|x=\xC0|y=plain|z=\xC1\xB9");
    EXPECT_EQ(m.at("`AZ{@AZ[\xE1ZQ.LONG"), "1");
    EXPECT_EQ(m.at("X"), "\xD0\x90");
    EXPECT_EQ(m.at("Y"), "plain");
    EXPECT_EQ(m.at("Z"), "\xD0\x91\xE2\x84\x96");

    // A key made from a doubled prefix passes its value on only when it sorts after its source.
    const auto d = single("|%UTF8%%UTF8%!=a|%UTF8%%UTF8%X=b");
    EXPECT_EQ(d.at("%UTF8%!"), "a");
    EXPECT_EQ(d.count("!"), 0u);
    EXPECT_EQ(d.at("X"), "b");
}

// The reader's first look parses chosen keys only, with the whole map's values for them.
TEST(SchqRecords, ParsingChosenKeysGivesTheWholeMapsValues) {
    static constexpr std::string_view kKeys[] = {"A", "NAME", "TEXT"};
    const schq::KeySet keys(kKeys);
    for (const std::string body : {"|a=1|Other=3|A=2|name=\xC0", "|%utf8%text=\xD0\x96|TEXT=\xC6|NAME=n",
                                   "|TEXT=t|%UTF8%%UTF8%TEXT=u", "|NAME=|B=1"}) {
        std::string first = body;
        std::string second = body;
        schq::FieldParser whole;
        schq::FieldParser chosen;
        const schq::RecordView all = whole.parse(first.data(), first.size());
        const schq::RecordView some = chosen.parse(second.data(), second.size(), keys);
        for (const std::string_view key : kKeys)
            EXPECT_EQ(some.find(key), all.find(key)) << body << " " << key;
        EXPECT_FALSE(some.find("B"));
    }
}

// Fields are found from bit masks taken 16 and 64 bytes at a time: every separator position around
// those boundaries, and a body's last bytes, must split as byte after byte would.
TEST(SchqRecords, FieldsAtEveryOffsetOfABlock) {
    for (std::size_t pad = 0; pad < 140; ++pad) {
        const std::string body = "|" + std::string(pad, 'p') +
                                 "|Key=va=l\xC0"
                                 "e||noEq|=x|k2=|Last=" +
                                 std::string(pad % 19, 'z');
        const PropertyMap m = single(body);
        ASSERT_EQ(m.size(), 3u) << pad;
        EXPECT_EQ(m.at("KEY"),
                  "va=l\xD0\x90"
                  "e")
            << pad;
        EXPECT_EQ(m.at("K2"), "") << pad;
        EXPECT_EQ(m.at("LAST"), std::string(pad % 19, 'z')) << pad;
    }
    EXPECT_EQ(single("a=1").at("A"), "1");
    EXPECT_EQ(single(std::string(63, 'k') + "=v").at(std::string(63, 'K')), "v");
    EXPECT_TRUE(single(std::string(129, 'K') + "=v").empty()) << "keys over 128 bytes are dropped";
}

// Keys are sorted on their first sixteen bytes as numbers; keys that share them, hold NUL bytes or
// are repeated still sort by their bytes, the last of equal keys winning.
TEST(SchqRecords, KeysSharingTheirFirstBytesSortByAllOfThem) {
    const std::string nul("AB\0", 3);
    const PropertyMap m = single("|LOCATION.Y=2|location.x_frac=3|LOCATION.X=1|" + nul +
                                 "=n|AB=a|LONGKEYSHAREDBY16Z=z|" + "longkeysharedby16A=a|LOCATION.X=4");
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < m.size(); ++i) keys.emplace_back(m.entry(i).key);
    EXPECT_THAT(keys, testing::ElementsAre("AB", nul, "LOCATION.X", "LOCATION.X_FRAC", "LOCATION.Y",
                                           "LONGKEYSHAREDBY16A", "LONGKEYSHAREDBY16Z"));
    EXPECT_EQ(m.at("LOCATION.X"), "4");
    EXPECT_EQ(m.at(nul), "n");
    EXPECT_EQ(m.find("LOCATION"), std::nullopt);
    EXPECT_DOUBLE_EQ(schq::getDouble(m, "LOCATION.X", 0), 4.00003);

    // A "_FRAC" companion is found among the keys that start with its key, also past others.
    const PropertyMap vertices = single("|X1=1|X10=5|X11=6|X1_FRAC=50000|X2_FRAC=1");
    EXPECT_DOUBLE_EQ(schq::getDouble(vertices, "X1", 0), 1.5);
    EXPECT_DOUBLE_EQ(schq::getDouble(vertices, "X10", 0), 5);
    EXPECT_DOUBLE_EQ(schq::getDouble(vertices, "X2", -1), -1);
}

// The chosen keys are matched ignoring case without upper-casing the body, a word at a time.
TEST(SchqRecords, ChosenKeysMatchIgnoringCase) {
    static constexpr std::string_view kKeys[] = {"NAME", "OWNERPARTDISPLAYMODE", "OWNERPARTDISPLAYMODF", "X"};
    const schq::KeySet keys(kKeys);
    std::string body = "|ownerPartDisplayModf=2|OwnerPartDisplayMode=1|nAme=n|OWNERPARTDISPLAYMOD=3|x=9";
    const std::string original = body;
    schq::FieldParser parser;
    const auto values = parser.values(body.data(), body.size(), keys);
    EXPECT_EQ(values[0], "n");
    EXPECT_EQ(values[1], "1");
    EXPECT_EQ(values[2], "2");
    EXPECT_EQ(values[3], "9") << "a short key at the body's end";
    EXPECT_EQ(body, original);
    EXPECT_EQ(keys.find("nAmE"), 0);
    EXPECT_EQ(keys.find("NAMES"), -1);
    EXPECT_EQ(keys.find("N"), -1);
}

TEST(SchqRecords, Cp1251AndUtf8) {
    EXPECT_EQ(schq::decodeCp1251("\xC0"), "\xD0\x90");
    EXPECT_EQ(schq::decodeCp1251("\xFF"), "\xD1\x8F");
    EXPECT_EQ(schq::decodeCp1251("\xB9"), "\xE2\x84\x96");
    EXPECT_EQ(schq::decodeCp1251("\x98"), "\xEF\xBF\xBD");
    EXPECT_EQ(schq::decodeCp1251("\x88"), "\xE2\x82\xAC");
    EXPECT_EQ(schq::decodeCp1251("\x80"), "\xD0\x82");
    EXPECT_EQ(schq::decodeCp1251("\xA0"), "\xC2\xA0");
    EXPECT_EQ(schq::decodeCp1251("\xA8\xB8\xBF"), "\xD0\x81\xD1\x91\xD1\x97");
    EXPECT_EQ(schq::decodeCp1251(std::string("a\0z", 3)), std::string("a\0z", 3));

    std::string s;
    for (std::uint32_t cp : {0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xFFFFu}) schq::appendUtf8(s, cp);
    EXPECT_EQ(s, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");

    EXPECT_EQ(schq::upperCase("az{`AZ\xE1\xFF"), "AZ{`AZ\xE1\xFF");
}

TEST(SchqRecords, StringAndIntGetters) {
    const PropertyMap m = {{"EMPTY", ""},
                           {"A", " 12"},
                           {"B", "+7"},
                           {"C", "12 "},
                           {"D", "0x10"},
                           {"E", "2147483648"},
                           {"F", "-2147483648"},
                           {"G", "-"},
                           {"H", "\t\n-5"},
                           {"I", "99999999999999999999999"},
                           {"J", std::string("5\0", 2)}};
    EXPECT_EQ(schq::getString(m, "EMPTY", "d"), "");
    EXPECT_EQ(schq::getString(m, "NONE", "d"), "d");

    EXPECT_EQ(schq::getInt(m, "A", -1), 12);
    EXPECT_EQ(schq::getInt(m, "B", -1), 7);
    EXPECT_EQ(schq::getInt(m, "C", -1), -1);
    EXPECT_EQ(schq::getInt(m, "D", -1), -1);
    EXPECT_EQ(schq::getInt(m, "E", -1), -1);
    EXPECT_EQ(schq::getInt(m, "F", -1), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(schq::getInt(m, "G", -1), -1);
    EXPECT_EQ(schq::getInt(m, "H", -1), -5);
    EXPECT_EQ(schq::getInt(m, "I", -1), -1);
    EXPECT_EQ(schq::getInt(m, "J", -1), -1);
    EXPECT_EQ(schq::getInt(m, "EMPTY", -1), -1);
    EXPECT_EQ(schq::getInt(m, "NONE", 42), 42);
}

TEST(SchqRecords, DoubleGetter) {
    const PropertyMap m = {{"A", "1.5"},        {"A_FRAC", "50000"}, {"B", "1.5"},
                           {"B_FRAC", "abc"},   {"C", "1.5"},        {"C_FRAC", "25000xyz"},
                           {"D", "inf"},        {"E", "nan"},        {"F", "1e999"},
                           {"G", " -2.25e1"},   {"H", "3x"},         {"I", "1e308"},
                           {"I_FRAC", "1e308"}, {"J", "1"},          {"J_FRAC", "1e999"},
                           {"K", "7"},          {"K_FRAC", ""}};
    EXPECT_DOUBLE_EQ(schq::getDouble(m, "A", -1), 2.0);
    EXPECT_EQ(schq::getDouble(m, "B", -1), -1);
    EXPECT_DOUBLE_EQ(schq::getDouble(m, "C", -1), 1.75);
    EXPECT_EQ(schq::getDouble(m, "D", -1), -1);
    EXPECT_EQ(schq::getDouble(m, "E", -1), -1);
    EXPECT_EQ(schq::getDouble(m, "F", -1), -1);
    EXPECT_DOUBLE_EQ(schq::getDouble(m, "G", -1), -22.5);
    EXPECT_EQ(schq::getDouble(m, "H", -1), -1);
    EXPECT_DOUBLE_EQ(schq::getDouble(m, "I", -1), 1e308 + 1e303);
    EXPECT_EQ(schq::getDouble(m, "J", -1), -1) << "a fraction out of range";
    EXPECT_EQ(schq::getDouble(m, "K", -1), -1) << "an empty fraction is no number";
    EXPECT_EQ(schq::getDouble(m, "NONE", 3.5), 3.5);
    EXPECT_EQ(schq::getDouble(m, "A_FRAC", -1), 50000) << "a _FRAC key has no _FRAC of its own";
}

TEST(SchqRecords, ColourGetter) {
    const PropertyMap m = {{"A", "255"}, {"B", "16777215"}, {"C", "16777216"},
                           {"D", "-1"},  {"E", "255abc"},   {"F", ""},
                           {"G", "x1"},  {"H", "0"},        {"I", "99999999999999999999"}};
    const std::uint32_t d = 0x12345678;
    EXPECT_EQ(schq::getColour(m, "A", d), 0xFF0000FFu);
    EXPECT_EQ(schq::getColour(m, "B", d), 0xFFFFFFFFu);
    EXPECT_EQ(schq::getColour(m, "C", d), d);
    EXPECT_EQ(schq::getColour(m, "D", d), d);
    EXPECT_EQ(schq::getColour(m, "E", d), 0xFF0000FFu);
    EXPECT_EQ(schq::getColour(m, "F", d), d);
    EXPECT_EQ(schq::getColour(m, "G", d), d);
    EXPECT_EQ(schq::getColour(m, "H", d), 0xFF000000u);
    EXPECT_EQ(schq::getColour(m, "I", d), d);
    EXPECT_EQ(schq::getColour(m, "NONE", d), d);
}

}  // namespace

namespace {

// Sets LC_NUMERIC to the first installed locale that writes a decimal comma; restores it after.
class DecimalCommaLocale {
public:
    DecimalCommaLocale() : saved_(std::setlocale(LC_NUMERIC, nullptr)) {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "ru_RU.UTF-8", "de-DE",
                                 "German_Germany.1252", "German"}) {
            if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',') {
                active_ = true;
                return;
            }
        }
        std::setlocale(LC_NUMERIC, saved_.c_str());
    }
    ~DecimalCommaLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    bool active() const { return active_; }

private:
    std::string saved_;
    bool active_ = false;
};

TEST(SchqRecords, RealsIgnoreTheProcessLocale) {
    const DecimalCommaLocale locale;
    if (!locale.active()) GTEST_SKIP() << "no decimal-comma locale installed";
    const PropertyMap m = {
        {"A", "1.5"}, {"A_FRAC", "50000"}, {"B", "1,5"}, {"C", "-2.25e1"}, {"D", "0x1.8p1"}};
    EXPECT_EQ(schq::getDouble(m, "A", -1), 2.0);
    EXPECT_EQ(schq::getDouble(m, "B", -1), -1) << "a comma ends the number";
    EXPECT_EQ(schq::getDouble(m, "C", -1), -22.5);
    EXPECT_EQ(schq::getDouble(m, "D", -1), 3.0);
}

}  // namespace
