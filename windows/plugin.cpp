#include "windows/plugin.h"

#include "platform/error_display.h"
#include "platform/window_style.h"

TForm8 *Form8 = nullptr;

TForm8::TForm8(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Plugin's Manager"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 569, 314);
    setFont(platform::PixelFont(11));

    JvSettingsTreeView1 = new QTreeWidget(this);
    JvSettingsTreeView1->setGeometry(0, 0, 193, 313);
    JvSettingsTreeView1->setHeaderHidden(true);
    JvSettingsTreeView1->setRootIsDecorated(false);
    JvSettingsTreeView1->addTopLevelItem(
        new QTreeWidgetItem({QStringLiteral("Install/Uninstall")}));
    JvSettingsTreeView1->addTopLevelItem(new QTreeWidgetItem({QStringLiteral("Settings")}));

    JvGradientHeaderPanel1 =
        new platform::GradientHeader(this, QStringLiteral("Plugins for Velotune Player"));
    JvGradientHeaderPanel1->setGeometry(192, 0, 377, 33);

    JvPageControl1 = new QTabWidget(this);
    JvPageControl1->setGeometry(192, 32, 377, 281);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    JvPageControl1->addTab(TabSheet1, QStringLiteral("Install/Uninstall"));
    JvPageControl1->addTab(TabSheet2, QStringLiteral("Settings"));

    JvLabel1 = new platform::Label(TabSheet1, 8, 8, QStringLiteral("Installed plugins:"));
    JvListBox1 = new QListWidget(TabSheet1);
    JvListBox1->setGeometry(8, 32, 185, 217);
    const auto button = [this](int top, const QString &caption) {
        auto *b = new QPushButton(caption, TabSheet1);
        b->setGeometry(216, top, 121, 25);
        return b;
    };
    JvBitBtn1 = button(48, QStringLiteral("Add/Install plugin"));
    JvBitBtn2 = button(80, QStringLiteral("Uninstall"));
    JvBitBtn3 = button(112, QStringLiteral("About plugin"));

    JvCheckBox1 = new QCheckBox(QStringLiteral("Disable Velomod Protection"), TabSheet2);
    JvCheckBox1->setGeometry(16, 16, 180, 17);
    JvCheckBox2 = new QCheckBox(TabSheet2);
    JvCheckBox2->setGeometry(16, 40, 13, 17);

    platform::ConnectHandler(JvSettingsTreeView1, &QTreeWidget::itemClicked, this,
                             &TForm8::JvSettingsTreeView1Click);
}

void TForm8::JvSettingsTreeView1Click() {
    if (JvSettingsTreeView1->topLevelItem(0)->isSelected())
        JvPageControl1->setCurrentWidget(TabSheet1);
    if (JvSettingsTreeView1->topLevelItem(1)->isSelected())
        JvPageControl1->setCurrentWidget(TabSheet2);
}
