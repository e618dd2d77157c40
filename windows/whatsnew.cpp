#include "windows/whatsnew.h"

#include "platform/error_display.h"
#include "platform/window_style.h"

TForm4 *Form4 = nullptr;

TForm4::TForm4(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("What's new"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 305, 385);
    setFont(platform::PixelFont(11));

    JvRichEdit1 = new QTextEdit(this);
    JvRichEdit1->setGeometry(0, 0, 305, 337);
    JvRichEdit1->setReadOnly(true);
    JvRichEdit1->setLineWrapMode(QTextEdit::WidgetWidth);
    JvRichEdit1->setPlainText(QStringLiteral("1.1.1347:\n"
                                             "\n"
                                             "Now you can switch between the edit and the list\n"
                                             "\n"
                                             "Now you can select the desired radio from the list "
                                             "and \n"
                                             "customize it\n"
                                             "\n"
                                             "1.1.1350:\n"
                                             "\n"
                                             "You can change the default volume level\n"
                                             "\n"
                                             "1.1.1354:\n"
                                             "\n"
                                             "Now you can update the program automatically\n"
                                             "\n"
                                             "1.1.1365:\n"
                                             "\n"
                                             "Added support for AC3"));
    JvBitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    JvBitBtn1->setGeometry(96, 352, 105, 25);
    platform::ConnectHandler(JvBitBtn1, &QPushButton::clicked, this, &TForm4::JvBitBtn1Click);
}

void TForm4::JvBitBtn1Click() {
    close();
}
