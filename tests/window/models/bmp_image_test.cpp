#include "window/models/bmp_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "window/models/progress_animation.h"
#include "tests/support/test_support.h"

namespace {

bool HaveNetpbm() { return qvtest::Run("command -v ppmtobmp && command -v bmptopnm && command -v pgmramp").exitCode == 0; }

// The pixels of a BMP as bmptopnm reads them, as 0xRRGGBB rows top to bottom.
std::vector<uint32_t> NetpbmPixels(const std::string& bmp, int& width, int& height) {
    std::istringstream in(qvtest::RunOk("bmptopnm " + qvtest::ShellQuote(bmp) + " 2>/dev/null | ppmtoppm 2>/dev/null | pnmtoplainpnm"));
    std::string magic;
    int maxval = 0;
    in >> magic >> width >> height >> maxval;
    std::vector<uint32_t> pixels;
    for (int i = 0; i < width * height; ++i) {
        unsigned r = 0, g = 0, b = 0;
        if (magic == "P3") {
            in >> r >> g >> b;
        } else {
            in >> r;
            if (magic == "P1") r = r ? 0 : 255;   // plain bitmap: 1 is black
            g = b = r;
        }
        pixels.push_back((r << 16) | (g << 8) | b);
    }
    return pixels;
}

struct Fixture {
    const char* name;
    const char* command;
    uint16_t bits;
};

const Fixture kFixtures[] = {
    {"g4", "pgmramp -lr 31 4 | pnmquant 16 2>/dev/null | ppmtobmp -bpp=4 -windows", 4},
    {"g1", "pgmramp -lr 31 4 | pgmtopbm 2>/dev/null | ppmtobmp -bpp=1 -windows", 1},
    {"g8", "pgmramp -lr 31 4 | ppmtobmp -bpp=8 -windows", 8},
    {"c24", "pgmramp -lr 31 5 | pgmtoppm rgb:20/80/c0 | ppmtobmp -bpp=24 -windows", 24},
};

TEST(BmpImage, PixelsMatchNetpbm) {
    if (!HaveNetpbm()) GTEST_SKIP() << "netpbm is not installed";
    qvtest::TempDir dir;
    for (const Fixture& f : kFixtures) {
        const std::string path = dir / (std::string(f.name) + ".bmp");
        qvtest::RunOk(std::string(f.command) + " > " + qvtest::ShellQuote(path) + " 2>/dev/null");
        const std::vector<uint8_t> file = qvtest::ReadFileBytes(path);
        dialogs::BmpImage image;
        ASSERT_TRUE(dialogs::ParseBmp(file, image)) << f.name;
        EXPECT_EQ(image.bitsPerPixel, f.bits) << f.name;
        int width = 0, height = 0;
        const std::vector<uint32_t> expected = NetpbmPixels(path, width, height);
        EXPECT_EQ(image.width, width) << f.name;
        EXPECT_EQ(image.height, height) << f.name;
        EXPECT_EQ(image.pixels, expected) << f.name;
        if (f.bits == 4) {
            // The file's own 16-entry table is kept, and the pixels start at 118.
            EXPECT_EQ(image.palette.size(), 16u);
            EXPECT_EQ(file[10], 118);
        }
    }
}

TEST(BmpImage, RefusesOtherHeadersAndSignatures) {
    if (!HaveNetpbm()) GTEST_SKIP() << "netpbm is not installed";
    qvtest::TempDir dir;
    qvtest::RunOk("pgmramp -lr 31 4 | ppmtobmp -bpp=8 -os2 > " + qvtest::ShellQuote(dir / "os2.bmp") + " 2>/dev/null");
    dialogs::BmpImage image;
    const std::vector<uint8_t> os2 = qvtest::ReadFileBytes(dir / "os2.bmp");
    ASSERT_EQ(os2[14], 12);   // the 12-byte core header
    EXPECT_FALSE(dialogs::ParseBmp(os2, image));
}

void Put32(std::vector<uint8_t>& file, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& file, size_t at, uint16_t v) {
    file[at] = uint8_t(v);
    file[at + 1] = uint8_t(v >> 8);
}

TEST(BmpImage, LyingFieldsAreRefused) {
    if (!HaveNetpbm()) GTEST_SKIP() << "netpbm is not installed";
    qvtest::TempDir dir;
    qvtest::RunOk("pgmramp -lr 31 4 | pnmquant 16 2>/dev/null | ppmtobmp -bpp=4 -windows > " +
                  qvtest::ShellQuote(dir / "g4.bmp") + " 2>/dev/null");
    const std::vector<uint8_t> good = qvtest::ReadFileBytes(dir / "g4.bmp");
    dialogs::BmpImage image;
    ASSERT_TRUE(dialogs::ParseBmp(good, image));
    const uint32_t size = uint32_t(good.size());
    struct Patch {
        const char* what;
        size_t at;
        int width;   // 2 or 4 bytes
        uint32_t value;
    } patches[] = {
        {"signature BA", 0, 2, 0x4142},  {"size 0", 2, 4, 0},          {"size huge", 2, 4, 0xFFFFFFFF},
        {"size below offset", 2, 4, 100}, {"offset 0", 10, 4, 0},      {"offset 53", 10, 4, 53},
        {"offset past size", 10, 4, size + 1}, {"header 12", 14, 4, 12}, {"header 124", 14, 4, 124},
        {"width 0", 18, 4, 0},           {"width -1", 18, 4, 0xFFFFFFFF}, {"height 0", 22, 4, 0},
        {"height min", 22, 4, 0x80000000}, {"planes 2", 26, 2, 2},     {"bits 0", 28, 2, 0},
        {"bits 7", 28, 2, 7},            {"compression 1", 30, 4, 1},   {"colours 2^31", 46, 4, 0x80000000},
        {"colours 17", 46, 4, 17},       {"width 32769", 18, 4, 32769}, {"height 5 rows", 22, 4, 5},
    };
    for (const Patch& p : patches) {
        std::vector<uint8_t> bad = good;
        if (p.width == 2) {
            Put16(bad, p.at, uint16_t(p.value));
        } else {
            Put32(bad, p.at, p.value);
        }
        EXPECT_FALSE(dialogs::ParseBmp(bad, image)) << p.what;
        EXPECT_TRUE(image.pixels.empty()) << p.what;
    }
    // Every truncation, with the size field left as it was, and with it following the cut.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        std::vector<uint8_t> shorter(good.begin(), good.begin() + cut);
        EXPECT_FALSE(dialogs::ParseBmp(shorter, image)) << cut;
        if (cut >= 6) {
            Put32(shorter, 2, uint32_t(cut));
            EXPECT_FALSE(dialogs::ParseBmp(shorter, image)) << "size follows " << cut;
        }
    }
    // Top-down rows (negative height) are the same picture.
    std::vector<uint8_t> flipped = good;
    dialogs::BmpImage upright;
    ASSERT_TRUE(dialogs::ParseBmp(good, upright));
    Put32(flipped, 22, uint32_t(-4));
    ASSERT_TRUE(dialogs::ParseBmp(flipped, image));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 31; ++x) EXPECT_EQ(image.pixels[y * 31 + x], upright.pixels[(3 - y) * 31 + x]);
}

