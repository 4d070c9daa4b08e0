// The texts of the Linux programs in English (block 1), for the tests that compare words.
#pragma once

#include <string>

#include "app/texts.h"

namespace pradex::testsupport {

inline constexpr unsigned kEnglish = 1;

inline std::string English(const Phrase& phrase) {
  return Say(kEnglish, phrase);
}

}  // namespace pradex::testsupport
