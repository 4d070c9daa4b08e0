// Opening a device page in the user's browser.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/process_launcher.h"
#include "platform/registry.h"

namespace pradex {

class BrowserLauncher {
 public:
  virtual ~BrowserLauncher() = default;
  // Opens `url` in the browser; an empty URL (no device page known) opens nothing. Reports
  // nothing: a failure simply means that no browser window opens.
  virtual void LaunchBrowser(std::string url) = 0;
};

// The default value of this key under HKEY_CLASSES_ROOT is the command line registered for
// opening http links.
inline constexpr const char* kHttpOpenCommandKey = "http\\shell\\open\\command";

// Reads the value `valueName` of `subkey` under `root` as text: a value of any type, up to its
// first zero byte and never past the length the read returned. True and `out` set on success;
// false and `out` untouched on any failure.
bool ReadRegistryString(Registry& registry, RegKey root, const std::string& subkey,
                        const std::string& valueName, std::string& out);

// A program and the argument text to start it with.
struct BrowserCommand {
  std::string program;
  std::string arguments;
  friend bool operator==(const BrowserCommand&, const BrowserCommand&) = default;
};

// A registered command line with the URL put in, and which of its characters came from the URL:
// those never take part in finding the program, and none may become part of its path.
struct PlacedCommand {
  std::string text;
  std::vector<bool> fromUrl;  // per character of `text`; missing entries count as registered
  bool FromUrl(std::size_t i) const { return i < fromUrl.size() && fromUrl[i]; }
};

// Puts `url` into a registered command line: over the first "\"%1\"" (unquoted), else over
// every bare %1 (as the shell expands such commands), or else appended after one space.
PlacedCommand PlaceUrl(const std::string& command, const std::string& url);

// Splits a placed command line into program path and argument text at the first ".exe" (else
// the first ".EXE"; no other spelling) of the registered text, unquoting a quoted program path.
// nullopt when there is no such extension, or when the program path would take in a character
// of the URL: nothing is to be launched.
std::optional<BrowserCommand> SplitBrowserCommand(PlacedCommand command);

// PlaceUrl, then SplitBrowserCommand; nullopt for an empty command.
std::optional<BrowserCommand> BuildBrowserCommand(const std::string& command,
                                                  const std::string& url);

// The Windows way: the command registered for http, started through the shell.
class RegisteredBrowserLauncher : public BrowserLauncher {
 public:
  RegisteredBrowserLauncher(Registry& registry, ProcessLauncher& launcher)
      : registry(registry), launcher(launcher) {}
  void LaunchBrowser(std::string url) override;

 private:
  Registry& registry;
  ProcessLauncher& launcher;
};

// The Linux way: "xdg-open" with the URL as its single argument.
class XdgBrowserLauncher : public BrowserLauncher {
 public:
  explicit XdgBrowserLauncher(ProcessLauncher& launcher) : launcher(launcher) {}
  void LaunchBrowser(std::string url) override;

 private:
  ProcessLauncher& launcher;
};

}  // namespace pradex
