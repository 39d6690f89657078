// Master volume percent over a fake control of each shape a mixer has
// (0..65535, 0..87, 0..3, a control whose minimum equals its maximum), and the
// real ALSA mixer on a machine without a sound card.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "audio/player/mixer_volume.h"
#include "tests/support/test_support.h"

namespace audio {
namespace {

class FakeControl final : public MixerControl {
public:
    FakeControl(long minimum, long maximum, long value) : minimum_(minimum), maximum_(maximum), value_(value) {}
    bool Range(long& minimum, long& maximum) override {
        minimum = minimum_;
        maximum = maximum_;
        return true;
    }
    bool Get(long& value) override {
        value = value_;
        return true;
    }
    bool Set(long value) override {
        value_ = value;
        ++sets;
        return true;
    }
    long value() const { return value_; }
    int sets = 0;

private:
    long minimum_, maximum_, value_;
};

TEST(MixerVolume, PercentOverEachKindOfControl) {
    struct Row {
        long minimum, maximum;
        int setPercent;
        long value;       // raw value after the set
        int readPercent;  // percent read back
    };
    const Row rows[] = {
        {0, 65535, 50, 32767, 50},  {0, 65535, 0, 0, 0},      {0, 65535, 100, 65535, 100},
        {0, 65535, 37, 24247, 37},  {0, 65535, 150, 65535, 100}, {0, 65535, -5, 0, 0},
        {0, 87, 50, 43, 49},        {0, 87, 100, 87, 100},    {0, 87, 23, 20, 23},
        {0, 3, 50, 1, 33},          {0, 3, 100, 3, 100},      {0, 3, 99, 2, 67},
        {-6000, 0, 50, -3000, 50},  {5, 5, 50, 5, 0},
    };
    for (const Row& row : rows) {
        FakeControl control(row.minimum, row.maximum, row.minimum);
        SetMixerVolumePercent(control, row.setPercent);
        EXPECT_EQ(control.value(), row.value) << row.minimum << ".." << row.maximum << " set " << row.setPercent;
        EXPECT_EQ(GetMixerVolumePercent(control), row.readPercent) << row.minimum << ".." << row.maximum;
    }
}

// Volume up and down in steps of 5 reach both ends on every control and
// move at every press until then, also where 5 % is less than one step.
TEST(MixerVolume, StepsMoveEveryControlEndToEnd) {
    const long ranges[][2] = {{0, 65535}, {0, 87}, {0, 3}, {-6000, 0}};
    for (const auto& range : ranges) {
        FakeControl control(range[0], range[1], range[0]);
        int presses = 0;
        for (long last = control.value(); control.value() < range[1] && presses < 30; ++presses) {
            StepMixerVolumePercent(control, +5);
            EXPECT_GT(control.value(), last) << range[1];
            last = control.value();
        }
        EXPECT_EQ(control.value(), range[1]);
        EXPECT_EQ(GetMixerVolumePercent(control), 100);
        for (long last = control.value(); control.value() > range[0] && presses < 60; ++presses) {
            StepMixerVolumePercent(control, -5);
            EXPECT_LT(control.value(), last) << range[1];
            last = control.value();
        }
        EXPECT_EQ(control.value(), range[0]);
    }
    FakeControl flat(5, 5, 5);
    EXPECT_EQ(StepMixerVolumePercent(flat, +5), 0);
    EXPECT_EQ(flat.sets, 0);
}

TEST(MixerVolume, SinksWithoutMixerAndNoCardGiveMinusOneSilently) {
    const bool card = qvtest::Run("grep -q '^ *[0-9]' /proc/asound/cards").exitCode == 0;
    const char* sinks[] = {"null", "file:/tmp/none.raw", "alsa:null", nullptr};
    for (const char* sink : sinks) {
        if (sink == nullptr && card) continue;
        if (sink) ::setenv("QV_AUDIO_SINK", sink, 1);
        else ::unsetenv("QV_AUDIO_SINK");
        testing::internal::CaptureStderr();
        const int percent = GetMixerVolumePercent();
        SetMixerVolumePercent(40);
        const int stepped = StepMixerVolumePercent(5);
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(percent, -1) << (sink ? sink : "(unset)");
        EXPECT_EQ(stepped, -1) << (sink ? sink : "(unset)");
        EXPECT_EQ(printed, "") << (sink ? sink : "(unset)");
    }
    ::unsetenv("QV_AUDIO_SINK");
    if (card) GTEST_SKIP() << "this machine has a sound card: the default device was not tried";
}

}  // namespace
}  // namespace audio
