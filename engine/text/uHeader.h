// Header lines of a message or a MIME part, and the string list that records
// whether it was changed.
//
// Every list the message model hands to the script is a TChangedStringlist:
// the output step writes a part back from its raw text as long as none of its
// lists changed, so every change must pass through the virtual primitives
// below. Indexes are 0-based line numbers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "SysUtils.h"

class TCharsets;

// A list index out of range.
class EStringListError : public Exception {
public:
  using Exception::Exception;
};

// A string list that knows whether it was changed. Lines may carry an object
// (a number or a pointer the caller casts); objects are never owned.
class TChangedStringlist {
public:
  using TListObject = std::intptr_t;

  TChangedStringlist() = default;
  virtual ~TChangedStringlist() = default;
  TChangedStringlist(const TChangedStringlist&) = delete;
  TChangedStringlist& operator=(const TChangedStringlist&) = delete;

  // Set by every changing operation; only the message parser sets it back.
  bool Changed = false;

  // The primitives. Each changing one sets Changed, except where noted.
  virtual void Assign(const TChangedStringlist& source);
  virtual void Assign(const std::vector<std::string>& lines);
  virtual const std::string& Get(int index) const;
  virtual int GetCount() const;
  virtual TListObject GetObject(int index) const;
  // Writes (and sets Changed) only when S differs from the stored line.
  virtual void Put(int index, const std::string& s);
  // Does not set Changed.
  virtual void PutObject(int index, TListObject object);
  virtual int Add(const std::string& s);
  // An empty source changes nothing.
  virtual void AddStrings(const std::vector<std::string>& lines);
  // An empty list stays unchanged.
  virtual void Clear();
  virtual void Delete(int index);
  virtual void Exchange(int index1, int index2);
  // Case-insensitive (ASCII), -1 when absent.
  virtual int IndexOf(std::string_view s) const;
  virtual void Insert(int index, const std::string& s);
  // Name=value lines: an empty value deletes the line, a new name is appended.
  virtual void SetValue(std::string_view name, std::string_view value);
  virtual std::string GetValue(std::string_view name) const;
  // Replaces every line by the lines of Text (CR LF, LF or CR separated).
  virtual void SetAllText(std::string_view text);
  // Every line followed by CR LF.
  virtual std::string GetAllText() const;
  virtual int AddWithObject(const std::string& s, TListObject object);

  // Conveniences over the primitives.
  int Count() const { return GetCount(); }
  const std::string& operator[](int index) const { return Get(index); }
  void AddStrings(const TChangedStringlist& source);
  // First line "Name=..." (name compared case-insensitively), -1 when none.
  int IndexOfName(std::string_view name) const;
  // Moves a line with its object; sets Changed when it moved.
  void Move(int curIndex, int newIndex);
  // The lines as they are stored.
  std::vector<std::string> Lines() const;
  // Room for Count lines in all, so that a list filled line by line is not moved.
  void Reserve(int count) { items_.reserve(size_t(std::max(count, 0))); }

protected:
  // The stored lines, for derived lists that bypass their own overrides.
  int AddStored(std::string s, TListObject object = 0);
  void InsertStored(int index, const std::string& s);
  void CheckIndex(int index) const;

private:
  struct Item {
    std::string text;
    TListObject object = 0;
  };
  std::vector<Item> items_;
};

// "Name: " for a header name ("Subject" and "Subject:" both give "Subject: ").
// An empty (or blank) name raises Exception.
std::string HeaderFieldPrefix(std::string_view name);

// Splits "Name: value" (or "Name=value"); blanks before the separator go,
// exactly one blank after it is dropped. False for an empty line, a
// continuation line and a line without a name.
bool SplitHeaderLine(std::string_view line, std::string& name, std::string& value);

// Header names hold the bytes 33..128 only, unless they are local names of
// HeaderOrder. BadPosition is the 1-based position of the first bad byte.
bool IsValidHeaderName(std::string_view name, int& badPosition);

// The header lines "Name: value" of a message or part, folds kept inside the
// line. Values are stored encoded (RFC 2047) and decoded when read.
class THeader : public TChangedStringlist {
public:
  // Charsets encodes and decodes values; not owned. Without one, lines are
  // stored and read as they are.
  explicit THeader(const TCharsets* charsets);

  const TCharsets* Charsets;

  // Stores the line with its 8-bit text encoded.
  int Add(const std::string& s) override;
  // Stores the line as it stands.
  void AddRaw(std::string line);

  // The text of line Index before its first ": " (empty when it has none).
  std::string FieldNameAt(int index) const;
  // First line beginning with HeaderFieldPrefix(Name), ASCII case-insensitive.
  int IndexOfField(std::string_view name) const;
  bool HasField(std::string_view name) const { return IndexOfField(name) >= 0; }
  // The value of line Index (the text after its first ":" and one more
  // character), decoded unless Raw.
  std::string GetFieldAt(int index, bool raw) const;
  // The value of the first field Name; empty when absent.
  std::string GetField(std::string_view name, bool raw) const;
  // Sets the first field Name (kept in place) or appends it; an empty value
  // deletes the first field. True when the header changed.
  bool SetField(std::string_view name, std::string_view value);
};

// Local header names that are valid although they break the character rule,
// read from lHeader.txt ("!MAIL FROM" and "!RCPT TO" by default). The header
// sorting uses its order.
std::vector<std::string>& HeaderOrder();
// Reads lHeader.txt from the program directory, writing the default file when
// it is missing or empty. Runs once; HeaderOrder() runs it on first use.
void InitHeaderOrder();
// Position of Name in HeaderOrder (case-insensitive), -1 when absent.
int HeaderOrderIndexOf(std::string_view name);
