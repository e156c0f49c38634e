// The shipped translation file against the code: every message id the code
// looks up has an English line that formats with the same arguments. The ids
// are read from the sources, so an id added anywhere is checked without a list
// to keep up to date.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uTransla.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------
// A small C++ tokenizer: identifiers, string literals (escapes decoded,
// adjacent literals joined) and punctuation; comments and char literals go.

struct Token {
  enum Kind { Ident, String, Punct } kind;
  std::string text;
  int line;
};

std::vector<Token> Tokenize(const std::string& src) {
  std::vector<Token> out;
  int line = 1;
  size_t i = 0, n = src.size();
  auto isIdent = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  while (i < n) {
    char c = src[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (src.compare(i, 2, "//") == 0) {
      while (i < n && src[i] != '\n') ++i;
    } else if (src.compare(i, 2, "/*") == 0) {
      size_t end = src.find("*/", i + 2);
      end = end == std::string::npos ? n : end + 2;
      line += int(std::count(src.begin() + long(i), src.begin() + long(end), '\n'));
      i = end;
    } else if (c == '"' || c == '\'') {
      std::string text;
      for (++i; i < n && src[i] != c && src[i] != '\n'; ++i) {
        if (src[i] != '\\' || i + 1 >= n) {
          text += src[i];
          continue;
        }
        char e = src[++i];
        text += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
      }
      ++i;
      if (c == '\'') {
        out.push_back({Token::Punct, "'", line});
      } else if (!out.empty() && out.back().kind == Token::String) {
        out.back().text += text;
      } else {
        out.push_back({Token::String, text, line});
      }
    } else if (isIdent(c)) {
      size_t start = i;
      while (i < n && isIdent(src[i])) ++i;
      size_t open =
          i < n && src[i] == '"' && src[i - 1] == 'R' ? src.find('(', i) : std::string::npos;
      if (open == std::string::npos) {
        out.push_back({Token::Ident, src.substr(start, i - start), line});
        continue;
      }
      // A raw string: R"delim( ... )delim"
      std::string close = ")" + src.substr(i + 1, open - i - 1) + "\"";
      size_t end = src.find(close, open);
      end = end == std::string::npos ? n : end;
      out.push_back({Token::String, src.substr(open + 1, end - open - 1), line});
      line += int(std::count(src.begin() + long(i), src.begin() + long(end), '\n'));
      i = std::min(n, end + close.size());
    } else {
      static const char* const kPairs[] = {"::", "->", "==", "!=", "<=", ">=", "&&", "||"};
      std::string p(1, c);
      for (const char* pair : kPairs)
        if (src.compare(i, 2, pair) == 0) p = pair;
      i += p.size();
      out.push_back({Token::Punct, p, line});
    }
  }
  return out;
}

bool Is(const Token& t, std::string_view text) { return t.kind == Token::Punct && t.text == text; }

// Index of the bracket closing the one at Open, or the end.
size_t Closing(const std::vector<Token>& t, size_t open) {
  int depth = 0;
  for (size_t i = open; i < t.size(); ++i) {
    if (Is(t[i], "(") || Is(t[i], "[") || Is(t[i], "{")) ++depth;
    if ((Is(t[i], ")") || Is(t[i], "]") || Is(t[i], "}")) && --depth == 0) return i;
  }
  return t.size();
}

using Range = std::pair<size_t, size_t>;  // [first, last)

// The comma-separated parts between the brackets at Open and Close.
std::vector<Range> Arguments(const std::vector<Token>& t, size_t open, size_t close,
                             bool angles = false) {
  std::vector<Range> args;
  if (close == open + 1) return args;
  int depth = 0;
  size_t start = open + 1;
  for (size_t i = open + 1; i < close; ++i) {
    if (Is(t[i], "(") || Is(t[i], "[") || Is(t[i], "{") || (angles && Is(t[i], "<"))) ++depth;
    if (Is(t[i], ")") || Is(t[i], "]") || Is(t[i], "}") || (angles && Is(t[i], ">"))) --depth;
    if (depth == 0 && Is(t[i], ",")) {
      args.push_back({start, i});
      start = i + 1;
    }
  }
  args.push_back({start, close});
  return args;
}

// ---------------------------------------------------------------------------
// The functions that look a message up: the translation unit's own and every
// function that hands one of its parameters on to them as the id.

enum class Kind { Runtime, Form };

struct MessageFunction {
  Kind kind;
  int id, text, args;  // parameter positions; -1: none
};

struct SourceFile {
  std::string name;
  std::vector<Token> tokens;
};

struct Definition {
  std::string name;
  std::vector<std::string> params;
  size_t bodyBegin, bodyEnd;
};

const std::set<std::string, std::less<>> kNotFunctions = {
    "if",       "for",     "while",         "switch",   "catch",    "return",  "sizeof",
    "decltype", "alignof", "static_assert", "noexcept", "operator", "defined", "alignas"};

std::vector<Definition> Definitions(const std::vector<Token>& t) {
  std::vector<Definition> defs;
  for (size_t i = 1; i < t.size(); ++i) {
    if (!Is(t[i], "(")) continue;
    std::string name;
    if (t[i - 1].kind == Token::Ident && !kNotFunctions.count(t[i - 1].text)) {
      name = t[i - 1].text;
    } else if (Is(t[i - 1], "]")) {  // a named lambda: Name = [...](...)
      size_t j = i - 1;
      int depth = 0;
      while (j > 0 && !(Is(t[j], "[") && --depth == 0)) {
        if (Is(t[j], "]")) ++depth;
        --j;
      }
      if (j >= 2 && Is(t[j - 1], "=") && t[j - 2].kind == Token::Ident) name = t[j - 2].text;
    }
    if (name.empty()) continue;
    size_t close = Closing(t, i), k = close + 1;
    while (k < t.size() && t[k].kind == Token::Ident &&
           (t[k].text == "const" || t[k].text == "override" || t[k].text == "mutable" ||
            t[k].text == "final" || t[k].text == "noexcept"))
      ++k;
    if (k < t.size() && Is(t[k], "->"))
      while (k < t.size() && !Is(t[k], "{") && !Is(t[k], ";")) ++k;
    if (k >= t.size() || !Is(t[k], "{")) continue;
    Definition d{name, {}, k, Closing(t, k)};
    bool declaration = true;
    for (auto [first, last] : Arguments(t, i, close, true)) {
      size_t end = first;
      while (end < last && !Is(t[end], "=")) ++end;
      // A parameter is a type and a name; anything else is a call.
      if (end - first < 2 || t[end - 1].kind != Token::Ident) {
        declaration = false;
        break;
      }
      d.params.push_back(t[end - 1].text);
    }
    if (declaration) defs.push_back(std::move(d));
  }
  return defs;
}

// By function name: where its message ids go. A function may take several
// ids (one per message it can show).
using MessageFunctions = std::map<std::string, std::vector<MessageFunction>>;

MessageFunctions FindMessageFunctions(const std::vector<SourceFile>& files) {
  MessageFunctions known = {
      {"Translate", {{Kind::Runtime, 0, 1, -1}}},
      {"TranslateFmt", {{Kind::Runtime, 0, 1, 2}}},
      {"LookupTranslation", {{Kind::Form, 1, 2, -1}}},
  };
  std::vector<std::pair<const SourceFile*, Definition>> defs;
  for (const SourceFile& f : files)
    for (Definition& d : Definitions(f.tokens)) defs.emplace_back(&f, std::move(d));
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto& [file, d] : defs) {
      if (d.name == "Translate" || d.name == "TranslateFmt" || d.name == "LookupTranslation")
        continue;
      const std::vector<Token>& t = file->tokens;
      for (size_t i = d.bodyBegin; i + 1 < d.bodyEnd; ++i) {
        auto f = known.find(t[i].text);
        if (t[i].kind != Token::Ident || f == known.end() || !Is(t[i + 1], "(")) continue;
        std::vector<Range> args = Arguments(t, i + 1, Closing(t, i + 1));
        // The parameter of D that is handed on whole as argument Position.
        auto paramOf = [&](int position) {
          if (position < 0 || size_t(position) >= args.size()) return -1;
          auto [first, last] = args[size_t(position)];
          if (last != first + 1 || t[first].kind != Token::Ident) return -1;
          auto p = std::find(d.params.begin(), d.params.end(), t[first].text);
          return p == d.params.end() ? -1 : int(p - d.params.begin());
        };
        const std::vector<MessageFunction> slots = f->second;
        for (const MessageFunction& m : slots) {
          MessageFunction mine{m.kind, paramOf(m.id), paramOf(m.text), paramOf(m.args)};
          std::vector<MessageFunction>& own = known[d.name];
          if (mine.id < 0 || std::any_of(own.begin(), own.end(),
                                         [&](const MessageFunction& o) { return o.id == mine.id; }))
            continue;
          own.push_back(mine);
          changed = true;
        }
      }
    }
  }
  return known;
}

