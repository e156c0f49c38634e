// Assignments that a loop runs again and again are read once: from their
// second run on, a kept plan of the expression is evaluated. A plan holds
// while its text, the function registry and the variables it reads stay as
// they were; anything it does not cover is read as text, as ever.
#include "SysUtils.h"
#include "uGetNum.h"
#include "uGetStr.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

bool gLinePlans = true;

bool IsStringVariable(const TVarObj* v) { return v != nullptr && v->VarType == VarType::String; }

}  // namespace

void SetLinePlansEnabled(bool on) { gLinePlans = on; }
bool LinePlansEnabled() { return gLinePlans; }

bool TVQSkript::RunPlannedAssignment(int lineIndex, const std::string& name,
                                     std::string_view rest) {
  if (!gLinePlans || lineIndex < 0 || lineIndex >= Count()) return false;
  if (lineRuns_.size() != size_t(Count())) {
    lineRuns_.assign(size_t(Count()), 0);
    linePlans_.clear();
    linePlans_.resize(size_t(Count()));
  }
  // A line run once is read as text: planning it would cost more.
  uint8_t& runs = lineRuns_[size_t(lineIndex)];
  if (runs < 1) {
    ++runs;
    return false;
  }
  std::unique_ptr<TLinePlan>& slot = linePlans_[size_t(lineIndex)];
  if (!slot || slot->rest != rest) {
    // A line changed since its last run (the script was loaded again) starts over.
    const bool changed = slot != nullptr;
    slot = std::make_unique<TLinePlan>();
    slot->rest = std::string(rest);
    slot->runs = changed ? 0 : 1;
  }
  TLinePlan& entry = *slot;
  if (entry.runs < 3) ++entry.runs;  // 3: planned
  if (entry.runs < 2) return false;
  if (entry.shape != Variables->Shape()) {
    entry.target = Variables->Find(name);
    entry.vars.clear();
    if (entry.plan)
      for (const std::string& var : PlanVariables(*entry.plan))
        entry.vars.push_back(Variables->Find(var));
    entry.shape = Variables->Shape();
  }
  if (entry.target == nullptr) {
    if (entry.runs == 2) entry.runs = 1;  // planned once the target exists
    return false;
  }
  if (entry.runs == 2) {
    entry.runs = 3;
    entry.plan.reset();
    entry.numeric.reset();
    entry.vars.clear();
    // As AssignVariable reads the expression for the target's type.
    entry.targetType = entry.target->VarType;
    if (entry.targetType == VarType::String) {
      // As ReadStringArgument reads it; blocks and files are not planned.
      const std::string text = Trim(rest);
      std::string probe = text;
      if (!text.empty() && !StartsWithKeyword("from", probe)) {
        std::string_view view(text);
        if (!StartsWithKeyword(":", view)) StartsWithKeyword("=", view);
        entry.plan = PlanStringExpression(view);
        if (entry.plan)
          for (const std::string& var : PlanVariables(*entry.plan))
            entry.vars.push_back(Variables->Find(var));
      }
    } else if (entry.targetType == VarType::Integer || entry.targetType == VarType::Float) {
      std::string_view view = rest;
      auto numeric = std::make_shared<TSimpleNumeric>();
      if (StartsWithKeyword("=", view) && PlanSimpleNumeric(view, *numeric) &&
          TrimmedView(view.substr(numeric->taken)).empty()) {
        numeric->text = std::string(view);
        entry.numeric = std::move(numeric);
      }
    }
  }
  if (entry.target->VarType != entry.targetType) return false;
  if (entry.numeric) {
    std::string_view view = entry.numeric->text;
    double x = 0;
    if (!RunSimpleNumeric(*entry.numeric, view, x)) return false;
    if (entry.targetType == VarType::Integer)
      entry.target->SetInteger(CheckedTrunc(x));
    else
      entry.target->SetFloat(x);
    return true;
  }
  if (!entry.plan) return false;
  for (const TVarObj* var : entry.vars)
    if (!IsStringVariable(var)) return false;
  std::string value;
  if (!RunStringPlan(*entry.plan, this, value)) {
    // The functions changed: the next run plans the line anew.
    entry.plan.reset();
    entry.runs = 1;
    return false;
  }
  if (value.find_first_of("\r\n") != std::string::npos) {
    // As StringArgumentText joins the lines of an argument.
    const std::vector<std::string> lines = SplitLines(value + "\r\n");
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) joined += "\r\n";
      joined += lines[i];
    }
    value = std::move(joined);
  }
  // The functions of a plan change no variables: the target is still there.
  entry.target->SetString(std::move(value));
  return true;
}
