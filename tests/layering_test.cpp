// Every #include "..." in src/ and tools/ against the table in docs/architecture.md: a
// folder (or a file with a row of its own) may include its own files and what its row
// lists, folders or single headers; and through the headers it includes, it may reach only
// what those folders' rows allow in turn (a listed single header brings nothing more).
// Runs from the repository root.
#include <gtest/gtest.h>

#include <algorithm>
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

using Table = std::map<std::string, std::set<std::string>>;

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The rows between the table's markers: "| from | a, b, c |".
Table readTable(std::istream& in, std::string& error) {
  Table table;
  bool inside = false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("<!-- layering table: begin -->") != std::string::npos) {
      inside = true;
    } else if (line.find("<!-- layering table: end -->") != std::string::npos) {
      return table;
    } else if (inside && line.rfind("| ", 0) == 0) {
      std::vector<std::string> cells;
      std::stringstream row(line.substr(1));
      std::string cell;
      while (std::getline(row, cell, '|')) cells.push_back(trim(cell));
      if (cells.size() < 2 || cells[0] == "folder or file") continue;
      std::set<std::string>& allowed = table[cells[0]];
      std::stringstream list(cells[1]);
      while (std::getline(list, cell, ',')) {
        if (!trim(cell).empty()) allowed.insert(trim(cell));
      }
    }
  }
  error = inside ? "the table has no end marker" : "no layering table found";
  return {};
}

// Where an include resolves, as a path from the root: beside the including file first,
// then under the include roots the build gives.
std::string resolve(const fs::path& includer, const std::string& name) {
  const std::vector<fs::path> roots = {includer.parent_path(), "src",         "tools",
                                       "tools/assetgen",       "tools/sheet", "tools/capture",
                                       "tools/showreport"};
  for (const fs::path& root : roots) {
    if (fs::exists(root / name)) return fs::path(root / name).lexically_normal().string();
  }
  return "";
}

// The table's row for a file: its own row, else its folder's.
const std::set<std::string>* rowFor(const Table& table, const std::string& file) {
  auto own = table.find(file);
  if (own != table.end()) return &own->second;
  auto folder = table.find(fs::path(file).parent_path().string());
  return folder != table.end() ? &folder->second : nullptr;
}

// Empty when `file` may include `target`; otherwise the reason.
std::string judge(const Table& table, const std::string& file, const std::string& target) {
  const std::string from = fs::path(file).parent_path().string();
  const std::string to = fs::path(target).parent_path().string();
  if (from == to) return "";
  const std::set<std::string>* allowed = rowFor(table, file);
  if (!allowed) return file + " has no row in the table";
  // Headers are named as the code names them: "app/Fatal.h" for src/app/Fatal.h.
  const std::string named = target.rfind("src/", 0) == 0 ? target.substr(4) : target;
  if (allowed->count(to) || allowed->count(named) || allowed->count(target)) return "";
  return file + " includes " + target;
}

// The quoted includes of one file, resolved to paths from the root ("" where nowhere).
std::vector<std::pair<std::string, std::string>> includesOf(const fs::path& file) {
  static const std::regex include("^\\s*#\\s*include\\s+\"([^\"]+)\"");
  std::vector<std::pair<std::string, std::string>> found;  // (as written, resolved)
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::smatch match;
    if (std::regex_search(line, match, include))
      found.push_back({match[1], resolve(file, match[1])});
  }
  return found;
}

// What a row allows a file to reach through headers: its entries, and whatever the rows of
// the folders it lists allow in turn. A single header brings only itself: what it pulls in
// must be allowed to the includer already.
std::set<std::string> reachable(const Table& table, const std::set<std::string>& row) {
  std::set<std::string> reach;
  std::vector<std::string> pending(row.begin(), row.end());
  while (!pending.empty()) {
    const std::string entry = pending.back();
    pending.pop_back();
    if (!reach.insert(entry).second) continue;
    const auto folder = table.find(entry);
    if (folder == table.end()) continue;
    for (const std::string& next : folder->second) pending.push_back(next);
  }
  return reach;
}

