// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// What corvel-capture gives up before it serves anyone. It runs with cap_net_raw and
// cap_net_admin for a caller who lacks them, so nothing of the caller's may steer it.
namespace corvel::capture {

// Empties the environment (the helper reads none; the dynamic loader has already ignored LD_*
// in a process that gains capabilities), closes every descriptor but the standard three, resets
// signal handling, moves to "/" with umask 077, forbids gaining privileges (no_new_privs), makes
// the process non-dumpable so that its caller cannot attach to it, and keeps only
// CAP_NET_RAW and CAP_NET_ADMIN, permitted and effective, with nothing inheritable or ambient and
// an empty bounding set (through libcap-ng).
// False with `error` when a step fails; the helper then refuses to serve.
bool confine(std::string& error);

}  // namespace corvel::capture
