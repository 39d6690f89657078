// The hot and disabled pictures of the tool bars against ImageMagick: the
// same pixels run through `convert -fx` with the two rules must come out equal
// to ours, pixel for pixel (`compare -metric AE` counts no difference).

#include "window/models/bar_image_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

constexpr int kWidth = 64;

// Every byte value in each channel, greys, pure colours and random pixels,
// with several alpha values.
std::vector<uint32_t> Samples() {
    std::vector<uint32_t> pixels;
    for (uint32_t c = 0; c < 256; ++c) {
        pixels.push_back(0xFF000000u | c << 16 | c << 8 | c);
        pixels.push_back(0xFF000000u | c << 16);
        pixels.push_back(0x80000000u | c << 8);
        pixels.push_back(0x10000000u | c);
    }
    std::mt19937 random(7);
    for (int i = 0; i < 1024; ++i) pixels.push_back(0xFF000000u | (random() & 0xFFFFFFu));
    while (pixels.size() % kWidth) pixels.push_back(0xFFFFFFFFu);
    return pixels;
}

void WritePam(const std::string& path, const std::vector<uint32_t>& pixels) {
    std::ofstream out(path, std::ios::binary);
    out << "P7\nWIDTH " << kWidth << "\nHEIGHT " << pixels.size() / kWidth
        << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (uint32_t p : pixels) {
        const char bytes[4] = {char(p >> 16), char(p >> 8), char(p), char(p >> 24)};
        out.write(bytes, 4);
    }
}

TEST(BarImageRules, HotAndDisabledMatchImageMagick) {
    if (qvtest::Run("command -v convert && command -v compare").exitCode != 0) GTEST_SKIP() << "ImageMagick is absent";
    qvtest::TempDir dir;
    const std::vector<uint32_t> normal = Samples();
    WritePam(dir / "normal.pam", normal);
    struct Rule {
        const char* name;
        const char* fx;
        void (*make)(std::span<uint32_t>);
    };
    const Rule rules[] = {
        {"hot", "pow(u,1.4)", app::ui::MakeHotImage},
        {"disabled", "sqrt(0.299*u.r+0.587*u.g+0.114*u.b)", app::ui::MakeDisabledImage},
    };
    for (const Rule& rule : rules) {
        SCOPED_TRACE(rule.name);
        std::vector<uint32_t> ours = normal;
        rule.make(ours);
        const std::string oursPath = dir / (std::string(rule.name) + "-ours.pam");
        const std::string theirs = dir / (std::string(rule.name) + "-magick.pam");
        WritePam(oursPath, ours);
        ASSERT_EQ(qvtest::Run("convert " + qvtest::ShellQuote(dir / "normal.pam") + " -channel RGB -fx '" + rule.fx +
                              "' " + qvtest::ShellQuote(theirs))
                      .exitCode,
                  0);
        const qvtest::CommandResult compared =
            qvtest::Run("compare -metric AE " + qvtest::ShellQuote(oursPath) + " " + qvtest::ShellQuote(theirs) +
                        " null: 2>&1");
        EXPECT_EQ(compared.output, "0") << compared.output;
    }
    // Alpha stays; black and white keep their ends.
    EXPECT_EQ(app::ui::HotPixel(0x12FFFFFFu), 0x12FFFFFFu);
    EXPECT_EQ(app::ui::HotPixel(0x34000000u), 0x34000000u);
    EXPECT_EQ(app::ui::DisabledPixel(0x56FF0000u) >> 24, 0x56u);
}

}  // namespace
