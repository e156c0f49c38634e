#include "uArtikel.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "ProgramDir.h"
#include "SafeFile.h"
#include "uEinstellungen.h"
#include "uHeaderCoding.h"
#include "uTools.h"
#include "uTransla.h"

namespace {

constexpr std::string_view kCRLF = "\r\n";

// Length of the line end starting at I (CR LF, CR or LF), 0 when none starts there.
size_t LineEndAt(std::string_view t, size_t i) {
  if (i >= t.size()) return 0;
  if (t[i] == '\r') return i + 1 < t.size() && t[i + 1] == '\n' ? 2 : 1;
  return t[i] == '\n' ? 1 : 0;
}

// Length of the line end that ends T, 0 when it ends without one.
size_t FinalLineEnd(std::string_view t) {
  if (t.empty()) return 0;
  if (t.back() == '\n') return t.size() >= 2 && t[t.size() - 2] == '\r' ? 2 : 1;
  return t.back() == '\r' ? 1 : 0;
}

bool EndsWithLineEnd(std::string_view t) { return FinalLineEnd(t) > 0; }

// Whether the conversion of Text between two table charsets gives it back as
// it is: every byte maps to itself without loss. Lines of a part whose charset
// agrees with the internal one in the bytes they use are so read without a
// conversion; any other line is converted as ever.
bool ConvertsToItself(const TCSInfos& infos, std::string_view text, int from, int to) {
  const TCSInfo* src = infos.Items(from);
  const TCSInfo* dst = infos.Items(to);
  if (!src || !dst) return false;
  if (src->UnicodeKind != TCSInfo::ukTable || dst->UnicodeKind != TCSInfo::ukTable) return false;
  const TCSInfos::PairTable* pair = nullptr;
  size_t i = AsciiPrefixLength(text);
  while (i < text.size()) {
    // A NUL or an 8-bit byte.
    const unsigned char b = text[i++];
    if (!pair) pair = &infos.Pair(from, to);
    if (pair->map[b] != b || pair->lost[b]) return false;
    i += AsciiPrefixLength(text.substr(i));
  }
  return true;
}

// Index of the first CR or LF at or after From, the size of T when none.
size_t FindLineEnd(std::string_view t, size_t from) {
  // memchr for each of the two bytes, in windows: a text of bare LFs (or bare
  // CRs) must not make every line search the rest of the text for the other.
  constexpr size_t kWindow = 256;
  const char* const base = t.data();
#ifdef __SSE2__
  // Lines are short: a scan for both bytes at once beats two memchr calls.
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  for (; from + 16 <= t.size(); from += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + from));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
    if (mask != 0) return from + size_t(__builtin_ctz(unsigned(mask)));
  }
#endif
  while (from < t.size()) {
    const size_t n = std::min(kWindow, t.size() - from);
    const void* lf = std::memchr(base + from, '\n', n);
    const size_t m = lf ? size_t(static_cast<const char*>(lf) - (base + from)) : n;
    if (const void* cr = std::memchr(base + from, '\r', m))
      return size_t(static_cast<const char*>(cr) - base);
    if (lf) return from + m;
    from += n;
  }
  return t.size();
}

// The size of the lines, each with its CR LF.
size_t LinesSize(const TChangedStringlist& list) {
  size_t size = 0;
  for (int i = 0, n = list.Count(); i < n; ++i) size += list.Get(i).size() + kCRLF.size();
  return size;
}

void AppendLines(std::string& out, const TChangedStringlist& list) {
  out.reserve(out.size() + LinesSize(list));
  for (int i = 0, n = list.Count(); i < n; ++i) {
    out += list.Get(i);
    out += kCRLF;
  }
}

}  // namespace

int CountLineEnds(std::string_view text) {
  // Each byte is an LF or a CR without an LF after it, or no line end. The
  // Lines header of a 20 MB mail counts them all. The rest after the SSE2
  // pass runs in blocks of at most 240 bytes, which the compiler vectorises
  // in byte-wide lanes.
  if (text.empty()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t last = text.size() - 1;  // the last byte has none after it
  int64_t n = p[last] == '\n' || p[last] == '\r';
  size_t start = 0;
#ifdef __SSE2__
  // Sixteen bytes and the sixteen after each by one at a time; byte counters
  // are summed before they can overflow.
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
  while (start + 16 <= last) {
    __m128i count = zero;
    const size_t stop = std::min(last, start + 16 * 255);
    for (; start + 16 <= stop; start += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + start));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + start + 1));
      const __m128i end = _mm_or_si128(
          _mm_cmpeq_epi8(a, lf), _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(a, cr)));
      count = _mm_sub_epi8(count, end);
    }
    const __m128i sums = _mm_sad_epu8(count, zero);
    n += _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
  }
