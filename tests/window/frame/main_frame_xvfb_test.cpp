// The real window read by outside X tools: its title (xprop), its placement
// across two starts (xwininfo) and the tracing key (xdotool), under Xvfb with
// the openbox window manager.
#include <gtest/gtest.h>

#include <zlib.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

bool HaveTools() {
    return qvtest::Run("command -v xvfb-run && command -v xprop && command -v xwininfo && command -v xdotool && "
                       "command -v openbox")
               .exitCode == 0;
}

std::vector<std::string> LogsIn(const std::string& folder) {
    std::vector<std::string> logs;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.rfind("Quendravine-", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".log")
                logs.push_back(folder + "/" + name);
        }
        closedir(dir);
    }
    return logs;
}

// The first record of a log: deflated, then scrambled with a key growing by 17.
std::string FirstRecordText(const std::vector<uint8_t>& file) {
    if (file.size() < 12) return {};
    std::vector<uint8_t> block(file);
    uint8_t key = block[3];
    for (size_t i = 4; i < block.size(); ++i) {
        block[i] ^= key;
        key = static_cast<uint8_t>(key + 17);
    }
    const uint32_t n = block[4] | block[5] << 8 | block[6] << 16 | uint32_t(block[7]) << 24;
    if (n + 12 > block.size()) return {};
    std::string out(4096, '\0');
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = block.data() + 8;
    z.avail_in = n;
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

TEST(MainFrameUnderX, TitlePlacementAndTracingKey) {
    if (!HaveTools()) GTEST_SKIP() << "xvfb-run, x11-utils, xdotool or openbox missing";
    qvtest::TempDir home;
    const std::string program = std::string(QV_PROGRAM_DIR) + "/quendravine";
    const std::string script = R"(
set -u
openbox >/dev/null 2>&1 &
sleep 0.5
run_once() {
  QT_QPA_PLATFORM=xcb "$PROGRAM" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 100); do xwininfo -name 'Quendravine - New Archive.zip' >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 0.5
}
run_once
xprop -name 'Quendravine - New Archive.zip' _NET_WM_NAME
xwininfo -name 'Quendravine - New Archive.zip' | grep -E 'Width|Height' | tr -d ' ' | sed 's/^/first-/'
win=$(xdotool search --name 'Quendravine - New Archive.zip' | head -1)
xdotool windowactivate --sync "$win" 2>/dev/null; xdotool windowfocus --sync "$win" 2>/dev/null
xdotool key --clearmodifiers ctrl+shift+F8; sleep 1
xdotool key Return; sleep 0.3
xdotool windowactivate --sync "$win" 2>/dev/null; xdotool windowfocus --sync "$win" 2>/dev/null
xdotool key --clearmodifiers ctrl+shift+F8; sleep 1
xdotool key Return; sleep 0.3
xdotool windowactivate --sync "$win" 2>/dev/null
xdotool key --clearmodifiers alt+F4
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && { echo still-running; kill $pid; }
wait $pid; echo "exit=$?"
run_once
xwininfo -name 'Quendravine - New Archive.zip' | grep -E 'Width|Height' | tr -d ' ' | sed 's/^/second-/'
kill -TERM $pid; wait $pid; echo "terminated=$?"
ls -d "$XDG_RUNTIME_DIR"/quendravine-frame-* 2>/dev/null | sed 's/^/socket-left:/'
ls -A "$TMPDIR" | grep -v '^xvfb-run' | sed 's/^/work-left:/'
)";
    qvtest::WriteFileText(home / "run.sh", script);
    const std::string command = "cd " + qvtest::ShellQuote(home.path()) + " && mkdir -p config run tmp && chmod 700 run && TMPDIR=" +
                                qvtest::ShellQuote(home / "tmp") + " " +
                                "HOME=" + qvtest::ShellQuote(home.path()) + " QV_CONFIG_DIR=" +
                                qvtest::ShellQuote(home / "config") + " XDG_RUNTIME_DIR=" +
                                qvtest::ShellQuote(home / "run") + " XDG_CONFIG_HOME=" +
                                qvtest::ShellQuote(home / "xdg") + " PROGRAM=" + qvtest::ShellQuote(program) +
                                " xvfb-run -a -s '-screen 0 1280x1024x24' bash run.sh 2>&1";
    const qvtest::CommandResult result = qvtest::Run(command);
    const std::string& out = result.output;
    EXPECT_NE(out.find("_NET_WM_NAME(UTF8_STRING) = \"Quendravine - New Archive.zip\""), std::string::npos) << out;
    EXPECT_NE(out.find("exit=0"), std::string::npos) << out;
    EXPECT_EQ(out.find("still-running"), std::string::npos) << out;
    // A termination signal still runs the shutdown: no socket, no work folder left.
    EXPECT_NE(out.find("terminated=0"), std::string::npos) << out;
    EXPECT_EQ(out.find("socket-left:"), std::string::npos) << out;
    EXPECT_EQ(out.find("work-left:"), std::string::npos) << out;
    // The placement saved at the first close gives the same size at the second start.
    auto value = [&](const std::string& key) {
        const size_t at = out.find(key);
        return at == std::string::npos ? std::string() : out.substr(at + key.size(), out.find('\n', at) - at - key.size());
    };
    EXPECT_FALSE(value("first-Width:").empty()) << out;
    EXPECT_EQ(value("first-Width:"), value("second-Width:")) << out;
    EXPECT_EQ(value("first-Height:"), value("second-Height:")) << out;
    // One key press started one log; the second press did nothing.
    const std::vector<std::string> logs = LogsIn(home.path());
    ASSERT_EQ(logs.size(), 1u) << out;
    EXPECT_NE(FirstRecordText(qvtest::ReadFileBytes(logs.front())).find("Quendravine Log Start"), std::string::npos);
}

}  // namespace
