#include "app/design_data_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace corvale {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The lines of b that are not in a at the same place (the texts have as many lines).
std::vector<std::string> ChangedLines(const std::string& a, const std::string& b) {
    auto la = Lines(a), lb = Lines(b);
    EXPECT_EQ(la.size(), lb.size());
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < std::min(la.size(), lb.size()); ++i)
        if (la[i] != lb[i]) changed.push_back(lb[i]);
    return changed;
}

// A copy of the program's design data in a folder of its own.
struct DesignFolder : ::testing::Test {
    fs::path dir;
    DesignFolder() {
        dir = fs::temp_directory_path() /
              ("corvale-design-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::copy(fs::path(CORVALE_SOURCE_DIR) / "app" / "forms", dir, fs::copy_options::recursive);
    }
    ~DesignFolder() override { fs::remove_all(dir); }
    DesignDataFile Open(const char* name) {
        std::string error;
        auto f = DesignDataFile::Open(dir / name, error);
        EXPECT_TRUE(f) << error;
        return std::move(*f);
    }
};

TEST_F(DesignFolder, TagEditsTouchOnlyTheirLines) {
    DesignDataFile file = Open("FrmMain.json");
    const std::string before = file.Text();
    Form edited = file.Model();
    edited.Find("Label3")->tag = "TTFF*/";       // had no tag
    edited.Find("ListView1")->tag = "TFTT*/\"q"; // had one; text needing escapes
    std::string error;
    ASSERT_TRUE(file.SaveTags(edited, error)) << error;

    const std::string after = ReadText(dir / "FrmMain.json");
    EXPECT_EQ(
        ChangedLines(before, after),
        (std::vector<std::string>{
            R"(    { "name": "Label3", "kind": "Label", "position": [1950, 60, 1815, 165], "tag": "TTFF*/", "text": "Total Services:" },)",
            R"(    { "name": "ListView1", "kind": "ListView", "position": [90, 510, 8865, 2505], "tag": "TFTT*/\"q",)"}));
    DesignDataFile again = Open("FrmMain.json");
    EXPECT_EQ(again.Model().Find("ListView1")->tag, "TFTT*/\"q");
    EXPECT_EQ(again.Model().Find("ListView1")->items.size(), 5u);
    EXPECT_FALSE(fs::exists(dir / "FrmMain.json.saving"));
}

TEST_F(DesignFolder, PictureRewritesTheControlsOwnFileOrAddsOne) {
    DesignDataFile file = Open("FrmMain.json");
    const std::string before = file.Text();
    const Bytes png = *file.ReadDesignFile("pictures/logo.png");
    std::string error;

    // link_share.png is used once: its bytes change, the JSON does not.
    ASSERT_TRUE(file.SavePicture("aicAlphaImage6", std::nullopt, png, error)) << error;
    EXPECT_EQ(ReadText(dir / "FrmMain.json"), before);
    EXPECT_EQ(*file.ReadDesignFile("pictures/link_share.png"), png);
    EXPECT_EQ(*file.Model().Find("aicAlphaImage6")->properties.GetBytes("Image"), png);

    // Another kind of picture gets a file named after the control.
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0};
    ASSERT_TRUE(file.SavePicture("aicAlphaImage6", std::nullopt, gif, error)) << error;
    EXPECT_EQ(*file.ReadDesignFile("pictures/aicAlphaImage6.gif"), gif);
    EXPECT_EQ(
        ChangedLines(before, ReadText(dir / "FrmMain.json")),
        (std::vector<std::string>{
            R"(      "properties": { "Image": { "file": "pictures/aicAlphaImage6.gif" }, "Props": { "int32": 5 },)"}));

    // A control without properties gets them; clearing takes them away again.
    ASSERT_TRUE(file.SavePicture("Label5", std::nullopt, png, error)) << error;
    EXPECT_EQ(Open("FrmMain.json").Model().Find("Label5")->properties.GetBytes("Image")->size(),
              png.size());
    ASSERT_TRUE(file.SavePicture("Label5", std::nullopt, {}, error)) << error;
    ASSERT_TRUE(file.SavePicture("aicAlphaImage1", std::nullopt, {}, error)) << error;
    const Form form = Open("FrmMain.json").Model();
    EXPECT_TRUE(form.Find("Label5")->properties.Entries().empty());
    EXPECT_FALSE(form.Find("aicAlphaImage1")->properties.Has("Image"));
    EXPECT_EQ(form.Find("aicAlphaImage1")->properties.GetInt32("Props"), 5);
}

TEST_F(DesignFolder, SharedPictureFileIsNeverOverwritten) {
    // Two controls use banner.png: a new picture for one of them gets a file of its own.
    std::string text = ReadText(dir / "FrmMain.json");
    ASSERT_TRUE(SetControlPropertyFile(text, "aicAlphaImage5", std::nullopt, "Image",
                                       "pictures/banner.png"));
    std::string error;
    ASSERT_TRUE(ReplaceFileSafely(
        dir / "FrmMain.json",
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), error));
    DesignDataFile file = Open("FrmMain.json");
    const Bytes banner = *file.ReadDesignFile("pictures/banner.png");
    const Bytes png = *file.ReadDesignFile("pictures/logo.png");
    ASSERT_TRUE(file.SavePicture("aicAlphaImage5", std::nullopt, png, error)) << error;
    EXPECT_EQ(*file.ReadDesignFile("pictures/banner.png"), banner);
    EXPECT_EQ(*file.ReadDesignFile("pictures/aicAlphaImage5.png"), png);
}

TEST_F(DesignFolder, BadInputIsRefusedAndChangesNothing) {
    std::string error;
    { std::ofstream(dir / "notes.json") << "{ \"name\": \"X\", \"controls\": 3 }"; }
    EXPECT_FALSE(DesignDataFile::Open(dir / "notes.json", error));
    EXPECT_NE(error.find("not design data"), std::string::npos) << error;
    EXPECT_FALSE(DesignDataFile::Open(dir / "missing.json", error));

    // Picture paths may not leave the folder.
    std::string text = ReadText(dir / "FrmDetailService.json");
    const std::string outside = "../" + Utf8FromPath(dir.filename()) + "/FrmMain.json";
    ASSERT_TRUE(SetControlPropertyFile(text, "Text1", std::nullopt, "Picture", outside));
    std::ofstream(dir / "escape.json", std::ios::binary) << text;
    EXPECT_FALSE(DesignDataFile::Open(dir / "escape.json", error));

    DesignDataFile file = Open("FrmDetailService.json");
    EXPECT_FALSE(file.SavePicture("NoSuchControl", std::nullopt, Bytes{1, 2}, error));
    EXPECT_FALSE(file.ReadDesignFile("/etc/hostname"));
}

TEST_F(DesignFolder, ChangesMadeOnDiskAreNeverOverwrittenAndReloadTakesThem) {
    DesignDataFile file = Open("FrmDetailService.json");
    // Same length and the same time stamp: only the content tells.
    const auto stamp = fs::last_write_time(dir / "FrmDetailService.json");
    std::string onDisk = ReadText(dir / "FrmDetailService.json");
    onDisk.replace(onDisk.find("Detailed Service Info"), 21, "Detailed Service INFO");
    std::ofstream(dir / "FrmDetailService.json", std::ios::binary) << onDisk;
    fs::last_write_time(dir / "FrmDetailService.json", stamp);
    EXPECT_TRUE(file.ChangedOnDisk());

    Form edited = file.Model();
    edited.Find("Text1")->tag = "TTFF*/";
    std::string error;
    EXPECT_FALSE(file.SaveTags(edited, error));
    EXPECT_NE(error.find("changed on disk"), std::string::npos) << error;
    EXPECT_FALSE(file.SavePicture("Text1", std::nullopt, Bytes{'B', 'M', 0}, error));
    EXPECT_EQ(ReadText(dir / "FrmDetailService.json"), onDisk);
    EXPECT_FALSE(fs::exists(dir / "pictures" / "Text1.bmp"));

    ASSERT_TRUE(file.Reload(error)) << error;
    EXPECT_EQ(file.Model().caption, "Detailed Service INFO");
    ASSERT_TRUE(file.SaveTags(edited, error)) << error;
    const Form both = Open("FrmDetailService.json").Model();
    EXPECT_EQ(both.caption, "Detailed Service INFO");
    EXPECT_EQ(both.Find("Text1")->tag, "TTFF*/");
}

TEST_F(DesignFolder, ByteOrderMarkAndRepeatedKeysReadAndWriteTheSameValue) {
    const std::string json = "\xEF\xBB\xBF" + ReadText(dir / "FrmDetailService.json");
    std::string twice = json;
    const std::string one = R"("tag": "TTTT*/")";
    twice.replace(twice.find(one), one.size(), R"("tag": "FFFF*/", "tag": "TTTT*/")");
    std::ofstream(dir / "FrmDetailService.json", std::ios::binary) << twice;
    DesignDataFile file = Open("FrmDetailService.json");
    EXPECT_EQ(file.Model().Find("Text1")->tag, "TTTT*/"); // the last one is read

    Form edited = file.Model();
    edited.Find("Text1")->tag = "FTFT*/";
    std::string error;
    ASSERT_TRUE(file.SaveTags(edited, error)) << error;
    const std::string after = ReadText(dir / "FrmDetailService.json");
    EXPECT_TRUE(after.starts_with("\xEF\xBB\xBF"));
    EXPECT_NE(after.find(R"("tag": "FFFF*/", "tag": "FTFT*/")"), std::string::npos);
    EXPECT_EQ(Open("FrmDetailService.json").Model().Find("Text1")->tag, "FTFT*/");
}

TEST_F(DesignFolder, ReadOnlyFileIsNotReplaced) {
    DesignDataFile file = Open("FrmDetailService.json");
    const std::string before = file.Text();
    fs::permissions(dir / "FrmDetailService.json",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    Form edited = file.Model();
    edited.Find("Text1")->tag = "TTFF*/";
    std::string error;
    EXPECT_FALSE(file.SaveTags(edited, error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_EQ(ReadText(dir / "FrmDetailService.json"), before);
    EXPECT_FALSE(fs::exists(dir / "FrmDetailService.json.saving"));
    fs::permissions(dir / "FrmDetailService.json", fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(DesignFolder, PictureFilesNoLongerNamedAreRemoved) {
    DesignDataFile file = Open("FrmMain.json");
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0};
    std::string error;
    EXPECT_EQ(file.PictureFileOf("aicAlphaImage6", std::nullopt), "pictures/link_share.png");
    ASSERT_TRUE(file.SavePicture("aicAlphaImage6", std::nullopt, gif, error)) << error;
    EXPECT_FALSE(fs::exists(dir / "pictures" / "link_share.png")); // replaced by a .gif
    ASSERT_TRUE(file.SavePicture("aicAlphaImage6", std::nullopt, {}, error)) << error;
    EXPECT_FALSE(fs::exists(dir / "pictures" / "aicAlphaImage6.gif")); // cleared
    EXPECT_TRUE(fs::exists(dir / "pictures" / "logo.png"));
}

TEST(DesignDataEdit, ArrayMembersAndPropertyRemoval) {
    std::string json = R"({ "controls": [
    { "name": "Opt", "index": 1, "kind": "Label" },
    { "name": "Opt", "index": 2, "kind": "Label", "properties": { "A": { "int16": 1 }, "Image": { "file": "x.png" } } }
  ] })";
    EXPECT_FALSE(SetControlTagText(json, "Opt", std::nullopt, "TTFF*/"));
    ASSERT_TRUE(SetControlTagText(json, "Opt", 2, "FFTT*/"));
    ASSERT_TRUE(RemoveControlProperty(json, "Opt", 2, "image"));
    EXPECT_FALSE(RemoveControlProperty(json, "Opt", 1, "Image"));
    ASSERT_TRUE(RemoveControlProperty(json, "Opt", 2, "A"));
    EXPECT_EQ(json, R"({ "controls": [
    { "name": "Opt", "index": 1, "kind": "Label" },
    { "name": "Opt", "index": 2, "kind": "Label", "tag": "FFTT*/" }
  ] })");
}

TEST(DesignDataEdit, PictureExtensionFollowsTheBytes) {
    EXPECT_EQ(PictureExtension(Bytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10}), "png");
    EXPECT_EQ(PictureExtension(Bytes{'B', 'M', 0}), "bmp");
    EXPECT_EQ(PictureExtension(Bytes{0, 0, 1, 0, 1, 0}), "ico");
    EXPECT_EQ(PictureExtension(Bytes{0, 0, 2, 0}), "cur");
    EXPECT_EQ(PictureExtension(Bytes{0x89, 'P'}), "bin");
}

} // namespace
} // namespace corvale
