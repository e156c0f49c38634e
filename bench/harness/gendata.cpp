// Writes the benchmark's messages into a folder:
//   posting.msg   a typical 4 KB posting (windows-1252 text, quotes, signature)
//   tiny.msg      a short posting for the script-engine figure
//   big.msg       a 20 MB mail with a base64 attachment
//   sweep/        N postings of 1 to 6 KB for the folder sweep
//
//   gendata FOLDER [SWEEP_COUNT] [BIG_MEGABYTES]
//
// The same arguments always give the same bytes.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

const char* const kWords[] = {
    "der", "die", "das", "und", "nicht", "mit", "auf", "f\xfcr", "Nachricht", "Beitrag",
    "Antwort", "Zeichensatz", "Umlaute", "gr\xf6\xdf" "er", "\xfc" "ber", "Stra\xdf" "e",
    "K\xf6ln", "M\xfcnchen", "Newsreader", "Signatur", "Zitat", "Header", "Betreff", "gestern",
    "heute", "vielleicht", "wirklich", "Programm", "Einstellung", "Fehler", "l\xe4uft", "schon",
    "wieder", "eigentlich", "Server", "Gruppe", "Posting", "Kodierung", "\xc4nderung", "bitte"};

const char* const kNames[] = {"Anna Beispiel", "Bernd Muster", "Clara Probe", "Dieter Test",
                              "Eva Versuch", "Frank Entwurf", "G\xfcnter M\xfcller"};

const char* const kGroups[] = {"de.comm.software.newsreader", "de.test", "de.alt.test",
                               "de.comp.os.unix.linux.misc", "de.rec.fotografie"};

const char* const kSubjects[] = {"Frage zu Umlauten im Betreff", "Zitatzeichen richtig setzen",
                                 "Signatur wird abgeschnitten", "Welcher Zeichensatz?",
                                 "Lange Zeilen umbrechen", "Header sortieren"};

class Writer {
public:
  explicit Writer(unsigned seed) : rng_(seed) {}

  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

  // Words up to about Width columns, ended by CR LF, behind Prefix.
  std::string Line(const std::string& prefix, size_t width) {
    std::string s = prefix;
    while (s.size() < width) {
      if (s.size() > prefix.size()) s += ' ';
      s += kWords[Pick(std::size(kWords))];
    }
    return s + "\r\n";
  }

  std::string Paragraph(const std::string& prefix, size_t lines) {
    std::string s;
    for (size_t i = 0; i < lines; ++i) s += Line(prefix, 60 + Pick(12));
    return s;
  }

  std::string Header(unsigned n) {
    const char* from = kNames[Pick(std::size(kNames))];
    std::string s;
    s += "From: " + std::string(from) + " <user" + std::to_string(Pick(90) + 10) + "@example.org>\r\n";
    s += "Newsgroups: " + std::string(kGroups[Pick(std::size(kGroups))]) + "\r\n";
    static const char* const prefixes[] = {"Re: AW: Re: ", "", "Re: ", "AW: Re: Re: ", "Re: Re: "};
    s += "Subject: " + std::string(prefixes[n == 0 ? 0 : Pick(std::size(prefixes))]) +
         kSubjects[Pick(std::size(kSubjects))] + "\r\n";
    s += "References:";
    for (unsigned r = 0, refs = unsigned(1 + Pick(5)); r < refs; ++r)
      s += " <ref" + std::to_string(n * 7 + r) + "." + std::to_string(Pick(100000)) + "@example.net>";
    s += "\r\n";
    s += "Message-ID: <bench" + std::to_string(n) + "@example.org>\r\n";
    s += "User-Agent: Tidelarn-Bench/1.0\r\n";
    s += "X-Newsreader-Flags: draft\r\n";
    s += "MIME-Version: 1.0\r\n";
    s += "Content-Type: text/plain; charset=ISO-8859-1\r\n";
    s += "Content-Transfer-Encoding: 8bit\r\n\r\n";
    return s;
  }

  // A reply: attribution line, quotes in several styles, answer, signature.
  std::string Posting(unsigned n, size_t size) {
    std::string s = Header(n);
    s += std::string(kNames[Pick(std::size(kNames))]) + " schrieb:\r\n";
    static const char* const quotes[] = {"> ", ">", "> > ", ">> ", ">>", "| "};
    while (s.size() + 200 < size) {
      s += Paragraph(quotes[Pick(std::size(quotes))], 2 + Pick(4));
      s += "\r\n";
      s += Paragraph("", 2 + Pick(5));
      s += "\r\n";
    }
    s += "Gru\xdf, " + std::string(kNames[Pick(std::size(kNames))]) + "   \r\n\r\n\r\n";
    s += "-- \r\nEine Signatur, die nicht l\xe4nger ist als vier Zeilen.\r\n";
    return s;
  }

  // multipart/mixed: a short text part and an attachment of random bytes,
  // base64 in lines of 76 characters, filling the message to about Size.
  std::string BigMail(size_t size) {
    const std::string boundary = "----=_Part_bench_0001";
    std::string s;
    s.reserve(size + 4096);
    s += "From: Anna Beispiel <anna@example.org>\r\n";
    s += "To: Bernd Muster <bernd@example.net>\r\n";
    s += "Subject: Die Aufnahmen vom Wochenende\r\n";
    s += "Message-ID: <bench-big@example.org>\r\n";
    s += "MIME-Version: 1.0\r\n";
    s += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    s += "This is a multi-part message in MIME format.\r\n";
    s += "--" + boundary + "\r\n";
    s += "Content-Type: text/plain; charset=ISO-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    s += Paragraph("", 6) + "\r\n-- \r\nAnna\r\n";
    s += "--" + boundary + "\r\n";
    s += "Content-Type: application/octet-stream; name=\"aufnahmen.tar\"\r\n";
    s += "Content-Transfer-Encoding: base64\r\n";
    s += "Content-Disposition: attachment; filename=\"aufnahmen.tar\"\r\n\r\n";
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::uniform_int_distribution<unsigned> byte(0, 255);
    const size_t end = size - boundary.size() - 8;
    while (s.size() + 78 <= end) {
      for (int group = 0; group < 19; ++group) {
        unsigned v = byte(rng_) << 16 | byte(rng_) << 8 | byte(rng_);
        for (int k = 3; k >= 0; --k) s += alphabet[(v >> (6 * k)) & 63];
      }
      s += "\r\n";
    }
    s += "--" + boundary + "--\r\n";
    return s;
  }

private:
  std::mt19937 rng_;
};

void Save(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gendata FOLDER [SWEEP_COUNT] [BIG_MEGABYTES]\n");
    return 1;
  }
  const std::string dir = argv[1];
  const unsigned sweep = argc > 2 ? unsigned(std::atoi(argv[2])) : 10000;
  const size_t bigMb = argc > 3 ? size_t(std::atoi(argv[3])) : 20;
  mkdir(dir.c_str(), 0755);
  mkdir((dir + "/sweep").c_str(), 0755);

  Writer w(1);
  Save(dir + "/posting.msg", w.Posting(0, 4096));
  Save(dir + "/tiny.msg", w.Posting(1, 600));
  Save(dir + "/big.msg", w.BigMail(bigMb << 20));
  for (unsigned n = 1; n <= sweep; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "/sweep/p%05u.msg", n);
    Save(dir + name, w.Posting(n + 1, 1024 + w.Pick(5 * 1024)));
  }
  return 0;
}
