// The message model: one message file in memory, with protected lines at its
// start and end, the header, and the body split into MIME parts.
//
// Loading keeps the file in one shared buffer; parts refer to stretches of it
// and are split into lines only when they are first asked for. Output rebuilds
// only what changed: an untouched part is written back from its raw text, and
// the boundary lines, preamble and epilogue are written as they stood, so an
// unchanged message comes out byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "uCharsets.h"
#include "uHeader.h"
#include "uMIMEInfo.h"

class TArtikel;
class TMIMEParts;

// A line reader over one text; lines end at CR LF, LF or CR.
class TFastLineRead {
public:
  explicit TFastLineRead(std::string_view text);

  // The text still to be read from; PopLastLine shortens it.
  std::string_view Text;
  // Nothing but at most one line end is left after Position.
  bool Eof;
  // Characters consumed before the current line.
  size_t Position = 0;
  // 1-based position of the current line's end (Length + 1 when it has none).
  size_t LineEnd = 0;
  // The current line ended with a bare LF.
  bool LFOnly = false;

  // The current line without its line end; does not move.
  std::string_view PeekLine();
  // Moves past the line PeekLine found.
  void SkipLine();
  // Takes the last line off the end of the text (its final line end is not an
  // extra empty line). Nothing is taken from a text with only one line, nor
  // from what was already read; then the result is empty and Popped false.
  std::string_view PopLastLine(bool* popped = nullptr);
  // The text after Position.
  std::string_view GetRest() const;

private:
  void UpdateEof();
};

// A body or signature list. Lines are stored in the part's charset; the script
// reads and writes them in the internal charset through the Internal calls.
class TCharsetStringlist : public TChangedStringlist {
public:
  explicit TCharsetStringlist(const TCharsets* charsets);

  // The charset the stored lines are in; empty: stored as given.
  std::string Charset;
  const TCharsets* Charsets;
  // Called with Kind 1 when storing a text loses characters; returns true
  // (retry) when it chose another charset for the part.
  std::function<bool(int kind, std::string_view text, std::string_view charset)> OnCharsetLost;

  // Both take internal-charset text.
  int Add(const std::string& s) override;
  void Insert(int index, const std::string& s) override;
  // Stores S as it stands.
  void AddRaw(std::string s);

  // Re-stores the lines in Name (nothing when it is the current charset).
  void SetCharset(std::string_view name);
  // Replaces line Index only when the converted text differs.
  void SetInternalLine(int index, std::string_view s);
  std::string GetInternalLine(int index) const;
  // The same into Line, whose room is used again.
  void GetInternalLine(int index, std::string& line) const;
  void SetInternalText(std::string_view text);
  // Every line followed by CR LF, in the internal charset.
  std::string GetInternalText() const;
  // Every line followed by CR LF, in the stored charset.
  std::string GetRawText() const { return GetAllText(); }

private:
  // The index of Charset, looked up again only when Charset changed.
  int CharsetIndex() const;
  // Whether Internal is stored unconverted.
  bool StoredAsItIs(std::string_view internal) const;
  std::string ToStored(std::string_view internal);
  void ToInternal(std::string_view stored, std::string& result) const;

  mutable std::string resolvedCharset_;
  mutable int resolvedIndex_ = -1;
};

class TBody : public TCharsetStringlist {
public:
  using TCharsetStringlist::TCharsetStringlist;
};

class TSig : public TCharsetStringlist {
public:
  using TCharsetStringlist::TCharsetStringlist;
};

// A text made of pieces: stretches of the loaded text (views that must stay
// valid while the pieces are used) and texts built on the way (owned).
// Saving writes the pieces one after the other, so unchanged parts of a large
// message are never copied.
class TTextPieces {
public:
  void Append(std::string_view view) {
    if (!view.empty()) pieces_.push_back(view);
  }
  void AppendOwned(std::string text);
  // A place whose text is filled in later.
  size_t AddSlot();
  void FillSlot(size_t slot, std::string text);
  size_t Count() const { return pieces_.size(); }
  size_t Size(size_t from = 0) const;
  // Line ends (CR LF, LF or a lone CR) in the pieces from From on.
  int CountLineEnds(size_t from = 0) const;
  // The pieces from From on as one text, and without them.
  std::string Join(size_t from = 0) const;
  void Truncate(size_t count);
  // Removes the line end that ends the text, if any.
  void RemoveFinalLineEnd();
  template <class F>
  void ForEach(F&& f) const {
    for (std::string_view piece : pieces_)
      if (!piece.empty()) f(piece);
  }

private:
  std::vector<std::string_view> pieces_;
  std::vector<std::unique_ptr<std::string>> owned_;
};

