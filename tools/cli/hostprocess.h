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

// Creates a new file for writing beside the file named by the UTF-8 PATH, in the same folder and
// with the mode a new PATH would have (or PATH's own), and gives its descriptor and its name in
// TEMPORARY; -1 with errno set on failure.
[[nodiscard]] int createBeside(const std::string &path, std::string &temporary);

// Puts the file FROM in place of the file TO, replacing it when it exists, in one step: TO is
// either the old file or the new one, never a mixture. False with errno set on failure.
[[nodiscard]] bool replaceFile(const std::string &from, const std::string &to);

// Forces what was written to FD onto the disk; false with errno set on failure.
[[nodiscard]] bool syncFile(int fd);

// Removes the file named by the UTF-8 PATH, if it can.
void removeFile(const std::string &path);

// Puts standard input and output in binary mode: Windows opens them in text mode, which turns
// LF into CR LF on output, drops the CR of CR LF on input and ends input at code 26.
void useBinaryStandardStreams();

} // namespace CodeTarvoCli
