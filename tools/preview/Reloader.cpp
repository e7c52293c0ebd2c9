#include "preview/Reloader.h"

#include <GL/glew.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "MaterialManager.h"
#include "app/Fatal.h"
#include "app/Globals.h"
#include "cli/Cli.h"
#include "resources/DataFile.h"
#include "scenes/LastingState.h"

namespace {
constexpr const char* kMaterialsDir = "data/materials";
constexpr const char* kDataDir = "data";
// What an editor's save looks like: a file closed after writing, or one renamed into
// place. Modifications alone are skipped: a file half written is not loaded.
constexpr uint32_t kSaved = IN_CLOSE_WRITE | IN_MOVED_TO;

struct LoadFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void throwFailure(const char* message) { throw LoadFailed(message); }

// The show's fatal errors become exceptions while one lives.
struct ThrowOnFatal {
  FatalReporter previous = setFatalReporter(throwFailure);
  ~ThrowOnFatal() { setFatalReporter(previous); }
};

// While one file reloads: fatal errors throw, and the GL state frames leave for each other
// (the bindings a load touches among it) is put back, so the frame after it draws as it
// would have.
struct ReloadScope {
  ThrowOnFatal throwing;  // made first, so it is undone after the GL state
  LastingGlItems kept;
  ~ReloadScope() { kept.putBack(); }
};

// Where in the file a material's failure lies: the driver's "0:LINE(COL)" mapped through
// the file's source lines, or the quoted line of a read error found in the file. 0 when
// the message names no line.
int materialFailureLine(const std::string& path, const std::string& message) {
  const bool vertex = message.rfind("Error compiling vertex shader", 0) == 0;
  if (vertex || message.rfind("Error compiling fragment shader", 0) == 0) {
    // Mesa's log: "0:LINE(COLUMN): error: ...".
    const size_t at = message.find("0:");
    if (at == std::string::npos) return 0;
    const int sourceLine = std::atoi(message.c_str() + at + 2);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file || sourceLine <= 0) return 0;
    MaterialSource source;
    try {
      ThrowOnFatal throwing;
      parseMaterialStream(file.get(), source);
    } catch (const LoadFailed&) {
      return 0;
    }
    const std::vector<int>& lines = vertex ? source.vertexLines : source.fragmentLines;
    return sourceLine <= static_cast<int>(lines.size()) ? lines[sourceLine - 1] : 0;
  }
  // Read errors quote the line: "... line:\n'%TEX2D x'" or "... in line '%TEX9D a = b'".
  const size_t at = message.find("line");
  const size_t open = at == std::string::npos ? at : message.find('\'', at + 4);
  const size_t close = message.rfind('\'');
  if (open == std::string::npos || close == std::string::npos || close <= open) return 0;
  std::string quoted = message.substr(open + 1, close - open - 1);
  while (!quoted.empty() && (quoted.back() == '\n' || quoted.back() == '\r')) quoted.pop_back();
  if (quoted.empty()) return 0;
  std::ifstream in(path, std::ios::binary);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == quoted) return number;
  }
  return 0;
}
}  // namespace

std::string LoadFailure::summary() const {
  std::string text = file;
  if (line > 0) text += ":" + std::to_string(line);
  text += ": ";
  for (char c : message) text += c == '\n' ? ' ' : c;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

Reloader::~Reloader() {
  if (fd_ >= 0) close(fd_);
}

bool Reloader::watch(std::string& error) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) {
    return cli::failWith(error, std::string("no file watching (") + std::strerror(errno) +
                                    "): reload by restarting");
  }
  // Each failure names its own folder and reason.
  for (auto [watch, folder] :
       {std::pair{&materialsWatch_, kMaterialsDir}, {&dataWatch_, kDataDir}}) {
    *watch = inotify_add_watch(fd_, folder, kSaved);
    if (*watch < 0) {
      return cli::failWith(
          error, std::string("cannot watch ") + folder + "/ (" + std::strerror(errno) + ")");
    }
  }
  return true;
}

int Reloader::poll() {
  if (fd_ < 0) return 0;
  std::vector<std::string> saved;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got <= 0) break;  // EAGAIN: nothing more
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->len == 0) continue;
      const std::string dir = event->wd == materialsWatch_ ? kMaterialsDir : kDataDir;
      const std::string path = dir + "/" + event->name;
      // An editor's save may come as several events.
      if (std::find(saved.begin(), saved.end(), path) == saved.end()) saved.push_back(path);
    }
  }
  for (const std::string& path : saved) fileSaved(path);
  return static_cast<int>(saved.size());
}

void Reloader::fileSaved(const std::string& path) {
  for (const std::string& name : showMaterialNames()) {
    if (materialFilePath(name) == path) {
      reloadMaterial(name);
      return;
    }
  }
  const std::filesystem::path file(path);
  const std::string name = file.stem().string();
  if (file.parent_path() == kDataDir &&
      (file.extension() == ".png" || file.extension() == ".jpg") &&
      demoSystem.textures.contains(name)) {
    reloadTexture(name);
  }
}

bool Reloader::settle(const std::string& file, const std::optional<LoadFailure>& failure) {
  // One failure a file at most: the last attempt's.
  failures_.erase(std::remove_if(failures_.begin(), failures_.end(),
                                 [&file](const LoadFailure& f) { return f.file == file; }),
                  failures_.end());
  if (!failure) {
    std::fprintf(stderr, "%s: reloaded %s\n", cli::program().c_str(), file.c_str());
    return true;
  }
  failures_.push_back(*failure);
  std::fprintf(stderr, "%s: %s\n", cli::program().c_str(), failure->summary().c_str());
  return false;
}

bool Reloader::reloadMaterial(const std::string& name) {
  const std::string path = materialFilePath(name);
  try {
    ReloadScope scope;
    demoSystem.materials.loadFile(name, path);
  } catch (const LoadFailed& failed) {
    return settle(path, LoadFailure{path, materialFailureLine(path, failed.what()), failed.what()});
  }
  return settle(path, std::nullopt);
}

bool Reloader::reloadTexture(const std::string& name) {
  std::string path = "data/" + name + ".png";  // a miss names the first file looked for
  TextureManager& textures = demoSystem.textures;
  const int minFilter = textures.minFilter();
  const int magFilter = textures.magFilter();
  std::optional<LoadFailure> failure;
  try {
    ReloadScope scope;
    path = findDataFile(kDataDir, name, {"png", "jpg"});
    // Loaded again with the filters it was made with, into the same texture object, so
    // every material that names it sees the new pixels.
    GLint madeMin = GL_LINEAR;
    GLint madeMag = GL_LINEAR;
    glBindTexture(GL_TEXTURE_2D, textures.get(name).glName);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &madeMin);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &madeMag);
    textures.setFilters(madeMin, madeMag);
    textures.loadTexture(name, -1, -1);
  } catch (const LoadFailed& failed) {
    failure = LoadFailure{path, 0, failed.what()};
  }
  textures.setFilters(minFilter, magFilter);
  return settle(path, failure);
}