// The text of a message: a string, or the bytes of a file read straight into
// a buffer of their size, which is never cleared first (a pass over a large
// message saved).
class TTextBuffer {
public:
  explicit TTextBuffer(std::string text = {}) : text_(std::move(text)), view_(text_) {}
  TTextBuffer(std::unique_ptr<char[]> bytes, size_t size)
      : bytes_(std::move(bytes)), view_(bytes_.get(), size) {}
  TTextBuffer(const TTextBuffer&) = delete;
  TTextBuffer& operator=(const TTextBuffer&) = delete;
  std::string_view View() const { return view_; }

private:
  std::string text_;
  std::unique_ptr<char[]> bytes_;
  std::string_view view_;
};

// A stretch of a shared text buffer.
struct TTextSpan {
  std::shared_ptr<const TTextBuffer> buffer;
  size_t offset = 0, length = 0;
  std::string_view View() const {
    return buffer ? buffer->View().substr(offset, length) : std::string_view();
  }
};

// One MIME part: its header and body as raw text, parsed on first use.
class TMIMEPart {
public:
  // Text is the part as it stands between its boundary lines (the whole body
  // of a single-part message); Delimiter is the boundary line before it with
  // its line ends, as it stood in the file.
  TMIMEPart(TMIMEParts* parts, TTextSpan text, std::string delimiter = {});
  TMIMEPart(TMIMEParts* parts, std::string_view text);
  ~TMIMEPart();
  TMIMEPart(const TMIMEPart&) = delete;
  TMIMEPart& operator=(const TMIMEPart&) = delete;

  TMIMEParts* Parts;
  // A signature delimiter was seen by the body parse; cleared when Sig is fetched.
  bool SigFound = false;
  TMIMEInfo MIMEInfo;
  bool HeaderParsed = false;
  bool BodyParsed = false;
  std::string Delimiter;

  std::string_view HeaderText() const;
  // The body still in its transfer encoding.
  std::string_view BodyText() const;

  // The lists, each parsed on first use.
  THeader& Header();
  TBody& Body();
  TSig& Sig();
  // SigFound or Sig has lines (the body is parsed first when it was not).
  bool HasSignature();

  TMIMEInfo GetMIMEInfo();
  void UpdateMIMEInfo();

  // Lists that script commands keep with the part, by lower-cased name; owned.
  TChangedStringlist* GetNamedList(std::string_view name) const;
  void SetNamedList(std::string_view name, std::unique_ptr<TChangedStringlist> list);
  void DeleteNamedList(std::string_view name);

  // The part as it is written inside the message.
  std::string GetText();
  void AppendText(TTextPieces& out);

  // Writes Name into the part's Content-Type (the message's for a single
  // part) and re-stores body and signature in it.
  void SetCharset(std::string_view name);
  // The first allowed body charset that holds body and signature (text parts).
  void SetBestCharset();
  // Encoding as in TMIMEInfo: 1 7bit, 2 8bit, 3 quoted-printable, 4 base64.
  void SetTransferEncoding(uint8_t encoding);
  // The OnCharsetLost handler of Body and Sig.
  bool CharsetLost(int kind, std::string_view text, std::string_view charset);

  // By the part's transfer encoding; no charset conversion.
  std::string EncodeText(std::string text);
  std::string DecodeText(std::string_view text);
  std::string GetDecodedBody();

private:
  bool OwnHeader() const { return ownHeader_; }
  void SplitText();
  void ParseHeader();
  void ParseBody();
  void MoveSecondSignature();
  THeader& TargetHeader();
  void AttachHandlers(bool on);

