#include "uHeader.h"

#include <algorithm>
#include <cstdio>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "uCharsets.h"
#include "uEinstellungen.h"
#include "uHeaderCoding.h"
#include "uTransla.h"

// ---------------------------------------------------------------------------
// TChangedStringlist

void TChangedStringlist::CheckIndex(int index) const {
  if (index < 0 || index >= int(items_.size()))
    throw EStringListError(TranslateFmt(
        "StringList.IndexError", "Listenindex überschreitet das Maximum (%d)", {int64_t(index)}));
}

int TChangedStringlist::AddStored(std::string s, TListObject object) {
  items_.push_back({std::move(s), object});
  return int(items_.size()) - 1;
}

void TChangedStringlist::InsertStored(int index, const std::string& s) {
  if (index != int(items_.size())) CheckIndex(index);
  items_.insert(items_.begin() + index, Item{s, 0});
}

void TChangedStringlist::Assign(const TChangedStringlist& source) {
  if (&source == this) return;
  items_ = source.items_;
  Changed = true;
}

void TChangedStringlist::Assign(const std::vector<std::string>& lines) {
  items_.clear();
  items_.reserve(lines.size());
  for (const auto& s : lines) items_.push_back({s, 0});
  Changed = true;
}

const std::string& TChangedStringlist::Get(int index) const {
  CheckIndex(index);
  return items_[index].text;
}

int TChangedStringlist::GetCount() const { return int(items_.size()); }

TChangedStringlist::TListObject TChangedStringlist::GetObject(int index) const {
  CheckIndex(index);
  return items_[index].object;
}

void TChangedStringlist::Put(int index, const std::string& s) {
  CheckIndex(index);
  if (items_[index].text == s) return;
  items_[index].text = s;
  Changed = true;
}

void TChangedStringlist::PutObject(int index, TListObject object) {
  CheckIndex(index);
  items_[index].object = object;
}

int TChangedStringlist::Add(const std::string& s) {
  int i = AddStored(s);
  Changed = true;
  return i;
}

void TChangedStringlist::AddStrings(const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  for (const auto& s : lines) AddStored(s);
  Changed = true;
}

void TChangedStringlist::AddStrings(const TChangedStringlist& source) {
  AddStrings(source.Lines());
}

void TChangedStringlist::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed = true;
}

void TChangedStringlist::Delete(int index) {
  CheckIndex(index);
  items_.erase(items_.begin() + index);
  Changed = true;
}

void TChangedStringlist::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(items_[index1], items_[index2]);
  Changed = true;
}

int TChangedStringlist::IndexOf(std::string_view s) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameText(items_[i].text, s)) return int(i);
  return -1;
}

void TChangedStringlist::Insert(int index, const std::string& s) {
  InsertStored(index, s);
  Changed = true;
}

int TChangedStringlist::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string& t = items_[i].text;
    size_t eq = t.find('=');
    if (eq != std::string::npos && SameText(std::string_view(t).substr(0, eq), name)) return int(i);
  }
  return -1;
}

void TChangedStringlist::SetValue(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) {
      items_.erase(items_.begin() + i);
      Changed = true;
    }
    return;
  }
  std::string line = std::string(name) + "=" + std::string(value);
  if (i < 0)
    AddStored(line);
  else
    items_[i].text = std::move(line);
  Changed = true;
}

std::string TChangedStringlist::GetValue(std::string_view name) const {
  int i = IndexOfName(name);
  if (i < 0) return {};
  const std::string& t = items_[i].text;
  return t.substr(t.find('=') + 1);
}

void TChangedStringlist::SetAllText(std::string_view text) {
  items_.clear();
  for (auto& s : SplitLines(text)) items_.push_back({std::move(s), 0});
  Changed = true;
}

std::string TChangedStringlist::GetAllText() const {
  size_t n = 0;
  for (const auto& it : items_) n += it.text.size() + 2;
  std::string r;
  r.reserve(n);
  for (const auto& it : items_) {
    r += it.text;
    r += "\r\n";
  }
  return r;
}

int TChangedStringlist::AddWithObject(const std::string& s, TListObject object) {
  int i = AddStored(s, object);
  Changed = true;
  return i;
}

void TChangedStringlist::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  Item item = std::move(items_[curIndex]);
  items_.erase(items_.begin() + curIndex);
  items_.insert(items_.begin() + newIndex, std::move(item));
  Changed = true;
}

std::vector<std::string> TChangedStringlist::Lines() const {
  std::vector<std::string> r;
  r.reserve(items_.size());
  for (const auto& it : items_) r.push_back(it.text);
  return r;
}

// ---------------------------------------------------------------------------
// Header names and lines

std::string HeaderFieldPrefix(std::string_view name) {
  const std::string_view trimmed = TrimmedView(name);
  if (trimmed.empty())
    throw Exception(
        Translate("FunctionToHeader-HeadernameEmpty", "Übergebener Headername ist leer!"));
  std::string n;
  n.reserve(trimmed.size() + 2);
  n += trimmed;
  if (n.back() != ':') n += ':';
  n += ' ';
  return n;
}

