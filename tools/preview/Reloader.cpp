#include "preview/Reloader.h"

#include <GL/glew.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "MaterialManager.h"
#include "app/Fatal.h"
#include "app/Globals.h"
#include "cli/Cli.h"

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

// The show's fatal errors become exceptions while one file reloads, and the GL bindings
// a load touches are put back, so the frame after it draws as it would have.
class ReloadScope {
 public:
  ReloadScope() : previous_(setFatalReporter(throwFailure)) {
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit_);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture2d_);
    glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &cubeMap_);
  }
  ~ReloadScope() {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture2d_));
    glBindTexture(GL_TEXTURE_CUBE_MAP, static_cast<GLuint>(cubeMap_));
    glActiveTexture(static_cast<GLenum>(activeUnit_));
    setFatalReporter(previous_);
  }
  ReloadScope(const ReloadScope&) = delete;
  ReloadScope& operator=(const ReloadScope&) = delete;

 private:
  FatalReporter previous_;
  GLint activeUnit_ = GL_TEXTURE0;
  GLint texture2d_ = 0;
  GLint cubeMap_ = 0;
};

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> fileLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The text between the first pair of single quotes after `marker`, or "".
std::string quotedAfter(const std::string& message, const std::string& marker) {
  const size_t at = message.find(marker);
  if (at == std::string::npos) return "";
  const size_t open = message.find('\'', at + marker.size());
  const size_t close = message.rfind('\'');
  if (open == std::string::npos || close == std::string::npos || close <= open) return "";
  std::string text = message.substr(open + 1, close - open - 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
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

int materialFailureLine(const std::string& path, const std::string& message) {
  const bool vertex = message.rfind("Error compiling vertex shader", 0) == 0;
  const bool fragment = message.rfind("Error compiling fragment shader", 0) == 0;
  if (vertex || fragment) {
    // Mesa's log: "0:LINE(COLUMN): error: ...".
    const size_t at = message.find("0:");
    if (at == std::string::npos) return 0;
    const int sourceLine = std::atoi(message.c_str() + at + 2);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file || sourceLine <= 0) return 0;
    MaterialSource source;
    try {
      FatalReporter previous = setFatalReporter(throwFailure);
      struct Restore {
        FatalReporter reporter;
        ~Restore() { setFatalReporter(reporter); }
      } restore{previous};
      parseMaterialStream(file.get(), source);
    } catch (const LoadFailed&) {
      return 0;
    }
    const std::vector<int>& lines = vertex ? source.vertexLines : source.fragmentLines;
    return sourceLine <= static_cast<int>(lines.size()) ? lines[sourceLine - 1] : 0;
  }
  // Read errors quote the line: "... line:\n'%TEX2D x'" or "... in line '%TEX9D a = b'".
  std::string quoted = quotedAfter(message, "line");
  if (quoted.empty()) return 0;
  const std::vector<std::string> lines = fileLines(path);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == quoted) return static_cast<int>(i + 1);
  }
  return 0;
}

Reloader::Reloader() = default;

Reloader::~Reloader() {
  if (fd_ >= 0) close(fd_);
}

bool Reloader::watch(std::string& error) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) {
    error = std::string("no file watching (") + std::strerror(errno) + "): reload by restarting";
    return false;
  }
  materialsWatch_ = inotify_add_watch(fd_, kMaterialsDir, kSaved);
  dataWatch_ = inotify_add_watch(fd_, kDataDir, kSaved);
  if (materialsWatch_ < 0 || dataWatch_ < 0) {
    error = std::string("cannot watch data/ (") + std::strerror(errno) + ")";
    return false;
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
      bool known = false;
      for (const std::string& p : saved) known = known || p == path;
      if (!known) saved.push_back(path);  // an editor's save may come as several events
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
  for (const char* extension : {".png", ".jpg"}) {
    if (path.rfind("data/", 0) != 0 || !endsWith(path, extension)) continue;
    const std::string name = path.substr(5, path.size() - 5 - std::strlen(extension));
    if (name.find('/') == std::string::npos && demoSystem.textures.contains(name)) {
      reloadTexture(name);
      return;
    }
  }
}

void Reloader::settle(const std::string& file, const LoadFailure* failure) {
  for (size_t i = 0; i < failures_.size(); ++i) {
    if (failures_[i].file == file) {
      failures_.erase(failures_.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  if (failure) {
    failures_.push_back(*failure);
    std::fprintf(stderr, "%s: %s\n", cli::program().c_str(), failure->summary().c_str());
  } else {
    std::fprintf(stderr, "%s: reloaded %s\n", cli::program().c_str(), file.c_str());
  }
}

bool Reloader::reloadMaterial(const std::string& name) {
  const std::string path = materialFilePath(name);
  try {
    ReloadScope scope;
    demoSystem.materials.loadFile(name, path);
  } catch (const LoadFailed& failed) {
    LoadFailure failure{path, materialFailureLine(path, failed.what()), failed.what()};
    settle(path, &failure);
    return false;
  }
  settle(path, nullptr);
  return true;
}

bool Reloader::reloadTexture(const std::string& name) {
  std::string path = "data/" + name + ".png";
  if (access(path.c_str(), F_OK) != 0) path = "data/" + name + ".jpg";
  TextureManager& textures = demoSystem.textures;
  const int minFilter = textures.minFilter();
  const int magFilter = textures.magFilter();
  try {
    ReloadScope scope;
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
    textures.setFilters(minFilter, magFilter);
    LoadFailure failure{path, 0, failed.what()};
    settle(path, &failure);
    return false;
  }
  textures.setFilters(minFilter, magFilter);
  settle(path, nullptr);
  return true;
}
