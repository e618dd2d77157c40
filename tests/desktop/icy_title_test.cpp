// The station title out of ICY metadata texts as stations send them.

#include <ostream>

#include <gtest/gtest.h>

#include "desktop/icy_title.h"
#include "tests/support/qt_printers.h"

namespace {

struct TitleCase {
    const char *metadata; // UTF-8
    const char *title;
};

void PrintTo(const TitleCase &c, std::ostream *out) {
    *out << c.metadata;
}

class StreamTitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(StreamTitleTest, TakesTheValueOfStreamTitle) {
    const TitleCase &c = GetParam();
    EXPECT_EQ(desktop::StreamTitle(QString::fromUtf8(c.metadata)), QString::fromUtf8(c.title))
        << c.metadata;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StreamTitleTest,
    ::testing::Values(TitleCase{"StreamTitle='Artist - Song';StreamUrl='';", "Artist - Song"},
                      TitleCase{"StreamTitle='Artist - Song';", "Artist - Song"},
                      TitleCase{"StreamTitle='Don't Stop';StreamUrl='http://x/';", "Don't Stop"},
                      TitleCase{"StreamTitle='Rock';n';Roll';StreamUrl='';", "Rock';n';Roll"},
                      TitleCase{"StreamUrl='http://x/';StreamTitle='Second';", "Second"},
                      TitleCase{"streamtitle='Lower Case Key';", "Lower Case Key"},
                      TitleCase{"StreamTitle='  Blanks  ';", "Blanks"},
                      TitleCase{"StreamTitle='Кино - Группа крови';", "Кино - Группа крови"},
                      TitleCase{"StreamTitle='No End", "No End"},
                      TitleCase{"StreamTitle='Quote End'", "Quote End"},
                      TitleCase{"StreamTitle='';StreamUrl='';", ""},
                      TitleCase{"StreamUrl='http://x/';", ""}, TitleCase{"", ""},
                      TitleCase{"garbage ' ; = '", ""}));

TEST(StreamTitleTest, DropsTheNulPaddingOfTheBlock) {
    const QString padded = QStringLiteral("StreamTitle='Padded';") + QString(11, QChar(0));
    EXPECT_EQ(desktop::StreamTitle(padded), QStringLiteral("Padded"));
    const QString unterminated = QStringLiteral("StreamTitle='Cut") + QString(5, QChar(0));
    EXPECT_EQ(desktop::StreamTitle(unterminated), QStringLiteral("Cut"));
}

} // namespace
