#pragma once

// The name a call gives the listening socket it hands to the user's service it
// starts (LISTEN_FDNAMES): that socket's file is the service's own, to watch and to
// remove as it ends, unlike one systemd made and keeps.
inline constexpr char kSocketOfCall[] = "tarnwick-call";

// Starts `tarnwick --serve --user` in the background, on a listening socket made
// here at UserServiceSocket(), in a session of its own (no terminal, not in the
// caller's process group, so that the caller's Ctrl-C or its pipe's end does not
// reach it), its output into the log (kept once as serve.log.1 past its bound). The
// service is reachable as this returns: what is sent meanwhile waits in the
// socket's queue. The caller holds the start lock. Throws AppError.
void StartUserService();
