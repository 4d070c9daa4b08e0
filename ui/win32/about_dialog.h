// The About box: dialog template 100 with the product name, the version of the program's file
// and the copyright line.
#pragma once

#include "platform/string_resources.h"
#include "platform/version_info.h"
#include "ui/win32/framework.h"

namespace pradex::win32 {

class AboutDialog : public Dialog {
 public:
  // `strings` and `versions` must outlive the dialog.
  AboutDialog(StringResources& strings, VersionInfo& versions, HWND parent = nullptr);

 protected:
  BOOL OnInitDialog() override;

 private:
  StringResources& strings;
  VersionInfo& versions;
};

}  // namespace pradex::win32
