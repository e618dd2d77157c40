#include <QTest>
#include <gtest/gtest.h>

#include "kestrova/main.h"
#include "platform/controls.h"
#include "tests/support/qt_printers.h"

namespace {

TEST(KestrovaWindow, ShowsItsRussianControls) {
    kestrova::TForm1 window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Центр обновлений Orvanta"));
    EXPECT_EQ(window.size(), QSize(544, 354));
    EXPECT_EQ(window.JvGroupBox1->geometry(), QRect(8, 8, 529, 305));
    EXPECT_EQ(window.JvCheckListBox1->geometry(), QRect(8, 72, 505, 113));
    EXPECT_EQ(window.JvMemo1->geometry(), QRect(8, 208, 505, 89));
    EXPECT_TRUE(window.JvMemo1->isReadOnly());
    EXPECT_EQ(window.JvBitBtn1->text(), QStringLiteral("Установить"));
    EXPECT_EQ(window.JvBitBtn2->geometry(), QRect(432, 320, 105, 25));
    EXPECT_EQ(window.JvLabel2->text(), QStringLiteral("Список обновлений"));
    // Every label fits inside the group box.
    for (const platform::Label *label : {window.JvLabel1, window.JvLabel2, window.JvLabel3})
        EXPECT_LE(label->geometry().right(), window.JvGroupBox1->width());
}

TEST(KestrovaWindow, ButtonsAndTypingChangeNothing) {
    kestrova::TForm1 window;
    window.show();
    QTest::mouseClick(window.JvBitBtn1, Qt::LeftButton);
    QTest::mouseClick(window.JvBitBtn2, Qt::LeftButton);
    QTest::keyClicks(window.JvMemo1, QStringLiteral("text"));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.JvCheckListBox1->count(), 0);
    EXPECT_TRUE(window.JvMemo1->toPlainText().isEmpty());
}

} // namespace
