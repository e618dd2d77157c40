#include "windows/about.h"

#include <QPainter>

#include "app/main.h"
#include "platform/error_display.h"
#include "platform/os_name.h"
#include "platform/window_style.h"

TForm5 *Form5 = nullptr;

QImage AboutBanner() {
    QImage banner(313, 41, QImage::Format_ARGB32);
    banner.fill(QColor(10, 26, 90));
    QPainter painter(&banner);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont script(QStringLiteral("URW Chancery L"));
    script.setStyleHint(QFont::Cursive);
    script.setItalic(true);
    script.setPixelSize(30);
    painter.setFont(script);
    painter.setPen(Qt::white);
    painter.drawText(banner.rect(), Qt::AlignCenter, QStringLiteral("Velotune Player"));
    return banner;
}

TForm5::TForm5(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("About"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 390, 338);
    platform::SetBlackWindow(this);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::black);
    colours.setColor(QPalette::Text, Qt::white);
    setPalette(colours);

    JvImage1 = new QLabel(this);
    JvImage1->setGeometry(40, 16, 313, 41);
    JvImage1->setPixmap(QPixmap::fromImage(AboutBanner()));

    const auto bold = [this](int left, int top, int pixels, const QString &text) {
        auto *label = new platform::Label(this, left, top);
        label->setFont(platform::PixelFont(pixels, true));
        label->setText(text);
        return label;
    };
    JvLabel4 = bold(8, 72, 11, QString::fromLatin1(kRunningVersion));
    JvLabel1 = bold(128, 72, 16, QStringLiteral("Velotune Player"));
    JvLabel2 = bold(112, 112, 13, QStringLiteral("Internet radio's player"));

    JvMemo1 = new QPlainTextEdit(this);
    JvMemo1->setGeometry(8, 136, 377, 169);
    JvMemo1->setReadOnly(true);
    JvMemo1->setFrameShape(QFrame::NoFrame);
    JvMemo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    JvMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    JvMemo1->setPlainText(QStringLiteral("The player uses the BASS 2.4.14\n"
                                         "\n"
                                         "If you have an old version of BASS, we advise you to\n"
                                         "download the latest one on the site ") +
                          QString::fromLatin1(kHomePage) + QStringLiteral("\n"));

    JvLabel3 = bold(8, 312, 11, QStringLiteral("Velotune team, ") + QString::fromLatin1(kHomePage));

    platform::RunGuarded([this] { FormCreate(); });
}

void TForm5::FormCreate() {
    JvMemo1->appendPlainText(QStringLiteral("OS version: ") + platform::OperatingSystemName());
}
