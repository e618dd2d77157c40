#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/error_display.h"
#include "tests/support/dialogs.h"
#include "tests/support/qt_printers.h"

namespace {

TEST(ErrorDisplay, FullStopRule) {
    struct Case {
        const char *message;
        const char *shown;
    };
    const Case cases[] = {
        {"Unable to write to /x/rsettings.ini", "Unable to write to /x/rsettings.ini."},
        {"Error 404", "Error 404."},
        {"Done.", "Done."},
        {"Stop!", "Stop!"},
        {"(none)", "(none)"},
        {"ends with a slash/", "ends with a slash/."},
        {"ends with a dash-", "ends with a dash-"},
        {"", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(platform::ErrorDisplayText(QString::fromUtf8(c.message)),
                  QString::fromUtf8(c.shown));
    }
}

class Window : public QObject {
public:
    int calls = 0;
    int lastValue = 0;
    void Plain() { ++calls; }
    void WithValue(int value) {
        lastValue = value;
        throw std::runtime_error("bad value");
    }
};

class Slider : public QObject {
    Q_OBJECT
signals:
    void clicked();
    void moved(int value);
};

TEST(ErrorDisplay, HandlerExceptionIsShownAndTheRestIsSkipped) {
    Slider button;
    QObject context;
    bool afterThrow = false;
    platform::ConnectHandler(&button, &Slider::clicked, &context, [&] {
        throw platform::Error(QStringLiteral("'abc' is not a valid integer value"));
        afterThrow = true;
    });

    const auto shown = testsupport::AnswerMessageBox();
    emit button.clicked();

    EXPECT_FALSE(afterThrow);
    EXPECT_EQ(shown->count, 1);
    EXPECT_EQ(shown->title, QStringLiteral("Velotune Player"));
    EXPECT_EQ(shown->text, QStringLiteral("'abc' is not a valid integer value."));
    EXPECT_EQ(shown->icon, QMessageBox::Critical);
    EXPECT_EQ(shown->buttons, 1);
}

TEST(ErrorDisplay, MemberHandlersGetTheSignalArgumentsWhenTheyTakeThem) {
    Slider slider;
    Window window;
    platform::ConnectHandler(&slider, &Slider::moved, &window, &Window::Plain);
    platform::ConnectHandler(&slider, &Slider::moved, &window, &Window::WithValue);

    const auto shown = testsupport::AnswerMessageBox();
    emit slider.moved(37);

    EXPECT_EQ(window.calls, 1);
    EXPECT_EQ(window.lastValue, 37);
    EXPECT_EQ(shown->text, QStringLiteral("bad value."));
}

} // namespace

#include "error_display_test.moc"
