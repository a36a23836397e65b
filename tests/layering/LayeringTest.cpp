// Folder = layer. This table is the one statement of which folder may include
// which; the CMake libraries link along the same lines. The test reads every
// #include of the source folders and names the file and line of each one the
// table does not allow, then checks that the folders' include graph has no cycle.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kQt = "Qt";
constexpr const char* kUsb = "libftdi/libusb";
constexpr const char* kHttp = "cpp-httplib";  // zent2-cli serve's HTTP server

struct Rule {
    const char* folder;
    std::set<std::string> mayInclude;  // folders, kQt, kUsb, kHttp; its own folder always
};

const std::vector<Rule>& Rules()
{
    static const std::vector<Rule> rules = {
        {"util", {}},
        {"link", {"util", kUsb}},
        {"device", {"link", "util"}},
        {"settings", {"util"}},
        {"logging", {"device", "settings", "link", "util"}},
        {"sim", {"link", "device", "util"}},
        {"cli", {"sim", "logging", "settings", "device", "link", "util", kHttp}},
        // The emulated FT2232H for the tests of the real USB stack.
        {"usbtestbed", {"sim", "device", "link", "util", kUsb}},
        {"ui", {"device", "settings", "link", "util", kQt}},
        {"widgets", {"ui", "device", "util", kQt}},
        {"pages", {"widgets", "ui", "logging", "device", "settings", "link", "util", kQt}},
        {"logview", {"widgets", "ui", "logging", "device", "settings", "link", "util", kQt}},
        {"demo", {"widgets", "ui", "device", "link", "util", kQt}},
        {"app", {"demo", "logview", "pages", "widgets", "ui", "sim", "logging", "settings", "device", "link", "util", kQt}},
    };
    return rules;
}

// sim/ is the simulated cable: of the link it sees only the driver interface
// it stands behind.
const std::map<std::string, std::set<std::string>> kOnlyTheseOf = {
    {"sim", {"link/FtdiDriver.h"}},
};

bool IsFolder(const std::string& name)
{
    for (const Rule& rule : Rules())
        if (name == rule.folder) return true;
    return false;
}

// What an include names: a folder of the tree, Qt, the USB libraries, cpp-httplib, or
// nothing this table rules (the standard library, a file beside the includer).
std::string Layer(const std::string& header)
{
    const size_t slash = header.find('/');
    if (slash != std::string::npos && IsFolder(header.substr(0, slash))) return header.substr(0, slash);
    if (header.rfind("Qt", 0) == 0 || (header.size() > 1 && header[0] == 'Q' && std::isupper(static_cast<unsigned char>(header[1]))))
        return kQt;
    if (header == "ftdi.h" || header == "libftdi1/ftdi.h" || header == "libusb.h" || header == "libusb-1.0/libusb.h")
        return kUsb;
    if (header == "httplib.h") return kHttp;
    return {};
}

struct Include {
    std::string file;  // relative to the source root
    int line;
    std::string header;
};

std::vector<Include> IncludesOf(const fs::path& root, const std::string& folder)
{
    static const std::regex include(R"(^\s*#\s*include\s*[<"]([^>"]+)[>"])");
    std::vector<Include> found;
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
        std::ifstream in(entry.path());
        std::string text;
        int number = 0;
        while (std::getline(in, text)) {
            ++number;
            std::smatch m;
            if (std::regex_search(text, m, include))
                found.push_back({fs::relative(entry.path(), root).generic_string(), number, m[1]});
        }
    }
    return found;
}

// The broken rules, one line each: "logging/LogFile.cpp:3: includes <QString> (Qt)".
std::vector<std::string> Violations(const fs::path& root, std::map<std::string, std::set<std::string>>& graph)
{
    std::vector<std::string> broken;
    for (const Rule& rule : Rules()) {
        for (const Include& inc : IncludesOf(root, rule.folder)) {
            const std::string layer = Layer(inc.header);
            if (layer.empty() || layer == rule.folder) continue;
            graph[rule.folder].insert(layer);
            std::ostringstream why;
            if (!rule.mayInclude.count(layer)) {
                why << inc.file << ":" << inc.line << ": includes " << inc.header << " (" << layer << "), which "
                    << rule.folder << "/ may not";
            } else if (auto only = kOnlyTheseOf.find(rule.folder);
                       only != kOnlyTheseOf.end() && IsFolder(layer) && layer == "link" && !only->second.count(inc.header)) {
                why << inc.file << ":" << inc.line << ": includes " << inc.header << "; of link/ " << rule.folder
                    << "/ may include only the driver interface";
            }
            if (!why.str().empty()) broken.push_back(why.str());
        }
    }
    return broken;
}

bool FindCycle(const std::map<std::string, std::set<std::string>>& graph, const std::string& at,
               std::map<std::string, int>& state, std::vector<std::string>& path)
{
    state[at] = 1;
    path.push_back(at);
    if (auto it = graph.find(at); it != graph.end()) {
        for (const std::string& next : it->second) {
            if (!IsFolder(next)) continue;
            if (state[next] == 1) {
                path.push_back(next);
                return true;
            }
            if (state[next] == 0 && FindCycle(graph, next, state, path)) return true;
        }
    }
    state[at] = 2;
    path.pop_back();
    return false;
}

}  // namespace

TEST(Layering, EveryIncludeFollowsTheFolderRules)
{
    const fs::path root = ZENT2_SOURCE_DIR;
    // Every top folder with sources is in the table: a new one must say its rule.
    // (third_party/ holds other projects' code as it comes: who may include
    // it is said by the rules above, kHttp for cpp-httplib.)
    for (const auto& entry : fs::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_directory() || name[0] == '.' || name.rfind("build", 0) == 0) continue;
        if (name == "tests" || name == "bench" || name == "fuzz" || name == "cmake" || name == "dist" ||
            name == "scripts" || name == "third_party" || IsFolder(name))
            continue;
        bool hasSources = false;
        for (const auto& file : fs::recursive_directory_iterator(entry.path()))
            hasSources = hasSources || file.path().extension() == ".cpp" || file.path().extension() == ".h";
        EXPECT_FALSE(hasSources) << name << "/ has sources but no layering rule";
    }

    std::map<std::string, std::set<std::string>> graph;
    const std::vector<std::string> broken = Violations(root, graph);
    for (const std::string& line : broken) ADD_FAILURE() << line;

    // One cycle is enough to name.
    std::map<std::string, int> state;
    for (const Rule& rule : Rules()) {
        std::vector<std::string> path;
        if (state[rule.folder] == 0 && FindCycle(graph, rule.folder, state, path)) {
            std::string cycle;
            for (const std::string& folder : path) cycle += folder + "/ -> ";
            ADD_FAILURE() << "include cycle between folders: " << cycle.substr(0, cycle.size() - 4);
            break;
        }
    }
}

// Each top folder says what lives there and what it may include.
TEST(Layering, EveryFolderHasItsReadme)
{
    const fs::path root = ZENT2_SOURCE_DIR;
    for (const Rule& rule : Rules()) EXPECT_TRUE(fs::exists(root / rule.folder / "README.md")) << rule.folder;
}
