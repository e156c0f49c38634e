// What the numeric and the string evaluator share: the stack of installed
// hooks and the function registry. For uGetNum.cpp and uGetStr.cpp only.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "uGetNum.h"

// Hooks by owner; those installed last are in use. Hooks needs the fields
// owner and errorHook.
template <class Hooks>
class HookStack {
public:
  using Ptr = std::shared_ptr<const Hooks>;

  void Install(Hooks hooks) {
    Remove(hooks.owner);
    stack_.push_back(std::make_shared<const Hooks>(std::move(hooks)));
  }
  // Hooks that go while an evaluation runs are kept until a removal when none
  // runs, so that the evaluation may go on with them.
  void Remove(HookOwner owner) {
    for (Ptr& h : stack_)
      if (h->owner == owner) retired_.push_back(std::move(h));
    std::erase_if(stack_, [](const Ptr& h) { return !h; });
    if (ExpressionNesting::Depth() == 0) retired_.clear();
  }
  // A plain pointer: every evaluation asks, and a shared one would cost two
  // atomic operations each time. Valid until Remove at nesting depth 0.
  const Hooks* Active() const { return stack_.empty() ? nullptr : stack_.back().get(); }

  void Report(std::string_view message, std::string_view context) const {
    Ptr hooks = stack_.empty() ? nullptr : stack_.back();
    if (hooks && hooks->errorHook) hooks->errorHook(message, context);
  }

private:
  std::vector<Ptr> stack_;
  std::vector<Ptr> retired_;
};

// Registered functions, the built-ins first. Record needs the fields name,
// signature and owner.
template <class Record>
class FunctionRegistry {
public:
  // A record removed while an evaluation runs is kept until a removal when
  // none runs, so a handler may change the registry while it runs.
  using Ptr = std::shared_ptr<const Record>;

  // Kind ("numeric", "string") names the registry in the errors of Check.
  FunctionRegistry(std::string_view kind, std::vector<Record> builtins) : kind_(kind) {
    for (Record& r : builtins) Add(std::move(r));
  }

  const std::vector<Ptr>& Records() const { return records_; }
  // Changes with every change of the records, so lookups may keep indexes.
  uint64_t Version() const { return version_; }

  // Returns the record's position.
  int Add(Record record) {
    Check(record);
    records_.push_back(std::make_shared<const Record>(std::move(record)));
    ++version_;
    return int(records_.size()) - 1;
  }

  // Removes the last record whose name equals Name exactly.
  void RemoveLast(std::string_view name) {
    for (size_t i = records_.size(); i-- > 0;)
      if (records_[i]->name == name) {
        retired_.push_back(std::move(records_[i]));
        records_.erase(records_.begin() + ptrdiff_t(i));
        Removed();
        return;
      }
  }

  // The built-ins (owner nullptr) stay.
  void RemoveOwner(HookOwner owner) {
    if (!owner) return;
    const size_t before = records_.size();
    for (Ptr& r : records_)
      if (r->owner == owner) retired_.push_back(std::move(r));
    std::erase_if(records_, [](const Ptr& r) { return !r; });
    if (records_.size() != before) Removed();
  }

private:
  void Removed() {
    ++version_;
    if (ExpressionNesting::Depth() == 0) retired_.clear();
  }

  // One "#" or "$" per argument, at most five of each, or "*" alone.
  void Check(const Record& r) const {
    int nums = 0, strs = 0;
    for (char c : r.signature) {
      nums += c == kNumArg;
      strs += c == kStrArg;
      if (c != kNumArg && c != kStrArg && !(c == kRawArgs && r.signature.size() == 1))
        throw std::invalid_argument("bad signature of " + kind_ + " function " + r.name);
    }
    if (nums > 5 || strs > 5)
      throw std::invalid_argument("too many arguments for " + kind_ + " function " + r.name);
  }

  std::string kind_;
  std::vector<Ptr> records_;
  std::vector<Ptr> retired_;
  uint64_t version_ = 0;
};
