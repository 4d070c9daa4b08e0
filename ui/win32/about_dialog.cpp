#include "ui/win32/about_dialog.h"

#include "app/about_box.h"
#include "ui/win32/resource_ids.h"

namespace pradex::win32 {

AboutDialog::AboutDialog(StringResources& strings, VersionInfo& versions, HWND parent)
    : Dialog(PRADEX_IDD_ABOUT, parent), strings(strings), versions(versions) {}

BOOL AboutDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  for (const AboutControlText& control : AboutBoxTexts(strings, versions)) {
    SetDlgItemTextA(Handle(), control.controlId, control.text.c_str());
  }
  return TRUE;
}

}  // namespace pradex::win32
