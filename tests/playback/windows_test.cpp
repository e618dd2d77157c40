// The equalizer, recording and stream info windows on the real audio library
// (null output) with a loopback station.

#include <array>
#include <cmath>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "audio/audio.h"
#include "playback/equa.h"
#include "playback/rec.h"
#include "playback/stream_player.h"
#include "playback/strinfo.h"
#include "tests/audio/decoded_file.h"
#include "tests/support/dialogs.h"
#include "tests/support/qt_printers.h"
#include "tests/support/radio_server.h"

namespace {

using testsupport::AudioCodec;
using testsupport::RadioStream;

class PlaybackWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr) ||
                    BASS_ErrorGetCode() == BASS_ERROR_ALREADY);
        ASSERT_TRUE(BASS_SetDevice(0));
        CurrentChannel = 0;
        CurrentURL.clear();
    }
    void TearDown() override {
        BASS_StreamFree(CurrentChannel);
        CurrentChannel = 0;
    }

    // Plays `path` of the loopback station as the main window's Play does.
    void play(const std::string &path) {
        CurrentURL = QString::fromStdString(radio.Url(path));
        playback::OpenCurrentStream(playback::StreamFormat::Mp3Mp4);
        ASSERT_NE(CurrentChannel, 0u);
    }

    testsupport::RadioServer radio;
};

// The tone's level as heard: its FFT magnitude (its bins near 80 Hz) over
// half a second of output, after the output has taken up a change.
double heardLevel() {
    QTest::qWait(300);
    double sum = 0;
    for (int i = 0; i < 10; ++i) {
        std::array<float, 512> bins{};
        BASS_ChannelGetData(CurrentChannel, bins.data(), BASS_DATA_FFT1024);
        sum += bins[1] + bins[2] + bins[3];
        QTest::qWait(50);
    }
    return sum / 10;
}

double decibels(double level, double reference) {
    return 20.0 * std::log10(level / reference);
}

TEST_F(PlaybackWindowsTest, SlidersPassTheRecordWithoutAStreamAndShowNothing) {
    const auto shown = testsupport::AnswerMessageBox();
    TForm10 form;
    for (uint32_t fx : form.Effects)
        EXPECT_EQ(fx, 0u); // created before any channel
    const std::array<platform::Slider *, 5> sliders = {
        form.JvxSlider1, form.JvxSlider2, form.JvxSlider3, form.JvxSlider4, form.JvxSlider5};
    const struct {
        int value;
        float gain;
    } positions[] = {{15, 0.0f}, {-15, 30.0f}, {0, 15.0f}, {7, 8.0f}};
    for (platform::Slider *slider : sliders) {
        EXPECT_EQ(slider->value(), 0);
        for (const auto &p : positions) {
            form.Params = {};
            slider->setValue(p.value);
            EXPECT_FLOAT_EQ(form.Params.gain, p.gain) << p.value;
            EXPECT_FLOAT_EQ(form.Params.centre, 80.0f);
            EXPECT_FLOAT_EQ(form.Params.bandwidth, 3.0f);
        }
    }
    // The arrow keys step by tens from the middle.
    form.JvxSlider3->setValue(0);
    QTest::keyClick(form.JvxSlider3, Qt::Key_Up);
    EXPECT_EQ(form.JvxSlider3->value(), 10);
    EXPECT_FLOAT_EQ(form.Params.gain, 5.0f);
    QTest::keyClick(form.JvxSlider3, Qt::Key_Up);
    EXPECT_EQ(form.JvxSlider3->value(), 15);
    EXPECT_FLOAT_EQ(form.Params.gain, 0.0f);
    QTest::qWait(50);
    EXPECT_EQ(shown->count, 0);
}

