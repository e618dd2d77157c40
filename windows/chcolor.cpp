#include "windows/chcolor.h"

#include <QPainter>
#include <QRegularExpression>

#include "app/main.h"
#include "platform/error_display.h"
#include "platform/window_style.h"
#include "settings/settings_file.h"

TForm7 *Form7 = nullptr;

namespace {

struct NamedColour {
    const char *name;
    int red, green, blue;
};

constexpr NamedColour kColours[] = {
    {"Black", 0, 0, 0},       {"Maroon", 128, 0, 0},         {"Green", 0, 128, 0},
    {"Olive", 128, 128, 0},   {"Navy", 0, 0, 128},           {"Purple", 128, 0, 128},
    {"Teal", 0, 128, 128},    {"Gray", 128, 128, 128},       {"Silver", 192, 192, 192},
    {"Red", 255, 0, 0},       {"Lime", 0, 255, 0},           {"Yellow", 255, 255, 0},
    {"Blue", 0, 0, 255},      {"Fuchsia", 255, 0, 255},      {"Aqua", 0, 255, 255},
    {"White", 255, 255, 255}, {"MoneyGreen", 192, 220, 192}, {"SkyBlue", 166, 202, 240},
    {"Cream", 255, 251, 240}, {"MedGray", 160, 160, 164},
};

QIcon swatch(const QColor &colour) {
    QPixmap image(21, 14);
    image.fill(colour);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, image.width() - 1, image.height() - 1);
    return QIcon(image);
}

} // namespace

QString ColourText(const QColor &colour) {
    return colour.name(QColor::HexRgb).toUpper();
}

QColor ColourFromText(const QString &text) {
    static const QRegularExpression pattern(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
    return pattern.match(text).hasMatch() ? QColor(text) : QColor();
}

TForm7::TForm7(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Change visualize color"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 284, 139);
    setFont(platform::PixelFont(11));

    JvLabel1 = new platform::Label(this, 48, 16);
    JvLabel1->setFont(platform::PixelFont(13, true));
    JvLabel1->setText(QStringLiteral("Change color visualization"));
    JvColorComboBox1 = new QComboBox(this);
    JvColorComboBox1->setGeometry(40, 56, 201, 22);
    JvColorComboBox1->setIconSize(QSize(21, 14));
    for (const NamedColour &c : kColours) {
        const QColor colour(c.red, c.green, c.blue);
        JvColorComboBox1->addItem(swatch(colour), QString::fromLatin1(c.name), colour);
    }
    JvColorComboBox1->setCurrentIndex(0);
    JvBitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    JvBitBtn1->setGeometry(88, 96, 105, 25);
    platform::ConnectHandler(JvBitBtn1, &QPushButton::clicked, this, &TForm7::JvBitBtn1Click);

    platform::RunGuarded([this] { FormCreate(); });
}

// Applies the stored colour to the spectrum and opens the list on the colour
// in use, so that OK without a choice changes nothing.
void TForm7::FormCreate() {
    const QColor stored = ColourFromText(settings::OpenSettingsFile().ReadString(
        QStringLiteral("design"), QStringLiteral("color"), QString()));
    if (stored.isValid())
        Form1->SpectrumColour = stored;
    SelectColour(Form1->SpectrumColour);
}

void TForm7::SelectColour(const QColor &colour) {
    const int index = JvColorComboBox1->findData(colour);
    if (index >= 0)
        JvColorComboBox1->setCurrentIndex(index);
}

void TForm7::JvBitBtn1Click() {
    close();
    const QColor chosen = JvColorComboBox1->currentData().value<QColor>();
    Form1->SpectrumColour = chosen;
    settings::OpenSettingsFile().WriteString(QStringLiteral("design"), QStringLiteral("color"),
                                             ColourText(chosen));
}
