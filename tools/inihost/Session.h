#pragma once
// `inihost run`: a scripted host session. Each line of standard input is
// one JSON request; each gets one JSON answer on one line of standard
// output, flushed at once.
#include <iosfwd>

#include "Host.h"

// Answers every line of `in` on `out`; returns when `in` ends.
void RunSession(Host& host, std::istream& in, std::ostream& out);
