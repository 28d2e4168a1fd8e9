// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the tool gets from the system it runs on, the same way everywhere: its arguments,
// environment and file names as UTF-8, and standard streams that pass every byte unchanged.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace CodeTarvoCli {

// The command line as UTF-8 (ARGV as given on POSIX systems; Windows passes it in the ANSI
// code page, which cannot hold every key, so it is read again from its UTF-16 form there).
[[nodiscard]] std::vector<std::string> utf8Arguments(int argc, char **argv);

// The environment variable NAME as UTF-8, or nothing when it is not set.
[[nodiscard]] std::optional<std::string> utf8Environment(const std::string &name);

// Opens the file named by the UTF-8 PATH for reading its bytes, as std::fopen does (errno set
// on failure).
[[nodiscard]] std::FILE *openForReading(const std::string &path);

// Puts standard input and output in binary mode: Windows opens them in text mode, which turns
// LF into CR LF on output, drops the CR of CR LF on input and ends input at code 26.
void useBinaryStandardStreams();

} // namespace CodeTarvoCli
