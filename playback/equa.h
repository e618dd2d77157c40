#pragma once

// The five-band equalizer of the playing channel. (unit equa)
// User-interface thread only.

#include <QDialog>

class TForm10 : public QDialog {
    Q_OBJECT

public:
    explicit TForm10(QWidget *parent = nullptr);
};

extern TForm10 *Form10;
