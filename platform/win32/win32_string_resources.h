// The string table of a module (UTF-16 STRINGTABLE resources), converted to 8-bit text in the
// conversion code page of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/string_resources.h"

namespace pradex {

class Win32StringResources : public StringResources {
 public:
  // `module` is the HMODULE that holds the string table; 0 is the program's own executable.
  explicit Win32StringResources(std::uintptr_t module = 0) : resourceModule(module) {}
  bool Load(unsigned id, std::string& text) override;

 private:
  std::uintptr_t resourceModule;
};

// The code page that UTF-16 texts are converted into. Chosen on first use and kept for the
// life of the process; threads that ask at the same time all get the same answer.
unsigned ConversionCodePage();

// The choice, from the system's answers: on Windows NT (platform id 2) from version 5 on, the
// thread's ANSI code page (CP_THREAD_ACP); otherwise the decimal number in
// `localeAnsiCodePage` (the thread locale's LOCALE_IDEFAULTANSICODEPAGE, null when it could
// not be read), or `ansiCodePage` (GetACP) when that is missing or 0.
unsigned ChooseConversionCodePage(unsigned long platformId, unsigned long majorVersion,
                                  const char* localeAnsiCodePage, unsigned ansiCodePage);

// UTF-16 text converted into the conversion code page; characters that it lacks become the
// code page's default character.
std::string ConvertToConversionCodePage(const wchar_t* text, std::size_t length);

}  // namespace pradex
