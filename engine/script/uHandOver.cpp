#include "uHandOver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "IniFile.h"
#include "Process.h"
#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "TidelarnVersion.h"
#include "TempFile.h"
#include "uTransla.h"

namespace {

const char kSection[] = "InputBox";

std::string ReadText(const std::string& path) {
  std::string text;
  if (int err = ReadWholeFile(path, text)) throw EInOutError(ReadErrorText(path, err));
  return text;
}

// Replaced whole, so the other side never reads half an answer. Not synced:
// the file lives only as long as the exchange.
void WriteWholeFile(const std::string& path, const std::string& text) {
  TReplaceOptions options;
  options.durable = false;
  TReplacementFile file(path, options);
  file.Write(text);
  file.Commit();
}

// Removes the hand-over file however the exchange ends.
class TRemoveOnExit {
public:
  explicit TRemoveOnExit(std::string path) : path_(std::move(path)) {}
  ~TRemoveOnExit() { unlink(path_.c_str()); }
  TRemoveOnExit(const TRemoveOnExit&) = delete;
  TRemoveOnExit& operator=(const TRemoveOnExit&) = delete;

private:
  std::string path_;
};

// The number at the start of a line: optional blanks, an optional "-", digits.
bool LeadingInteger(std::string_view line, int& value) {
  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  size_t start = i;
  if (i < line.size() && (line[i] == '-' || line[i] == '+')) ++i;
  size_t digits = i;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
  if (i == digits) return false;
  return TryStrToInt(line.substr(start, i - start), value);
}

// INI values lose their outer blanks and one pair of quotes; quoting a value
// that would lose something keeps it whole for any reader of the format.
std::string IniValue(std::string_view value) {
  std::string v = EncodeHandoverValue(value);
  if (v.empty()) return v;
  auto fragile = [](char c) { return (unsigned char)c <= ' ' || c == '"' || c == '\''; };
  if (fragile(v.front()) || fragile(v.back())) return '"' + v + '"';
  return v;
}

// Starts the configuration program on the file; false when it could not start.
// ExitCode: how it ended (0 after it answered).
bool RunConfigurationProgram(const char* marker, const std::string& file, int& exitCode) {
  exitCode = -1;
  std::string program = HandOverProgram();
  if (!FileExists(program)) return false;
  SpawnOptions options;
  options.workDir = ProgramDir();
  return SpawnAndWait(program, {marker, file}, exitCode, options);
}

}  // namespace

// ---------------------------------------------------------------------------

std::string EncodeHandoverValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\r') {
      if (i + 1 < value.size() && value[i + 1] == '\n') ++i;
      out.append(2, '\0');
    } else if (c == '\n') {
      out.append(2, '\0');
    } else {
      out += c == '\0' ? ' ' : c;
    }
  }
  return out;
}

std::string DecodeHandoverValue(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\0' && i + 1 < line.size() && line[i + 1] == '\0') {
      out += "\r\n";
      ++i;
    } else {
      out += line[i];
    }
  }
  return out;
}

void THandOverWriter::WriteHandoverLine(std::string_view s) {
  text_ += EncodeHandoverValue(s);
  text_ += "\r\n";
}

void THandOverWriter::WriteInteger(long long n) {
  text_ += IntToStr(n);
  text_ += "\r\n";
}

void THandOverWriter::WriteList(const std::vector<std::string>& list) {
  WriteInteger((long long)list.size());
  for (const auto& s : list) WriteHandoverLine(s);
}

