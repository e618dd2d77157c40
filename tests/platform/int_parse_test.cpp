#include <optional>

#include <gtest/gtest.h>

#include "platform/int_parse.h"
#include "tests/support/qt_printers.h"

namespace {

struct Case {
    const char *text;
    std::optional<int32_t> value;
};

const Case kCases[] = {
    {"0", 0},
    {"42", 42},
    {"+42", 42},
    {"-42", -42},
    {"   7", 7},
    {"007", 7},
    {"2147483647", 2147483647},
    {"-2147483648", INT32_MIN},
    {"$26A", 618},
    {"x26a", 618},
    {"X26A", 618},
    {"0x26A", 618},
    {"0X26a", 618},
    {"-$10", -16},
    {"  +0x1F", 31},
    {"$FFFFFFFF", -1},
    {"$7FFFFFFF", 2147483647},
    // failures
    {"", std::nullopt},
    {"   ", std::nullopt},
    {"-", std::nullopt},
    {"$", std::nullopt},
    {"0x", std::nullopt},
    {"7 ", std::nullopt},
    {"7a", std::nullopt},
    {"1.5", std::nullopt},
    {"2147483648", std::nullopt},
    {"-2147483649", std::nullopt},
    {"99999999999999999999", std::nullopt},
    {"$100000000", std::nullopt},
    {"$G", std::nullopt},
    {"--1", std::nullopt},
    {"\t5", std::nullopt},
    {"٣", std::nullopt}, // a digit of another script
};

TEST(IntParse, TableOfCases) {
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(platform::TryStrToInt(QString::fromUtf8(c.text)), c.value);
    }
}

TEST(IntParse, StrToIntReportsTheTextAsTyped) {
    EXPECT_EQ(platform::StrToInt(QStringLiteral(" 12")), 12);
    try {
        platform::StrToInt(QStringLiteral("12 apples"));
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("'12 apples' is not a valid integer value"));
    }
}

TEST(IntParse, StrToIntDefFallsBack) {
    EXPECT_EQ(platform::StrToIntDef(QStringLiteral("abc"), 618), 618);
    EXPECT_EQ(platform::StrToIntDef(QStringLiteral("-5"), 618), -5);
}

} // namespace
