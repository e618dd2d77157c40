#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/controls.h"
#include "platform/form_magnet.h"
#include "platform/text.h"

namespace {

TEST(FileFilter, PairsBecomeQtFiltersAndStarDotStarMeansEveryFile) {
    const struct {
        const char *given;
        const char *expected;
    } cases[] = {
        {"Playlists|*.m3u;*.aac;*.asx;*.pls", "Playlists (*.m3u *.aac *.asx *.pls)"},
        {"All files (*.*)|*.*", "All files (*)"},
        {"Windows Media audio|*.asf;*.wma|All files|*",
         "Windows Media audio (*.asf *.wma);;All files (*)"},
        {"Audio|*.aac;;*.mp3", "Audio (*.aac *.mp3)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(platform::QtFileFilter(QString::fromUtf8(c.given)), QString::fromUtf8(c.expected))
            << c.given;
}

TEST(Slider, ArrowKeysStepToTheNearestTensRoundingHalvesToEven) {
    const struct {
        int value, direction, expected;
    } cases[] = {
        {0, +1, 10},   {10, +1, 15},   {15, +1, 15},   {5, +1, 10},    {-5, +1, 10},
        {14, +1, 15},  {-15, +1, -10}, {0, -1, -10},   {-10, -1, -15}, {5, -1, -10},
        {-5, -1, -10}, {15, -1, 10},   {-15, -1, -15}, {4, -1, -10},   {6, -1, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(platform::Slider::Step(c.value, c.direction, 10, -15, 15), c.expected)
            << c.value << " " << c.direction;
}

TEST(Slider, KeysAndDragsRaiseOneChangeEachWithTheMaximumOnTop) {
    QWidget window;
    platform::Slider slider(&window, -15, 15, 10);
    slider.setGeometry(16, 72, 25, 217);
    QSignalSpy changes(&slider, &QSlider::valueChanged);

    QTest::keyClick(&slider, Qt::Key_Up);
    QTest::keyClick(&slider, Qt::Key_Up);
    QTest::keyClick(&slider, Qt::Key_Up); // at the top already: no change
    QTest::keyClick(&slider, Qt::Key_Home);
    QTest::keyClick(&slider, Qt::Key_End);
    QTest::keyClick(&slider, Qt::Key_Down);
    ASSERT_EQ(changes.size(), 5);
    const int expected[] = {10, 15, -15, 15, 10};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(changes[i].at(0).toInt(), expected[i]);

    // Dragging passes every whole value on the way.
    changes.clear();
    slider.setValue(0);
    for (int v = 1; v <= 4; ++v)
        slider.setSliderPosition(v);
    EXPECT_EQ(changes.size(), 5);
    EXPECT_EQ(slider.orientation(), Qt::Vertical);
    EXPECT_FALSE(slider.invertedAppearance()); // maximum at the top
}

TEST(FormMagnet, EdgesWithinFifteenPixelsSnap) {
    const QRect work(0, 0, 1280, 1000);
    const QRect main(400, 300, 409, 584); // outline 400..809 x 300..884
    const struct {
        QRect frame;
        QRect magnet;
        QPoint expected;
    } cases[] = {
        {{12, 500, 300, 200}, {}, {0, 500}},      // left edge of the work area
        {{16, 500, 300, 200}, {}, {16, 500}},     // 16 px away: no snap
        {{970, 805, 300, 200}, {}, {980, 800}},   // right and bottom from inside
        {{-10, -15, 300, 200}, {}, {0, 0}},       // dragged partly out comes back
        {{820, 400, 300, 200}, main, {809, 400}}, // beside the main window's right
        {{85, 400, 300, 200}, main, {100, 400}},  // beside its left
        {{405, 100, 300, 188}, main, {400, 112}}, // left edges aligned, bottom on its top
        {{820, 50, 300, 200}, main, {820, 50}},   // far above it: its sides do not pull
        {{820, 895, 300, 90}, main, {809, 884}},  // below-right corner, nearly touching
    };
    for (const auto &c : cases) {
        const QPoint got = platform::SnapPosition(c.frame, work, c.magnet);
        EXPECT_EQ(got, c.expected)
            << c.frame.x() << "," << c.frame.y() << " went to " << got.x() << "," << got.y();
    }
}

TEST(FormMagnet, MovingAWindowNearTheMainWindowSnapsIt) {
    QWidget main;
    main.setGeometry(300, 200, 409, 584);
    main.show();
    platform::FormMagnet::SetMainWindow(&main);
    QWidget dialog;
    dialog.resize(322, 304);
    new platform::FormMagnet(&dialog);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    const QRect outline = main.frameGeometry();
    const QPoint beside(outline.right() + 1, outline.top() + 40);
    dialog.move(beside + QPoint(9, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.frameGeometry().topLeft() == beside; }));

    // Away from everything it stays where it was put.
    const QRect work = dialog.screen()->availableGeometry();
    const QPoint free(work.left() + 40, work.top() + 40);
    main.hide();
    dialog.move(free);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.frameGeometry().topLeft() == free; }));
    QTest::qWait(50);
    EXPECT_EQ(dialog.frameGeometry().topLeft(), free);
    platform::FormMagnet::SetMainWindow(nullptr);
}

} // namespace
