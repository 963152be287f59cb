#include "platform/fixture_wmi.h"
#include "platform/wql.h"

#include <gtest/gtest.h>

namespace corvale {
namespace {

TEST(Currency, ParsesDecimalTextWithinItsRange) {
    EXPECT_EQ(Currency::Parse("123456789")->scaled, 1234567890000);
    EXPECT_EQ(Currency::Parse(" -5 ")->scaled, -50000);
    EXPECT_EQ(Currency::Parse("1.23456")->scaled, 12346); // fifth decimal rounds half away
    EXPECT_EQ(Currency::Parse("922337203685477")->scaled, 9223372036854770000);
    EXPECT_FALSE(Currency::Parse("922337203685478"));
    EXPECT_FALSE(Currency::Parse("18446744073709551615"));
    for (const char* bad : {"", "-", "abc", "1.2.3", "12a", "."})
        EXPECT_FALSE(Currency::Parse(bad));
    EXPECT_FALSE(Currency::FromScaled(INT64_MAX).Plus(Currency::FromScaled(1)));
}

TEST(WmiValue, ConvertsAsThePlatformDoes) {
    EXPECT_FALSE(WmiValue::Null().ToText());
    EXPECT_EQ(WmiValue::Bool(true).ToText(), "True");
    EXPECT_EQ(WmiValue::Bool(false).ToText(), "False");
    EXPECT_EQ(WmiValue::Integer(-12).ToText(), "-12");
    EXPECT_EQ(WmiValue::Double(1.5).ToText(), "1.5");
    EXPECT_EQ(WmiValue::Text("x y").ToText(), "x y");
    // 64-bit counts arrive as text and still convert to amounts.
    EXPECT_EQ(WmiValue::Text("5505024").ToCurrency()->scaled, 55050240000);
    EXPECT_FALSE(WmiValue::Text("18446744073709551615").ToCurrency());
    EXPECT_FALSE(WmiValue::Null().ToCurrency());
    EXPECT_EQ(WmiValue::Text("-9223372036854775808").ToInt64(), INT64_MIN);
    EXPECT_FALSE(WmiValue::Text("9223372036854775808").ToInt64());
    EXPECT_FALSE(WmiValue::Double(1.5).ToInt64());
    EXPECT_EQ(WmiValue::Integer(-1).ToBool(), true);
    EXPECT_EQ(WmiValue::Integer(1).ToBool(), false);
    EXPECT_FALSE(WmiValue::Null().ToBool());
}

TEST(WmiObject, MissingPropertyDiffersFromNullAndNamesIgnoreCase) {
    WmiObject o;
    o.Set("ProcessId", WmiValue::Integer(88));
    o.Set("Description", WmiValue::Null());
    o.Set("PROCESSID", WmiValue::Integer(4)); // replaces, does not add
    EXPECT_EQ(o.Properties().size(), 2u);
    EXPECT_EQ(o.Get("processid")->ToText(), "4");
    ASSERT_TRUE(o.Get("Description"));
    EXPECT_TRUE(o.Get("Description")->IsNull());
    EXPECT_FALSE(o.Get("Caption"));
}

TEST(Wql, ReadsTheThreeShapes) {
    auto all = ParseWql("Select * from Win32_Service");
    ASSERT_TRUE(all.query) << all.error;
    EXPECT_EQ(all.query->className, "Win32_Service");
    EXPECT_FALSE(all.query->whereProperty);

    auto byName = ParseWql("select * FROM Win32_Service where name = \"Dhcp\"");
    ASSERT_TRUE(byName.query) << byName.error;
    EXPECT_EQ(byName.query->whereProperty, "name");
    EXPECT_EQ(byName.query->whereValue, "Dhcp");

    auto byPid = ParseWql("Select * from Win32_Process where ProcessID = '1234'");
    ASSERT_TRUE(byPid.query) << byPid.error;
    EXPECT_EQ(byPid.query->whereValue, "1234");
    EXPECT_EQ(ParseWql("SELECT * FROM Win32_Process WHERE ProcessID=42").query->whereValue, "42");
    EXPECT_EQ(ParseWql(R"(Select * from Win32_Service where name = "a\"b")").query->whereValue,
              "a\"b");
}

TEST(Wql, RefusesAnythingElseWithAReason) {
    for (const char* bad :
         {"", "Delete from Win32_Service", "Select Name from Win32_Service",
          "Select * Win32_Service", "Select * from", "Select * from Win32_Service where",
          "Select * from X where a > 1", "Select * from X where a = \"unterminated",
          "Select * from X where a = 'x' and b = 'y'", "Select * from X Y",
          "Select * fromWin32_Service"}) {
        auto r = ParseWql(bad);
        EXPECT_FALSE(r.query) << bad;
        EXPECT_FALSE(r.error.empty()) << bad;
    }
}

FixtureWmi SmallFixture() {
    auto data = ParseFixtureJson(R"({
      "Win32_Service": [
        {"Name": "Dhcp", "ProcessId": 88, "Description": null},
        {"Name": "Spooler", "ProcessId": 1000}],
      "Win32_Process": [{"ProcessId": 88, "WorkingSetSize": "5505024"}]})");
    return FixtureWmi(std::move(*data));
}

TEST(FixtureWmi, AnswersByClassAndCondition) {
    FixtureWmi wmi = SmallFixture();
    auto svc = wmi.Bind("WINMGMTS:\\\\.\\ROOT\\CIMV2");
    ASSERT_TRUE(svc);
    EXPECT_EQ(svc->ExecQuery("Select * from Win32_Service", kWmiQueryFlags).objects.size(), 2u);
    auto dhcp = svc->ExecQuery("Select * from Win32_Service where name = \"dhcp\"", 48);
    ASSERT_EQ(dhcp.objects.size(), 1u);
    EXPECT_TRUE(dhcp.objects[0].Get("Description")->IsNull());
    auto proc = svc->ExecQuery("Select * from Win32_Process where ProcessID = \"88\"", 48);
    ASSERT_EQ(proc.objects.size(), 1u);
    EXPECT_EQ(proc.objects[0].Get("WorkingSetSize")->ToText(), "5505024");
    EXPECT_TRUE(svc->ExecQuery("Select * from Win32_Process where ProcessID = \"9\"", 48).ok());
    EXPECT_FALSE(svc->ExecQuery("Select * from Win32_Thread", 48).ok());
    EXPECT_FALSE(svc->ExecQuery("Select * from Win32_Service where Nope = 1", 48).ok());
    EXPECT_EQ(wmi.queries.size(), 6u);
}

TEST(FixtureWmi, BindingFailsForOtherNamespacesOrOnRequest) {
    FixtureWmi wmi = SmallFixture();
    EXPECT_FALSE(wmi.Bind("winmgmts:\\\\.\\root\\default"));
    wmi.bindFails = true;
    EXPECT_FALSE(wmi.Bind(kCimV2Moniker));
    EXPECT_EQ(wmi.bindCount, 2);
}

TEST(FixtureWmi, MalformedDataIsRefused) {
    std::string error;
    EXPECT_FALSE(ParseFixtureJson("{", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ParseFixtureJson(R"({"Win32_Service": {}})", &error));
    EXPECT_FALSE(ParseFixtureJson(R"({"Win32_Service": [{"a": [1]}]})", &error));
    EXPECT_FALSE(ParseFixtureJson(R"({"Win32_Service": [{"a": 18446744073709551615}]})", &error));
}

} // namespace
} // namespace corvale
