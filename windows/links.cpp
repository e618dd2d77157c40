#include "windows/links.h"

#include <QLabel>

#include "app/main.h"
#include "platform/error_display.h"
#include "platform/window_style.h"
#include "windows/linkprop.h"

TForm11 *Form11 = nullptr;

TForm11::TForm11(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form11"));
    setWindowTitle(QStringLiteral("History links"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 394, 393);
    setFont(platform::PixelFont(11));

    JvItemsPanel1 = new platform::ItemsPanel(this, 32);
    JvItemsPanel1->setGeometry(0, 0, 394, 374);
    JvItemsPanel1->setFont(platform::PixelFont(13, true));

    JvStatusBar1 = new QStatusBar(this);
    JvStatusBar1->setGeometry(0, 374, 394, 19);
    JvStatusBar1->setSizeGripEnabled(false);
    JvStatusBar1->addWidget(new QLabel(QStringLiteral("Added links in player")), 1);

    PopupMenu1 = new QMenu(this);
    Properties1 = PopupMenu1->addAction(QStringLiteral("Properties..."));
    Play1 = PopupMenu1->addAction(QStringLiteral("Play"));
    Clearall1 = PopupMenu1->addAction(QStringLiteral("Clear all"));

    using platform::ConnectHandler;
    ConnectHandler(Clearall1, &QAction::triggered, this, &TForm11::Clearall1Click);
    ConnectHandler(Properties1, &QAction::triggered, this, &TForm11::Properties1Click);
    ConnectHandler(Play1, &QAction::triggered, this, &TForm11::Play1Click);
    connect(JvItemsPanel1, &platform::ItemsPanel::ContextMenuRequested, this,
            &TForm11::ShowContextMenu);
}

void TForm11::AppendHistory(const QString &line) {
    JvItemsPanel1->Append(line);
}

void TForm11::ShowContextMenu(const QPoint &globalPos, int item) {
    menuItem_ = item;
    Properties1->setVisible(item >= 0);
    Play1->setVisible(item >= 0);
    PopupMenu1->popup(globalPos);
}

void TForm11::Clearall1Click() {
    JvItemsPanel1->Clear();
}

void TForm11::Properties1Click() {
    if (menuItem_ < 0 || menuItem_ >= History().size())
        return;
    const HistoryEntry entry = ParseHistoryLine(History()[menuItem_]);
    Form13->JvEdit1->setText(entry.date);
    Form13->JvEdit2->setText(entry.address);
    platform::ShowModal(Form13);
}

void TForm11::Play1Click() {
    if (menuItem_ < 0 || menuItem_ >= History().size())
        return;
    const HistoryEntry entry = ParseHistoryLine(History()[menuItem_]);
    Form1->JvEdit1->setText(entry.address);
    Form1->JvEdit1->setModified(true);
    Form1->JvBitBtn1Click();
}

HistoryEntry ParseHistoryLine(const QString &line) {
    const QString marker = QStringLiteral(" Added ");
    const qsizetype at = line.indexOf(marker);
    if (at < 0)
        return {QString(), line};
    return {line.left(at), line.mid(at + marker.size())};
}
