#include "ui/device_list.h"

#include <algorithm>
#include <utility>

namespace pradex {

namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr const char* kFaceName = "Arial";
constexpr int kDefaultHeightTwips = 180;

std::string StatusBlock(const std::string& status) {
  return kLineBreak + status + kLineBreak + kLineBreak;
}

}  // namespace

CharFormat DefaultListFormat() {
  CharFormat format;
  format.bold = true;
  format.heightTwips = kDefaultHeightTwips;
  format.color = 0x000000;
  format.faceName = kFaceName;
  return format;
}

DeviceList::DeviceList(RichTextControl& control) : control(control) {}

void DeviceList::Prepare() {
  std::lock_guard lock(listLock);
  control.SetDefaultFormat(DefaultListFormat());
}

void DeviceList::Clear() {
  std::lock_guard lock(listLock);
  deviceNames.clear();
}

void DeviceList::SetStatusText(std::string text, bool namesLeftOut) {
  std::lock_guard lock(listLock);
  statusText = std::move(text);
  RebuildLocked(namesLeftOut);
}

void DeviceList::AddDevice(std::string name) {
  std::lock_guard lock(listLock);
  // std::string's order compares the bytes as unsigned char: upper case before lower case.
  deviceNames.insert(std::upper_bound(deviceNames.begin(), deviceNames.end(), name),
                     std::move(name));
  RebuildLocked(false);
}

void DeviceList::RebuildLocked(bool namesLeftOut) {
  control.SetEnabled(false);
  const std::string status = StatusBlock(statusText);
  control.SetText(status);
  if (!namesLeftOut && !deviceNames.empty()) {
    // The first name line starts where the status block ends; the control alone knows how many
    // positions the status text takes, so it is measured before the names are added.
    long lineStart = control.TextLength();
    std::string text = status;
    for (const std::string& name : deviceNames) text += name + kLineBreak;
    control.SetText(text);
    for (const std::string& name : deviceNames) {
      lineStart = MarkLink(name, kLinkColor, kLinkHeightTwips, true, lineStart);
      if (lineStart < 0) break;  // the lines can no longer be told apart
      ++lineStart;               // over the line break that ends the name's line
    }
  }
  control.SetEnabled(true);
}

long DeviceList::MarkLink(const std::string& text, std::uint32_t color, int height, bool link,
                          long lineStart) {
  std::lock_guard lock(listLock);
  if (text.empty()) return lineStart;  // an empty line: nothing to format
  control.Select({0, 0});
  const auto match = control.FindForward(text, lineStart);
  // The line holds exactly this name, so the first match from its start is the whole line;
  // anything else would format some other text.
  if (!match || match->start != lineStart) return -1;
  CharFormat format = DefaultListFormat();
  format.heightTwips = height;
  format.color = color;
  format.link = link;
  control.Select(*match);
  control.SetSelectionFormat(format);
  return match->end;
}

std::string DeviceList::ReadLinkText(TextRange range) {
  std::lock_guard lock(listLock);
  control.Select(range);
  std::string text = control.SelectedText();
  control.Select({0, 0});
  return text;
}

std::vector<std::string> DeviceList::Names() const {
  std::lock_guard lock(listLock);
  return deviceNames;
}

std::string DeviceList::StatusText() const {
  std::lock_guard lock(listLock);
  return statusText;
}

}  // namespace pradex