#endif
  for (size_t i = start; i < last; i += 240) {
    const size_t block = std::min<size_t>(240, last - i);
    uint8_t inBlock = 0;
    for (size_t k = i; k < i + block; ++k)
      inBlock += uint8_t((p[k] == '\n') | ((p[k] == '\r') & (p[k + 1] != '\n')));
    n += inBlock;
  }
  return int(std::min<int64_t>(n, INT32_MAX));
}

// ---------------------------------------------------------------------------
// TTextPieces

void TTextPieces::AppendOwned(std::string text) {
  if (text.empty()) return;
  owned_.push_back(std::make_unique<std::string>(std::move(text)));
  pieces_.push_back(*owned_.back());
}

size_t TTextPieces::AddSlot() {
  pieces_.emplace_back();
  return pieces_.size() - 1;
}

void TTextPieces::FillSlot(size_t slot, std::string text) {
  owned_.push_back(std::make_unique<std::string>(std::move(text)));
  pieces_.at(slot) = *owned_.back();
}

size_t TTextPieces::Size(size_t from) const {
  size_t n = 0;
  for (size_t i = from; i < pieces_.size(); ++i) n += pieces_[i].size();
  return n;
}

int TTextPieces::CountLineEnds(size_t from) const {
  int64_t n = 0;
  bool pendingCR = false;  // a CR that ended the previous piece
  for (size_t i = from; i < pieces_.size(); ++i) {
    std::string_view piece = pieces_[i];
    if (piece.empty()) continue;
    if (pendingCR && piece[0] == '\n') piece.remove_prefix(1);  // counted with its CR
    pendingCR = false;
    n += ::CountLineEnds(piece);
    if (!piece.empty() && piece.back() == '\r') pendingCR = true;
  }
  return int(std::min<int64_t>(n, INT32_MAX));
}

std::string TTextPieces::Join(size_t from) const {
  std::string r;
  r.reserve(Size(from));
  for (size_t i = from; i < pieces_.size(); ++i) r += pieces_[i];
  return r;
}

void TTextPieces::Truncate(size_t count) {
  if (count < pieces_.size()) pieces_.resize(count);
}

void TTextPieces::RemoveFinalLineEnd() {
  while (!pieces_.empty() && pieces_.back().empty()) pieces_.pop_back();
  if (pieces_.empty()) return;
  std::string_view& last = pieces_.back();
  if (last.back() == '\n') {
    last.remove_suffix(1);
    // The CR before the LF may end the piece before.
    while (!pieces_.empty() && pieces_.back().empty()) pieces_.pop_back();
    if (!pieces_.empty() && pieces_.back().back() == '\r') pieces_.back().remove_suffix(1);
  } else if (last.back() == '\r') {
    last.remove_suffix(1);
  }
}

// ---------------------------------------------------------------------------
// TFastLineRead

TFastLineRead::TFastLineRead(std::string_view text) : Text(text), Eof(text.empty()) {}

std::string_view TFastLineRead::PeekLine() {
  const size_t e = FindLineEnd(Text, Position);
  if (e < Text.size()) LFOnly = Text[e] == '\n';
  LineEnd = e + 1;
  return Text.substr(Position, e - Position);
}

void TFastLineRead::SkipLine() {
  // LineEnd belongs to the line at Position only after PeekLine.
  if (LineEnd <= Position) PeekLine();
  size_t e = LineEnd - 1;  // 0-based index of the line end
  if (e >= Text.size())
    Position = Text.size();
  else if (Text[e] == '\r')
    Position = e + 1 + LineEndAt(Text, e) - 1;  // past CR, and past its LF when one follows
  else
    Position = e + 1;
  UpdateEof();
}

void TFastLineRead::UpdateEof() {
  std::string_view rest = GetRest();
  Eof = rest.empty() || LineEndAt(rest, 0) == rest.size();
}

std::string_view TFastLineRead::PopLastLine(bool* popped) {
  if (popped) *popped = false;
  if (Text.size() < 2) return {};
  size_t e = Text.size() - FinalLineEnd(Text);
  if (e == 0) return {};
  size_t p = Text.find_last_of("\r\n", e - 1);
  // One line only, or a last line that was already (partly) read.
  if (p == std::string_view::npos || p + 1 < Position) return {};
  LFOnly = Text[p] == '\n' && !(p > 0 && Text[p - 1] == '\r');
  std::string_view line = Text.substr(p + 1, e - p - 1);
  Text = Text.substr(0, p + 1);
  UpdateEof();
  if (popped) *popped = true;
  return line;
}

std::string_view TFastLineRead::GetRest() const {
  return Position < Text.size() ? Text.substr(Position) : std::string_view();
}

// ---------------------------------------------------------------------------
// TCharsetStringlist

TCharsetStringlist::TCharsetStringlist(const TCharsets* charsets) : Charsets(charsets) {}

