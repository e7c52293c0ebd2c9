// Named resource registries.
//
// ResourceManager<T> maps a name (bytewise, case-sensitive) to a value held inside the
// registry; values keep a stable address while their entry exists. `get` of an unknown
// name is fatal: "No such %s: '%s'." with typeName() and the name as passed.
//
// UsableResourceManager<T> adds a current name: use(name) looks it up, records it and
// calls bind(name) (never unbinding the previous one); unuse() calls unbind() while the
// name is still current, then clears it; with nothing in use it is fatal:
// "Cannot unuse: No %s in use.".
//
// getOrCreate() is the only way an entry comes into being; entries are never removed.
#pragma once

#include <map>
#include <string>

#include "app/Fatal.h"

template <typename T>
class ResourceManager {
 public:
  using Map = std::map<std::string, T>;

  virtual ~ResourceManager() = default;
  virtual std::string typeName() const = 0;

  T& get(const std::string& name) {
    auto it = entries_.find(name);
    if (it == entries_.end()) {
      fatalError("No such %s: '%s'.", typeName().c_str(), name.c_str());
    }
    return it->second;
  }

  bool contains(const std::string& name) const { return entries_.count(name) != 0; }

  T& getOrCreate(const std::string& name) { return entries_.try_emplace(name).first->second; }

  // Entries in ascending bytewise name order.
  Map& entries() { return entries_; }

 protected:
  Map entries_;
};

template <typename T>
class UsableResourceManager : public ResourceManager<T> {
 public:
  void use(const std::string& name) {
    this->get(name);  // fatal for an unknown name, before anything changes
    currentName_ = name;
    bind(name);
  }

  void unuse() {
    if (currentName_.empty()) {
      fatalError("Cannot unuse: No %s in use.", this->typeName().c_str());
    }
    unbind();
    currentName_.clear();
  }

  // Empty when nothing of this kind is in use.
  const std::string& currentName() const { return currentName_; }

 protected:
  virtual void bind(const std::string& /*name*/) {}
  virtual void unbind() {}

 private:
  std::string currentName_;
};
