// Percent arithmetic over a volume control, and the ALSA simple-mixer control.

#include "audio/player/mixer_volume.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>

#include "audio/player/audio_sink.h"

namespace audio {
namespace {

struct MixerCloser {
    void operator()(snd_mixer_t* mixer) const { snd_mixer_close(mixer); }
};

class AlsaMixerControl final : public MixerControl {
public:
    AlsaMixerControl(std::unique_ptr<snd_mixer_t, MixerCloser> mixer, snd_mixer_elem_t* element)
        : mixer_(std::move(mixer)), element_(element) {}
    bool Range(long& minimum, long& maximum) override {
        return snd_mixer_selem_get_playback_volume_range(element_, &minimum, &maximum) == 0;
    }
    bool Get(long& value) override {
        return snd_mixer_selem_get_playback_volume(element_, SND_MIXER_SCHN_FRONT_LEFT, &value) == 0;
    }
    bool Set(long value) override { return snd_mixer_selem_set_playback_volume_all(element_, value) == 0; }

private:
    std::unique_ptr<snd_mixer_t, MixerCloser> mixer_;
    snd_mixer_elem_t* element_;
};

snd_mixer_elem_t* FindVolumeElement(snd_mixer_t* mixer, const char* name) {
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, name);
    snd_mixer_elem_t* element = snd_mixer_find_selem(mixer, id);
    return element != nullptr && snd_mixer_selem_has_playback_volume(element) ? element : nullptr;
}

int PercentOf(long value, long minimum, long maximum) {
    if (maximum <= minimum) return 0;
    const double percent = double(value - minimum) * 100.0 / double(maximum - minimum);
    return std::clamp(int(std::lround(percent)), 0, 100);
}

long ValueOf(int percent, long minimum, long maximum) {
    return long(double(maximum - minimum) * std::clamp(percent, 0, 100) * 0.01) + minimum;
}

}  // namespace

std::unique_ptr<MixerControl> OpenMixer() {
    const SinkChoice choice = SinkChoiceFromEnvironment();
    if (choice.kind != SinkKind::Alsa) return nullptr;
    SilenceAlsaMessages();
    snd_mixer_t* raw = nullptr;
    if (snd_mixer_open(&raw, 0) < 0) return nullptr;
    std::unique_ptr<snd_mixer_t, MixerCloser> mixer(raw);
    if (snd_mixer_attach(raw, choice.name.c_str()) < 0 || snd_mixer_selem_register(raw, nullptr, nullptr) < 0 ||
        snd_mixer_load(raw) < 0)
        return nullptr;
    snd_mixer_elem_t* element = FindVolumeElement(raw, "Master");
    if (element == nullptr) element = FindVolumeElement(raw, "PCM");
    if (element == nullptr) return nullptr;
    return std::make_unique<AlsaMixerControl>(std::move(mixer), element);
}

int GetMixerVolumePercent(MixerControl& control) {
    long minimum = 0, maximum = 0, value = 0;
    if (!control.Range(minimum, maximum) || !control.Get(value)) return -1;
    return PercentOf(value, minimum, maximum);
}

void SetMixerVolumePercent(MixerControl& control, int percent) {
    long minimum = 0, maximum = 0;
    if (!control.Range(minimum, maximum) || maximum < minimum) return;
    control.Set(ValueOf(percent, minimum, maximum));
}

int StepMixerVolumePercent(MixerControl& control, int delta) {
    long minimum = 0, maximum = 0, value = 0;
    if (!control.Range(minimum, maximum) || !control.Get(value)) return -1;
    if (maximum <= minimum) return 0;
    long target = ValueOf(PercentOf(value, minimum, maximum) + delta, minimum, maximum);
    if (delta > 0 && target <= value) target = std::min(value + 1, maximum);
    if (delta < 0 && target >= value) target = std::max(value - 1, minimum);
    if (target != value && !control.Set(target)) return -1;
    return PercentOf(target, minimum, maximum);
}

int GetMixerVolumePercent() {
    auto control = OpenMixer();
    return control ? GetMixerVolumePercent(*control) : -1;
}

void SetMixerVolumePercent(int percent) {
    if (auto control = OpenMixer()) SetMixerVolumePercent(*control, percent);
}

int StepMixerVolumePercent(int delta) {
    auto control = OpenMixer();
    return control ? StepMixerVolumePercent(*control, delta) : -1;
}

}  // namespace audio