TEST_F(PlaybackWindowsTest, SlidersShapeWhatIsHeardOnEveryNewChannel) {
    RadioStream stream;
    stream.tone = {80.0, 0.05};
    radio.AddStream("/bass", stream);
    TForm10 form;
    play("/bass");
    ASSERT_NE(form.Effects[0], 0u);

    // Sliders never moved leave the sound as it is.
    const double flat = heardLevel();
    ASSERT_GT(flat, 0.005);

    form.JvxSlider1->setValue(5); // gain 10 dB
    EXPECT_NEAR(decibels(heardLevel(), flat), 10.0, 1.5);

    // Another station (here the same one again): a new channel, the same sound.
    play("/bass");
    EXPECT_NEAR(decibels(heardLevel(), flat), 10.0, 1.5);

    form.JvxSlider1->setValue(15); // the top: 0 dB
    EXPECT_NEAR(decibels(heardLevel(), flat), 0.0, 1.0);

    QTest::keyClick(form.JvxSlider2, Qt::Key_Up); // 0 -> 10: gain 5 dB
    EXPECT_NEAR(decibels(heardLevel(), flat), 5.0, 1.5);

    form.JvxSlider2->setValue(-15); // gain 30, taken as the library's most, 15
    EXPECT_NEAR(decibels(heardLevel(), flat), 15.0, 1.5);
}

TEST_F(PlaybackWindowsTest, StreamInfoBeforeAnyStream) {
    TForm9 form;
    QTest::qWait(20); // the first tick comes at once
    EXPECT_EQ(form.JvLabel1->text(), QStringLiteral("Name: "));
    EXPECT_EQ(form.JvLabel2->text(), QStringLiteral("Bitrate: 0 kbps"));
    EXPECT_EQ(form.JvLabel3->text(), QStringLiteral("Server:"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Stream info"));
}

TEST_F(PlaybackWindowsTest, StreamInfoFollowsTheTitleWhileHidden) {
    RadioStream stream;
    stream.metaint_bytes = 4000;
    stream.titles = {"Caf\xe9 Artist - First", "Caf\xe9 Artist - Second"};
    stream.blocks_per_title = 4;
    radio.AddStream("/live", stream);
    TForm9 form;
    ASSERT_FALSE(form.isVisible());
    play("/live");

    const auto waitFor = [&form](const QString &name) {
        return QTest::qWaitFor([&] { return form.JvLabel1->text() == name; }, 15000);
    };
    // Shown whole, as sent, the Latin-1 byte as its character.
    EXPECT_TRUE(waitFor(QStringLiteral("Name: StreamTitle='Café Artist - First';StreamUrl='';")))
        << form.JvLabel1->text().toStdString();
    EXPECT_TRUE(waitFor(QStringLiteral("Name: StreamTitle='Café Artist - Second';StreamUrl='';")))
        << form.JvLabel1->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return form.JvLabel2->text().contains(
                QRegularExpression(QStringLiteral("^Bitrate: 1[23][0-9] kbps$")));
        },
        5000))
        << form.JvLabel2->text().toStdString();
    EXPECT_EQ(form.JvLabel3->text(), QStringLiteral("Server: Loopback Radio"));

    // OK hides the window and leaves playback alone.
    form.show();
    QTest::mouseClick(form.JvBitBtn1, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.JvLabel1->text().contains(u"First"); }, 15000));
}

TEST_F(PlaybackWindowsTest, ServerLineNamesTheHostWhenTheStationHasNoName) {
    testsupport::HttpResponse plain;
    plain.headers = {{"Content-Type", "audio/mpeg"}};
    plain.body = testsupport::EncodeTone(AudioCodec::Mp3, 128, 4.0);
    radio.AddResponse("/file.mp3", plain);
    play("/file.mp3");
    EXPECT_EQ(playback::ServerText(CurrentChannel, CurrentURL),
              QStringLiteral("127.0.0.1:%1").arg(radio.Port()));
    EXPECT_EQ(playback::ServerText(0, CurrentURL), QString());
    EXPECT_EQ(playback::ServerText(CurrentChannel, QStringLiteral("https://[::1]/live")),
              QStringLiteral("[::1]:443"));
}

double recordedSeconds() {
    return BASS_ChannelBytes2Seconds(CurrentChannel,
                                     BASS_Encode_GetCount(CurrentChannel, BASS_ENCODE_COUNT_IN));
}

