#pragma once

// The recording window: writes the playing stream to a WAV file. (unit rec)
// User-interface thread only.

#include <QDialog>

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget *parent = nullptr);
};

extern TForm3 *Form3;
