#include "ui/browser_launch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace pradex {

namespace {

constexpr const char* kQuotedPlaceholder = "\"%1\"";
constexpr const char* kBarePlaceholder = "%1";
constexpr std::size_t kExtensionLength = 4;  // ".exe"
constexpr std::uint32_t kBufferSlack = 5;

}  // namespace

bool ReadRegistryString(Registry& registry, RegKey root, const std::string& subkey,
                        const std::string& valueName, std::string& out) {
  ScopedRegKey key(registry);
  if (registry.OpenKey(root, subkey.c_str(), kKeyRead, key.out()) != kErrorSuccess) return false;
  std::uint32_t type = 0;
  std::uint32_t length = 0;
  if (registry.QueryValue(key.get(), valueName.c_str(), &type, nullptr, &length) != kErrorSuccess) {
    return false;
  }
  std::vector<std::uint8_t> buffer;
  try {
    buffer.assign(static_cast<std::size_t>(length) + kBufferSlack, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::uint32_t read = static_cast<std::uint32_t>(buffer.size());
  const long result =
      registry.QueryValue(key.get(), valueName.c_str(), &type, buffer.data(), &read);
  key.Reset();
  if (result != kErrorSuccess) return false;
  const auto end = buffer.begin() + std::min<std::size_t>(read, buffer.size());
  out.assign(buffer.begin(), std::find(buffer.begin(), end, std::uint8_t{0}));
  return true;
}

PlacedCommand PlaceUrl(const std::string& command, const std::string& url) {
  PlacedCommand placed;
  const auto copy = [&](std::size_t from, std::size_t to) {
    placed.text.append(command, from, to - from);
    placed.fromUrl.insert(placed.fromUrl.end(), to - from, false);
  };
  const auto put = [&] {
    placed.text += url;
    placed.fromUrl.insert(placed.fromUrl.end(), url.size(), true);
  };
  const std::size_t quoted = command.find(kQuotedPlaceholder);
  if (quoted != std::string::npos) {
    copy(0, quoted);
    put();
    copy(quoted + std::strlen(kQuotedPlaceholder), command.size());
    return placed;
  }
  // Positions are taken in the registered text, so a "%1" inside the URL is never replaced.
  std::size_t from = 0;
  for (std::size_t bare = command.find(kBarePlaceholder); bare != std::string::npos;
       bare = command.find(kBarePlaceholder, from)) {
    copy(from, bare);
    put();
    from = bare + std::strlen(kBarePlaceholder);
  }
  if (from > 0) {
    copy(from, command.size());
    return placed;
  }
  copy(0, command.size());
  placed.text += ' ';
  placed.fromUrl.push_back(false);
  put();
  return placed;
}

namespace {

// The first `extension` that lies wholly in the registered text.
std::size_t FindRegisteredExtension(const PlacedCommand& command, const char* extension) {
  for (std::size_t p = command.text.find(extension); p != std::string::npos;
       p = command.text.find(extension, p + 1)) {
    bool registered = true;
    for (std::size_t i = p; i < p + kExtensionLength; ++i)
      registered = registered && !command.FromUrl(i);
    if (registered) return p;
  }
  return std::string::npos;
}

}  // namespace

std::optional<BrowserCommand> SplitBrowserCommand(PlacedCommand command) {
  std::size_t p = FindRegisteredExtension(command, ".exe");
  if (p == std::string::npos) p = FindRegisteredExtension(command, ".EXE");
  if (p == std::string::npos) return std::nullopt;
  std::string& text = command.text;
  std::vector<bool>& fromUrl = command.fromUrl;
  fromUrl.resize(text.size(), false);
  // The URL placed before the program would become part of its path.
  if (std::find(fromUrl.begin(), fromUrl.begin() + static_cast<std::ptrdiff_t>(p), true) !=
      fromUrl.begin() + static_cast<std::ptrdiff_t>(p)) {
    return std::nullopt;
  }
  std::size_t cut = p + kExtensionLength;
  if (cut < text.size() && text[cut] == '"' && !fromUrl[cut]) {
    // A quoted program path: drop the closing quote and the first character, taken to be the
    // opening quote. The cut stays at p + 4 of the shortened text, one character past what
    // followed the closing quote (normally the separating space).
    text.erase(cut, 1);
    fromUrl.erase(fromUrl.begin() + static_cast<std::ptrdiff_t>(cut));
    text.erase(0, 1);
    fromUrl.erase(fromUrl.begin());
    // The URL directly after the closing quote: none of it joins the path.
    if (cut - 1 < text.size() && fromUrl[cut - 1]) --cut;
  }
  // An extension at the very end, or followed only by its closing quote, leaves no argument
  // text: the program is started with none.
  cut = std::min(cut, text.size());
  BrowserCommand result;
  result.arguments = text.substr(cut);
  result.program = text.substr(0, cut);
  while (!result.program.empty() && result.program.back() == ' ') result.program.pop_back();
  return result;
}

std::optional<BrowserCommand> BuildBrowserCommand(const std::string& command,
                                                  const std::string& url) {
  // Nothing registered: whatever the URL holds, there is no program to start.
  if (command.empty()) return std::nullopt;
  return SplitBrowserCommand(PlaceUrl(command, url));
}

void RegisteredBrowserLauncher::LaunchBrowser(std::string url) {
  // No device page: there is nothing to open, and a bare browser window would only puzzle.
  if (url.empty()) return;
  std::string command;
  // An unreadable registration launches nothing, whatever the URL holds.
  if (!ReadRegistryString(registry, kHkeyClassesRoot, kHttpOpenCommandKey, "", command)) return;
  const auto browser = BuildBrowserCommand(command, url);
  if (!browser) return;
  launcher.Start(browser->program, browser->arguments);
}

void XdgBrowserLauncher::LaunchBrowser(std::string url) {
  if (url.empty()) return;
  launcher.Start("xdg-open", url);
}

}  // namespace pradex
