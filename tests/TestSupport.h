// Helpers shared by the tests: fatal errors caught in-process, temporary files.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
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

// A fresh directory under /tmp, removed with its contents at destruction.
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
  char pattern[] = "/tmp/lumorak-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

inline TempDir::~TempDir() {
  std::string command = "rm -rf '" + path_ + "'";
  if (std::system(command.c_str()) != 0)
    std::fprintf(stderr, "could not remove %s\n", path_.c_str());
}

inline void TempDir::write(const std::string& name, const std::string& bytes) const {
  std::FILE* f = std::fopen(file(name).c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + file(name));
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}