std::vector<std::string> violations(const Table& table) {
  std::vector<std::string> found;
  const auto generated = table.find("(generated)");
  for (const char* top : {"src", "tools"}) {
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      const std::string file = entry.path().lexically_normal().string();
      // Each include directly, then everything the headers pull in, against what this
      // file's row lets it reach.
      const std::set<std::string>* row = rowFor(table, file);
      Table reach;
      if (row) reach[fs::path(file).parent_path().string()] = reachable(table, *row);
      if (row && table.count(file)) reach[file] = reach[fs::path(file).parent_path().string()];
      std::set<std::string> seen;
      std::vector<std::pair<std::string, bool>> pending = {{file, true}};  // (file, direct)
      while (!pending.empty()) {
        const auto [current, direct] = pending.back();
        pending.pop_back();
        for (const auto& [written, target] : includesOf(current)) {
          if (target.empty()) {
            const bool byBuild = generated != table.end() && generated->second.count(written);
            if (!byBuild && direct) {
              found.push_back(file + " includes \"" + written + "\", which is nowhere");
            }
            continue;
          }
          if (!seen.insert(target).second) continue;
          const std::string reason = judge(direct ? table : reach, file, target);
          if (!reason.empty()) {
            found.push_back(direct ? reason : file + " reaches " + target + " through " + current);
          }
          pending.push_back({target, false});
        }
      }
    }
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

TEST(LayeringTest, EveryIncludeIsOneTheArchitectureTableAllows) {
  std::ifstream doc("docs/architecture.md");
  ASSERT_TRUE(doc) << "run from the repository root";
  std::string error;
  const Table table = readTable(doc, error);
  ASSERT_TRUE(error.empty()) << error;
  std::string report;
  for (const std::string& v : violations(table)) report += "  " + v + "\n";
  EXPECT_TRUE(report.empty()) << "includes the table in docs/architecture.md does not allow:\n"
                              << report;
}

TEST(LayeringTest, TheJudgeRefusesUpwardIncludesAndAllowsListedOnes) {
  std::stringstream doc(
      "<!-- layering table: begin -->\n"
      "| folder or file | may include |\n|---|---|\n"
      "| src/render | src/resources, app/Fatal.h |\n"
      "| src/app | src/render |\n"
      "<!-- layering table: end -->\n");
  std::string error;
  const Table table = readTable(doc, error);
  ASSERT_TRUE(error.empty()) << error;
  EXPECT_EQ(judge(table, "src/render/A.cpp", "src/render/A.h"), "");
  EXPECT_EQ(judge(table, "src/render/A.cpp", "src/resources/B.h"), "");
  EXPECT_EQ(judge(table, "src/render/A.cpp", "src/app/Fatal.h"), "");
  EXPECT_EQ(judge(table, "src/render/A.cpp", "src/app/Globals.h"),
            "src/render/A.cpp includes src/app/Globals.h");
  EXPECT_EQ(judge(table, "src/app/C.cpp", "src/render/A.h"), "");
  EXPECT_EQ(judge(table, "src/scenes/D.cpp", "src/app/Fatal.h"),
            "src/scenes/D.cpp has no row in the table");
  // Through headers, a listed folder brings what its own row allows; a listed single
  // header brings nothing more (src/app's row is not src/render's to reach).
  const std::set<std::string> reach = reachable(table, table.at("src/render"));
  EXPECT_EQ(reach, (std::set<std::string>{"src/resources", "app/Fatal.h"}));
  const std::set<std::string> fromApp = reachable(table, table.at("src/app"));
  EXPECT_EQ(fromApp, (std::set<std::string>{"src/render", "src/resources", "app/Fatal.h"}));
  std::stringstream unfinished("<!-- layering table: begin -->\n| a | b |\n");
  readTable(unfinished, error);
  EXPECT_EQ(error, "the table has no end marker");
}

}  // namespace
