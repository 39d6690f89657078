// The layers of the source tree: a folder includes and links only its own layer
// and those below, so no library ever needs one above it and the folders form
// no cycle. A lower layer that must reach up declares an interface of its own;
// this test is what keeps an upward include or link from slipping back in. The
// checks run on any tree, so planted faults in a scratch tree prove they bite.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Lowest first.
const std::map<std::string, int>& LayerOf() {
    static const std::map<std::string, int> layers = {
        {"platform", 0}, {"codecs", 1},  {"foundation", 2}, {"image", 3},    {"filesystems", 4},
        {"containers", 4}, {"app", 5},   {"optical", 5},    {"audio", 5},    {"vdrive", 5},
        {"cmdline", 6},  {"window", 7},  {"shellext", 8},   {"programs", 9},
    };
    return layers;
}

struct Edge {
    std::string from, to, where;
};

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsSource(const fs::path& p) {
    const auto ext = p.extension();
    return ext == ".h" || ext == ".cpp" || ext == ".c";
}

std::vector<Edge> IncludeEdges(const fs::path& root) {
    std::vector<Edge> edges;
    const std::regex include(R"re(^\s*#\s*include\s+"([a-z_0-9]+)/([^"]+)")re");
    for (const auto& [folder, layer] : LayerOf()) {
        (void)layer;
        if (!fs::is_directory(root / folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            if (!entry.is_regular_file() || !IsSource(entry.path())) continue;
            const std::string relative = fs::relative(entry.path(), root).string();
            std::ifstream in(entry.path());
            std::string line;
            int lineNo = 0;
            while (std::getline(in, line)) {
                ++lineNo;
                std::smatch m;
                if (!std::regex_search(line, m, include)) continue;
                const std::string target = m[1];
                if (!LayerOf().count(target)) continue;  // tests/, system-style paths
                edges.push_back({folder, target, relative + ":" + std::to_string(lineNo)});
            }
        }
    }
    return edges;
}

// Every build file of every layered folder, with the targets it declares
// (qv_folder_library, add_library, add_executable) and every link it asks for
// (qv_folder_library's LIBS and each target_link_libraries), so a link added
// anywhere in a build file is seen.
struct BuildFacts {
    std::map<std::string, std::string> folderOfTarget;
    std::vector<std::pair<std::string, std::string>> links;  // target, linked target
    std::map<std::string, std::string> whereOfTarget;
};

std::string StripComments(const std::string& body) {
    std::string out;
    std::istringstream in(body);
    std::string line;
    while (std::getline(in, line)) {
        const auto hash = line.find('#');
        out += line.substr(0, hash) + "\n";
    }
    return out;
}

BuildFacts ReadBuildFiles(const fs::path& root) {
    BuildFacts facts;
    const std::regex call(R"re(\b(qv_folder_library|add_library|add_executable|target_link_libraries)\s*\(([^)]*)\))re");
    const std::regex word(R"re([A-Za-z_0-9.:$\{\}-]+)re");
    for (const auto& [folder, layer] : LayerOf()) {
        (void)layer;
        if (!fs::is_directory(root / folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            if (!entry.is_regular_file() || entry.path().filename() != "CMakeLists.txt") continue;
            const std::string body = StripComments(ReadAll(entry.path()));
            const std::string where = fs::relative(entry.path(), root).string();
            for (std::sregex_iterator it(body.begin(), body.end(), call), end; it != end; ++it) {
                const std::string verb = (*it)[1];
                const std::string args = (*it)[2];
                std::vector<std::string> words;
                for (std::sregex_iterator w(args.begin(), args.end(), word); w != end; ++w)
                    words.push_back((*w)[0]);
                if (words.empty()) continue;
                const std::string target = words[0];
                if (verb != "target_link_libraries") {
                    facts.folderOfTarget[target] = folder;
                    facts.whereOfTarget[target] = where;
                }
                if (verb == "qv_folder_library" || verb == "target_link_libraries")
                    for (size_t i = 1; i < words.size(); ++i) facts.links.push_back({target, words[i]});
            }
        }
    }
    return facts;
}

std::vector<Edge> LinkEdges(const BuildFacts& facts) {
    std::vector<Edge> edges;
    for (const auto& [from, to] : facts.links) {
        const auto a = facts.folderOfTarget.find(from);
        const auto b = facts.folderOfTarget.find(to);
        if (a == facts.folderOfTarget.end() || b == facts.folderOfTarget.end()) continue;  // system libraries
        edges.push_back({a->second, b->second, facts.whereOfTarget.at(from) + ": " + from + " links " + to});
    }
    return edges;
}

std::vector<std::string> UpwardEdges(const std::vector<Edge>& edges) {
    std::vector<std::string> upward;
    for (const auto& e : edges)
        if (LayerOf().at(e.to) > LayerOf().at(e.from)) upward.push_back(e.where + ": " + e.from + " -> " + e.to);
    return upward;
}

// Folders of one layer may use each other, but never round a loop of any length:
// each strongly connected set of two or more folders is one cycle to report.
std::vector<std::string> Cycles(const std::vector<Edge>& edges) {
    std::map<std::string, std::set<std::string>> next;
    for (const auto& e : edges)
        if (e.from != e.to) next[e.from].insert(e.to), next[e.to];
    // Tarjan's algorithm with an explicit stack of (node, iterator) frames.
    std::map<std::string, int> index, low;
    std::set<std::string> onStack;
    std::vector<std::string> stack;
    std::vector<std::string> cycles;
    int counter = 0;
    for (const auto& [start, unused] : next) {
        (void)unused;
        if (index.count(start)) continue;
        std::vector<std::pair<std::string, std::set<std::string>::const_iterator>> frames;
        auto visit = [&](const std::string& node) {
            index[node] = low[node] = counter++;
            stack.push_back(node);
            onStack.insert(node);
            frames.push_back({node, next[node].cbegin()});
        };
        visit(start);
        while (!frames.empty()) {
            auto& [node, it] = frames.back();
            if (it != next[node].cend()) {
                const std::string to = *it++;
                if (!index.count(to)) {
                    visit(to);
                } else if (onStack.count(to)) {
                    low[node] = std::min(low[node], index[to]);
                }
                continue;
            }
            const std::string done = node;
            frames.pop_back();
            if (!frames.empty()) low[frames.back().first] = std::min(low[frames.back().first], low[done]);
            if (low[done] != index[done]) continue;
            std::vector<std::string> members;
            std::string member;
            do {
                member = stack.back();
                stack.pop_back();
                onStack.erase(member);
                members.push_back(member);
            } while (member != done);
            if (members.size() < 2) continue;
            std::sort(members.begin(), members.end());
            std::string text;
            for (const auto& m : members) text += (text.empty() ? "" : " <-> ") + m;
            cycles.push_back(text);
        }
    }
    return cycles;
}

// A folder links a library of another folder only when its code includes that
// folder: links follow includes, so no library drags in readers it never calls.
std::vector<std::string> LinksWithoutIncludes(const std::vector<Edge>& links, const std::vector<Edge>& includes) {
    std::set<std::pair<std::string, std::string>> included;
    for (const auto& e : includes) included.insert({e.from, e.to});
    std::vector<std::string> idle;
    for (const auto& e : links)
        if (e.from != e.to && !included.count({e.from, e.to})) idle.push_back(e.where + " (never included)");
    return idle;
}

std::vector<std::string> Faults(const fs::path& root) {
    std::vector<std::string> faults;
    const auto includes = IncludeEdges(root);
    const auto links = LinkEdges(ReadBuildFiles(root));
    for (const auto& line : UpwardEdges(includes)) faults.push_back("upward include " + line);
    for (const auto& line : UpwardEdges(links)) faults.push_back("upward link " + line);
    for (const auto& line : Cycles(includes)) faults.push_back("include cycle: " + line);
    for (const auto& line : Cycles(links)) faults.push_back("link cycle: " + line);
    for (const auto& line : LinksWithoutIncludes(links, includes)) faults.push_back("idle link " + line);
    return faults;
}

const fs::path kRoot = QV_TEST_SOURCE_DIR;

TEST(Layers, TheTreeHasNoUpwardIncludeLinkOrCycle) {
    ASSERT_FALSE(IncludeEdges(kRoot).empty());  // the scan found the tree
    ASSERT_FALSE(LinkEdges(ReadBuildFiles(kRoot)).empty());
    for (const auto& line : Faults(kRoot)) ADD_FAILURE() << line;
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

// The window's models are the cores of dialogs and views that build and are
// tested without Qt: they include no Qt header and none of the window's Qt code.
TEST(Layers, WindowModelsStayFreeOfQt) {
    const std::regex qt(R"re(^\s*#\s*include\s+[<"](Q[A-Za-z]|qt|window/(frame|panes|dialogs|faces)/))re");
    int seen = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kRoot / "window" / "models")) {
        if (!entry.is_regular_file() || !IsSource(entry.path())) continue;
        ++seen;
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line))
            if (std::regex_search(line, qt)) ADD_FAILURE() << entry.path().string() << ": " << line;
    }
    EXPECT_GT(seen, 0);
}

