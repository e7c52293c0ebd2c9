// Debug variables: named tweakable numbers that scene code registers and the developer drags
// with the mouse, each on an undrawn slider row: x from screenWidth - 110 to - 10, row r at
// y = 25r + 5 .. +20. With any button, Shift or Ctrl held, a pointer in a Range variable's
// row sets its value from x; Choice and Unit variables ignore the mouse.
//
// Calls: registerVariable(name), then get(name) and one of initRange / initChoice /
// initUnit on it; editWithMouse() on every mouse move.
#pragma once

#include <cstdint>
#include <string>

#include "resources/ResourceManager.h"

enum DebugVariableKind { Range = 0, Choice = 1, Unit = 2 };

struct DebugVariable {
  int32_t row = 0;
  int32_t kind = Range;
  float value = 0.0f;
  const char* const* choices = nullptr;  // Choice only; ends with "EOL"; not owned
  float min = 0.0f;
  float max = 1.0f;

  void initRange(float minimum, float maximum, float initial);
  void initChoice(const char* const* choiceList, int index);
  void initUnit(int initial);
};

class DebugVariableManager : public ResourceManager<DebugVariable> {
 public:
  std::string typeName() const override { return "debug variable"; }
  // Creates or resets the variable, giving it the next row.
  void registerVariable(const std::string& name);
  void editWithMouse(int flags, int x, int y);

 private:
  int32_t nextRow_ = 0;
};

extern DebugVariableManager debugVariables;  // defined in app/Globals.cpp
