// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// codetarvo-cli: encodes standard input with a key, or decodes it, onto standard output.

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

// Runs the tool with ARGS (ARGS[0] being the program name), reading the file descriptor IN,
// writing the result to the descriptor OUT only when everything succeeded, and messages to
// ERR. Gives the exit status. A regular input file is read into a buffer of its size, the
// output goes out in as few write(2) calls as it takes.
[[nodiscard]] int run(const std::vector<std::string> &args, int in, int out, std::ostream &err,
                      const EnvLookup &env);

// What --help prints.
[[nodiscard]] std::string_view helpText();
// What --version prints: the program, its version and its licence, in the GNU form.
[[nodiscard]] std::string_view versionText();

} // namespace CodeTarvoCli