// ---------------------------------------------------------------------------
// Every lookup with a literal id.

struct Use {
  std::string section;  // "Runtime" or the form's section
  std::string id;
  std::optional<std::string> text;  // the German default, UTF-8
  std::optional<size_t> argCount;   // arguments given to the format, when a list
  bool formatted = false;           // the lookup itself formats the text
  std::string where;
};

// The literal assigned to Name nearest before Position ("Name = ..." or a
// constant), for defaults and form names kept in a variable.
std::optional<std::string> LiteralOf(const std::vector<Token>& t, const std::string& name,
                                     size_t position) {
  for (size_t i = std::min(position, t.size()); i-- > 1;)
    if (t[i].kind == Token::String && Is(t[i - 1], "=") && i >= 2 &&
        t[i - 2].kind == Token::Ident && t[i - 2].text == name)
      return t[i].text;
  return std::nullopt;
}

std::optional<std::string> StringArgument(const std::vector<Token>& t, Range r, size_t at) {
  if (r.second != r.first + 1) return std::nullopt;
  if (t[r.first].kind == Token::String) return t[r.first].text;
  if (t[r.first].kind == Token::Ident) return LiteralOf(t, t[r.first].text, at);
  return std::nullopt;
}

std::vector<SourceFile> ReadSources() {
  std::vector<SourceFile> files;
  const fs::path root = TIDELARN_SOURCE_DIR;
  for (const char* dir : {"engine", "runner", "config", "platform", "widgets"}) {
    if (!fs::exists(root / dir)) continue;
    for (const auto& e : fs::recursive_directory_iterator(root / dir)) {
      std::string ext = e.path().extension().string();
      if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      files.push_back(
          {fs::relative(e.path(), root).string(), Tokenize(ReadFile(e.path().string()))});
    }
  }
  std::sort(files.begin(), files.end(), [](auto& a, auto& b) { return a.name < b.name; });
  return files;
}

