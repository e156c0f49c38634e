#include "uVarList.h"

#include "SysUtils.h"
#include "uGetStr.h"
#include "uSkript.h"

int32_t TVarObj::AsInteger() const { return CheckedTrunc(Value); }

void TVarObj::SetInteger(int32_t n) {
  Value = n;
  Text = IntToStr(n);
}

void TVarObj::SetBoolean(bool b) {
  Value = b ? 1.0 : 0.0;
  Text = b ? "True" : "False";
}

void TVarObj::SetString(std::string s) {
  Text = std::move(s);
  std::string_view v(Text);
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  if (!TryParseDecimal(v, Value)) Value = 0;
}

void TVarObj::SetFloat(double x) {
  Value = x;
  NumberToStr(x, Text);
}

// ---------------------------------------------------------------------------

TVarList::Entry TVarList::MakeEntry(std::string_view name, uint8_t varType, uint8_t entryKind) {
  auto obj = std::make_unique<TVarObj>();
  obj->Name = std::string(name);
  obj->VarType = varType;
  obj->EntryKind = entryKind;
  return Entry{UpperCase(name), std::move(obj)};
}

void TVarList::Clear() {
  entries_.clear();
  ++shape_;
}

void TVarList::Delete(int index) {
  if (index >= 0 && index < Count()) {
    entries_.erase(entries_.begin() + index);
    ++shape_;
  }
}

TVarObj* TVarList::Add(std::string_view name, uint8_t varType, uint8_t entryKind) {
  entries_.push_back(MakeEntry(name, varType, entryKind));
  ++shape_;
  return entries_.back().obj.get();
}

TVarObj* TVarList::Insert(int index, std::string_view name, uint8_t entryKind, uint8_t varType) {
  if (index < 0) index = 0;
  if (index > Count()) index = Count();
  auto it = entries_.insert(entries_.begin() + index, MakeEntry(name, varType, entryKind));
  ++shape_;
  return it->obj.get();
}

TVarObj* TVarList::Declare(std::string_view name, uint8_t varType) {
  TVarObj* found = Find(name);
  if (found && found->EntryKind == EntryKind::Global) {
    found->VarType = varType;
    return found;
  }
  return Add(name, varType, EntryKind::Global);
}

TVarObj* TVarList::DeclareLocal(std::string_view name, uint8_t varType) {
  bool headSeen = false;
  for (int i = 0; i < Count(); ++i) {
    uint8_t kind = entries_[size_t(i)].obj->EntryKind;
    if (!headSeen) {
      headSeen = kind == EntryKind::FrameHead;
    } else if (kind == EntryKind::Local || kind == EntryKind::FrameBottom) {
      return Insert(i, name, EntryKind::Local, varType);
    }
  }
  return Declare(name, varType);
}

TVarObj* TVarList::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return entries_[size_t(index)].obj.get();
}

const std::string& TVarList::Names(int index) const {
  static const std::string none;
  if (index < 0 || index >= Count()) return none;
  return entries_[size_t(index)].upperName;
}

namespace {

// Stored names are upper case; a wanted name may come in any case. Compared
// without a copy: every variable reference of every line looks up here.
bool SameName(std::string_view upper, std::string_view name) {
  if (upper.size() != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (upper[i] != c) return false;
  }
  return true;
}

}  // namespace

// Every variable reference of every line looks up here, most of them a name
// asked for just before.
TVarObj* TVarList::Find(std::string_view name) const {
  for (const Answer& a : answers_)
    if (a.shape == shape_ && SameName(a.upperName, name)) return a.obj;
  TVarObj* found = Search(name);
  Answer& a = answers_[nextAnswer_];
  nextAnswer_ = (nextAnswer_ + 1) % answers_.size();
  a.upperName = UpperCase(name);
  a.obj = found;
  a.shape = shape_;
  return found;
}

TVarObj* TVarList::Search(std::string_view name) const {
  std::string_view wanted = name;
  TVarObj* pending = nullptr;
  std::string redirect, redirected;
  for (const Entry& e : entries_) {
    TVarObj* obj = e.obj.get();
    switch (obj->EntryKind) {
      case EntryKind::Global:
      case EntryKind::Local:
        if (SameName(e.upperName, wanted)) return obj;
        break;
      case EntryKind::ByRefParam:
        if (SameName(e.upperName, wanted)) {
          redirect = UpperCase(obj->Text);
          pending = nullptr;
        }
        break;
      case EntryKind::ByValParam:
        if (SameName(e.upperName, wanted)) {
          pending = obj;
          redirect.clear();
        }
        break;
      case EntryKind::FrameBottom:
        if (pending) return pending;
        if (!redirect.empty()) {
          redirected = redirect;
          wanted = redirected;
        }
        break;
      default:
        break;
    }
  }
  return nullptr;
}

void TVarList::EnterSub(std::string_view returnInfo, const std::vector<std::string>& names,
                        const std::vector<bool>& byRef, const std::vector<std::string>& values,
                        const std::vector<uint8_t>& types) {
  entries_.push_front(MakeEntry("", VarType::None, EntryKind::FrameBottom));
  for (size_t i = types.size(); i-- > 0;) {
    if (i >= names.size() || names[i].empty()) continue;
    bool ref = i < byRef.size() && byRef[i];
    entries_.push_front(MakeEntry(names[i], types[i], ref ? EntryKind::ByRefParam : EntryKind::ByValParam));
    entries_.front().obj->SetString(i < values.size() ? values[i] : std::string());
  }
  entries_.push_front(MakeEntry("", VarType::None, EntryKind::FrameHead));
  entries_.front().obj->SetString(std::string(returnInfo));
  ++shape_;
}

void TVarList::LeaveSub() {
  int head = -1;
  for (int i = 0; i < Count(); ++i) {
    uint8_t kind = entries_[size_t(i)].obj->EntryKind;
    if (kind == EntryKind::FrameHead) head = i;
    if (kind == EntryKind::FrameBottom) {
      if (head >= 0) {
        entries_.erase(entries_.begin() + head, entries_.begin() + i + 1);
        ++shape_;
      }
      return;
    }
  }
}

bool TVarList::ParseType(std::string& text, uint8_t& varType) {
  if (StartsWithKeyword("Integer", text))
    varType = VarType::Integer;
  else if (StartsWithKeyword("Float", text))
    varType = VarType::Float;
  else if (StartsWithKeyword("Boolean", text))
    varType = VarType::Boolean;
  else if (StartsWithKeyword("String", text))
    varType = VarType::String;
  else
    varType = VarType::None;
  return varType != VarType::None;
}
