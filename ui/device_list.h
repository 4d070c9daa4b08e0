// The main window's list control: one status text at the top and, below it, the name of every
// printer whose device answered in the current search, one per line, each formatted as a link.
// The control's text is always rebuilt as a whole, never edited in place.
//
// Text of the control, with S the status text and N1 ... Nk the names in sorted order:
//   "\r\n" S "\r\n\r\n" N1 "\r\n" N2 "\r\n" ... Nk "\r\n"
// and with the names left out: "\r\n" S "\r\n\r\n".
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "ui/rich_text_control.h"

namespace pradex {

// The format of the status text and the line breaks: bold 9-point black Arial.
CharFormat DefaultListFormat();
// The format of a device name, as MarkLink is asked for it: bold 10-point black Arial link.
inline constexpr std::uint32_t kLinkColor = 0x000000;
inline constexpr int kLinkHeightTwips = 200;

class DeviceList {
 public:
  explicit DeviceList(RichTextControl& control);
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;

  // Makes DefaultListFormat() the control's default format; once, at window initialisation.
  void Prepare();

  // Forgets the names (at each search start); the control keeps its text until the next rebuild.
  void Clear();

  // Rebuilds the control's text with `text` as the status text, with or without the names.
  void SetStatusText(std::string text, bool namesLeftOut);

  // Inserts `name` in byte-wise order (duplicates are kept) and rebuilds with the names shown.
  void AddDevice(std::string name);

  // Looks for `text` in the control from `lineStart`, which must be the first position of the
  // line that holds exactly `text`, and gives the match the link format built from `color`,
  // `height` (twips) and `link`. Returns the position right after the match (where the line
  // break stands), or -1 when the match is not that whole line (then nothing is formatted).
  long MarkLink(const std::string& text, std::uint32_t color, int height, bool link,
                long lineStart);

  // The text of a clicked link: selects `range`, reads it and collapses the selection at the
  // start of the text again.
  std::string ReadLinkText(TextRange range);

  std::vector<std::string> Names() const;
  std::string StatusText() const;

 private:
  // Writes the text and, with the names shown, marks each name on its own line.
  void RebuildLocked(bool namesLeftOut);

  RichTextControl& control;
  // Guards the names, the status text and the control's text and selection.
  mutable std::recursive_mutex listLock;
  std::vector<std::string> deviceNames;
  std::string statusText;
};

}  // namespace pradex
