#include "platform/Text.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <mutex>

namespace plat {
namespace {

std::mutex g_codePageMutex;
std::string g_codePageOverride;

std::string LocaleCodePage() {
  // The environment's locale, whatever setlocale the process has called.
  std::string name = "UTF-8";
  locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (loc != static_cast<locale_t>(0)) {
    const char* cs = nl_langinfo_l(CODESET, loc);
    if (cs && *cs) name = cs;
    freelocale(loc);
  }
  if (name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII" || name == "646") name = "UTF-8";
  return name;
}

bool IsUtf8Name(const std::string& name) {
  std::string up;
  for (char c : name) up.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
  return up == "UTF-8" || up == "UTF8";
}

constexpr char16_t kReplacementChar = 0xFFFD;

// A byte 0x80-0xFF that starts no character of the code page is kept as the
// lone low surrogate U+DC80-U+DCFF; narrowing writes the byte back. No valid
// text of any code page decodes to a lone surrogate, so the stand-in is never
// mistaken for a character, and a file read and written back keeps its bytes.
constexpr char16_t kByteStandInBase = 0xDC00;
bool IsByteStandIn(unsigned unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }
char16_t UndecodableByte(unsigned char byte) {
  return byte >= 0x80 ? static_cast<char16_t>(kByteStandInBase + byte) : kReplacementChar;
}

// Decodes UTF-8; each invalid byte becomes one counted byte stand-in.
Widened Utf8Widen(std::string_view s) {
  Widened out;
  out.text.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned c = p[i];
    if (c < 0x80) {
      out.text.push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    int len = 0;
    unsigned cp = 0;
    unsigned minCp = 0;
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; minCp = 0x80; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; minCp = 0x800; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; minCp = 0x10000; }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      unsigned cc = p[i + k];
      if ((cc & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok && (cp < minCp || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.text.push_back(UndecodableByte(static_cast<unsigned char>(c)));
      ++out.replaced;
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.text.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Encodes UTF-16 as UTF-8; a byte stand-in gives its byte back, any other
// unpaired surrogate (no character) becomes a counted '?', as a character
// of another code page that it lacks.
Narrowed Utf8Narrow(WStringView s) {
  Narrowed out;
  out.text.reserve(s.size());
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned c = s[i];
    if (c < 0x80) {
      out.text.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      unsigned cp = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      AppendUtf8(out.text, cp);
      ++i;
      continue;
    }
    if (IsByteStandIn(c)) {
      out.text.push_back(static_cast<char>(c & 0xFF));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      out.text.push_back('?');
      ++out.replaced;
      continue;
    }
    AppendUtf8(out.text, c);
  }
  return out;
}

// What stands in the output for input iconv cannot convert: the bytes
// written, the input bytes skipped, and whether it counts as a replacement.
struct StandIn {
  char bytes[4] = {};
  std::size_t size = 0;
  std::size_t skip = 0;
  bool counted = true;
};

// iconv conversion; `standIn(at, left)` gives what replaces the input that
// cannot be converted at `at` (with `left` input bytes from there).
template <typename StandInFor>
std::string IconvConvert(const char* from, const char* to, const char* data, std::size_t size,
                         StandInFor standIn, std::size_t& replaced, bool& ok) {
  ok = true;
  std::string out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ok = false;
    return out;
  }
  out.resize(size * 4 + 16);
  char* in = const_cast<char*>(data);
  std::size_t inLeft = size;
  std::size_t outPos = 0;
  while (true) {
    char* outPtr = out.data() + outPos;
    std::size_t outLeft = out.size() - outPos;
    std::size_t r = iconv(cd, inLeft ? &in : nullptr, &inLeft, &outPtr, &outLeft);
    outPos = static_cast<std::size_t>(outPtr - out.data());
    if (r != static_cast<std::size_t>(-1)) {
      if (inLeft == 0) break;
      continue;
    }
    if (errno == E2BIG) {
      out.resize(out.size() * 2 + 16);
      continue;
    }
    // EILSEQ or EINVAL: put the stand-in and go on after the input it takes.
    const StandIn put = standIn(in, inLeft);
    if (out.size() - outPos < put.size) out.resize(out.size() * 2 + put.size);
    std::memcpy(out.data() + outPos, put.bytes, put.size);
    outPos += put.size;
    if (put.counted) ++replaced;
    std::size_t skip = put.skip < inLeft ? put.skip : inLeft;
    in += skip;
    inLeft -= skip;
    if (inLeft == 0) break;
  }
  // Flush any shift state.
  char* outPtr = out.data() + outPos;
  std::size_t outLeft = out.size() - outPos;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  outPos = static_cast<std::size_t>(outPtr - out.data());
  out.resize(outPos);
  iconv_close(cd);
  return out;
}

}  // namespace

const std::string& SystemCodePage() {
  static const std::string localeName = LocaleCodePage();
  thread_local std::string current;
  std::lock_guard<std::mutex> lock(g_codePageMutex);
  current = g_codePageOverride.empty() ? localeName : g_codePageOverride;
  return current;
}

void SetSystemCodePage(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_codePageMutex);
  g_codePageOverride = name;
}

Widened WidenFrom(std::string_view bytes, const std::string& codePage) {
  if (IsUtf8Name(codePage)) return Utf8Widen(bytes);
  Widened out;
  bool ok = false;
  // One undecodable byte at a time becomes its stand-in (UTF-16LE).
  auto byteStandIn = [](const char* at, std::size_t) {
    const char16_t unit = UndecodableByte(static_cast<unsigned char>(*at));
    StandIn put;
    put.bytes[0] = static_cast<char>(unit & 0xFF);
    put.bytes[1] = static_cast<char>(unit >> 8);
    put.size = 2;
    put.skip = 1;
    return put;
  };
  std::string raw = IconvConvert(codePage.c_str(), "UTF-16LE", bytes.data(), bytes.size(), byteStandIn,
                                 out.replaced, ok);
  if (!ok) return Utf8Widen(bytes);  // unknown code page: fall back to UTF-8
  out.text.resize(raw.size() / 2);
  std::memcpy(out.text.data(), raw.data(), out.text.size() * 2);
  return out;
}

Narrowed NarrowTo(WStringView text, const std::string& codePage) {
  if (IsUtf8Name(codePage)) return Utf8Narrow(text);
  Narrowed out;
  bool ok = false;
  // A byte stand-in gives its byte back; any other character the code page
  // lacks (a surrogate pair as one) becomes a counted '?'.
  auto questionMark = [](const char* at, std::size_t left) {
    auto unitAt = [at](std::size_t k) {
      return static_cast<unsigned>(static_cast<unsigned char>(at[2 * k])) |
             static_cast<unsigned>(static_cast<unsigned char>(at[2 * k + 1])) << 8;
    };
    StandIn put;
    put.size = 1;
    put.skip = 2;
    if (left < 2) {
      put.bytes[0] = '?';
      return put;
    }
    const unsigned unit = unitAt(0);
    if (IsByteStandIn(unit)) {
      put.bytes[0] = static_cast<char>(unit & 0xFF);
      put.counted = false;
      return put;
    }
    put.bytes[0] = '?';
    if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4 && unitAt(1) >= 0xDC00 && unitAt(1) <= 0xDFFF) put.skip = 4;
    return put;
  };
  out.text = IconvConvert("UTF-16LE", codePage.c_str(), reinterpret_cast<const char*>(text.data()),
                          text.size() * 2, questionMark, out.replaced, ok);
  if (!ok) return Utf8Narrow(text);
  return out;
}

WString AnsiToWideString(std::string_view bytes) { return WidenFrom(bytes, SystemCodePage()).text; }

std::string WideToAnsiString(WStringView text, std::size_t* replaced) {
  Narrowed n = NarrowTo(text, SystemCodePage());
  if (replaced) *replaced = n.replaced;
  return std::move(n.text);
}

WString Utf8ToWide(std::string_view bytes) { return Utf8Widen(bytes).text; }
std::string WideToUtf8(WStringView text) { return Utf8Narrow(text).text; }

std::size_t WLen(const char16_t* s) {
  if (!s) return 0;
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}

WString AsciiToWide(std::string_view ascii) {
  WString out(ascii.size(), u'\0');
  for (std::size_t i = 0; i < ascii.size(); ++i) out[i] = static_cast<unsigned char>(ascii[i]);
  return out;
}

std::string WideToAscii(WStringView text) {
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  return out;
}

}  // namespace plat
