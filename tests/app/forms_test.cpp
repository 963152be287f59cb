#include "app/form_data.h"

#include <gtest/gtest.h>

namespace corvale {
namespace {

std::uint32_t BigEndian32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}
std::int32_t LittleEndian32(const Bytes& b, std::size_t at) {
    return static_cast<std::int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                     (std::uint32_t{b[at + 3]} << 24));
}

TEST(FrmMainDesign, HoldsEveryControlInOrderWithItsPlaceAndState) {
    FormLoadResult loaded = LoadFrmMain();
    ASSERT_TRUE(loaded.form) << loaded.error;
    const Form& f = *loaded.form;
    std::vector<std::string> names;
    for (const Control& c : f.controls) names.push_back(c.name);
    EXPECT_EQ(
        names,
        (std::vector<std::string>{
            "Command1",       "Command2",       "Command3", "Label3",         "Label5",
            "Label4",         "Label6",         "Label8",   "Label7",         "ListView1",
            "Label1",         "Label2",         "DB1",      "Picture4",       "aicAlphaImage4",
            "aicAlphaImage6", "aicAlphaImage5", "Picture1", "aicAlphaImage1", "Timer1",
            "List1",          "Text1",          "Anchor1"}));
    EXPECT_EQ(f.caption, "Varnholt - Corvale");
    EXPECT_EQ(f.clientWidth, 9060);
    EXPECT_EQ(f.clientHeight, 4680);
    EXPECT_EQ(f.font, (FontSpec{"Verdana", 6.75f, true}));

    const Control& c3 = *f.Find("Command3");
    EXPECT_EQ(c3.position, (TwipsRect{1500, 60, 375, 405}));
    EXPECT_EQ(c3.toolTip, "Copy List To Clip Board");
    EXPECT_EQ(c3.tag, "TTFF*/");
    EXPECT_FALSE(c3.enabled);
    EXPECT_EQ(f.FontOf(c3).sizePt, 8.25f);
    EXPECT_EQ(
        f.Find("ListView1")->items,
        (std::vector<std::string>{"Service Display Name", "Service", "PID", "PID Memory", "Path"}));
    const Control& label2 = *f.Find("Label2");
    EXPECT_FALSE(label2.visible);
    EXPECT_EQ(label2.text, "Working, Please Wait...");
    EXPECT_EQ(f.FontOf(label2).sizePt, 9.75f);
    EXPECT_EQ(f.Find("Label7")->text, "00.00 MB");
    EXPECT_FALSE(f.Find("Timer1")->enabled);
    EXPECT_EQ(f.Find("Timer1")->properties.GetInt32("Interval"), 100);
    EXPECT_FALSE(f.Find("Timer1")->position);
    EXPECT_EQ(f.Find("Text1")->text, "\"");
    EXPECT_EQ(f.Find("aicAlphaImage1")->position, (TwipsRect{-180, -180, 1920, 1920}));
    EXPECT_EQ(f.Find("aicAlphaImage5")->container, "Picture4");
    EXPECT_EQ(f.Find("Picture1")->tag, "FFTT*/");
    EXPECT_EQ(f.Find("Label3")->tag, "");
}