// A scratch tree of a few folders, each with one source and one build file.
class PlantedTree : public ::testing::Test {
protected:
    void SetUp() override { root_ = tmp_.path(); }
    void Write(const std::string& relative, const std::string& text) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << text;
    }
    void Library(const std::string& folder, const std::string& includes, const std::string& libs) {
        Write(folder + "/code.cpp", includes);
        Write(folder + "/CMakeLists.txt", "qv_folder_library(qv_" + folder + " LIBS " + libs + ")\n");
    }
    bool Reports(const std::string& needle) {
        for (const auto& line : Faults(root_))
            if (line.find(needle) != std::string::npos) return true;
        return false;
    }
    qvtest::TempDir tmp_;
    fs::path root_;
};

TEST_F(PlantedTree, ASoundTreeHasNoFaults) {
    Library("platform", "", "rt");
    Library("foundation", "#include \"platform/text.h\"\n", "qv_platform");
    Library("image", "#include \"foundation/x.h\"\n#include \"platform/y.h\"\n", "qv_foundation qv_platform");
    EXPECT_TRUE(Faults(root_).empty());
}

TEST_F(PlantedTree, CatchesAnUpwardInclude) {
    Library("platform", "", "rt");
    Library("foundation", "#include \"image/document/document.h\"\n", "qv_platform");
    Library("image", "", "qv_foundation");
    EXPECT_TRUE(Reports("upward include foundation/code.cpp:1: foundation -> image"));
}

