#pragma once

// The current stream's name, bitrate and server. (unit strinfo)
// User-interface thread only.

#include <QDialog>

class TForm9 : public QDialog {
    Q_OBJECT

public:
    explicit TForm9(QWidget *parent = nullptr);
};

extern TForm9 *Form9;
