// INI files come from users and other programs: any bytes must parse, and the
// indexed lookups must find what a plain scan of the lines finds.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "IniFile.h"
#include "SysUtils.h"

namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (unsigned char)s.front() <= ' ') s.remove_prefix(1);
  while (!s.empty() && (unsigned char)s.back() <= ' ') s.remove_suffix(1);
  return s;
}

std::optional<std::string> SectionName(std::string_view line) {
  std::string_view t = Trimmed(line);
  size_t close = t.find(']');
  if (t.size() < 2 || t.front() != '[' || close == std::string_view::npos) return std::nullopt;
  return std::string(Trimmed(t.substr(1, close - 1)));
}

// The value of Key in the first section named Section, by a walk over the lines.
std::optional<std::string> ScanValue(const std::vector<std::string>& lines,
                                     std::string_view section, std::string_view key) {
  size_t i = 0;
  for (;; ++i) {
    if (i == lines.size()) return std::nullopt;
    auto name = SectionName(lines[i]);
    if (name && SameText(*name, section)) break;
  }
  std::string k, v;
  for (++i; i < lines.size() && !SectionName(lines[i]); ++i)
    if (TIniFile::ParseKeyLine(lines[i], k, v) && SameText(k, key)) return v;
  return std::nullopt;
}

// A write by a walk over the lines: the key in the first section of the name,
// else a new line after that section's last key, else a new section at the end.
void ScanWrite(std::vector<std::string>& lines, std::string_view section, std::string_view key,
               std::string_view value) {
  value = value.substr(0, value.find_first_of("\r\n"));
  size_t head = 0;
  while (head < lines.size() && !(SectionName(lines[head]) && SameText(*SectionName(lines[head]), section)))
    ++head;
  if (head == lines.size()) {
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(std::string(key) + "=" + std::string(value));
    return;
  }
  size_t after = head + 1;
  std::string k, v;
  for (size_t i = head + 1; i < lines.size() && !SectionName(lines[i]); ++i) {
    if (!TIniFile::ParseKeyLine(lines[i], k, v)) continue;
    if (SameText(k, key)) {
      lines[i] = k + "=" + std::string(value);
      return;
    }
    after = i + 1;
  }
  lines.insert(lines.begin() + after, std::string(key) + "=" + std::string(value));
}

// Section and key names the lines hold, also in other spellings, against the
// index (a few dozen: the scan is slow).
void Compare(const TIniFile& ini, const std::string& text) {
  std::vector<std::string> lines = SplitLines(text), sections, keys;
  std::string k, v;
  for (const auto& line : lines) {
    if (auto name = SectionName(line)) sections.push_back(*name);
    else if (TIniFile::ParseKeyLine(line, k, v)) keys.push_back(k);
  }
  sections.resize(std::min<size_t>(sections.size(), 12));
  keys.resize(std::min<size_t>(keys.size(), 24));
  sections.push_back("Fuzz");
  for (size_t n = sections.size(), i = 0; i < n; ++i) sections.push_back(UpperCase(sections[i]));
  for (size_t n = keys.size(), i = 0; i < n; ++i) keys.push_back(LowerCase(keys[i]));
  for (const auto& s : sections) {
    for (const auto& key : keys) {
      auto want = ScanValue(lines, s, key);
      if (ini.ValueExists(s, key) != want.has_value()) std::abort();
      if (ini.ReadString(s, key, "\x01") != (want ? *want : "\x01")) std::abort();
      std::string got = "\x01";
      if (ini.ReadIfExists(s, key, got) != want.has_value() || got != (want ? *want : "\x01"))
        std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // In memory: the disk round trip is the unit tests' business, and it would
  // cost most of the time of every input.
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    TIniFile ini(TIniText{text});
    Compare(ini, text);
    for (const auto& s : ini.ReadSections())
      for (const auto& kv : ini.ReadSectionValues(s)) ini.ReadString(s, kv.first, "");
    // Every write also made by a walk over the lines: the indexed writes must
    // put each line where the walk does.
    std::vector<std::string> model = SplitLines(text);
    auto write = [&](const std::string& section, const std::string& key, std::string_view value) {
      ini.WriteString(section, key, value);
      ScanWrite(model, section, key, value);
    };
    write("Fuzz", "Key", text);
    // New and existing keys in the sections there are: lines inserted in the
    // middle move every later one.
    std::vector<std::string> sections = ini.ReadSections();
    for (size_t i = 0; i < sections.size() && i < 3; ++i) {
      write(sections[i], "FuzzNew", "n");
      for (const auto& kv : ini.ReadSectionValues(sections[i])) write(sections[i], kv.first, "w");
    }
    size_t lf = text.find('\n');
    const char* eol = lf != std::string::npos && (lf == 0 || text[lf - 1] != '\r') ? "\n" : "\r\n";
    if (ini.Text() != JoinLines(model, eol)) std::abort();
    Compare(ini, ini.Text());
    ini.EraseSection("Other");
    ini.UpdateFile();
    const std::string written = ini.Text();
    Compare(ini, written);
    // The index kept up to date by the writes must agree with a fresh parse.
    TIniFile fresh(TIniText{written});
    Compare(fresh, written);
  } catch (const Exception&) {
  }
  return 0;
}