int TCharsetStringlist::CharsetIndex() const {
  if (resolvedIndex_ < 0 || resolvedCharset_ != Charset) {
    resolvedIndex_ = GetCSInfos().IndexOf(Charset);
    resolvedCharset_ = Charset;
  }
  return resolvedIndex_;
}

bool TCharsetStringlist::StoredAsItIs(std::string_view internal) const {
  if (Charset.empty() || !Charsets) return true;
  return ConvertsToItself(GetCSInfos(), internal, Charsets->SourceIndex, CharsetIndex());
}

std::string TCharsetStringlist::ToStored(std::string_view internal) {
  if (StoredAsItIs(internal)) return std::string(internal);
  // The handler may pick another charset; a second loss is stored as it is.
  // Line by line the source charset is taken by its index, not looked up by name.
  for (int attempt = 0;; ++attempt) {
    const TCSInfos& infos = GetCSInfos();
    const int to = CharsetIndex();
    if (attempt > 0 && ConvertsToItself(infos, internal, Charsets->SourceIndex, to))
      return std::string(internal);
    bool lossy = false;
    std::string result = ConvertByIndex(internal, Charsets->SourceIndex, to, lossy);
    if (!lossy || !OnCharsetLost || attempt >= 2 || !OnCharsetLost(1, internal, Charset))
      return result;
  }
}

void TCharsetStringlist::ToInternal(std::string_view stored, std::string& result) const {
  if (Charset.empty() || !Charsets) {
    result.assign(stored);
    return;
  }
  const TCSInfos& infos = GetCSInfos();
  const int from = CharsetIndex(), to = Charsets->SourceIndex;
  const bool same = ConvertsToItself(infos, stored, from, to);
  bool lossy = false;
  if (!same) result = ConvertByIndex(stored, from, to, lossy);
  // Text that does not fit the part's charset (a wrong label) reaches the
  // script as it is stored rather than with question marks.
  if (same || lossy) result.assign(stored);
}

// Most lines are stored as they are: they go in without a converted copy.
int TCharsetStringlist::Add(const std::string& s) {
  if (StoredAsItIs(s)) return TChangedStringlist::Add(s);
  return TChangedStringlist::Add(ToStored(s));
}

void TCharsetStringlist::Insert(int index, const std::string& s) {
  if (StoredAsItIs(s))
    TChangedStringlist::Insert(index, s);
  else
    TChangedStringlist::Insert(index, ToStored(s));
}

void TCharsetStringlist::AddRaw(std::string s) {
  AddStored(std::move(s));
  Changed = true;
}

void TCharsetStringlist::SetCharset(std::string_view name) {
  if (SameText(name, Charset)) return;
  if (Count() == 0) {
    Charset = std::string(name);
    return;
  }
  std::string text = GetInternalText();
  Charset = std::string(name);
  SetInternalText(text);
}

void TCharsetStringlist::SetInternalLine(int index, std::string_view s) {
  if (!StoredAsItIs(s)) {
    Put(index, ToStored(s));
    return;
  }
  // A line set to what it holds, the usual case, is compared without a copy.
  CheckIndex(index);
  if (Get(index) != s) Put(index, std::string(s));
}

std::string TCharsetStringlist::GetInternalLine(int index) const {
  std::string line;
  ToInternal(Get(index), line);
  return line;
}

void TCharsetStringlist::GetInternalLine(int index, std::string& line) const {
  ToInternal(Get(index), line);
}

void TCharsetStringlist::SetInternalText(std::string_view text) { SetAllText(ToStored(text)); }

std::string TCharsetStringlist::GetInternalText() const {
  std::string text;
  ToInternal(GetAllText(), text);
  return text;
}

// ---------------------------------------------------------------------------
// TMIMEPart

TMIMEPart::TMIMEPart(TMIMEParts* parts, TTextSpan text, std::string delimiter)
    : Parts(parts),
      Delimiter(std::move(delimiter)),
      text_(std::move(text)),
      ownHeader_(parts->IsSplit()),
      header_(&parts->Article->HeaderCharsets),
      body_(&parts->Article->BodyCharsets),
      sig_(&parts->Article->BodyCharsets) {
  AttachHandlers(true);
  SplitText();
}

TMIMEPart::TMIMEPart(TMIMEParts* parts, std::string_view text)
    : TMIMEPart(parts, TTextSpan{std::make_shared<const TTextBuffer>(std::string(text)), 0, text.size()}) {}

TMIMEPart::~TMIMEPart() = default;

void TMIMEPart::AttachHandlers(bool on) {
  if (on) {
    auto handler = [this](int kind, std::string_view text, std::string_view charset) {
      return CharsetLost(kind, text, charset);
    };
    body_.OnCharsetLost = handler;
    sig_.OnCharsetLost = handler;
  } else {
    body_.OnCharsetLost = nullptr;
    sig_.OnCharsetLost = nullptr;
  }
}

