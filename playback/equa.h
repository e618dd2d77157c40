#pragma once

// The five-band equalizer of the playing channel. (unit equa)
// User-interface thread only.
//
// Each slider sets the gain of one equalizer effect as 15 dB minus its
// value: 0 dB with the thumb at the top, 15 in the middle, 30 at the bottom
// (the library takes at most 15). The five effects belong to CurrentChannel:
// they are added to every channel the stream player opens, each with the
// parameters its slider last passed; an effect whose slider was never moved
// in this run stays flat. Nothing is stored.

#include <array>
#include <cstdint>

#include <QDialog>

#include "audio/audio.h"
#include "platform/controls.h"

class TForm10 : public QDialog {
    Q_OBJECT

public:
    explicit TForm10(QWidget *parent = nullptr);

    platform::Label *JvLabel1;
    std::array<platform::Label *, 5> ChannelLabels; // JvLabel2 .. JvLabel6
    platform::Slider *JvxSlider1;
    platform::Slider *JvxSlider2;
    platform::Slider *JvxSlider3;
    platform::Slider *JvxSlider4;
    platform::Slider *JvxSlider5;

    // The effect handles, slider order, and the record the sliders fill.
    std::array<uint32_t, 5> Effects{};
    ParamEq Params{};

    void FormCreate();
    void JvxSlider1Change();
    void JvxSlider2Change();
    void JvxSlider3Change();
    void JvxSlider4Change();
    void JvxSlider5Change();

private:
    std::array<platform::Slider *, 5> sliders() const;
    void setGain(int k);
    void attachTo(uint32_t channel);

    // Whether slider k has passed parameters in this run.
    std::array<bool, 5> moved_{};
};

extern TForm10 *Form10;
