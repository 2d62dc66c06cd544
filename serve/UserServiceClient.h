#pragma once

#include <optional>

// `tarnwick --convert --stdout DOCUMENT` through the user's own service (`tarnwick
// --serve --user`), whose office is already running: the same bytes on stdout,
// the same exit status, the same lines on stderr as the call's own office gives.
//
// Takes only the plain call: --stdout, perhaps --quiet, and one regular file; any
// other command line, --no-service, or a document the service could not convert is
// left to the batch (which then does what it always did). When no service answers,
// one is started in the background, detached, and the call waits for it; calls
// that race start one between them. The socket is used only when it, its folder
// and the process that answers on it are this user's; otherwise nothing is sent
// there and one line on stderr says so.
//
// Call first thing, before any QCoreApplication exists (it needs none). Returns
// the exit status when the call was served, none when the batch is to run it.
std::optional<int> ConvertThroughUserService(int argc, char **argv);