void TMIMEPart::SplitText() {
  headerLen_ = sepLen_ = 0;
  if (!ownHeader_) return;
  std::string_view t = text_.View();
  // A part that starts with an empty line has no header at all.
  if (size_t le = LineEndAt(t, 0)) {
    sepLen_ = le;
    return;
  }
  size_t pos = 0;
  while (true) {
    size_t e = t.find_first_of("\r\n", pos);
    if (e == std::string_view::npos) break;
    size_t first = LineEndAt(t, e);
    if (size_t second = LineEndAt(t, e + first)) {
      headerLen_ = e;
      sepLen_ = first + second;
      return;
    }
    pos = e + first;
  }
  headerLen_ = t.size();
}

std::string_view TMIMEPart::HeaderText() const { return text_.View().substr(0, headerLen_); }

std::string_view TMIMEPart::BodyText() const { return text_.View().substr(headerLen_ + sepLen_); }

THeader& TMIMEPart::TargetHeader() { return ownHeader_ ? header_ : Parts->Article->Header; }

THeader& TMIMEPart::Header() {
  ParseHeader();
  return header_;
}

TBody& TMIMEPart::Body() {
  ParseBody();
  return body_;
}

TSig& TMIMEPart::Sig() {
  ParseBody();
  SigFound = false;
  return sig_;
}

bool TMIMEPart::HasSignature() {
  // Asked before the body was read, the answer would always be no.
  ParseBody();
  return SigFound || sig_.Count() > 0;
}

void TMIMEPart::ParseHeader() {
  if (HeaderParsed) return;
  HeaderParsed = true;
  if (ownHeader_) {
    TFastLineRead reader(HeaderText());
    std::string pending;
    bool havePending = false;
    while (reader.Position < reader.Text.size()) {
      std::string_view line = reader.PeekLine();
      reader.SkipLine();
      if (line.empty()) continue;
      if ((line[0] == ' ' || line[0] == '\t') && havePending) {
        pending += kCRLF;
        pending += line;
        continue;
      }
      if (havePending) header_.AddRaw(std::move(pending));
      pending = std::string(line);
      havePending = true;
    }
    if (havePending) header_.AddRaw(std::move(pending));
    header_.Changed = false;
  }
  UpdateMIMEInfo();
}

void TMIMEPart::UpdateMIMEInfo() {
  if (ownHeader_) {
    MIMEInfo = AnalyseMIME(false, header_);
    MIMEInfo.Multipart = true;
    return;
  }
  TMIMEInfo info = AnalyseMIME(true, Parts->Article->Header);
  // The body was not split at boundary lines, whatever the header claims.
  info.Multipart = Parts->IsSplit();
  Parts->MIMEInfo = info;
  MIMEInfo = info;
}

TMIMEInfo TMIMEPart::GetMIMEInfo() {
  ParseHeader();
  return ownHeader_ ? MIMEInfo : Parts->MIMEInfo;
}

void TMIMEPart::ParseBody() {
  if (BodyParsed) return;
  ParseHeader();
  BodyParsed = true;
  const TMIMEInfo info = ownHeader_ ? MIMEInfo : Parts->MIMEInfo;
  std::string decoded;
  std::string_view text = BodyText();
  if (info.Encoding == meQuotedPrintable || info.Encoding == meBase64) {
    decoded = DecodeText(text);
    text = decoded;
  }
  body_.SetCharset(info.Charset);
  sig_.SetCharset(info.Charset);
  bodyEndsWithLineEnd_ = EndsWithLineEnd(text);

  body_.Reserve(CountLineEnds(text) + 1);
  TFastLineRead reader(text);
  bool inSig = false;
  while (reader.Position < reader.Text.size()) {
    std::string_view line = reader.PeekLine();
    reader.SkipLine();
    if (!inSig && line == "-- ") {
      inSig = true;
      SigFound = true;
      continue;
    }
    (inSig ? static_cast<TCharsetStringlist&>(sig_) : body_).AddRaw(std::string(line));
  }
  if (body_.Count() == 0) body_.AddRaw("");
  MoveSecondSignature();
  body_.Changed = false;
  sig_.Changed = false;
}

void TMIMEPart::MoveSecondSignature() {
  const std::string& delimiter = Parts->Article->SigDelimiter;
  if (delimiter.empty() || SigFound) return;
  // Only the lowest delimiter line counts; anything above it stays body.
  for (int i = body_.Count() - 1; i >= 0; --i) {
    if (body_.GetInternalLine(i) != delimiter) continue;
    for (int j = i + 1; j < body_.Count(); ++j) sig_.AddRaw(body_.Get(j));
    for (int j = body_.Count() - 1; j >= i; --j) body_.Delete(j);
    SigFound = true;
    return;
  }
}

TChangedStringlist* TMIMEPart::GetNamedList(std::string_view name) const {
  const std::string key = LowerCase(name);
  for (const auto& [n, list] : namedLists_)
    if (n == key) return list.get();
  return nullptr;
}

