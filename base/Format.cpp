#include "Format.h"

#include <algorithm>
#include <cstdio>

#include "SysUtils.h"

namespace {

std::string FormatFloat(char type, double v, int prec) {
  char spec[16];
  char conv = type == 'e' ? 'e' : type == 'g' ? 'g' : 'f';
  if (type == 'g' && prec < 0) prec = 15;
  if (type == 'e' && prec < 0) prec = 15;
  if ((type == 'f' || type == 'n') && prec < 0) prec = 2;
  // Delphi gives at most 18 digits; more would also not fit the buffer below.
  prec = std::min(prec, 18);
  std::snprintf(spec, sizeof spec, "%%.%d%c", prec, conv);
  // The format is built here from a fixed set; the locale's separator is
  // undone below, so the text always has ".".
  char buf[512];
  std::snprintf(buf, sizeof buf, spec, v);
  std::string r(buf);
  for (char& c : r)
    if (c == ',') c = '.';
  if (type == 'n') {
    size_t dot = r.find('.');
    size_t intEnd = dot == std::string::npos ? r.size() : dot;
    size_t start = (!r.empty() && r[0] == '-') ? 1 : 0;
    for (ptrdiff_t i = ptrdiff_t(intEnd) - 3; i > ptrdiff_t(start); i -= 3) r.insert(size_t(i), ",");
  }
  return r;
}

}  // namespace

std::string Format(std::string_view fmt, const std::vector<FmtArg>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      out += fmt[i];
      continue;
    }
    if (++i >= fmt.size()) throw EConvertError("Format '" + std::string(fmt) + "' invalid");
    if (fmt[i] == '%') {
      out += '%';
      continue;
    }
    // [index:][-][width][.prec]type
    auto readNum = [&](int& v) {
      bool any = false;
      v = 0;
      while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
        if (v < 100000) v = v * 10 + (fmt[i] - '0');
        ++i;
        any = true;
      }
      return any;
    };
    size_t save = i;
    int n;
    if (readNum(n) && i < fmt.size() && fmt[i] == ':') {
      next = size_t(n);
      ++i;
    } else {
      i = save;
    }
    bool left = false;
    if (i < fmt.size() && fmt[i] == '-') {
      left = true;
      ++i;
    }
    int width = 0, prec = -1;
    readNum(width);
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      readNum(prec);
    }
    if (i >= fmt.size() || next >= args.size())
      throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
    char type = char(fmt[i] | 0x20);
    const FmtArg& a = args[next++];
    std::string piece;
    switch (type) {
      case 'd':
      case 'u':
      case 'x': {
        const int64_t* v = std::get_if<int64_t>(&a);
        if (!v) throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
        if (type == 'x') {
          char buf[32];
          std::snprintf(buf, sizeof buf, "%llX", (unsigned long long)*v);
          piece = buf;
        } else {
          piece = IntToStr(type == 'u' && *v < 0 ? int64_t(uint32_t(*v)) : *v);
        }
        if (prec > 0 && int(piece.size()) < prec) {
          bool neg = !piece.empty() && piece[0] == '-';
          piece.insert(neg ? 1 : 0, size_t(prec - int(piece.size()) + (neg ? 1 : 0)), '0');
        }
        break;
      }
      case 'f':
      case 'g':
      case 'e':
      case 'n':
      case 'm': {
        const double* v = std::get_if<double>(&a);
        if (!v) throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
        piece = FormatFloat(type == 'm' ? 'n' : type, *v, prec);
        break;
      }
      case 's': {
        const std::string* v = std::get_if<std::string>(&a);
        if (!v) throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
        piece = prec >= 0 ? Copy(*v, 1, prec) : *v;
        break;
      }
      default:
        throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
    }
    if (int(piece.size()) < width) {
      std::string pad(size_t(width) - piece.size(), ' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
  }
  return out;
}
