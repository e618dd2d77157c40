#pragma once

// The spectrum's colour (unit chcolor): a list of the twenty standard
// colours; OK applies the chosen one to the spectrum's bars and marks and
// stores it. User-interface thread only; Form1 must exist.

#include <QComboBox>
#include <QDialog>
#include <QPushButton>

#include "platform/controls.h"

class TForm7 : public QDialog {
    Q_OBJECT

public:
    explicit TForm7(QWidget *parent = nullptr);

    platform::Label *JvLabel1;
    QComboBox *JvColorComboBox1;
    QPushButton *JvBitBtn1;

    void JvBitBtn1Click();

    // Selects the entry of `colour`, if the list has it.
    void SelectColour(const QColor &colour);

private:
    void FormCreate();
};

// The colour as the settings file stores it, "#RRGGBB", and back (an
// invalid colour for a text that is not one).
QString ColourText(const QColor &colour);
QColor ColourFromText(const QString &text);

extern TForm7 *Form7;