bool SplitHeaderLine(std::string_view line, std::string& name, std::string& value) {
  if (line.empty() || line[0] == ' ') return false;
  size_t p = line.find(':');
  if (p == std::string_view::npos) p = line.find('=');
  if (p == std::string_view::npos || p == 0) return false;
  // Blanks between the name and the separator belong to neither.
  size_t nameEnd = p;
  while (nameEnd > 1 && (line[nameEnd - 1] == ' ' || line[nameEnd - 1] == '\t')) --nameEnd;
  size_t v = p + 1;
  if (v < line.size() && line[v] == ' ') ++v;
  name = std::string(line.substr(0, nameEnd));
  value = std::string(line.substr(v));
  return true;
}

bool IsValidHeaderName(std::string_view name, int& badPosition) {
  badPosition = 0;
  if (name.empty() || HeaderOrderIndexOf(name) >= 0) return true;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = name[i];
    if (c < 33 || c > 128) {
      badPosition = int(i) + 1;
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// THeader

THeader::THeader(const TCharsets* charsets) : Charsets(charsets) {}

int THeader::Add(const std::string& s) {
  return TChangedStringlist::Add(Charsets ? EncodeHeader(*Charsets, s) : s);
}

void THeader::AddRaw(std::string line) {
  AddStored(std::move(line));
  Changed = true;
}

std::string THeader::FieldNameAt(int index) const {
  const std::string& line = Get(index);
  size_t p = line.find(": ");
  return p == std::string::npos ? std::string() : line.substr(0, p);
}

int THeader::IndexOfField(std::string_view name) const {
  // The lines are matched against HeaderFieldPrefix(Name) without building
  // it: the trimmed name, its colon unless it has one, and a blank.
  const std::string_view n = TrimmedView(name);
  if (n.empty()) HeaderFieldPrefix(name);  // raises
  const bool hasColon = n.back() == ':';
  const size_t prefixLength = n.size() + (hasColon ? 1 : 2);
  for (int i = 0, count = GetCount(); i < count; ++i) {
    const std::string& line = Get(i);
    if (line.size() >= prefixLength && line[prefixLength - 1] == ' ' &&
        (hasColon || line[n.size()] == ':') && StartsText(n, line))
      return i;
  }
  return -1;
}

std::string THeader::GetFieldAt(int index, bool raw) const {
  const std::string& line = Get(index);
  size_t colon = line.find(':');
  // Without a colon the line still loses its first character, as the value
  // always starts two characters after the separator.
  size_t start = colon == std::string::npos ? 1 : colon + 2;
  const std::string_view value =
      start < line.size() ? std::string_view(line).substr(start) : std::string_view();
  if (raw || !Charsets) return std::string(value);
  return DecodeHeader(*Charsets, value);
}

std::string THeader::GetField(std::string_view name, bool raw) const {
  int i = IndexOfField(name);
  return i < 0 ? std::string() : GetFieldAt(i, raw);
}

bool THeader::SetField(std::string_view name, std::string_view value) {
  if (value.empty()) {
    int i = IndexOfField(name);
    if (i < 0) return false;
    Delete(i);
    return true;
  }
  std::string line = HeaderFieldPrefix(name) + std::string(value);
  if (Charsets) line = EncodeHeader(*Charsets, line);
  int i = IndexOfField(name);
  if (i < 0) {
    TChangedStringlist::Add(line);
    return true;
  }
  if (Get(i) == line) return false;
  Put(i, line);
  return true;
}

// ---------------------------------------------------------------------------
// Local header names

namespace {

std::vector<std::string>& HeaderOrderStorage() {
  static std::vector<std::string> list;
  return list;
}

bool headerOrderLoaded = false;

void LoadHeaderOrder() {
  auto& list = HeaderOrderStorage();
  LoadTextFile(ShippedFile("lHeader.txt"), list);
  if (!list.empty()) return;
  list = {"!MAIL FROM", "!RCPT TO"};
  // The defaults are in place before the file is written, so a read-only
  // program folder costs only the file.
  const std::string path = SettingsFile("lHeader.txt");
  try {
    ReplaceFileContent(path, JoinLines(list, "\r\n"));
  } catch (const EInOutError& e) {
    throw EInOutError(
        TranslateFmt("FileCreateError", "Datei %s kann nicht erstellt werden", {path}) + " (" +
        e.Message() + ")");
  }
}

}  // namespace

void InitHeaderOrder() {
  // A failure to write the default file is raised once; the defaults stay.
  if (headerOrderLoaded) return;
  headerOrderLoaded = true;
  LoadHeaderOrder();
}

std::vector<std::string>& HeaderOrder() {
  InitHeaderOrder();
  return HeaderOrderStorage();
}

int HeaderOrderIndexOf(std::string_view name) {
  const auto& list = HeaderOrder();
  for (size_t i = 0; i < list.size(); ++i)
    if (SameText(list[i], name)) return int(i);
  return -1;
}