TEST_F(PlaybackWindowsTest, EachFormatRecordsWhatPlaysToThePathAsTyped) {
    radio.AddStream("/live", RadioStream{});
    play("/live");
    QTemporaryDir dir;
    TForm3 form;
    EXPECT_TRUE(form.JvRadioButton2->isChecked()); // WAV at start
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Record Radio"));

    const struct {
        QRadioButton *button;
        const char *file; // no extension: none is added
        const char *codec;
        std::size_t slackFrames;
    } cases[] = {
        {form.JvRadioButton2, "radio wav", "pcm_s16le", 0},
        {form.JvRadioButton1, "radio.mp3", "mp3", 2 * 1152},
        {form.JvRadioButton3, "radio.ogg", "vorbis", 2048},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.codec);
        const QString path = dir.filePath(QString::fromUtf8(c.file));
        c.button->click();
        form.JvFilenameEdit1->setText(QString());
        form.JvFilenameEdit1->Edit()->setFocus();
        QTest::keyClicks(form.JvFilenameEdit1->Edit(), path);
        // Paused before Start: Start plays on.
        BASS_ChannelPause(CurrentChannel);
        QTest::mouseClick(form.JvBitBtn1, Qt::LeftButton);
        ASSERT_EQ(BASS_Encode_IsActive(CurrentChannel), BASS_ACTIVE_PLAYING);
        // A second Start on the file keeps the one encoder writing it.
        QTest::mouseClick(form.JvBitBtn1, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([] { return recordedSeconds() > 1.2; }, 10000));

        // The bar is busy and tells the length and size.
        QTest::qWait(600);
        EXPECT_EQ(form.JvProgressBar1->maximum(), 0);
        EXPECT_TRUE(form.JvProgressBar1->format().contains(
            QRegularExpression(QStringLiteral("^00:00:0[1-9] · [0-9.,]+ (bytes|kB|MB)$"))))
            << form.JvProgressBar1->format().toStdString();

        // Held, nothing more is taken in: the count is the file's length.
        BASS_ChannelPause(CurrentChannel);
        const uint64_t taken = BASS_Encode_GetCount(CurrentChannel, BASS_ENCODE_COUNT_IN);
        QTest::mouseClick(form.JvBitBtn2, Qt::LeftButton);
        EXPECT_EQ(BASS_Encode_IsActive(CurrentChannel), BASS_ACTIVE_STOPPED);
        EXPECT_EQ(form.JvProgressBar1->maximum(), 1);
        EXPECT_TRUE(form.JvProgressBar1->format().isEmpty());
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(),
                  static_cast<qsizetype>(&c - cases + 1));
        audiotest::ExpectRecording(
            path.toStdString(),
            {c.codec, taken / 8, c.slackFrames, {testsupport::kToneHz, testsupport::kToneHz}});
        BASS_ChannelPlay(CurrentChannel, false);
    }
}

TEST_F(PlaybackWindowsTest, BadStartsAndStopsCreateNothingAndShowNothing) {
    const auto shown = testsupport::AnswerMessageBox();
    QTemporaryDir dir;
    TForm3 form;
    const QString file = dir.filePath(QStringLiteral("before.wav"));
    // No stream yet.
    form.JvFilenameEdit1->setText(file);
    form.JvBitBtn1->click();
    form.JvBitBtn2->click();
    EXPECT_FALSE(QFile::exists(file));

    radio.AddStream("/live", RadioStream{});
    play("/live");
    for (const QString &path :
         {QString(), dir.filePath(QStringLiteral("no/such/folder.wav")), dir.path()}) {
        form.JvFilenameEdit1->setText(path);
        form.JvBitBtn1->click();
        EXPECT_EQ(BASS_Encode_IsActive(CurrentChannel), BASS_ACTIVE_STOPPED) << path.toStdString();
        form.ShowProgress();
        EXPECT_EQ(form.JvProgressBar1->maximum(), 1);
    }
    form.JvBitBtn2->click(); // nothing recording
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 0);

    QTest::qWait(50);
    EXPECT_EQ(shown->count, 0);
    EXPECT_TRUE(BASS_ChannelPause(CurrentChannel)); // playback went on throughout
}

} // namespace
