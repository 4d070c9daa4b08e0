// What the end-to-end tests of pradex-cli need around the program: child processes with their
// output and timing, a private cupsd with queues of the test's own and a scratch folder, all
// from tests/support.
#pragma once

#include "tests/support/child_process.h"
#include "tests/support/private_cupsd.h"

namespace pradex::test {

using testsupport::ChildProcess;
using testsupport::Clock;
using testsupport::FindProgram;
using testsupport::Milliseconds;
using testsupport::MillisecondsSince;
using testsupport::PrivateCupsd;
using testsupport::ProcessResult;
using testsupport::RunProcess;
using testsupport::SanitizerEnvironment;
using testsupport::ScratchDir;
using testsupport::SystemPath;

}  // namespace pradex::test