TEST(FrmMainDesign, PicturesHaveTheSizesAndFormatsTheControlsExpect) {
    const Form f = *LoadFrmMain().form;
    for (const char* name :
         {"aicAlphaImage1", "aicAlphaImage4", "aicAlphaImage5", "aicAlphaImage6"}) {
        SCOPED_TRACE(name);
        const Control& c = *f.Find(name);
        const Bytes* png = c.properties.GetBytes("Image");
        ASSERT_NE(png, nullptr);
        ASSERT_GT(png->size(), 33u);
        EXPECT_EQ(BigEndian32(*png, 0), 0x89504E47u);
        EXPECT_EQ(BigEndian32(*png, 16) * 15, static_cast<std::uint32_t>(c.position->width));
        EXPECT_EQ(BigEndian32(*png, 20) * 15, static_cast<std::uint32_t>(c.position->height));
        EXPECT_EQ((*png)[24], 8); // bit depth
        EXPECT_EQ((*png)[25], 6); // RGBA
        EXPECT_EQ((*png)[28], 0); // not interlaced
        EXPECT_EQ(c.properties.GetInt32("Props"), 5);
        const bool link = std::string(name) != "aicAlphaImage1";
        EXPECT_EQ(c.properties.GetInt16("MPointer"),
                  link ? std::optional<std::int16_t>(99) : std::nullopt);
        const Bytes* icon = c.properties.GetBytes("MIcon");
        ASSERT_EQ(icon != nullptr, link);
        if (icon) {
            ASSERT_GT(icon->size(), 22u);
            EXPECT_EQ((*icon)[2], 1);  // icon resource
            EXPECT_EQ((*icon)[6], 32); // 32 x 32
            EXPECT_EQ((*icon)[12], 8); // 8 bits a pixel
        }
    }
    const std::pair<const char*, int> buttons[] = {
        {"Command1", 16}, {"Command2", 15}, {"Command3", 15}};
    for (auto [name, height] : buttons) {
        const Bytes* bmp = f.Find(name)->properties.GetBytes("Picture");
        ASSERT_NE(bmp, nullptr);
        ASSERT_GT(bmp->size(), 26u);
        EXPECT_EQ((*bmp)[0], 'B');
        EXPECT_EQ(LittleEndian32(*bmp, 18), 16);
        EXPECT_EQ(std::abs(LittleEndian32(*bmp, 22)), height);
    }
}

TEST(FrmDetailServiceDesign, HoldsTheTextBoxAndTheAnchor) {
    const Form f = *LoadFrmDetailService().form;
    EXPECT_EQ(f.caption, "Detailed Service Info");
    EXPECT_EQ(f.outerWidth, 8055);
    EXPECT_EQ(f.outerHeight, 4695);
    ASSERT_EQ(f.controls.size(), 2u);
    EXPECT_EQ(f.controls[0].position, (TwipsRect{90, 90, 7755, 4005}));
    EXPECT_EQ(f.controls[0].tag, "TTTT*/");
    EXPECT_EQ(f.controls[1].kind, ControlKind::Anchor);
}

TEST(FormJson, RefusesMalformedDesignData) {
    auto noFiles = [](std::string_view) -> std::optional<Bytes> { return std::nullopt; };
    const char* bad[] = {
        "[]",
        R"({"controls": 1})",
        R"({"controls": [{"kind": "Label"}]})",
        R"({"controls": [{"name": "A", "kind": "Spaceship"}]})",
        R"({"controls": [{"name": "A", "kind": "Label"}, {"name": "a", "kind": "Label"}]})",
        R"({"controls": [{"name": "A", "kind": "Label", "position": [1, 2, 3]}]})",
        R"({"controls": [{"name": "A", "kind": "Label", "position": [1, 2, -3, 4]}]})",
        R"({"controls": [{"name": "A", "kind": "Label", "position": [1, 2, 3, 4294967296]}]})",
        R"({"controls": [{"name": "A", "kind": "Label", "properties": {"P": {"int16": 40000}}}]})",
        R"({"controls": [{"name": "A", "kind": "Label", "properties": {"P": {"blob": 1}}}]})",
        R"({"controls": [{"name": "A", "kind": "Label", "properties": {"P": {"file": "x.png"}}}]})",
        R"({"controls": [{"name": "A", "kind": "Label", "container": "Nowhere"}]})",
    };
    for (const char* json : bad) {
        FormLoadResult r = LoadFormJson(json, noFiles);
        EXPECT_FALSE(r.form) << json;
        EXPECT_FALSE(r.error.empty()) << json;
    }
    FormLoadResult ok = LoadFormJson(
        R"({"controls": [{"name": "A", "index": 2, "kind": "Label", "properties": {"S": {"single": 1.5}, "T": {"text": "t"}}}]})",
        noFiles);
    ASSERT_TRUE(ok.form) << ok.error;
    EXPECT_EQ(ok.form->Find("A", 2)->properties.GetSingle("S"), 1.5f);
}

} // namespace
} // namespace corvale
