// How the generators' functions fail: false, with a one-line reason in their error string.
//
//   if (!file) return failWith(error, "cannot write " + path);
#pragma once

#include <string>
#include <utility>

inline bool failWith(std::string& error, std::string reason) {
  error = std::move(reason);
  return false;
}
