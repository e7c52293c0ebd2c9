// Reload on save: watches data/materials/*.mat and the show's texture files in data/
// with inotify, and reloads each file that was written (closed after writing, or moved
// into place, as editors save) into the show's registries.
//
// A reload that fails (parse, compile, link, an unreadable picture) changes nothing: the
// material keeps its last good program and bindings, the texture its pixels. The failure
// is kept, with the file and the line in that file, until a later save of the same file
// loads.
//
// Needs the show's GL context current. Paths are relative to the data root (the working
// directory: "data/...").
#pragma once

#include <optional>
#include <string>
#include <vector>

struct LoadFailure {
  std::string file;     // "data/materials/shadow.mat"
  int line = 0;         // in that file, from 1; 0 when the failure names none
  std::string message;  // the show's message, as fatalError() words it

  // "data/materials/shadow.mat:12: Error compiling fragment shader ..." on one line.
  std::string summary() const;
};

class Reloader {
 public:
  Reloader() = default;
  ~Reloader();
  Reloader(const Reloader&) = delete;
  Reloader& operator=(const Reloader&) = delete;

  // False with a reason when inotify is unavailable; the preview then runs without it.
  bool watch(std::string& error);
  // Reloads every file saved since the last call. Returns how many files it reloaded or
  // tried to; each attempt is reported on stderr.
  int poll();

  // Reloads one material by name, or one texture by name. True when it loaded.
  bool reloadMaterial(const std::string& name);
  bool reloadTexture(const std::string& name);

  const std::vector<LoadFailure>& failures() const { return failures_; }

 private:
  // Records how the last attempt at `file` went, on stderr too; true when it loaded.
  bool settle(const std::string& file, const std::optional<LoadFailure>& failure);
  void fileSaved(const std::string& path);

  int fd_ = -1;
  int materialsWatch_ = -1;
  int dataWatch_ = -1;
  std::vector<LoadFailure> failures_;
};
