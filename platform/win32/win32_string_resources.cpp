#include "platform/win32/win32_string_resources.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace pradex {
namespace {

unsigned ChooseOnce();
unsigned Chosen();

std::atomic<unsigned> chosenCodePage{0};
// The routine that yields the code page: the chooser until a choice is made, then the one that
// returns the choice. Swapped with an atomic exchange, so that a concurrent caller finds one or
// the other.
std::atomic<unsigned (*)()> codePageRoutine{&ChooseOnce};

unsigned SystemChoice() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const bool haveVersion = GetVersionExA(&version) != FALSE;
#pragma GCC diagnostic pop
  if (haveVersion && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 4) {
    return CP_THREAD_ACP;
  }
  char localeCodePage[7] = {};
  const bool haveLocale = GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE,
                                         localeCodePage, sizeof(localeCodePage)) != 0;
  return ChooseConversionCodePage(haveVersion ? version.dwPlatformId : 0,
                                  haveVersion ? version.dwMajorVersion : 0,
                                  haveLocale ? localeCodePage : nullptr, GetACP());
}

unsigned ChooseOnce() {
  const unsigned codePage = SystemChoice();
  chosenCodePage.store(codePage);
  codePageRoutine.exchange(&Chosen);
  return codePage;
}

unsigned Chosen() {
  return chosenCodePage.load();
}

}  // namespace

unsigned ChooseConversionCodePage(unsigned long platformId, unsigned long majorVersion,
                                  const char* localeAnsiCodePage, unsigned ansiCodePage) {
  if (platformId == VER_PLATFORM_WIN32_NT && majorVersion > 4) return CP_THREAD_ACP;
  const unsigned localeCodePage =
      localeAnsiCodePage ? static_cast<unsigned>(std::strtoul(localeAnsiCodePage, nullptr, 10)) : 0;
  return localeCodePage != 0 ? localeCodePage : ansiCodePage;
}

unsigned ConversionCodePage() {
  return codePageRoutine.load()();
}

std::string ConvertToConversionCodePage(const wchar_t* text, std::size_t length) {
  if (length == 0) return std::string();
  const UINT codePage = ConversionCodePage();
  const int wideLength = static_cast<int>(length);
  const int size = WideCharToMultiByte(codePage, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string converted(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, text, wideLength, converted.data(), size, nullptr, nullptr);
  return converted;
}

bool Win32StringResources::Load(unsigned id, std::string& text) {
  text.clear();
  const HINSTANCE module =
      resourceModule != 0 ? reinterpret_cast<HINSTANCE>(resourceModule) : GetModuleHandleA(nullptr);
  // With a buffer size of 0 LoadStringW hands out the resource's own text, which has no
  // terminating zero, and its length: no limit on the length of a message.
  const wchar_t* resource = nullptr;
  const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&resource), 0);
  if (length <= 0 || !resource) return false;
  text = ConvertToConversionCodePage(resource, static_cast<std::size_t>(length));
  return !text.empty();
}

}  // namespace pradex
