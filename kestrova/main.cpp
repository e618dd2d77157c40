#include "kestrova/main.h"

#include "platform/controls.h"
#include "platform/window_style.h"

namespace kestrova {

TForm1::TForm1(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Центр обновлений Orvanta"));
    platform::SetFixedWindow(this, platform::Border::SingleFixed, 544, 354);
    setFont(platform::PixelFont(11));

    JvGroupBox1 = new QGroupBox(this);
    JvGroupBox1->setGeometry(8, 8, 529, 305);
    // The labels size themselves to their text: the designed widths were
    // measured for a narrower face than the desktop's.
    JvLabel1 = new platform::Label(JvGroupBox1, 56, 16);
    JvLabel1->setFont(platform::PixelFont(15, true));
    JvLabel1->setText(QStringLiteral("Выберите обновления для установки"));
    JvLabel2 = new platform::Label(JvGroupBox1, 8, 48, QStringLiteral("Список обновлений"));
    JvCheckListBox1 = new QListWidget(JvGroupBox1);
    JvCheckListBox1->setGeometry(8, 72, 505, 113);
    JvLabel3 = new platform::Label(JvGroupBox1, 8, 192, QStringLiteral("Описание обновления"));
    JvMemo1 = new QPlainTextEdit(JvGroupBox1);
    JvMemo1->setGeometry(8, 208, 505, 89);
    JvMemo1->setReadOnly(true);

    JvBitBtn1 = new QPushButton(QStringLiteral("Установить"), this);
    JvBitBtn1->setGeometry(320, 320, 105, 25);
    JvBitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    JvBitBtn2->setGeometry(432, 320, 105, 25);
}

} // namespace kestrova