std::vector<Use> CollectUses(const std::vector<SourceFile>& files,
                             std::vector<std::string>& problems) {
  const MessageFunctions known = FindMessageFunctions(files);
  std::vector<Use> uses;
  for (const SourceFile& f : files) {
    const std::vector<Token>& t = f.tokens;
    // The form whose own lines this file's form lookups search.
    std::optional<std::string> form;
    for (size_t i = 0; i + 1 < t.size(); ++i) {
      if (t[i].kind != Token::Ident || t[i].text != "TranslateForm" || !Is(t[i + 1], "(")) continue;
      std::vector<Range> args = Arguments(t, i + 1, Closing(t, i + 1));
      if (args.size() == 3)
        if (auto name = StringArgument(t, args[1], t.size())) form = name;
    }
    for (size_t i = 0; i + 1 < t.size(); ++i) {
      auto m = known.find(t[i].text);
      if (t[i].kind != Token::Ident || m == known.end() || !Is(t[i + 1], "(")) continue;
      std::vector<Range> args = Arguments(t, i + 1, Closing(t, i + 1));
      for (const MessageFunction& fn : m->second) {
        if (size_t(fn.id) >= args.size()) continue;
        Range idArg = args[size_t(fn.id)];
        if (idArg.second != idArg.first + 1 || t[idArg.first].kind != Token::String) continue;
        Use use;
        use.section = "Runtime";
        use.id = t[idArg.first].text;
        use.formatted = fn.args >= 0;
        use.where = f.name + ":" + std::to_string(t[i].line);
        if (fn.kind == Kind::Form) {
          if (!form) {
            problems.push_back(use.where + ": no form section for \"" + use.id + "\"");
            continue;
          }
          use.section = *form;
        }
        if (fn.text >= 0 && size_t(fn.text) < args.size())
          use.text = StringArgument(t, args[size_t(fn.text)], i);
        if (fn.args >= 0 && size_t(fn.args) < args.size()) {
          auto [first, last] = args[size_t(fn.args)];
          if (Is(t[first], "{") && Closing(t, first) == last - 1)
            use.argCount = Arguments(t, first, last - 1).size();
        }
        uses.push_back(std::move(use));
      }
    }
  }
  return uses;
}

// ---------------------------------------------------------------------------
// Placeholders, as Format reads them.

std::vector<std::string> Placeholders(std::string_view s) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') continue;
    size_t start = i++;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == ':' ||
                            s[i] == '-' || s[i] == '.'))
      ++i;
    if (i < s.size()) out.emplace_back(s.substr(start, i - start + 1));
  }
  return out;
}

// Arguments of the kinds the placeholders ask for; empty when they cannot be
// filled at all.
std::optional<std::vector<FmtArg>> ArgumentsFor(const std::vector<std::string>& placeholders) {
  std::vector<FmtArg> args;
  size_t next = 0;
  for (const std::string& p : placeholders) {
    char type = char(p.back() | 0x20);
    if (type == '%') continue;
    if (size_t colon = p.find(':'); colon != std::string::npos) {
      if (colon == 1 || p[1] == '-') return std::nullopt;
      next = std::stoul(p.substr(1, colon - 1));
    }
    if (args.size() <= next) args.resize(next + 1);
    if (type == 'd' || type == 'u' || type == 'x')
      args[next] = int64_t(7);
    else if (type == 'f' || type == 'g' || type == 'e' || type == 'n' || type == 'm')
      args[next] = 1.5;
    else if (type == 's')
      args[next] = std::string("x");
    else
      return std::nullopt;
    ++next;
  }
  return args;
}

