#include "ui/browser_launch.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace pradex {

namespace {

constexpr const char* kQuotedPlaceholder = "\"%1\"";
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

std::string PlaceUrl(std::string command, const std::string& url) {
  const std::size_t placeholder = command.find(kQuotedPlaceholder);
  if (placeholder != std::string::npos) {
    command.replace(placeholder, 4, url);
  } else {
    command += ' ';
    command += url;
  }
  return command;
}

std::optional<BrowserCommand> SplitBrowserCommand(std::string command) {
  std::size_t p = command.find(".exe");
  if (p == std::string::npos) p = command.find(".EXE");
  if (p == std::string::npos) return std::nullopt;
  std::size_t cut = p + kExtensionLength;
  if (cut < command.size() && command[cut] == '"') {
    // A quoted program path: drop the closing quote and the first character, taken to be the
    // opening quote. The cut stays at p + 4 of the shortened text, one character past what
    // followed the closing quote (normally the separating space).
    command.erase(cut, 1);
    command.erase(0, 1);
  }
  // An extension at the very end, or followed only by its closing quote, leaves no argument
  // text: the program is started with none.
  cut = std::min(cut, command.size());
  BrowserCommand result;
  result.arguments = command.substr(cut);
  result.program = command.substr(0, cut);
  while (!result.program.empty() && result.program.back() == ' ') result.program.pop_back();
  return result;
}

std::optional<BrowserCommand> BuildBrowserCommand(std::string command, const std::string& url) {
  return SplitBrowserCommand(PlaceUrl(std::move(command), url));
}

void RegisteredBrowserLauncher::LaunchBrowser(std::string url) {
  // No device page: there is nothing to open, and a bare browser window would only puzzle.
  if (url.empty()) return;
  std::string command;
  // An unreadable registration leaves the command empty; the split then finds no program.
  ReadRegistryString(registry, kHkeyClassesRoot, kHttpOpenCommandKey, "", command);
  const auto browser = BuildBrowserCommand(std::move(command), url);
  if (!browser) return;
  launcher.Start(browser->program, browser->arguments);
}

void XdgBrowserLauncher::LaunchBrowser(std::string url) {
  if (url.empty()) return;
  launcher.Start("xdg-open", url);
}

}  // namespace pradex
