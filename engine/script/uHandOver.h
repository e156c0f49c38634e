// The files through which the runner hands the script's error and debug display
// and its input box to the configuration program, which answers in the same file.
// Both programs use these readers and writers; the runner also drives the
// exchange (file, child process, answer, clean-up).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Prompter.h"

// A line break of any kind inside a value travels as two NUL bytes; the reader
// turns every NUL pair back into CR LF. A NUL of the value itself becomes a
// blank, since the format has no escape for it and offsets must stay put.
std::string EncodeHandoverValue(std::string_view value);
std::string DecodeHandoverValue(std::string_view line);

// Writes a hand-over text: lines ended by CR LF.
class THandOverWriter {
public:
  void WriteHandoverLine(std::string_view s);  // a string line
  void WriteInteger(long long n);
  void WriteList(const std::vector<std::string>& list);  // count, then the entries
  const std::string& Text() const { return text_; }

private:
  std::string text_;
};

// Reads a hand-over text line by line; a line ends at CR LF, LF or CR. Reading
// past the end or a line that is no number raises EInOutError.
class THandOverReader {
public:
  explicit THandOverReader(std::string text) : text_(std::move(text)) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  std::string ReadHandoverLine();
  // The number at the start of the line; the rest of the line is ignored.
  int ReadInteger();
  std::vector<std::string> ReadList();

private:
  std::string_view RawLine();
  std::string text_;
  size_t pos_ = 0;
};

// The #ShowError# request, fields in file order.
std::string FormatShowErrorRequest(const TErrorDisplay& display);
// The configuration program reads the request in two steps, since a failure
// in the head and one in the lists are answered differently.
void ReadShowErrorHead(THandOverReader& reader, TErrorDisplay& display);   // fields 1-5
void ReadShowErrorLists(THandOverReader& reader, TErrorDisplay& display);  // fields 6-11

// The answer: ContinueLine and State as two integer lines.
std::string FormatShowErrorAnswer(int continueLine, int state);
// False when the text holds no two readable numbers.
bool ParseShowErrorAnswer(std::string_view text, int& continueLine, int& state);

// The #InputBox# file: section "InputBox" with "Title", "Prompt", "Default".
struct TInputBoxRequest {
  std::string title, prompt, preset;
};
void WriteInputBoxRequest(const std::string& path, const TInputBoxRequest& request);
// Each value empty when missing.
TInputBoxRequest ReadInputBoxRequest(const std::string& path);
// The configuration program's answer: the text replaces "Default".
void WriteInputBoxAnswer(const std::string& path, std::string_view answer);

// The whole hand-over file; EInOutError when it cannot be opened or read.
std::string ReadHandOverFile(const std::string& path);
// Rewrites an existing hand-over file from its start with Text; the file is
// never created (a vanished request gets no answer). EInOutError on failure.
void RewriteHandOverFile(const std::string& path, const std::string& text);

// The configuration program beside the runner.
std::string HandOverProgram();

// The runner's side: writes the request into a new file in the program
// directory, starts the configuration program with the marker and the file,
// waits without a time limit, reads the answer and deletes the file on every
// path. The error display returns the choice (ErrorChoice::...) and moves
// Display.continueLine to the answer's; without a configuration program or an
// answer the error goes to stderr and the choice is End. A file that vanished
// meanwhile raises EInOutError.
int HandOverErrorDisplay(TErrorDisplay& display);
// Returns the answer, the preset when the configuration program could not be
// started or ended without answering (the box then goes to stderr as without
// a display), and the empty text when the file vanished.
std::string HandOverInputBox(const TInputBoxRequest& request);
