#include "resources/DebugVariables.h"

#include <cstring>

#include "app/Screen.h"

namespace {

// Slider geometry in screen pixels, measured from the fixed screen size.
constexpr int kSliderRightMargin = 10;
constexpr int kSliderWidth = 100;
constexpr int kRowPitch = 25;
constexpr int kRowTopMargin = 5;
constexpr int kRowHeight = 20;

constexpr const char* kChoiceListEnd = "EOL";

}  // namespace

void DebugVariable::initRange(float minimum, float maximum, float initial) {
  kind = Range;
  min = minimum;
  max = maximum;
  value = initial;
  choices = nullptr;
}

void DebugVariable::initChoice(const char* const* choiceList, int index) {
  kind = Choice;
  choices = choiceList;
  min = 0.0f;
  value = static_cast<float>(index);
  // A null entry also ends the list, so a list that forgot "EOL" is not read past its end.
  int count = 0;
  while (choiceList && choiceList[count] && std::strcmp(choiceList[count], kChoiceListEnd) != 0) {
    ++count;
  }
  if (count > 0) max = static_cast<float>(count - 1);
}

void DebugVariable::initUnit(int initial) {
  initRange(0.0f, 1.0f, static_cast<float>(initial));
  kind = Unit;
}

void DebugVariableManager::registerVariable(const std::string& name) {
  DebugVariable& variable = getOrCreate(name);
  variable = DebugVariable();
  variable.row = nextRow_++;  // never reused, even for a name registered again
}

void DebugVariableManager::editWithMouse(int flags, int x, int y) {
  if (flags == 0) return;  // no button, Shift or Ctrl held
  const int right = screenWidth - kSliderRightMargin;
  const int left = right - kSliderWidth;
  if (x < left || x > right) return;
  for (auto& entry : entries_) {
    DebugVariable& variable = entry.second;
    if (variable.kind != Range) continue;
    const int top = variable.row * kRowPitch + kRowTopMargin;
    const int bottom = top + kRowHeight;
    if (y < top || y > bottom) continue;
    variable.value = static_cast<float>(x - left) / static_cast<float>(right - left) *
                         (variable.max - variable.min) +
                     variable.min;
  }
}
