// Script variables and the stack of sub frames they live in.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Declared types of variables.
namespace VarType {
constexpr uint8_t None = 0;  // entries that are not variables
constexpr uint8_t String = 1;
constexpr uint8_t Float = 2;
constexpr uint8_t Integer = 3;
constexpr uint8_t Boolean = 4;
}  // namespace VarType

// What an entry of the variable list stands for.
namespace EntryKind {
constexpr uint8_t Global = 0;
constexpr uint8_t Local = 1;
constexpr uint8_t ByRefParam = 2;  // Text holds the caller's variable name
constexpr uint8_t ByValParam = 3;
constexpr uint8_t FrameHead = 4;   // Text holds the caller's return information
constexpr uint8_t FrameBottom = 5;
}  // namespace EntryKind

// Characters of variable names (compared upper-cased).
inline bool IsVarNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '$' || c == '&' || c == '+' ||
         c == '-' || c == '/' || c == '_';
}

// A variable holds its value both as text and as a number; every setter keeps
// the two in step, so any variable reads as any type.
class TVarObj {
public:
  std::string Text;
  double Value = 0;
  // As declared; the list keeps the upper-case form for lookups.
  std::string Name;
  uint8_t VarType = VarType::None;
  uint8_t EntryKind = EntryKind::Global;

  // Value truncated toward zero; raises ERangeError outside the Integer range.
  int32_t AsInteger() const;
  void SetInteger(int32_t n);
  bool AsBoolean() const { return Value != 0; }
  // "True" / "False".
  void SetBoolean(bool b);
  const std::string& AsString() const { return Text; }
  // Value := S read as a decimal number ("." separator, leading blanks, sign
  // and exponent allowed, nothing after it), else 0.
  void SetString(std::string s);
  double AsFloat() const { return Value; }
  // Text := NumberToStr (X).
  void SetFloat(double x);
};

// The variables of a run. Index 0 is the innermost entry: the frames of running
// subs (head, parameters, locals, bottom marker) lie on top of the globals,
// which come last in the order they were added.
class TVarList {
public:
  TVarList() = default;
  ~TVarList() = default;
  TVarList(const TVarList&) = delete;
  TVarList& operator=(const TVarList&) = delete;

  void Clear();
  // Out-of-range indexes are ignored.
  void Delete(int index);
  // New entry with empty text and value 0 at the end (Add) or at Index (Insert).
  // The entry stays at the same address for as long as it is in the list.
  TVarObj* Add(std::string_view name, uint8_t varType, uint8_t entryKind);
  TVarObj* Insert(int index, std::string_view name, uint8_t entryKind, uint8_t varType);
  // A global: an existing global of that name only gets the new type.
  TVarObj* Declare(std::string_view name, uint8_t varType);
  // A local of the innermost running sub, placed right after its parameters;
  // a global when no sub runs.
  TVarObj* DeclareLocal(std::string_view name, uint8_t varType);

  int Count() const { return int(entries_.size()); }
  // Nil outside the list.
  TVarObj* Items(int index) const;
  // The upper-cased name of an entry (empty for frame heads and bottom markers).
  const std::string& Names(int index) const;
  // The entry the name denotes now: the innermost frame first (a local before a
  // by-value parameter of the same name), by-reference parameters followed to
  // the caller's variable, then the calling frames, then the globals. The last
  // few answers are remembered until an entry is added or removed (the name a
  // by-reference parameter holds is fixed when its frame is entered).
  TVarObj* Find(std::string_view name) const;
  // Changes whenever an entry is added or removed: what Find answered holds
  // while it stays (the types of the entries may change meanwhile).
  uint64_t Shape() const { return shape_; }
  bool Exists(std::string_view name) const { return Find(name) != nullptr; }

  // Pushes a sub frame. The arrays are parallel; their length is that of Types.
  // Values holds the caller's variable name for a by-reference parameter and
  // the argument as text for a by-value one. Empty names are skipped.
  void EnterSub(std::string_view returnInfo, const std::vector<std::string>& names,
                const std::vector<bool>& byRef, const std::vector<std::string>& values,
                const std::vector<uint8_t>& types);
  // Removes the innermost frame with its locals; nothing without a whole frame.
  void LeaveSub();

  // Reads "Integer", "Float", "Boolean" or "String" from the front of Text
  // (removing it); false and VarType 0 for anything else.
  static bool ParseType(std::string& text, uint8_t& varType);

private:
  struct Entry {
    std::string upperName;
    std::unique_ptr<TVarObj> obj;
  };
  static Entry MakeEntry(std::string_view name, uint8_t varType, uint8_t entryKind);
  TVarObj* Search(std::string_view name) const;

  std::deque<Entry> entries_;
  // Changes whenever entries are added or removed.
  uint64_t shape_ = 0;
  struct Answer {
    std::string upperName;
    TVarObj* obj = nullptr;
    uint64_t shape = ~uint64_t(0);
  };
  mutable std::array<Answer, 4> answers_;
  mutable size_t nextAnswer_ = 0;
};