  TTextSpan text_;
  bool ownHeader_;
  // Offsets into text_: header, the empty line after it, body.
  size_t headerLen_ = 0, sepLen_ = 0;
  // Whether the decoded body ended with a line end when it was parsed.
  bool bodyEndsWithLineEnd_ = false;
  THeader header_;
  TBody body_;
  TSig sig_;
  std::vector<std::pair<std::string, std::unique_ptr<TChangedStringlist>>> namedLists_;
};

// The parts of a message body, split at the boundary.
class TMIMEParts {
public:
  explicit TMIMEParts(TArtikel* article);
  ~TMIMEParts();
  TMIMEParts(const TMIMEParts&) = delete;
  TMIMEParts& operator=(const TMIMEParts&) = delete;

  TArtikel* Article;
  // The text before the first boundary line.
  std::string Preamble;
  // The message's MIME facts; its multipart flag decides how the body is split.
  TMIMEInfo MIMEInfo;
  // The closing boundary line with its line ends as it stood, and what followed it.
  std::string CloseDelimiter;
  TTextSpan Epilogue;

  // 0-based; nothing when out of range.
  TMIMEPart* Items(int i) const;
  int Count() const { return int(parts_.size()); }
  void Parse(TTextSpan text);
  void Parse(std::string_view text);
  void Delete(int i);
  void Clear();
  // Whether the body was split at boundary lines.
  bool IsSplit() const { return split_; }

  // The body text; LineCount is the number of line ends in it.
  std::string GetText(int& lineCount);
  void AppendText(TTextPieces& out);

private:
  std::vector<std::unique_ptr<TMIMEPart>> parts_;
  bool split_ = false;
};

// The number of line ends (CR LF, LF or a lone CR) in Text.
int CountLineEnds(std::string_view text);

// One message file.
class TArtikel {
public:
  // SourceCharset is the internal charset; the others are comma lists of the
  // charsets allowed for bodies and headers.
  TArtikel(std::string_view sourceCharset, std::string_view bodyCharsets,
           std::string_view headerCharsets);
  ~TArtikel();
  TArtikel(const TArtikel&) = delete;
  TArtikel& operator=(const TArtikel&) = delete;

  TCharsets HeaderCharsets;
  TCharsets BodyCharsets;
  // Put in front of the parts' text on output.
  TChangedStringlist BodyPrefix;
  // The protected lines at the start and the end of the file.
  TChangedStringlist SafeReg1Lines, SafeReg2Lines;
  THeader Header;
  TMIMEParts Parts;

  // Copied from the line reader: the empty line after the header ended with a bare LF.
  bool LineEndsLFOnly = false;
  int32_t SafeReg1 = 0, SafeReg2 = 0;
  // A second signature delimiter line; empty: none.
  std::string SigDelimiter;
  // 0 save changes, 1 cancel changes, 2 delete, 3 sign headers.
  uint8_t LastAction = 0;
  // Write a Lines header on output.
  bool SetLines = false;

  // The text handed to the parser, and the file content as loaded.
  std::string_view Text() const;
  std::string_view LoadedText() const;

  // Reads the whole file (a last line without a line end gets one, CR LF or
  // the bare LF of an LF-only file, which stays part of the text) and parses
  // it. On failure the article keeps its previous state.
  void LoadFromFile(const std::string& fileName);
  void LoadFromString(std::string text);
  void Parse();

  // 1-based number of the part the script works on.
  int CurrentPartNumber() const { return currentPart_; }
  // Ignored unless 1 <= N <= Parts.Count().
  void SetCurrentPart(int n);
  TMIMEPart* CurrentPart() const { return Parts.Items(currentPart_ - 1); }

  // The message text; GetFinalText signs when LastAction is 3.
  std::string GetText();
  std::string GetFinalText();
  // The final text in pieces, for writing without a copy of the unchanged
  // parts; valid until the article changes or is loaded again.
  void GetFinalPieces(TTextPieces& out);

private:
  void BuildPieces(TTextPieces& out, bool sign);

  std::shared_ptr<const TTextBuffer> text_, loadedText_;
  uint16_t currentPart_ = 1;
  // An empty line ended the header.
  bool headerSeparated_ = false;
};

// Signs the listed header fields and BodyText with the external PGP program of
// Specials.ini and adds the "X-PGP-Sig" field. Any failure leaves the message
// unsigned.
void SignWithPGP(TArtikel& article, std::string_view bodyText);
