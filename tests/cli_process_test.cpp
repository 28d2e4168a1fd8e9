// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the built codetarvo-cli as a real process: pipes, files, exit statuses.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern char **environ;

namespace {

const std::string Cli = CODETARVO_CLI_PATH;

struct Process {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string tempPath(const std::string &name)
{
    return testing::TempDir() + "cli_process_test_" + std::to_string(getpid()) + "_" + name;
}

// Runs the tool with ARGS, INPUT on standard input, and ENV added to the environment (the
// caller's CODETARVO_KEY left out). Standard output goes to STDOUTPATH when given.
Process runTool(const std::vector<std::string> &args, const std::string &input,
                const std::vector<std::string> &env = {}, const std::string &stdoutPath = {})
{
    const std::string inPath = tempPath("in");
    const std::string outPath = stdoutPath.empty() ? tempPath("out") : stdoutPath;
    const std::string errPath = tempPath("err");
    std::ofstream(inPath, std::ios::binary) << input;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);

    std::vector<std::string> argStrings = args;
    argStrings.insert(argStrings.begin(), Cli);
    std::vector<char *> argv;
    for (std::string &a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStrings = env;
    for (char **e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind("CODETARVO_KEY=", 0) != 0)
            envStrings.emplace_back(*e);
    std::vector<char *> envp;
    for (std::string &e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    Process result;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, Cli.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << Cli;
        return result;
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (stdoutPath.empty()) {
        result.out = readFile(outPath);
        std::remove(outPath.c_str());
    }
    result.err = readFile(errPath);
    std::remove(errPath.c_str());
    std::remove(inPath.c_str());
    return result;
}

// Runs COMMAND with /bin/sh, $CLI naming the tool; gives its standard output.
std::string shell(const std::string &command, int &status)
{
    const std::string full = "CLI='" + Cli + "'; unset CODETARVO_KEY; " + command;
    FILE *pipe = popen(full.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return {};
    }
    std::string out;
    char buffer[4096];
    for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    const int wstatus = pclose(pipe);
    status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return out;
}

} // namespace

TEST(CliProcess, BonjourThroughAPipeline)
{
    int status = 0;
    const std::string out =
        shell("printf 'Bonjour' | \"$CLI\" encode --key Tesk | \"$CLI\" decode --key Tesk", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "Bonjour");

    // Armored, then quoted, upper-cased and given CR LF line breaks on its way.
    const std::string mailed =
        shell("printf 'Bonjour' | \"$CLI\" encode --armor --key Tesk | sed 's/^/> /' | "
              "tr a-z A-Z | sed 's/$/\\r/' | \"$CLI\" decode --key Tesk",
              status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(mailed, "Bonjour");
}

TEST(CliProcess, EncodingTwiceGivesDifferentCodeTexts)
{
    // Draws are seeded from the clock: two runs agree only by chance (10 start offsets
    // here), so a few retries make a false alarm practically impossible.
    const std::string plain = "Rendez-vous sous le vieux pont, mardi";
    bool differ = false;
    for (int attempt = 0; attempt < 5 && !differ; ++attempt) {
        const Process first = runTool({"encode", "--key", "CodeTarvoKey"}, plain);
        const Process second = runTool({"encode", "--key", "CodeTarvoKey"}, plain);
        ASSERT_EQ(first.status, 0) << first.err;
        ASSERT_EQ(second.status, 0) << second.err;
        differ = first.out != second.out;
    }
    EXPECT_TRUE(differ);
}

TEST(CliProcess, RoundTripsLargeRandomInputInBothModes)
{
    std::mt19937 rng(99); // fixed seed, so a failure reproduces
    std::uniform_int_distribution<int> code(0, 255);
    std::string plain(3 << 20, '\0'); // several read chunks
    for (char &c : plain)
        c = static_cast<char>(code(rng));
    const std::string keyPath = tempPath("key");
    std::ofstream(keyPath, std::ios::binary) << std::string("K\0\xFFy\x01\xF9", 6);

    const Process encoded = runTool({"encode", "--bytes", "--key-file", keyPath}, plain);
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    const Process decoded = runTool({"decode", "--bytes", "--key-file", keyPath}, encoded.out);
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    std::remove(keyPath.c_str());
    EXPECT_TRUE(decoded.out == plain) << "bytes mode round trip differs";

    // Text mode: the decoded bytes come back as UTF-8 and go through once more.
    const Process text =
        runTool({"decode", "--key", "Tesk"},
                runTool({"encode", "--key", "Tesk"}, "h\xC3\xA9 \xE2\x82\xAC").out);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "h\xC3\xA9 \xE2\x82\xAC");
}

TEST(CliProcess, ExitStatusesAndNothingOnStandardOutputOnFailure)
{
    const Process ok = runTool({"encode"}, "abc", {"CODETARVO_KEY=Tesk"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_FALSE(ok.out.empty());

    // Options after the command, as the usage shows them, even in strict POSIX mode.
    const Process posix = runTool({"encode", "--key", "Tesk"}, "abc", {"POSIXLY_CORRECT=1"});
    EXPECT_EQ(posix.status, 0) << posix.err;

    const Process noFit = runTool({"decode", "--key", "Tesk"}, "\x01\x50");
    EXPECT_EQ(noFit.status, 1);
    EXPECT_TRUE(noFit.out.empty());
    EXPECT_EQ(noFit.err, "codetarvo-cli: code text does not fit the key: unit smaller than its "
                         "key code at unit 1\n");

    const Process damaged =
        runTool({"dearmor"}, "BEGIN CODE TARVO MESSAGE.\nlm9h8x.\nEND CODE TARVO MESSAGE.\n");
    EXPECT_EQ(damaged.status, 1);
    EXPECT_TRUE(damaged.out.empty());
    EXPECT_EQ(damaged.err.rfind("codetarvo-cli: armored text damaged at line 2: ", 0), 0u)
        << damaged.err;

    // A long input whose last character is bad: nothing at all may reach standard output.
    const std::string badAtEnd = std::string(1 << 20, 'a') + "\xC5\x91";
    const Process bad = runTool({"encode", "--key", "Tesk"}, badAtEnd);
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_NE(bad.err.find("U+0151"), std::string::npos) << bad.err;

    const Process usage = runTool({"encode", "--widht=3"}, "abc");
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(usage.out.empty());
    EXPECT_EQ(usage.err, "codetarvo-cli: unrecognized or ambiguous option '--widht=3'\n"
                         "codetarvo-cli: run 'codetarvo-cli --help' for usage\n");

    const Process help = runTool({"--help"}, "");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: codetarvo-cli encode", 0), 0u);
    EXPECT_TRUE(help.err.empty());
}

TEST(CliProcess, FullDiskIsAFailure)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full here";
    const Process full = runTool({"encode", "--key", "Tesk"}, "Bonjour", {}, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err.rfind("codetarvo-cli: cannot write standard output", 0), 0u) << full.err;
}
