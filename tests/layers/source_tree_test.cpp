// The layers of the source tree: a folder includes and links only its own layer
// and those below, so no library ever needs one above it and the folders form
// no cycle. A lower layer that must reach up declares an interface of its own;
// this test is what keeps an upward include from slipping back in.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Lowest first. Window halves (a "ui" subfolder) sit above every engine folder.
const std::map<std::string, int>& LayerOf() {
    static const std::map<std::string, int> layers = {
        {"platform", 0},  {"codecs", 1},     {"foundation", 2}, {"image", 3},   {"filesystems", 4},
        {"containers", 4}, {"app", 5},       {"optical", 5},    {"audio", 5},   {"vdrive", 5},
        {"ui", 6},        {"dialogs", 6},    {"cmdline", 6},    {"shellext", 6}, {"programs", 7},
    };
    return layers;
}

// The folder a source file belongs to for layering: its top folder, or "ui"
// for anything under a ui/ subfolder.
std::string FolderOf(const fs::path& relative) {
    std::string top = relative.begin()->string();
    for (const auto& part : relative)
        if (part == "ui") return "ui";
    return top;
}

struct Edge {
    std::string from, to, where;
};

std::vector<Edge> IncludeEdges(const fs::path& root) {
    std::vector<Edge> edges;
    const std::regex include(R"re(^\s*#\s*include\s+"([a-z_0-9]+)/([^"]+)")re");
    for (const auto& [folder, layer] : LayerOf()) {
        (void)layer;
        if (!fs::is_directory(root / folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            if (!entry.is_regular_file()) continue;
            const auto ext = entry.path().extension();
            if (ext != ".h" && ext != ".cpp" && ext != ".c") continue;
            const fs::path relative = fs::relative(entry.path(), root);
            std::ifstream in(entry.path());
            std::string line;
            int lineNo = 0;
            while (std::getline(in, line)) {
                ++lineNo;
                std::smatch m;
                if (!std::regex_search(line, m, include)) continue;
                std::string target = m[1];
                if (!LayerOf().count(target)) continue;  // tests/, system-style paths
                fs::path includedRel = fs::path(target) / std::string(m[2]);
                edges.push_back({FolderOf(relative), FolderOf(includedRel),
                                 relative.string() + ":" + std::to_string(lineNo)});
            }
        }
    }
    return edges;
}

std::vector<Edge> LinkEdges(const fs::path& root) {
    std::vector<Edge> edges;
    const std::regex library(R"re(qv_folder_library\(\s*qv_([a-z_0-9]+)([^)]*)\))re");
    const std::regex lib(R"re(\bqv_([a-z_0-9]+))re");
    for (const auto& [folder, layer] : LayerOf()) {
        (void)layer;
        const fs::path cmake = root / folder / "CMakeLists.txt";
        if (!fs::exists(cmake)) continue;
        std::ifstream in(cmake);
        std::stringstream text;
        text << in.rdbuf();
        const std::string body = text.str();
        for (std::sregex_iterator it(body.begin(), body.end(), library), end; it != end; ++it) {
            const std::string libs = (*it)[2];
            for (std::sregex_iterator l(libs.begin(), libs.end(), lib); l != end; ++l) {
                std::string target = (*l)[1];
                if (LayerOf().count(target)) edges.push_back({folder, target, cmake.string()});
            }
        }
    }
    return edges;
}

std::vector<std::string> UpwardEdges(const std::vector<Edge>& edges) {
    std::vector<std::string> upward;
    for (const auto& e : edges)
        if (LayerOf().at(e.to) > LayerOf().at(e.from))
            upward.push_back(e.where + ": " + e.from + " -> " + e.to);
    return upward;
}

// Folders of one layer may use each other, but never both ways round.
std::vector<std::string> Cycles(const std::vector<Edge>& edges) {
    std::set<std::pair<std::string, std::string>> pairs;
    for (const auto& e : edges)
        if (e.from != e.to) pairs.insert({e.from, e.to});
    std::vector<std::string> cycles;
    for (const auto& [a, b] : pairs)
        if (a < b && pairs.count({b, a})) cycles.push_back(a + " <-> " + b);
    return cycles;
}

const fs::path kRoot = QV_TEST_SOURCE_DIR;

TEST(Layers, NoIncludeRunsUpward) {
    const auto edges = IncludeEdges(kRoot);
    ASSERT_FALSE(edges.empty());  // the scan found the tree
    for (const auto& line : UpwardEdges(edges)) ADD_FAILURE() << line;
    for (const auto& line : Cycles(edges)) ADD_FAILURE() << "include cycle: " << line;
}

TEST(Layers, NoLibraryLinksUpward) {
    const auto edges = LinkEdges(kRoot);
    ASSERT_FALSE(edges.empty());
    for (const auto& line : UpwardEdges(edges)) ADD_FAILURE() << line;
    for (const auto& line : Cycles(edges)) ADD_FAILURE() << "link cycle: " << line;
}

TEST(Layers, EveryFolderHasALayer) {
    // A new subsystem folder must be placed in the table above before it can hold code.
    for (const auto& entry : fs::directory_iterator(kRoot)) {
        if (!entry.is_directory() || !fs::exists(entry.path() / "CMakeLists.txt")) continue;
        const std::string name = entry.path().filename().string();
        if (name == "tests" || name == "bench" || name == "build") continue;
        EXPECT_TRUE(LayerOf().count(name)) << name;
    }
}

}  // namespace
