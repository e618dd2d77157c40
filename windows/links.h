#pragma once

// The history window (unit links): the addresses typed and played in this
// run, oldest first, with "Clear all", and per entry "Properties..." and
// "Play". The list lives in memory only. User-interface thread only.

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QStatusBar>

#include "platform/items_panel.h"

class TForm11 : public QDialog {
    Q_OBJECT

public:
    explicit TForm11(QWidget *parent = nullptr);

    // Appends one line to the history list.
    void AppendHistory(const QString &line);
    const QStringList &History() const { return JvItemsPanel1->Items(); }

    platform::ItemsPanel *JvItemsPanel1;
    QStatusBar *JvStatusBar1;
    QMenu *PopupMenu1;
    QAction *Clearall1;
    QAction *Properties1;
    QAction *Play1;

    void Clearall1Click();
    void Properties1Click();
    void Play1Click();

    // Opens the context menu for `item` (-1: no entry under the pointer).
    void ShowContextMenu(const QPoint &globalPos, int item);

private:
    int menuItem_ = -1; // the entry the context menu was opened on
};

// The parts of a history line "<date> Added <address>".
struct HistoryEntry {
    QString date;
    QString address;
};
HistoryEntry ParseHistoryLine(const QString &line);

extern TForm11 *Form11;
