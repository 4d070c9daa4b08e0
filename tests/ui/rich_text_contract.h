// The position and format rules that the device list needs of every RichTextControl (see
// ui/rich_text_control.h), as GoogleTest checks that a front end's tests run against its own
// control: ExpectRichTextContract(control). Plain ASCII text, so that the expected positions
// hold for every 8-bit code page and for UTF-16 controls alike. The formats cannot be read back
// through the interface; a front end checks them with its control's own means.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ui/rich_text_control.h"

namespace pradex {

inline void ExpectRichTextContract(RichTextControl& control) {
  CharFormat plain;
  plain.bold = true;
  plain.heightTwips = 180;
  plain.faceName = "Arial";
  CharFormat link = plain;
  link.heightTwips = 200;
  link.link = true;

  control.SetDefaultFormat(plain);
  // Positions: 0 break, 1-6 "Status", 7 and 8 breaks, 9-12 "Name", 13 break, 14-17 "name", 18
  // the closing break.
  control.SetText("\r\nStatus\r\n\r\nName\r\nname\r\n");
  EXPECT_EQ(control.TextLength(), 19) << "each \"\\r\\n\" is one position, the last one too";

  control.SetText("\r\nStatus\r\n\r\n");
  EXPECT_EQ(control.TextLength(), 9) << "a text that ends with two line breaks";
  control.SetText("\r\nStatus\r\n\r\nName\r\nname\r\n");

  EXPECT_EQ(control.FindForward("name", 0), std::optional<TextRange>(TextRange{9, 13}))
      << "forward, ignoring case";
  EXPECT_EQ(control.FindForward("name", 10), std::optional<TextRange>(TextRange{14, 18}))
      << "the first match that starts at or after the given position";
  EXPECT_EQ(control.FindForward("TAT", 0), std::optional<TextRange>(TextRange{2, 5}))
      << "matches inside words";
  EXPECT_EQ(control.FindForward("name", 15), std::nullopt);
  EXPECT_EQ(control.FindForward("missing", 0), std::nullopt);

  control.Select({14, 18});
  EXPECT_EQ(control.SelectedText(), "name");
  control.SetSelectionFormat(link);
  control.Select({9, 13});
  EXPECT_EQ(control.SelectedText(), "Name");
  control.Select({0, 0});
  EXPECT_EQ(control.SelectedText(), "");
}

}  // namespace pradex
