#pragma once

// The player's main window (unit main): the hub from which every other window
// is opened. User-interface thread only.

#include <QWidget>

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
};

extern TForm1 *Form1;