void TMIMEPart::SetNamedList(std::string_view name, std::unique_ptr<TChangedStringlist> list) {
  const std::string key = LowerCase(name);
  for (auto& [n, stored] : namedLists_)
    if (n == key) {
      stored = std::move(list);
      return;
    }
  namedLists_.emplace_back(key, std::move(list));
}

void TMIMEPart::DeleteNamedList(std::string_view name) {
  const std::string key = LowerCase(name);
  std::erase_if(namedLists_, [&](const auto& e) { return e.first == key; });
}

std::string TMIMEPart::GetText() {
  TTextPieces pieces;
  AppendText(pieces);
  return pieces.Join();
}

void TMIMEPart::AppendText(TTextPieces& out) {
  if (ownHeader_) {
    if (HeaderParsed && header_.Changed) {
      std::string head;
      AppendLines(head, header_);
      head += kCRLF;
      out.AppendOwned(std::move(head));
    } else {
      out.Append(text_.View().substr(0, headerLen_ + sepLen_));
    }
  }
  std::string_view raw = BodyText();
  if (!BodyParsed || (!body_.Changed && !sig_.Changed)) {
    out.Append(raw);
    return;
  }
  std::string t;
  t.reserve(LinesSize(body_) + 5 + LinesSize(sig_));
  AppendLines(t, body_);
  if (sig_.Count() > 0) {
    t += "-- \r\n";
    AppendLines(t, sig_);
  }
  // The body keeps the ending it had: before a boundary line the line end
  // belongs to the boundary, at the end of a single part the text ends with one.
  if (!bodyEndsWithLineEnd_ && EndsWithLineEnd(t)) t.resize(t.size() - 2);
  if (!ownHeader_ && !t.empty() && !EndsWithLineEnd(t)) t += kCRLF;
  std::string encoded = EncodeText(std::move(t));
  if (EndsWithLineEnd(raw) && !EndsWithLineEnd(encoded)) encoded += kCRLF;
  out.AppendOwned(std::move(encoded));
}

void TMIMEPart::SetCharset(std::string_view name) {
  ParseBody();
  bool encodingChanged = SetContentTypeCharset(!ownHeader_, TargetHeader(), name);
  UpdateMIMEInfo();
  body_.SetCharset(name);
  sig_.SetCharset(name);
  if (encodingChanged) body_.Changed = true;
}

void TMIMEPart::SetBestCharset() {
  const uint8_t cls = GetMIMEInfo().ContentClass;
  if (cls != ccTextPlain && cls != ccText) return;
  ParseBody();
  const TCSInfo& cs =
      Parts->Article->BodyCharsets.BestCharset(body_.GetInternalText() + sig_.GetInternalText());
  if (!cs.MimeName.empty()) SetCharset(cs.MimeName);
}

bool TMIMEPart::CharsetLost(int kind, std::string_view text, std::string_view charset) {
  if (kind != 1) return false;
  struct Reattach {
    TMIMEPart* part;
    ~Reattach() { part->AttachHandlers(true); }
  } reattach{this};
  AttachHandlers(false);
  const TCSInfo& cs = Parts->Article->BodyCharsets.BestCharset(
      body_.GetInternalText() + sig_.GetInternalText() + std::string(text));
  // Retrying in the charset that just failed would never end.
  if (cs.MimeName.empty() || SameText(cs.MimeName, charset)) return false;
  SetCharset(cs.MimeName);
  return true;
}

void TMIMEPart::SetTransferEncoding(uint8_t encoding) {
  ParseBody();
  body_.Changed = true;
  THeader& header = TargetHeader();
  if (encoding == me7Bit) {
    for (TCharsetStringlist* list :
         {static_cast<TCharsetStringlist*>(&body_), static_cast<TCharsetStringlist*>(&sig_)}) {
      std::string text = list->GetInternalText();
      std::string ascii = TransliterateToAscii(text);
      if (ascii != text) list->SetInternalText(ascii);
    }
    if (header.HasField("Content-Transfer-Encoding")) {
      THeader& message = Parts->Article->Header;
      if (!message.HasField("MIME-Version")) message.SetField("MIME-Version", "1.0");
      if (!header.HasField("Content-Type"))
        header.SetField("Content-Type", "text/plain; charset=us-ascii");
      header.SetField("Content-Transfer-Encoding", "7bit");
    }
  } else {
    SetTransferEncodingHeader(!ownHeader_, header, encoding);
  }
  UpdateMIMEInfo();
}

std::string TMIMEPart::EncodeText(std::string text) {
  switch (GetMIMEInfo().Encoding) {
    case meQuotedPrintable:
      return EncodeQuotedPrintable(text, true);
    case meBase64:
      return EncodeBase64(text);
    default:
      return text;
  }
}

