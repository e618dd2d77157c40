#pragma once

// The update center's only window (unit main of the Kestrova program).

#include <QWidget>

namespace kestrova {

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
};

} // namespace kestrova
