#include "platform/posix/locale_string_resources.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cerrno>
#include <utility>

namespace pradex {

namespace {

std::string ChooseCodeset() {
  // The user's default locale is read without touching the process's global locale, so the
  // choice is the same whether or not start-up has already called setlocale(LC_ALL, "").
  const locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (user != static_cast<locale_t>(0)) {
    const char* name = nl_langinfo_l(CODESET, user);
    std::string codeset = name != nullptr ? name : "";
    freelocale(user);
    if (!codeset.empty()) return codeset;
  }
  // The environment names a locale that is not installed: the process runs in the C locale.
  const char* name = nl_langinfo(CODESET);
  return name != nullptr && *name != '\0' ? name : "ANSI_X3.4-1968";
}

// Bytes of the (possibly malformed) UTF-8 character at `in`: at least 1, at most `left`.
std::size_t CharacterLength(const char* in, std::size_t left) {
  const auto lead = static_cast<unsigned char>(in[0]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  std::size_t taken = 1;
  while (taken < length && taken < left && (static_cast<unsigned char>(in[taken]) & 0xC0) == 0x80) {
    ++taken;
  }
  return taken;
}

}  // namespace

const std::string& LocaleCodeset() {
  static const std::string codeset = ChooseCodeset();
  return codeset;
}

bool IsUtf8Codeset(std::string_view codeset) {
  std::string letters;
  for (const char c : codeset) {
    if (c != '-' && c != '_')
      letters.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  return letters == "UTF8";
}

bool ConvertUtf8ToCodeset(std::string_view utf8, const std::string& codeset, std::string& out) {
  if (IsUtf8Codeset(codeset)) {
    out.assign(utf8);
    return true;
  }
  const iconv_t converter = iconv_open((codeset + "//TRANSLIT").c_str(), "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;

  std::string result;
  char buffer[256];
  // iconv's interface takes a non-const input pointer but does not write through it.
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t done = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    result.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A character the codeset cannot show even approximately (EILSEQ), or a malformed or
    // truncated sequence (EILSEQ, EINVAL): one '?' for it, as the Windows conversion does.
    result.push_back('?');
    const std::size_t skip = CharacterLength(in, inLeft);
    in += skip;
    inLeft -= skip;
  }
  // End in the initial shift state (matters only for stateful codesets).
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  if (iconv(converter, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
    result.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  }
  iconv_close(converter);
  out = std::move(result);
  return true;
}

LocaleStringResources::LocaleStringResources(StringResources& utf8Source)
    : LocaleStringResources(utf8Source, LocaleCodeset()) {}

LocaleStringResources::LocaleStringResources(StringResources& utf8Source, std::string outputCodeset)
    : source(utf8Source), codeset(std::move(outputCodeset)) {}

bool LocaleStringResources::Load(unsigned id, std::string& text) {
  std::string utf8;
  if (!source.Load(id, utf8)) {
    text.clear();
    return false;
  }
  // Without a converter the UTF-8 text is still better than none.
  if (!ConvertUtf8ToCodeset(utf8, codeset, text)) text = std::move(utf8);
  return true;
}

}  // namespace pradex