std::string TMIMEPart::DecodeText(std::string_view text) {
  switch (GetMIMEInfo().Encoding) {
    case meQuotedPrintable:
      return DecodeQuotedPrintableBytes(text, false);
    case meBase64:
      return DecodeBase64Bytes(text);
    default:
      return std::string(text);
  }
}

std::string TMIMEPart::GetDecodedBody() { return DecodeText(BodyText()); }

// ---------------------------------------------------------------------------
// TMIMEParts

TMIMEParts::TMIMEParts(TArtikel* article) : Article(article) {}

TMIMEParts::~TMIMEParts() = default;

TMIMEPart* TMIMEParts::Items(int i) const {
  return i >= 0 && i < int(parts_.size()) ? parts_[i].get() : nullptr;
}

void TMIMEParts::Delete(int i) {
  if (i >= 0 && i < int(parts_.size())) parts_.erase(parts_.begin() + i);
}

void TMIMEParts::Clear() { parts_.clear(); }

void TMIMEParts::Parse(std::string_view text) {
  Parse(TTextSpan{std::make_shared<const TTextBuffer>(std::string(text)), 0, text.size()});
}

void TMIMEParts::Parse(TTextSpan span) {
  Clear();
  Preamble.clear();
  CloseDelimiter.clear();
  Epilogue = TTextSpan{span.buffer, span.offset + span.length, 0};
  split_ = false;
  const std::string_view text = span.View();
  auto sub = [&](size_t from, size_t to) {
    return TTextSpan{span.buffer, span.offset + from, to - from};
  };

  struct Line {
    size_t start, end;  // from the line end before the boundary line to after its own
  };
  std::vector<Line> delimiters;
  Line close{0, 0};
  bool closed = false;
  if (MIMEInfo.Multipart && !MIMEInfo.Boundary.empty()) {
    const std::string dashes = "--" + MIMEInfo.Boundary;
    size_t p = 0;
    while ((p = text.find(dashes, p)) != std::string_view::npos) {
      const size_t lineStart = p;
      p += dashes.size();
      if (lineStart > 0 && text[lineStart - 1] != '\n' && text[lineStart - 1] != '\r') continue;
      size_t e = text.find_first_of("\r\n", p);
      if (e == std::string_view::npos) e = text.size();
      std::string_view rest = text.substr(p, e - p);
      const bool isClose = rest.substr(0, 2) == "--";
      if (isClose) rest.remove_prefix(2);
      // Transport padding after a boundary is allowed; other text makes it no boundary.
      if (rest.find_first_not_of(" \t") != std::string_view::npos) continue;
      // The line end before the boundary line belongs to it.
      const size_t before = FinalLineEnd(text.substr(0, lineStart));
      Line line{lineStart - before, e + LineEndAt(text, e)};
      // Two boundary lines in a row share the line end between them.
      if (!delimiters.empty() && line.start < delimiters.back().end)
        line.start = delimiters.back().end;
      p = line.end;
      if (!isClose) {
        delimiters.push_back(line);
      } else if (!delimiters.empty()) {
        // The first closing line ends the parts; the rest is epilogue.
        close = line;
        closed = true;
        break;
      }
    }
  }

  if (delimiters.empty()) {
    MIMEInfo.Multipart = false;
    parts_.push_back(std::make_unique<TMIMEPart>(this, span));
    return;
  }
  split_ = true;
  Preamble = std::string(text.substr(0, delimiters[0].start));
  const size_t partsEnd = closed ? close.start : text.size();
  for (size_t k = 0; k < delimiters.size(); ++k) {
    const size_t from = delimiters[k].end;
    const size_t to = k + 1 < delimiters.size() ? delimiters[k + 1].start : partsEnd;
    std::string delimiter(text.substr(delimiters[k].start, from - delimiters[k].start));
    parts_.push_back(
        std::make_unique<TMIMEPart>(this, sub(from, std::max(from, to)), std::move(delimiter)));
  }
  if (closed) {
    CloseDelimiter = std::string(text.substr(close.start, close.end - close.start));
    Epilogue = sub(close.end, text.size());
  }
}

std::string TMIMEParts::GetText(int& lineCount) {
  TTextPieces pieces;
  AppendText(pieces);
  lineCount = pieces.CountLineEnds();
  return pieces.Join();
}

void TMIMEParts::AppendText(TTextPieces& out) {
  if (!split_) {
    if (!parts_.empty()) parts_.front()->AppendText(out);
    return;
  }
  const size_t start = out.Count();
  out.Append(Preamble);
  for (auto& part : parts_) {
    if (part->Delimiter.empty()) {
      // A part made after loading gets a boundary line of the usual form.
      out.AppendOwned((out.Size(start) > 0 ? "\r\n--" : "--") + MIMEInfo.Boundary + "\r\n");
    } else {
      out.Append(part->Delimiter);
    }
    part->AppendText(out);
  }
  out.Append(CloseDelimiter);
  out.Append(Epilogue.View());
}

