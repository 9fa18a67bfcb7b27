// Tests of listing and ordering the schematic files beside an open one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "schematic/path_rules.h"
#include "schematic/siblings.h"

namespace {

namespace fs = std::filesystem;
using schematic::siblingFiles;

class Siblings : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("kg_siblings_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path touch(const std::string& name) {
        const fs::path p = dir_ / name;
        std::ofstream(p) << "x";
        return p;
    }
    std::vector<std::string> names(const fs::path& current, int direction) {
        std::vector<std::string> out;
        for (const fs::path& p : siblingFiles(current, direction)) out.push_back(p.filename().string());
        return out;
    }
    fs::path dir_;
};

using V = std::vector<std::string>;

TEST_F(Siblings, StepsForwardsAndBackwardsWithWrapAround) {
    touch("A.SCH");
    const fs::path b = touch("b.sbk");
    touch("c.SchDoc");
    touch("x.txt");
    touch(".sch");
    fs::create_directories(dir_ / "y.sch");
    EXPECT_EQ(names(b, 1), (V{"c.SchDoc", "A.SCH"}));
    EXPECT_EQ(names(b, -1), (V{"A.SCH", "c.SchDoc"}));
    EXPECT_TRUE(names(b, 0).empty());
    EXPECT_TRUE(siblingFiles(fs::path(), 1).empty());
}

TEST_F(Siblings, OnlyTheOpenFile) {
    const fs::path a = touch("only.sch");
    EXPECT_TRUE(names(a, 1).empty());
    EXPECT_TRUE(names(a, -1).empty());
}

TEST_F(Siblings, DeletedOpenFileStartsAtTheNextName) {
    touch("a.sch");
    touch("c.sch");
    touch("e.sch");
    const fs::path gone = dir_ / "d.sch";
    EXPECT_EQ(names(gone, 1), (V{"e.sch", "a.sch", "c.sch"}));
    EXPECT_EQ(names(gone, -1), (V{"c.sch", "a.sch", "e.sch"}));
    // A name differing only in case is not the open file.
    EXPECT_EQ(names(dir_ / "C.sch", 1), (V{"c.sch", "e.sch", "a.sch"}));
    EXPECT_EQ(names(dir_ / "z.sch", 1), (V{"a.sch", "c.sch", "e.sch"}));
}

TEST_F(Siblings, LinksAreFollowed) {
    const fs::path a = touch("a.sch");
    touch("target.txt");
    std::error_code ec;
    fs::create_symlink(dir_ / "target.txt", dir_ / "b.sch", ec);
    if (ec) GTEST_SKIP() << "no symbolic links here";
    fs::create_symlink(dir_ / "gone.txt", dir_ / "c.sch");       // dangling: no status
    fs::create_directory_symlink(dir_ / "sub", dir_ / "d.sch");  // dangling too
    fs::create_directories(dir_ / "sub");                        // now a link to a folder
    EXPECT_EQ(names(a, 1), (V{"b.sch"}));
}

TEST_F(Siblings, MissingFolderAndCurrentFolder) {
    EXPECT_TRUE(siblingFiles(dir_ / "missing" / "a.sch", 1).empty());
    touch("p.sch");
    touch("q.sch");
    const fs::path saved = fs::current_path();
    fs::current_path(dir_);
    const auto list = siblingFiles("p.sch", 1);
    fs::current_path(saved);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].filename().string(), "q.sch");
}

TEST(SiblingOrder, CaseInsensitiveThenBytes) {
    using schematic::utf8PathLess;
    EXPECT_TRUE(utf8PathLess("x/a.sch", "B.sch"));
    EXPECT_TRUE(utf8PathLess("B.sch", "b.sch"));
    EXPECT_TRUE(utf8PathLess("b.sch", "c.sch"));
    EXPECT_FALSE(utf8PathLess("b.sch", "B.sch"));
    EXPECT_TRUE(utf8PathLess("ab.sch", "abc.sch") == (std::string("ab.sch") < "abc.sch"));
    EXPECT_TRUE(schematic::isSchematicFile("dir/X.SchDot"));
    EXPECT_FALSE(schematic::isSchematicFile("dir/.sch"));
    EXPECT_FALSE(schematic::isSchematicFile("dir/a.sch.bak"));
    EXPECT_TRUE(schematic::isSchematicFile("C:a.SBK"));
    // Bytes beyond ASCII compare as bytes, after every ASCII letter.
    EXPECT_TRUE(utf8PathLess("Z.sch", fs::path(u8"\u00e9.sch")));
    EXPECT_FALSE(utf8PathLess(fs::path(u8"\u00e9.sch"), "z.sch"));
}

}  // namespace
