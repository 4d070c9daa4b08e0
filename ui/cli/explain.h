// What --explain reports: for every printer of the spooler, why the search did or did not probe
// it and how its probe ended. The record and its wording are shared with the window's details
// view (ui/search_record.h, ui/search_reasons.h).
#pragma once

#include "ui/search_reasons.h"
#include "ui/search_record.h"

namespace pradex::cli {

using pradex::BuildExplanation;
using pradex::ClientErrorMeaning;
using pradex::Explanation;
using pradex::PrinterExplanation;
using pradex::ReasonText;
using pradex::RecordingSpooler;
using pradex::RecordingTrace;
using pradex::SpoolerProblem;
using pradex::SpoolerText;

}  // namespace pradex::cli
