#include "codecs/ffmpeg_library.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

TEST(FfmpegLibrary, LoadsOnFirstUseAndResolvesItsFunctions) {
    ASSERT_TRUE(codecs::FfmpegAvailable());
    EXPECT_NE(&avformat_open_input, nullptr);
    EXPECT_NE(&swr_convert, nullptr);
    // A call through the entry reaches the library.
    AVFrame* frame = av_frame_alloc();
    ASSERT_NE(frame, nullptr);
    av_frame_free(&frame);
    EXPECT_EQ(frame, nullptr);
}

TEST(FfmpegLibrary, NoProgramLoadsItAtStart) {
    // The console commands start fast because nothing pulls FFmpeg's hundred
    // or so shared objects in before a media file is opened.
    for (const char* program : {"quendravine", "zarn"}) {
        SCOPED_TRACE(program);
        const std::string path = std::string(QV_PROGRAM_DIR) + "/" + program;
        const qvtest::CommandResult r = qvtest::Run("readelf -d '" + path + "'");
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("NEEDED"), std::string::npos) << r.output;
        for (const char* library : {"libavformat", "libavcodec", "libavutil", "libswresample"})
            EXPECT_EQ(r.output.find(library), std::string::npos) << library;
    }
}

}  // namespace