size_t LineBreaks(std::string_view s) {
  size_t n = 0;
  for (size_t p = s.find("\r\n"); p != std::string_view::npos; p = s.find("\r\n", p + 2)) ++n;
  return n;
}

// The shipped file with English chosen, in a program folder of its own.
class TranslationFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = ProgramDir();
    SetProgramDir(dir_.Path());
    fs::copy_file(fs::path(TIDELARN_SOURCE_DIR) / "data" / "Tidelarn.dat", dir_ / "Tidelarn.dat");
    WriteFile(dir_ / "Specials.ini", "[General]\r\nLanguage=English\r\n");
    DoneTranslation();
  }
  void TearDown() override {
    DoneTranslation();
    SetProgramDir(saved_);
  }
  TempDir dir_;
  std::string saved_;
};

constexpr std::string_view kMissing = "\x01missing";

}  // namespace

TEST_F(TranslationFileTest, EveryMessageOfTheCodeHasAnEnglishLineThatFitsItsArguments) {
  std::vector<std::string> problems;
  std::map<std::string, std::string> missing;  // line to add: where the id is used
  std::vector<Use> uses = CollectUses(ReadSources(), problems);

  // The scan itself: lookups of every kind the code makes must be among them
  // (direct, through wrappers, a default kept in a variable, form lines).
  const std::vector<std::pair<std::string, std::string>> known = {
      {"Runtime", "InterpreteNumeric.Error"},
      {"Runtime", "HTML2Text.Info"},
      {"Runtime", "SetMacro.MissingName"},
      {"Runtime", "DoReplace.From.InvalidNumber"},
      {"Runtime", "For.MissingNextInSameSub"},
      {"Runtime", "NewsServer.NoGroupIndex"},
      {"MainForm", "Caption"},
      {"DlgFootnotes", "PositionItems"},
      {"DlgAssistent", "OEConfig.Ask"}};
  for (const auto& [section, id] : known)
    EXPECT_TRUE(
        std::any_of(uses.begin(), uses.end(),
                    [&](const Use& u) { return u.section == section && u.id == id && u.text; }))
        << section << "/" << id << " not found by the scan";

  std::map<std::string, std::vector<std::string>> formLines;
  for (const Use& use : uses) {
    std::vector<std::string> german;
    std::optional<std::vector<FmtArg>> args;
    if (use.text) {
      german = Placeholders(*use.text);
      // A text shown as it is may hold a "%" of its own ("%Variable%").
      args = ArgumentsFor(german);
      if (!args && use.formatted)
        problems.push_back(use.where + ": " + use.id + ": the German text does not format");
      // The code's own arguments must fit the German text, or it shows "#FmtE#" as well.
      if (args && use.argCount && *use.argCount != args->size())
        problems.push_back(use.where + ": " + use.id + " is given " +
                           std::to_string(*use.argCount) + " arguments for " +
                           std::to_string(args->size()) + " placeholders");
    }
    std::string english;
    if (use.section == "Runtime") {
      english = Translate(use.id, kMissing);
    } else {
      if (!formLines.count(use.section)) CollectFormTexts(use.section, formLines[use.section]);
      english = LookupTranslation(formLines[use.section], use.id, kMissing);
    }
    std::string line = use.section + "/" + use.id + "=" + (use.text ? *use.text : "?");
    if (english == kMissing) {
      missing[line] += "  " + use.where;
      continue;
    }
    if (!use.text) continue;
    if (Placeholders(english) != german)
      problems.push_back(line + ": the English text has other placeholders: " + english);
    if (LineBreaks(english) != LineBreaks(StringReplace(*use.text, "^m", "\r\n")))
      problems.push_back(line + ": the English text has another number of lines: " + english);
    if (!args) continue;
    try {
      Format(english, *args);
    } catch (const EConvertError&) {
      problems.push_back(line + ": the English text does not format: " + english);
    }
  }
  std::string report;
  for (const auto& [line, where] : missing) report += line + "\n    (" + where + ")\n";
  EXPECT_TRUE(missing.empty()) << missing.size() << " ids without an English line in "
                               << "data/Tidelarn.dat:\n"
                               << report;
  report.clear();
  for (const std::string& p : problems) report += p + "\n";
  EXPECT_TRUE(problems.empty()) << report;
}

TEST_F(TranslationFileTest, EnglishIsTheOnlyLanguageBesideTheBuiltInGerman) {
  std::vector<std::string> items;
  EXPECT_EQ(ListLanguages(items), 1);
  EXPECT_EQ(items, (std::vector<std::string>{"Deutsch", "English"}));
}
