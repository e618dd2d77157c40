#include "windows/linkprop.h"

#include "platform/error_display.h"
#include "platform/window_style.h"

TForm13 *Form13 = nullptr;

TForm13::TForm13(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form13"));
    setWindowTitle(QStringLiteral("Link properties"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 214, 124);
    setFont(platform::PixelFont(11));

    JvLabel1 = new QLabel(QStringLiteral("Date"), this);
    JvLabel1->move(8, 16);
    JvLabel1->adjustSize();
    JvLabel2 = new QLabel(QStringLiteral("Value"), this);
    JvLabel2->move(8, 40);
    JvLabel2->adjustSize();
    JvEdit1 = new QLineEdit(this);
    JvEdit1->setGeometry(40, 16, 169, 19);
    JvEdit1->setReadOnly(true);
    JvEdit2 = new QLineEdit(this);
    JvEdit2->setGeometry(40, 40, 169, 19);
    JvBitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    JvBitBtn1->setGeometry(48, 80, 105, 25);
    setTabOrder(JvEdit1, JvEdit2);
    setTabOrder(JvEdit2, JvBitBtn1);

    platform::ConnectHandler(JvBitBtn1, &QPushButton::clicked, this, &TForm13::JvBitBtn1Click);
}

void TForm13::JvBitBtn1Click() {
    hide();
}
