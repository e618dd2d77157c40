#include "playback/strinfo.h"

#include "audio/audio.h"
#include "platform/error_display.h"
#include "platform/text.h"
#include "platform/window_style.h"
#include "playback/status_figures.h"
#include "playback/stream_player.h"

TForm9 *Form9 = nullptr;

TForm9::TForm9(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("Stream info"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 271, 223);
    setFont(platform::PixelFont(11));

    // The lines run to the window's right edge at most; a longer title is
    // condensed rather than cut.
    JvLabel1 = new platform::Label(this, 8, 16, QStringLiteral("Name:"));
    JvLabel2 = new platform::Label(this, 8, 40, QStringLiteral("Bitrate:"));
    JvLabel3 = new platform::Label(this, 8, 64, QStringLiteral("Server:"));
    for (platform::Label *line : {JvLabel1, JvLabel2, JvLabel3})
        line->SetFitWidth(255);
    JvBitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    JvBitBtn1->setGeometry(88, 192, 105, 25);
    JvBitBtn1->setDefault(true);
    JvBitBtn1->setFocus();
    JvTimer1 = new platform::RepeatingTimer(this, 1000, true);

    using platform::ConnectHandler;
    ConnectHandler(JvBitBtn1, &QPushButton::clicked, this, &TForm9::JvBitBtn1Click);
    ConnectHandler(JvTimer1, &platform::RepeatingTimer::Timer, this, &TForm9::JvTimer1Timer);
}

void TForm9::JvTimer1Timer() {
    const char *meta = BASS_ChannelGetTags(CurrentChannel, BASS_TAG_META);
    JvLabel1->setText(QStringLiteral("Name: ") +
                      (meta ? platform::DecodeText(QByteArray(meta)) : QString()));
    JvLabel2->setText(QStringLiteral("Bitrate: ") +
                      QString::number(playback::BitrateKbps(CurrentChannel)) +
                      QStringLiteral(" kbps"));
    const QString server = playback::ServerText(CurrentChannel, CurrentURL);
    JvLabel3->setText(server.isEmpty() ? QStringLiteral("Server:")
                                       : QStringLiteral("Server: ") + server);
}

void TForm9::JvBitBtn1Click() {
    accept();
}
