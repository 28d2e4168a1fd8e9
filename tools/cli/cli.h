// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// codetarvo-cli: encodes standard input with a key, or decodes it, onto standard output.

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CodeTarvoCli {

enum ExitCode : int {
    ExitOk = 0,
    ExitFailure = 1,  // the code text does not fit the key, an armored text is damaged or
                      // missing, or the output could not be written
    ExitBadInput = 2, // usage mistake, missing or bad key, bad input text, unreadable file
};

// The value of the environment variable NAME, or nothing when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const std::string &name)>;

// How the tool reads and holds: the input goes through in pieces of PIECE bytes at most, and
// the output is held back until the run succeeds while it is no larger than HELD bytes; past
// that it goes out as it is made.
struct Limits {
    std::size_t piece = std::size_t{1} << 20;
    std::size_t held = std::size_t{16} << 20;
};

// Runs the tool with ARGS (ARGS[0] being the program name), reading the file descriptor IN a
// piece at a time, writing the result to the descriptor OUT (or to the file --output names)
// and messages to ERR. Gives the exit status.
[[nodiscard]] int run(const std::vector<std::string> &args, int in, int out, std::ostream &err,
                      const EnvLookup &env);
[[nodiscard]] int run(const std::vector<std::string> &args, int in, int out, std::ostream &err,
                      const EnvLookup &env, const Limits &limits);

// What --help prints.
[[nodiscard]] std::string_view helpText();
// What --version prints: the program, its version and its licence, in the GNU form.
[[nodiscard]] std::string_view versionText();

} // namespace CodeTarvoCli