// ---------------------------------------------------------------------------
// TArtikel

TArtikel::TArtikel(std::string_view sourceCharset, std::string_view bodyCharsets,
                   std::string_view headerCharsets)
    : HeaderCharsets(sourceCharset, headerCharsets),
      BodyCharsets(sourceCharset, bodyCharsets),
      Header(&HeaderCharsets),
      Parts(this) {}

TArtikel::~TArtikel() = default;

std::string_view TArtikel::Text() const {
  return text_ ? text_->View() : std::string_view();
}

std::string_view TArtikel::LoadedText() const {
  return loadedText_ ? loadedText_->View() : std::string_view();
}

void TArtikel::LoadFromFile(const std::string& fileName) {
  auto fail = [&](int err) {
    throw EInOutError(
        TranslateFmt("FileOpenError", "Datei %s kann nicht geöffnet werden", {fileName}) + " (" +
        ErrorReason(err) + ")");
  };
  TFileBytes file;
  // Room for the line end that may be supplied below. Another user's message
  // (or link) where others may write is refused before a byte is read.
  if (int err = ReadTrustedFile(fileName, file, 2)) fail(err);
  // The last line gets its line end, which belongs to the text from now on: a
  // message written back ends with it. It is CR LF, or a bare LF in a message
  // whose lines end so, which would otherwise come back with CR LF line ends
  // when nothing but its header is there.
  const std::string_view data(file.bytes.get(), file.size);
  if (!data.empty() && data.back() != '\r' && data.back() != '\n') {
    const size_t first = data.find_first_of("\r\n");
    if (first == std::string_view::npos || data[first] != '\n') file.bytes[file.size++] = '\r';
    file.bytes[file.size++] = '\n';
  }
  text_ = std::make_shared<const TTextBuffer>(std::move(file.bytes), file.size);
  loadedText_ = text_;
  Parse();
}

void TArtikel::LoadFromString(std::string text) {
  text_ = std::make_shared<const TTextBuffer>(std::move(text));
  Parse();
}

void TArtikel::Parse() {
  if (!text_) text_ = std::make_shared<const TTextBuffer>();
  TFastLineRead reader(text_->View());
  SafeReg1Lines.Clear();
  SafeReg2Lines.Clear();
  Header.Clear();
  BodyPrefix.Clear();
  Parts.Clear();

  for (int i = 0; i < SafeReg1 && !reader.Eof; ++i) {
    SafeReg1Lines.Add(std::string(reader.PeekLine()));
    reader.SkipLine();
  }
  for (int i = 0; i < SafeReg2; ++i) {
    bool popped = false;
    std::string_view line = reader.PopLastLine(&popped);
    if (!popped) break;
    SafeReg2Lines.Insert(0, std::string(line));
  }

  headerSeparated_ = false;
  while (!reader.Eof) {
    std::string_view line = reader.PeekLine();
    reader.SkipLine();
    if (line.empty()) {
      headerSeparated_ = true;
      break;
    }
    const int last = Header.Count() - 1;
    if ((line[0] == ' ' || line[0] == '\t') && last >= 0) {
      Header.Put(last, Header.Get(last) + "\r\n" + std::string(line));
    } else {
      // A continuation line with nothing before it is kept as a line of its own.
      Header.AddRaw(std::string(line));
    }
  }
  // A lone line end left after the header is the empty line that ends it.
  if (!headerSeparated_ && !reader.GetRest().empty()) {
    reader.PeekLine();
    reader.SkipLine();
    headerSeparated_ = true;
  }
  Header.Changed = false;

  currentPart_ = 1;
  Parts.MIMEInfo = AnalyseMIME(true, Header);
  const std::string_view rest = reader.GetRest();
  const size_t offset = rest.empty() ? reader.Text.size() : size_t(rest.data() - text_->View().data());
  Parts.Parse(TTextSpan{text_, offset, rest.size()});
  LineEndsLFOnly = reader.LFOnly;
}

void TArtikel::SetCurrentPart(int n) {
  if (n >= 1 && n <= Parts.Count()) currentPart_ = uint16_t(std::min(n, 65535));
}

std::string TArtikel::GetText() {
  TTextPieces pieces;
  BuildPieces(pieces, false);
  return pieces.Join();
}

std::string TArtikel::GetFinalText() {
  TTextPieces pieces;
  BuildPieces(pieces, LastAction == 3);
  return pieces.Join();
}

void TArtikel::GetFinalPieces(TTextPieces& out) { BuildPieces(out, LastAction == 3); }

