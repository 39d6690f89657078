#pragma once
// The master volume in percent for the player bar: ALSA's simple mixer,
// control "Master" (else "PCM") of the device the player plays on. Every call
// opens the mixer, works and closes it. The null and file sinks have no mixer.

#include <cstdint>
#include <memory>

namespace audio {

// One volume control, open for the length of one call.
class MixerControl {
public:
    virtual ~MixerControl() = default;
    virtual bool Range(long& minimum, long& maximum) = 0;
    virtual bool Get(long& value) = 0;   // the front-left channel
    virtual bool Set(long value) = 0;    // every channel
};

// The master volume control of the player's device; null when there is none
// (no card, no such control, or a sink without mixer).
std::unique_ptr<MixerControl> OpenMixer();

// 0..100 rounded to the nearest percent, 0 when the control has no range,
// -1 when there is no control or it cannot be read.
int GetMixerVolumePercent();
int GetMixerVolumePercent(MixerControl& control);
// minimum + (maximum - minimum) x percent / 100, truncated (50 % of 0..65535
// is 32767); percent is kept to 0..100. A failure leaves the volume as it was.
void SetMixerVolumePercent(int percent);
void SetMixerVolumePercent(MixerControl& control, int percent);
// Volume up and down: the current percent plus delta, kept to 0..100, and at
// least one step of the control in that direction, so a control with few
// steps still moves. The new percent, or -1 without a control.
int StepMixerVolumePercent(int delta);
int StepMixerVolumePercent(MixerControl& control, int delta);

}  // namespace audio
