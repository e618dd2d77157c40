#include <QDesktopServices>
#include <QUrl>
#include <gtest/gtest.h>

#include "platform/formats.h"
#include "platform/shell_open.h"
#include "tests/support/qt_printers.h"

namespace {

TEST(Formats, FollowTheLocale) {
    const QDate date(2026, 12, 11);
    const QTime time(9, 5, 7);

    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(platform::FormatShortDate(date, german), QStringLiteral("11.12.26"));
    EXPECT_EQ(platform::FormatLongTime(time, german), QStringLiteral("09:05:07"));
    EXPECT_EQ(platform::TimeSeparator(german), QStringLiteral(":"));

    const QLocale american(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(platform::FormatShortDate(date, american), QStringLiteral("12/11/26"));
    EXPECT_EQ(platform::FormatLongTime(time, american), QStringLiteral("9:05:07 AM"));
    EXPECT_FALSE(platform::LongTimeFormat(american).contains(u't'));

    const QLocale finnish(QLocale::Finnish, QLocale::Finland);
    EXPECT_EQ(platform::TimeSeparator(finnish), QStringLiteral("."));
}

class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

TEST(ShellOpen, HandsTheAddressToTheDesktop) {
    OpenedUrls handler;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &handler, "open");
    platform::ShellOpen(QStringLiteral("http://velotune.example/"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    ASSERT_EQ(handler.urls.size(), 1);
    EXPECT_EQ(handler.urls.front(), QUrl(QStringLiteral("http://velotune.example/")));
}

} // namespace

#include "formats_test.moc"