void TArtikel::BuildPieces(TTextPieces& out, bool sign) {
  // The header comes first but depends on the body (Lines, the signature).
  const size_t headSlot = out.AddSlot();
  std::string prefix;
  AppendLines(prefix, BodyPrefix);
  out.AppendOwned(std::move(prefix));
  const size_t partsStart = out.Count();
  Parts.AppendText(out);
  if (SetLines) Header.SetField("Lines", IntToStr(out.CountLineEnds(partsStart)));

  if (sign) {
    std::string s = out.Join(headSlot + 1);
    // Exactly one line end after the last line of text.
    while (true) {
      size_t last = FinalLineEnd(s);
      if (last == 0 || FinalLineEnd(std::string_view(s).substr(0, s.size() - last)) == 0) break;
      s.resize(s.size() - last);
    }
    if (!EndsWithLineEnd(s)) s += kCRLF;
    SignWithPGP(*this, s);
    out.Truncate(headSlot + 1);
    out.AppendOwned(std::move(s));
  }

  std::string head;
  AppendLines(head, SafeReg1Lines);
  AppendLines(head, Header);
  // The empty line after the header is written also when the file had none: a
  // header alone is a message without a body. Only where the protected end
  // lines begin with it is it there already; another would be one more each
  // time the message is written.
  const bool endProtected = !headerSeparated_ && out.Size(headSlot + 1) == 0 &&
                            SafeReg2Lines.Count() > 0 && SafeReg2Lines.Get(0).empty();
  // A file that ended within its protected start lines has nothing after
  // them: an empty line there would be taken as one more protected line the
  // next time.
  const bool endedInProtected = !headerSeparated_ && Header.Count() == 0 &&
                                out.Size(headSlot + 1) == 0 &&
                                SafeReg1Lines.Count() < SafeReg1;
  if (!endProtected && !endedInProtected) head += kCRLF;
  out.FillSlot(headSlot, std::move(head));
  std::string tail;
  AppendLines(tail, SafeReg2Lines);
  out.AppendOwned(std::move(tail));
}

// ---------------------------------------------------------------------------
// PGP signing

namespace {

// A private folder for the signing files, removed with them.
class TSignFolder {
public:
  TSignFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = JoinPath(tmp && *tmp ? tmp : "/tmp", "~HS~XXXXXX");
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TSignFolder() {
    if (path_.empty()) return;
    unlink(Input().c_str());
    unlink(Output().c_str());
    rmdir(path_.c_str());
  }
  bool Ok() const { return !path_.empty(); }
  std::string Input() const { return path_ + "/~HS~sign.tmp"; }
  std::string Output() const { return path_ + "/~HS~sign.out"; }

private:
  std::string path_;
};

bool WriteWholeFile(const std::string& path, std::string_view data) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  bool ok = true;
  while (ok && !data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) data.remove_prefix(size_t(n));
  }
  return close(fd) == 0 && ok;
}

// Replaces the first Placeholder of Params by Path, quoted when it holds a
// blank and the template does not quote it already.
void FillPlaceholder(std::string& params, std::string_view placeholder, const std::string& path) {
  size_t p = params.find(placeholder);
  if (p == std::string::npos) return;
  const bool quoted = p > 0 && params[p - 1] == '"';
  const bool needsQuotes = !quoted && path.find_first_of(" \t") != std::string::npos;
  params.replace(p, placeholder.size(), needsQuotes ? "\"" + path + "\"" : path);
}

}  // namespace

void SignWithPGP(TArtikel& article, std::string_view bodyText) {
  TSignFolder folder;
  if (!folder.Ok()) return;

  std::vector<std::string> names = Specials.SignedHeaders1;
  for (const auto& name : Specials.SignedHeaders2)
    if (article.Header.HasField(name)) names.push_back(name);
  std::string nameList;
  for (const auto& name : names) {
    if (!nameList.empty()) nameList += ',';
    nameList += name;
  }

  std::string data = "X-Signed-Headers: " + nameList + "\r\n";
  for (const auto& name : names) data += name + ": " + article.Header.GetField(name, true) + "\r\n";
  data += "\r\n";
  data += bodyText;
  if (!WriteWholeFile(folder.Input(), data)) return;

  std::string params = Specials.PGPSigPars;
  FillPlaceholder(params, "%1", folder.Input());
  FillPlaceholder(params, "%2", folder.Output());
  if (!RunAndWait(Specials.PGPExe, params, 1)) return;

  std::string output;
  if (ReadWholeFile(folder.Output(), output) != 0) return;
  const std::vector<std::string> lines = SplitLines(output);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != "-----BEGIN PGP SIGNATURE-----") continue;
    if (i + 3 >= lines.size() || !StartsStr("Version: ", lines[i + 1]) ||
        !StartsStr("Charset: ", lines[i + 2]) || !lines[i + 3].empty())
      return;
    const std::string version = lines[i + 1].substr(9);
    std::string signature;
    size_t j = i + 4;
    for (; j < lines.size() && lines[j] != "-----END PGP SIGNATURE-----"; ++j)
      signature += "\r\n\t" + lines[j];
    if (j >= lines.size()) return;
    article.Header.Add("X-PGP-Sig: " + version + " " + nameList + signature);
    i = j;
  }
}
