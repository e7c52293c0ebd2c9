// Helpers shared by the tests: fatal errors caught in-process, temporary files.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "app/Fatal.h"

// Thrown by the test reporter in place of the message box and exit.
struct FatalErrorThrown : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline void throwingFatalReporter(const char* message) { throw FatalErrorThrown(message); }

// Installs the throwing reporter for the lifetime of a test.
class FatalCapture {
 public:
  FatalCapture() : previous_(setFatalReporter(throwingFatalReporter)) {}
  ~FatalCapture() { setFatalReporter(previous_); }

 private:
  FatalReporter previous_;
};

// Runs `statement` and expects fatalError with exactly `expected`.
#define EXPECT_FATAL(statement, expected)         \
  do {                                            \
    FatalCapture fatalCapture_;                   \
    std::string fatalText_ = "<no fatal error>";  \
    try {                                         \
      statement;                                  \
    } catch (const FatalErrorThrown& e) {         \
      fatalText_ = e.what();                      \
    }                                             \
    EXPECT_EQ(fatalText_, std::string(expected)); \
  } while (0)

// Sets or removes a variable of the process's environment, as SDL and libraries read it.
inline void setEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}
inline void unsetEnvironment(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");  // an empty value removes the variable on Windows
#else
  unsetenv(name);
#endif
}

// A fresh directory in the system's temporary folder, removed with its contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

inline TempDir::TempDir() {
  // Made with create_directory, which fails on a name that exists: no two tests share one.
  namespace fs = std::filesystem;
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("lumorak-test-" + std::to_string(entropy()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.generic_string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

inline TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
  if (error) std::fprintf(stderr, "could not remove %s\n", path_.c_str());
}

inline void TempDir::write(const std::string& name, const std::string& bytes) const {
  std::FILE* f = std::fopen(file(name).c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + file(name));
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}