TEST_F(PlantedTree, CatchesAnUpwardLinkInAnyLinkCall) {
    Library("platform", "", "rt");
    Library("image", "", "qv_platform");
    Write("foundation/code.cpp", "#include \"image/x.h\"\n");
    Write("foundation/CMakeLists.txt",
          "qv_folder_library(qv_foundation LIBS qv_platform)\n"
          "if(SOMETHING)\n  target_link_libraries(qv_foundation PUBLIC qv_image)\nendif()\n");
    EXPECT_TRUE(Reports("upward link foundation/CMakeLists.txt: qv_foundation links qv_image"));
}

TEST_F(PlantedTree, CatchesACycleOfThreeFolders) {
    Library("app", "#include \"optical/a.h\"\n", "");
    Library("optical", "#include \"audio/b.h\"\n", "");
    Library("audio", "#include \"app/c.h\"\n", "");
    EXPECT_TRUE(Reports("include cycle: app <-> audio <-> optical"));
}

TEST_F(PlantedTree, CatchesALinkThatNoIncludeNeeds) {
    Library("platform", "", "rt");
    Library("codecs", "", "qv_platform");
    Library("foundation", "#include \"platform/text.h\"\n", "qv_codecs qv_platform");
    EXPECT_TRUE(Reports("idle link foundation/CMakeLists.txt: qv_foundation links qv_codecs"));
    EXPECT_FALSE(Reports("qv_foundation links qv_platform (never"));
}

}  // namespace
