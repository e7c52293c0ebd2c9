// Every #include "..." in src/ and tools/ against the table in docs/architecture.md: a
// folder (or a file with a row of its own) may include its own files and what its row
// lists, folders or single headers. Runs from the repository root.
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

std::vector<std::string> violations(const Table& table) {
  std::vector<std::string> found;
  const std::regex include("^\\s*#\\s*include\\s+\"([^\"]+)\"");
  for (const char* top : {"src", "tools"}) {
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      const std::string file = entry.path().lexically_normal().string();
      std::ifstream in(entry.path());
      std::string line;
      while (std::getline(in, line)) {
        std::smatch match;
        if (!std::regex_search(line, match, include)) continue;
        const std::string target = resolve(entry.path(), match[1]);
        const auto generated = table.find("(generated)");
        if (target.empty() && generated != table.end() && generated->second.count(match[1])) {
          continue;  // written by the build
        }
        if (target.empty()) {
          found.push_back(file + " includes \"" + match[1].str() + "\", which is nowhere");
        } else if (std::string reason = judge(table, file, target); !reason.empty()) {
          found.push_back(reason);
        }
      }
    }
  }
  std::sort(found.begin(), found.end());
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
  std::stringstream unfinished("<!-- layering table: begin -->\n| a | b |\n");
  readTable(unfinished, error);
  EXPECT_EQ(error, "the table has no end marker");
}

}  // namespace
