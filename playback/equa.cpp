#include "playback/equa.h"

#include "platform/error_display.h"
#include "platform/form_magnet.h"
#include "platform/window_style.h"
#include "playback/stream_player.h"

TForm10 *Form10 = nullptr;

namespace {

constexpr int kSliderLeft_px[5] = {16, 80, 144, 208, 272};
constexpr int kLabelLeft_px[5] = {8, 72, 136, 200, 264};

} // namespace

TForm10::TForm10(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form10"));
    setWindowTitle(QStringLiteral("Equalizer"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 322, 304);
    platform::SetBlackWindow(this);

    JvLabel1 = new platform::Label(this, 8, 8);
    JvLabel1->setFont(platform::PixelFont(16, true));
    JvLabel1->setText(QStringLiteral("Sound equalizer"));
    for (int k = 0; k < 5; ++k)
        ChannelLabels[static_cast<std::size_t>(k)] = new platform::Label(
            this, kLabelLeft_px[k], 48, QStringLiteral("Channel %1").arg(k + 1));
    const auto slider = [this](int k) {
        auto *made = new platform::Slider(this, -15, 15, 10);
        made->setGeometry(kSliderLeft_px[k], 72, 25, 217);
        made->setValue(0);
        return made;
    };
    JvxSlider1 = slider(0);
    JvxSlider2 = slider(1);
    JvxSlider3 = slider(2);
    JvxSlider4 = slider(3);
    JvxSlider5 = slider(4);
    new platform::FormMagnet(this);

    using platform::ConnectHandler;
    ConnectHandler(JvxSlider1, &QSlider::valueChanged, this, &TForm10::JvxSlider1Change);
    ConnectHandler(JvxSlider2, &QSlider::valueChanged, this, &TForm10::JvxSlider2Change);
    ConnectHandler(JvxSlider3, &QSlider::valueChanged, this, &TForm10::JvxSlider3Change);
    ConnectHandler(JvxSlider4, &QSlider::valueChanged, this, &TForm10::JvxSlider4Change);
    ConnectHandler(JvxSlider5, &QSlider::valueChanged, this, &TForm10::JvxSlider5Change);
    ConnectHandler(&playback::ChannelEvents::Instance(), &playback::ChannelEvents::ChannelOpened,
                   this, &TForm10::attachTo);
    platform::RunGuarded([this] { FormCreate(); });
}

void TForm10::FormCreate() {
    for (uint32_t &fx : Effects)
        fx = BASS_ChannelSetFX(CurrentChannel, BASS_FX_DX8_PARAMEQ, 1);
}

void TForm10::JvxSlider1Change() {
    setGain(0);
}

void TForm10::JvxSlider2Change() {
    setGain(1);
}

void TForm10::JvxSlider3Change() {
    setGain(2);
}

void TForm10::JvxSlider4Change() {
    setGain(3);
}

void TForm10::JvxSlider5Change() {
    setGain(4);
}

std::array<platform::Slider *, 5> TForm10::sliders() const {
    return {JvxSlider1, JvxSlider2, JvxSlider3, JvxSlider4, JvxSlider5};
}

void TForm10::setGain(int k) {
    const auto index = static_cast<std::size_t>(k);
    Params.gain = 15.0f - static_cast<float>(sliders()[index]->value());
    Params.bandwidth = 3.0f;
    Params.centre = 80.0f;
    BASS_FXSetParameters(Effects[index], &Params);
    moved_[index] = true;
}

void TForm10::attachTo(uint32_t channel) {
    // The effects of the channel before went with it.
    for (std::size_t k = 0; k < Effects.size(); ++k) {
        Effects[k] = BASS_ChannelSetFX(channel, BASS_FX_DX8_PARAMEQ, 1);
        if (moved_[k])
            setGain(static_cast<int>(k));
    }
}
