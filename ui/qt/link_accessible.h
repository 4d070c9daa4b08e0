// What screen readers see of the device list: a list whose children are the device links, each
// with the printer name as its name, what its device said about itself (supplies, state) as its
// description, the link role and a press action that opens it, and the focused link as the
// list's focus child.
#pragma once

namespace pradex {

// Registers the accessibility factory for QtRichTextControl once per process.
void InstallLinkAccessibility();

}  // namespace pradex
