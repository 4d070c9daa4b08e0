// Shared pieces of the Qt window tests: reading the list control back, clicking on its text,
// the window over a fake search engine, and screenshots into the build tree.
#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/languages.h"
#include "app/messages.h"
#include "app/static_version_info.h"
#include "tests/ui/ui_fakes.h"
#include "ui/qt/pradex_window.h"
#include "ui/qt/qt_rich_text_control.h"

namespace pradex::qttest {

inline std::string Utf8(const QString& text) {
  return text.toStdString();
}

inline QString Qt8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The texts of the list's paragraphs, in order.
inline std::vector<std::string> Paragraphs(const QtRichTextControl& list) {
  std::vector<std::string> lines;
  for (QTextBlock block = list.document()->begin(); block.isValid(); block = block.next()) {
    lines.push_back(Utf8(block.text()));
  }
  return lines;
}

struct LinkRun {
  std::string text;
  std::string href;
  friend bool operator==(const LinkRun&, const LinkRun&) = default;
};
inline void PrintTo(const LinkRun& run, std::ostream* out) {
  *out << "{\"" << run.text << "\" -> \"" << run.href << "\"}";
}

// Every run of anchor text, in document order.
inline std::vector<LinkRun> Links(const QtRichTextControl& list) {
  std::vector<LinkRun> runs;
  for (QTextBlock block = list.document()->begin(); block.isValid(); block = block.next()) {
    bool inRun = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.charFormat().isAnchor()) {
        inRun = false;
        continue;
      }
      if (!inRun) runs.push_back({"", Utf8(fragment.charFormat().anchorHref())});
      runs.back().text += Utf8(fragment.text());
      inRun = true;
    }
  }
  return runs;
}

// A point of the list's viewport in the middle of the character at `position`.
inline QPoint PointOnCharacter(QtRichTextControl& list, int position) {
  QTextCursor cursor(list.document());
  cursor.setPosition(position);
  const QRect left = list.cursorRect(cursor);
  cursor.setPosition(position + 1);
  const QRect right = list.cursorRect(cursor);
  return QPoint((left.x() + right.x()) / 2, left.center().y());
}

// The middle of the paragraph that holds exactly `text`; asserts that there is one.
inline QPoint PointOnLine(QtRichTextControl& list, const std::string& text) {
  for (QTextBlock block = list.document()->begin(); block.isValid(); block = block.next()) {
    if (block.text() == Qt8(text)) {
      return PointOnCharacter(list, block.position() + static_cast<int>(block.length() - 1) / 2);
    }
  }
  ADD_FAILURE() << "no line \"" << text << "\" in the list";
  return {};
}

// Writes `image` as PNG into the build tree; returns its path.
inline std::string SaveScreenshot(const QImage& image, const std::string& name) {
  const std::string path = std::string(PRADEX_SCREENSHOT_DIR) + "/" + name + "-" +
                           Utf8(QGuiApplication::platformName()) + ".png";
  EXPECT_TRUE(image.save(Qt8(path), "PNG")) << path;
  return path;
}

// A search engine the window owns that forwards to one a test keeps.
class ForwardingDriver : public SearchDriver {
 public:
  explicit ForwardingDriver(SearchDriver& target) : target(target) {}
  bool StartWorker(WindowHandle window) override { return target.StartWorker(window); }
  void Stop() override { target.Stop(); }
  std::string LookupDeviceUrl(const std::string& printerName) override {
    return target.LookupDeviceUrl(printerName);
  }
  std::string PrinterNameOf(std::intptr_t lParam) override { return target.PrinterNameOf(lParam); }
  int LostEndMessages() override { return target.LostEndMessages(); }
  std::vector<FactsStage::Entry> DeviceFacts() override { return target.DeviceFacts(); }

 private:
  SearchDriver& target;
};

// The window with the program's texts in language block `block` over a search engine that the
// test plays.
struct FakeSearchWindow {
  explicit FakeSearchWindow(unsigned block = kLanguageBlock)
      : language(strings, block), window(language, versions, browser, [this](MessagePoster&) {
          return std::make_unique<ForwardingDriver>(search);
        }) {
    window.SetLanguage(block);
  }

  // The message text the window shows.
  std::string Message(int n) { return LoadMessage(language, n); }
  void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    ASSERT_TRUE(window.Poster().Post(window.Handle(), message, wParam, lParam));
  }

  EmbeddedStringResources strings;
  LanguageStringResources language;
  StaticVersionInfo versions;
  FakeBrowserLauncher browser;
  FakeSearchDriver search;
  PradexWindow window;
};

}  // namespace pradex::qttest
