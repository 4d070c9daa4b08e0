// What a listed device said about itself, drawn into the device list's document under its link:
// a borderless table of its own, centred like the list, with the state (when not idle) across
// the first row and a row per supply: its name, a bar filled to its level in its own colour,
// the level and the mark, the mark in bold. The bar is a text object sized from the table's
// font, so it grows with the desktop font and is painted afresh at any scale.
#pragma once

#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>

#include "discovery/device_facts.h"

class QTextDocument;
class QWidget;

namespace pradex {

// Lets `document` draw supply bars in the colours of `owner`'s palette; once per document.
void RegisterSupplyBars(QTextDocument* document, QWidget* owner);

// Whether `facts` have anything to show: reported, with supplies or a state worth a word.
bool FactsToShow(const DeviceFacts& facts, unsigned block);

// Inserts the table of `facts` at `at`, the start of a paragraph, its texts in `textFormat`.
void InsertFactsTable(QTextCursor at, const DeviceFacts& facts, unsigned block,
                      const QTextCharFormat& textFormat);

// Takes every facts table out of `document` again.
void RemoveFactsTables(QTextDocument* document);

// What a screen reader says of `facts`: the state line, then a line per supply; "" when none.
QString FactsText(const DeviceFacts& facts, unsigned block);

}  // namespace pradex