std::string_view THandOverReader::RawLine() {
  if (AtEnd()) throw EInOutError(FromUtf8("Unerwartetes Dateiende in der Übergabedatei"));
  std::string_view rest = std::string_view(text_).substr(pos_);
  size_t end = rest.find_first_of("\r\n");
  if (end == std::string_view::npos) {
    pos_ = text_.size();
    return rest;
  }
  pos_ += end + 1;
  if (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') ++pos_;
  return rest.substr(0, end);
}

std::string THandOverReader::ReadHandoverLine() { return DecodeHandoverValue(RawLine()); }

int THandOverReader::ReadInteger() {
  std::string_view line = RawLine();
  int value;
  if (!LeadingInteger(line, value))
    throw EInOutError(FromUtf8("Ungültige numerische Eingabe in der Übergabedatei: ") +
                      std::string(line.substr(0, 80)));
  return value;
}

std::vector<std::string> THandOverReader::ReadList() {
  int count = ReadInteger();
  std::vector<std::string> list;
  // The count comes from outside: entries are read one by one, never reserved.
  for (int i = 0; i < count; ++i) list.push_back(ReadHandoverLine());
  return list;
}

// ---------------------------------------------------------------------------

std::string FormatShowErrorRequest(const TErrorDisplay& d) {
  THandOverWriter w;
  w.WriteHandoverLine(d.fileName);
  w.WriteHandoverLine(d.scriptName);
  w.WriteInteger(d.lineNo);
  w.WriteHandoverLine(d.lineText);
  w.WriteHandoverLine(d.errorMsg);
  w.WriteInteger(d.caretPos);
  w.WriteInteger(d.continueLine);
  w.WriteList(d.scriptLines);
  w.WriteList(d.infoLines);
  w.WriteList(d.fileLines);
  w.WriteList(d.textLines);
  return w.Text();
}

void ReadShowErrorHead(THandOverReader& r, TErrorDisplay& d) {
  d.fileName = r.ReadHandoverLine();
  d.scriptName = r.ReadHandoverLine();
  d.lineNo = r.ReadInteger();
  d.lineText = r.ReadHandoverLine();
  d.errorMsg = r.ReadHandoverLine();
}

void ReadShowErrorLists(THandOverReader& r, TErrorDisplay& d) {
  d.caretPos = r.ReadInteger();
  d.continueLine = r.ReadInteger();
  d.scriptLines = r.ReadList();
  d.infoLines = r.ReadList();
  d.fileLines = r.ReadList();
  d.textLines = r.ReadList();
}

std::string FormatShowErrorAnswer(int continueLine, int state) {
  THandOverWriter w;
  w.WriteInteger(continueLine);
  w.WriteInteger(state);
  return w.Text();
}

bool ParseShowErrorAnswer(std::string_view text, int& continueLine, int& state) {
  THandOverReader r{std::string(text)};
  try {
    continueLine = r.ReadInteger();
    state = r.ReadInteger();
    return true;
  } catch (const EInOutError&) {
    return false;
  }
}

// ---------------------------------------------------------------------------

void WriteInputBoxRequest(const std::string& path, const TInputBoxRequest& request) {
  TIniFile ini(path);
  ini.WritesAlone();
  ini.WriteString(kSection, "Title", IniValue(request.title));
  ini.WriteString(kSection, "Prompt", IniValue(request.prompt));
  ini.WriteString(kSection, "Default", IniValue(request.preset));
  ini.UpdateFile();
}

TInputBoxRequest ReadInputBoxRequest(const std::string& path) {
  TIniFile ini(path);
  return {DecodeHandoverValue(ini.ReadString(kSection, "Title", "")),
          DecodeHandoverValue(ini.ReadString(kSection, "Prompt", "")),
          DecodeHandoverValue(ini.ReadString(kSection, "Default", ""))};
}

void WriteInputBoxAnswer(const std::string& path, std::string_view answer) {
  TIniFile ini(path);
  // The runner that made the file waits for this answer and writes nothing meanwhile.
  ini.WritesAlone();
  ini.WriteString(kSection, "Default", IniValue(answer));
  ini.UpdateFile();
}

// ---------------------------------------------------------------------------

std::string ReadHandOverFile(const std::string& path) { return ReadText(path); }

void RewriteHandOverFile(const std::string& path, const std::string& text) {
  WriteWholeFile(path, text);
}

// ---------------------------------------------------------------------------

std::string HandOverProgram() { return ProgramDir() + "Tidelarn"; }

int HandOverErrorDisplay(TErrorDisplay& display) {
  std::string file = CreateUniqueFile();
  TRemoveOnExit remove(file);
  std::string request = FormatShowErrorRequest(display);
  WriteWholeFile(file, request);
  int exitCode = 0;
  if (!RunConfigurationProgram("#ShowError#", file, exitCode)) return ShowErrorOnStderr(display);

  std::string answer = ReadText(file);
  // An untouched file means the configuration program ended without answering.
  if (answer == request) return ShowErrorOnStderr(display);
  int state = 0;
  bool answered = ParseShowErrorAnswer(answer, display.continueLine, state);
  if (!answered) return ShowErrorOnStderr(display);
  return state >= ErrorChoice::Retry && state <= ErrorChoice::End ? state : ErrorChoice::End;
}

std::string HandOverInputBox(const TInputBoxRequest& request) {
  TInputBoxRequest r = request;
  if (r.title.empty()) r.title = "Tidelarn V" TIDELARN_RUNNER_VERSION;
  if (r.prompt.empty()) r.prompt = Translate("Input.Message", "Bitte eingeben:");

  std::string file = CreateUniqueFile();
  TRemoveOnExit remove(file);
  WriteInputBoxRequest(file, r);
  // The configuration program answers and ends with 0, also when it answered
  // without a display. Any other end (it could not start, its display went, a
  // signal) is no answer: the box is said here, and the preset taken.
  int exitCode = 0;
  if (!RunConfigurationProgram("#InputBox#", file, exitCode) || exitCode != 0) {
    THeadlessPrompter headless;
    std::string value = r.preset;
    headless.InputBox(r.title, r.prompt, value);
    return r.preset;
  }
  return ReadInputBoxRequest(file).preset;
}