TEST(BmpImage, EveryByteFlipIsSafe) {
    const std::vector<uint8_t> strip = dialogs::MakeAnimationStrip();
    const std::vector<uint8_t> head(strip.begin(), strip.begin() + 54);
    dialogs::BmpImage image;
    for (size_t at = 0; at < head.size(); ++at) {
        for (uint8_t flip : {0x01, 0x80, 0xFF}) {
            std::vector<uint8_t> bad = strip;
            bad[at] ^= flip;
            if (dialogs::ParseBmp(bad, image)) {
                EXPECT_EQ(image.pixels.size(), size_t(image.width) * size_t(image.height));
            }
        }
    }
}

TEST(ProgressAnimation, StripFramesAndSteps) {
    dialogs::ProgressAnimation animation;
    ASSERT_TRUE(animation.Load(dialogs::MakeAnimationStrip()));
    EXPECT_EQ(animation.Strip().width, dialogs::kAnimationFrames * dialogs::kAnimationFrameSide);
    EXPECT_EQ(animation.Frame(), -1);
    EXPECT_TRUE(animation.Step(true));   // held: stands on frame 0, drops the sample
    EXPECT_EQ(animation.Frame(), 0);
    EXPECT_TRUE(animation.Step(true));
    EXPECT_EQ(animation.Frame(), 0);
    for (int i = 1; i <= 30; ++i) {
        EXPECT_FALSE(animation.Step(false));
        EXPECT_EQ(animation.Frame(), i);
    }
    animation.Step(false);
    EXPECT_EQ(animation.Frame(), 0);   // 31 frames, then round again

    dialogs::ProgressAnimation broken;
    EXPECT_FALSE(broken.Load({'B', 'M'}));
    EXPECT_TRUE(broken.Step(true));   // no strip, still drops the sample
    const int width = animation.Strip().width;
    EXPECT_EQ(dialogs::AnimationFrameCell(0, width).x, 0);
    EXPECT_EQ(dialogs::AnimationFrameCell(30, width).x, 30 * dialogs::kAnimationFrameSide);
    EXPECT_EQ(dialogs::AnimationFrameCell(-1, width).width, 0);
    EXPECT_EQ(dialogs::AnimationFrameCell(31, width).width, 0);
}

}  // namespace
