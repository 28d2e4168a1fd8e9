// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tool as its program runs it, between file descriptors: input from regular
// files and pipes, read a piece at a time, output through a pipe, messages to a stream.
#include "armor.h"
#include "cli.h"
#include "codepage.h"
#include "forceddraws.h"
#include "modcodeur.h"
#include "stream.h"
#include "utf8_testing.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using CodeTarvoCli::ExitBadInput;
using CodeTarvoCli::ExitFailure;
using CodeTarvoCli::ExitOk;

#ifdef _WIN32
// Windows opens files and pipes in text mode unless told otherwise.
constexpr int Binary = O_BINARY;
constexpr const char *NullDevice = "NUL";
int pipe(int fds[2])
{
    return _pipe(fds, 1 << 16, O_BINARY);
}
#else
constexpr int Binary = 0;
constexpr const char *NullDevice = "/dev/null";
#endif

std::optional<std::string> noEnv(const std::string &)
{
    return std::nullopt;
}

std::string tempPath(const std::string &name)
{
    return testing::TempDir() + "cli_test_" + std::to_string(getpid()) + "_" + name;
}

// Writes TEXT to a new file and opens it for reading, positioned at OFFSET.
int fileHolding(const std::string &text, off_t offset = 0)
{
    const std::string path = tempPath("in");
    {
        const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | Binary, 0600);
        EXPECT_GE(out, 0);
        EXPECT_EQ(write(out, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(out);
    }
    const int in = open(path.c_str(), O_RDONLY | Binary);
    EXPECT_GE(in, 0);
    unlink(
        path.c_str()); // fails on Windows while the file is open: it stays in the temporary folder
    EXPECT_EQ(lseek(in, offset, SEEK_SET), offset);
    return in;
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the tool with ARGS (the program name first) between IN and a pipe.
Outcome runFrom(int in, const std::vector<std::string> &args,
                const CodeTarvoCli::EnvLookup &env = noEnv, const CodeTarvoCli::Limits &limits = {})
{
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    Outcome outcome;
    std::thread reader([&outcome, fd = pipeFds[0]] {
        char buffer[65536];
        for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
            outcome.out.append(buffer, static_cast<std::size_t>(got));
    });
    std::ostringstream err;
    outcome.status = CodeTarvoCli::run(args, in, pipeFds[1], err, env, limits);
    close(pipeFds[1]);
    reader.join();
    close(pipeFds[0]);
    outcome.err = err.str();
    return outcome;
}

// Runs the tool with ARGS, INPUT in a regular file, the environment ENVIRONMENT, reading and
// holding within LIMITS.
Outcome runCli(std::vector<std::string> args, const std::string &input = {},
               const std::map<std::string, std::string> &environment = {},
               const CodeTarvoCli::Limits &limits = {})
{
    args.insert(args.begin(), "codetarvo-cli");
    const auto env = [&environment](const std::string &name) -> std::optional<std::string> {
        const auto found = environment.find(name);
        if (found == environment.end())
            return std::nullopt;
        return found->second;
    };
    const int in = fileHolding(input);
    Outcome outcome = runFrom(in, args, env, limits);
    close(in);
    return outcome;
}

std::string describeOutcome(const Outcome &o)
{
    return "status " + std::to_string(o.status) + ", stdout " + testing::PrintToString(o.out) +
           ", stderr " + testing::PrintToString(o.err);
}

// A file in the test's temporary folder holding exactly the given content while it lives.
class TempFile {
public:
    TempFile(const std::string &name, const std::string &content)
        : m_path(testing::TempDir() + "cli_test_" + name)
    {
        write(content);
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    void write(const std::string &content) const
    {
        std::ofstream(m_path, std::ios::binary) << content;
    }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

std::string randomCodes(std::mt19937 &rng, std::size_t length, int lowest = 0)
{
    std::uniform_int_distribution<int> code(lowest, 255);
    std::string codes(length, '\0');
    for (char &c : codes)
        c = static_cast<char>(code(rng));
    return codes;
}

// The plain text CODE decodes to under KEY (both as codes), for checking what the tool wrote.
std::string decodedWith(const std::string &code, const std::string &key)
{
    const ModCodeur::DecodeResult result = ModCodeur::decode(code, key);
    return result.ok() ? result.plain
                       : "<" + std::string(ModCodeur::describe(result.failure)) + ">";
}

// CODE's UTF-8 read back as codes; a note of the error if it is not valid UTF-8.
std::string codesOfUtf8(std::string utf8)
{
    if (const auto error = CodePage::fromUtf8InPlace(utf8))
        return "<invalid UTF-8: " + std::string(CodePage::describe(error->kind)) + ">";
    return utf8;
}

const std::string Key = "k3y!Tesk";
const std::vector<std::string> EncodeBytes = {"codetarvo-cli", "encode", "--bytes", "--key", Key};

// Decodes the raw code text CODE with Key; the plain text, or a note of the failure.
std::string decoded(const std::string &code)
{
    const Outcome o = runCli({"decode", "--bytes", "--key", Key}, code);
    return o.status == ExitOk ? o.out : "failed: " + o.err;
}

} // namespace

TEST(Cli, BonjourRoundTripsInTextMode)
{
    const Outcome encoded = runCli({"encode", "--key", "Tesk"}, "Bonjour");
    ASSERT_EQ(encoded.status, ExitOk) << describeOutcome(encoded);
    EXPECT_TRUE(encoded.err.empty());
    EXPECT_EQ(decodedWith(codesOfUtf8(encoded.out), "Tesk"), "Bonjour");

    const Outcome decoded = runCli({"decode", "--key", "Tesk"}, encoded.out);
    EXPECT_EQ(decoded.status, ExitOk) << describeOutcome(decoded);
    EXPECT_EQ(decoded.out, "Bonjour");
}

TEST(Cli, TextModeUsesWindows1252)
{
    // A code text made by hand: every key code is 7, so the normal units 7 + 233 and
    // 7 + 128 stand for the Windows-1252 codes of é and €.
    const std::string key = "\x07\x07\x07";
    std::string code = "\x01";
    code += static_cast<char>(7 + 233);
    code += static_cast<char>(7 + 128);
    const Outcome decoded = runCli({"decode", "--key", key}, utf8Of(code));
    ASSERT_EQ(decoded.status, ExitOk) << describeOutcome(decoded);
    EXPECT_EQ(decoded.out, "\xC3\xA9\xE2\x82\xAC"); // é€ in UTF-8
}

TEST(Cli, LongTextModeOutputIsWholeAcrossPieces)
{
    // Output is converted to UTF-8 piece by piece: a text of several pieces, every code
    // among them, must come out as one exact UTF-8 text.
    std::mt19937 rng(31);
    const std::string plain = randomCodes(rng, 1'500'000, 1);
    const Outcome encoded = runCli({"encode", "--bytes", "--key", "Tesk"}, plain);
    ASSERT_EQ(encoded.status, ExitOk) << describeOutcome(encoded);
    const Outcome decoded = runCli({"decode", "--key", "Tesk"}, utf8Of(encoded.out));
    ASSERT_EQ(decoded.status, ExitOk) << describeOutcome(decoded);
    EXPECT_TRUE(decoded.out == utf8Of(plain));
}

TEST(Cli, RandomTextsOfAllCodesRoundTripInBothModes)
{
    std::mt19937 rng(7031); // fixed seed, so a failure reproduces
    std::uniform_int_distribution<std::size_t> keyLength(2, 40);
    std::uniform_int_distribution<std::size_t> plainLength(1, 300);
    const TempFile keyFile("random.key", "");
    for (int i = 0; i < 400; ++i) {
        const bool bytes = i % 2 == 1;
        // --key cannot carry code 0 through a real command line; a key file can.
        const std::string key = randomCodes(rng, keyLength(rng), bytes ? 0 : 1);
        const std::string plain = randomCodes(rng, plainLength(rng));
        SCOPED_TRACE("key " + testing::PrintToString(key) + ", plain " +
                     testing::PrintToString(plain));
        std::vector<std::string> options;
        if (bytes) {
            keyFile.write(key);
            options = {"--bytes", "--key-file", keyFile.path()};
        } else {
            options = {"--key", utf8Of(key)};
        }
        const std::string input = bytes ? plain : utf8Of(plain);

        std::vector<std::string> args = options;
        args.insert(args.begin(), "encode");
        const Outcome encoded = runCli(args, input);
        ASSERT_EQ(encoded.status, ExitOk) << describeOutcome(encoded);
        const std::string code = bytes ? encoded.out : codesOfUtf8(encoded.out);
        ASSERT_EQ(decodedWith(code, key), plain);

        args[0] = "decode";
        const Outcome decoded = runCli(args, encoded.out);
        ASSERT_EQ(decoded.status, ExitOk) << describeOutcome(decoded);
        ASSERT_EQ(decoded.out, input);

        // Armored: decode finds it in a letter; armor and dearmor carry a code text exactly.
        std::vector<std::string> armorArgs = args;
        armorArgs[0] = "encode";
        armorArgs.push_back("--armor");
        const std::string letter = "Bonjour,\n\n" + runCli(armorArgs, input).out + "-- \nAnne\n";
        ASSERT_EQ(runCli(args, letter).out, input);
        const std::string mode = bytes ? "--bytes" : "--";
        ASSERT_EQ(runCli({"dearmor", mode}, runCli({"armor", mode}, encoded.out).out).out,
                  encoded.out);
    }
}

TEST(Cli, EmptyInputGivesEmptyOutputBothWays)
{
    for (const char *command : {"encode", "decode"}) {
        for (const bool bytes : {false, true}) {
            std::vector<std::string> args = {command, "--key", "Tesk"};
            if (bytes)
                args.push_back("--bytes");
            const Outcome o = runCli(args, "");
            EXPECT_EQ(o.status, ExitOk) << command << bytes << describeOutcome(o);
            EXPECT_TRUE(o.out.empty()) << command << bytes;
            EXPECT_TRUE(o.err.empty()) << command << bytes;
        }
    }
}

TEST(Cli, CodeTextThatDoesNotFitTheKeyExitsOneWithTheReason)
{
    struct Case {
        std::string code;
        ModCodeur::DecodeFailure failure;
        std::size_t unit;
    };
    // Key "Tesk": codes 84, 101, 115, 107.
    const std::vector<Case> cases = {
        {"\x09", ModCodeur::DecodeFailure::StartOutsideKey, 0},
        {"\x01", ModCodeur::DecodeFailure::NoGroup, 1},
        {"\x01\x01\x05", ModCodeur::DecodeFailure::EscapeCutShort, 3},
        {"\x01\x50", ModCodeur::DecodeFailure::BelowKey, 1},
        {"\x01\x06\xFF\x01", ModCodeur::DecodeFailure::EscapeAbove255, 2},
        {"\x01\x6A\x50", ModCodeur::DecodeFailure::BelowKey, 2},
    };
    for (const Case &c : cases) {
        for (const int mode : {0, 1, 2}) { // text, bytes, armored
            const bool bytes = mode == 1;
            std::vector<std::string> args = {"decode", "--key", "Tesk"};
            if (bytes)
                args.push_back("--bytes");
            const Outcome o = runCli(args, mode == 2 ? Armor::armor(c.code)
                                           : bytes   ? c.code
                                                     : utf8Of(c.code));
            const std::string expected = "codetarvo-cli: code text does not fit the key: " +
                                         std::string(ModCodeur::describe(c.failure)) + " at unit " +
                                         std::to_string(c.unit) + "\n";
            EXPECT_EQ(o.status, ExitFailure) << testing::PrintToString(c.code);
            EXPECT_EQ(o.err, expected) << testing::PrintToString(c.code);
            EXPECT_TRUE(o.out.empty()) << testing::PrintToString(c.code);
        }
    }
}

TEST(Cli, DamagedOrMissingArmoredTextExitsOneSayingWhere)
{
    // A character of line 3 changed (line 1 is the BEGIN frame); no armored text at all.
    std::string changed = Armor::armor(std::string(100, '\x07'));
    const std::size_t at = changed.find('\n', changed.find('\n') + 1) + 10;
    changed[at] = changed[at] == 'q' ? 'p' : 'q';
    const std::string damage(Armor::describe(Armor::Problem::Damaged));
    const Outcome decoded = runCli({"decode", "--key", "Tesk"}, "Bonjour,\r\n\r\n" + changed);
    const Outcome none = runCli({"dearmor"}, "Bonjour");
    EXPECT_EQ(decoded.err, "codetarvo-cli: armored text damaged at line 3: " + damage + "\n");
    EXPECT_EQ(none.err, "codetarvo-cli: no armored text found in the input\n");
    for (const Outcome &o : {decoded, none})
        EXPECT_TRUE(o.status == ExitFailure && o.out.empty()) << describeOutcome(o);
}

TEST(Cli, BadInputExitsTwoWithAMessageAndNoOutput)
{
    const TempFile shortKey("short.key", "T\n");
    const std::string &keyFile = shortKey.path();
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string message; // the first line of standard error
        bool pointsAtHelp;
    };
    const std::vector<Case> cases = {
        {{"encode", "--key", "T"}, "abc", "key given by --key is shorter than 2 codes", false},
        {{"encode", "--key-file", keyFile},
         "abc",
         "key file '" + keyFile + "' is shorter than 2 codes",
         false},
        {{"encode", "--key", "Tesk"},
         "ab\xC5\x91", // ő
         "input: character U+0151 at character index 2, byte offset 2 has no Windows-1252 code",
         false},
        {{"decode", "--key", "Tesk"},
         "\xE2\x82\xAC\xF0\x9F\x98\x80",
         "input: character U+1F600 at character index 1, byte offset 3 has no Windows-1252 code",
         false},
        {{"encode", "--key", "Tesk"},
         "\xC3\xA9\xC3",
         "input: invalid UTF-8 at character index 1, byte offset 2: incomplete sequence "
         "starting with byte 0xC3",
         false},
        {{"encode", "--key", "Tesk"},
         "a\xED\xA0\x80",
         "input: invalid UTF-8 at character index 1, byte offset 1: encoded surrogate of U+D800",
         false},
        {{"encode", "--key", "Tesk"},
         "\xC0\xAF",
         "input: invalid UTF-8 at character index 0, byte offset 0: overlong encoding of U+002F",
         false},
        {{"encode", "--key", "Tesk"},
         "\xF4\x90\x80\x80",
         "input: invalid UTF-8 at character index 0, byte offset 0: value above U+10FFFF "
         "(U+110000)",
         false},
        {{"encode", "--key", "T\xC5\x91st"},
         "abc",
         "key given by --key: character U+0151 at character index 1, byte offset 1 has no "
         "Windows-1252 code",
         false},
        {{"encode", "--key-file", "/nonexistent/key"},
         "abc",
         "cannot read key file '/nonexistent/key': No such file or directory",
         false},
        {{"encode", "--key-file", testing::TempDir()},
         "abc",
         "cannot read key file '" + testing::TempDir() + "': Is a directory",
         false},
        {{"encode"}, "abc", "missing key: give --key, --key-file or set CODETARVO_KEY", true},
        {{"encode", "--widht=3", "--key", "Tesk"},
         "abc",
         "unrecognized or ambiguous option "
         "'--widht=3'",
         true},
        {{"encode", "-x", "--key", "Tesk"}, "abc", "unrecognized option '-x'", true},
        {{"encode", "--key"}, "abc", "option '--key' needs an argument", true},
        {{"--key", "Tesk"}, "abc", "missing command: encode, decode, armor or dearmor", true},
        {{"armor", "--key", "Tesk"}, "abc", "'armor' takes no key", true},
        {{"decode", "--armor", "--key", "Tesk"}, "abc", "'--armor' goes with encode only", true},
        {{"cipher", "--key", "Tesk"}, "abc", "unknown command 'cipher'", true},
        {{"encode", "decode", "--key", "Tesk"}, "abc", "unexpected operand 'decode'", true},
        {{"encode", "--key", "Tesk", "--key-file", keyFile},
         "abc",
         "give either --key or --key-file, not both",
         true},
        {{"encode", "--key-file", "-"},
         "abc",
         "'--key-file -' cannot be used: standard input carries the text",
         true},
        {{"--", "--help"}, "", "unknown command '--help'", true},
    };
    for (const Case &c : cases) {
        const Outcome o = runCli(c.args, c.input);
        const std::string trace = testing::PrintToString(c.args) + " " + describeOutcome(o);
        EXPECT_EQ(o.status, ExitBadInput) << trace;
        EXPECT_TRUE(o.out.empty()) << trace;
        std::string expected = "codetarvo-cli: " + c.message + "\n";
        if (c.pointsAtHelp)
            expected += "codetarvo-cli: run 'codetarvo-cli --help' for usage\n";
        EXPECT_EQ(o.err, expected) << trace;
    }
}

TEST(Cli, KeySourcesAndTheirPrecedence)
{
    const std::string fileKey = "FileKey";
    const TempFile keyFileOnDisk("precedence.key", fileKey + "\n");
    const std::string &keyFile = keyFileOnDisk.path();
    const std::map<std::string, std::string> env = {{"CODETARVO_KEY", "EnvKey"}};
    const std::string plain = "Bonjour";
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        std::string expectedKey;
    };
    const std::vector<Case> cases = {
        {{"encode"}, env, "EnvKey"},
        {{"encode", "--key", "ArgKey"}, env, "ArgKey"},
        {{"encode", "-k", "ArgKey"}, {}, "ArgKey"},
        {{"encode", "--key=ArgKey"}, {}, "ArgKey"},
        {{"encode", "--key-file", keyFile}, env, fileKey},
        {{"encode", "-f", keyFile}, {}, fileKey},
        {{"encode", "--key", "First", "--key", "Second"}, {}, "Second"},
        {{"--key", "ArgKey", "--", "encode"}, {}, "ArgKey"},
    };
    for (const Case &c : cases) {
        const Outcome o = runCli(c.args, plain, c.env);
        ASSERT_EQ(o.status, ExitOk) << testing::PrintToString(c.args) << describeOutcome(o);
        EXPECT_EQ(decodedWith(codesOfUtf8(o.out), c.expectedKey), plain)
            << testing::PrintToString(c.args);
    }
    const Outcome emptyEnv = runCli({"encode"}, plain, {{"CODETARVO_KEY", ""}});
    EXPECT_EQ(emptyEnv.status, ExitBadInput);
    EXPECT_EQ(emptyEnv.err, "codetarvo-cli: key given by CODETARVO_KEY is shorter than 2 codes\n");
}

TEST(Cli, KeyFileDropsOneFinalLineBreakInTextModeOnly)
{
    struct Case {
        std::string content;
        bool bytes;
        std::string expectedKey;
    };
    const std::vector<Case> cases = {
        {"Tesk", false, "Tesk"},
        {"Tesk\n", false, "Tesk"},
        {"Tesk\r\n", false, "Tesk"},
        {"Tesk\n\n", false, "Tesk\n"},
        {"Tesk\r\n\r\n", false, "Tesk\r\n"},
        {"Tesk\r", false, "Tesk\r"},
        {"T\xC3\xA9sk\n", false, "T\xE9sk"}, // UTF-8 é becomes code 233
        {"Tesk\n", true, "Tesk\n"},
        {"Tesk\r\n", true, "Tesk\r\n"},
        {std::string("T\0\xC3\xA9\n", 5), true, std::string("T\0\xC3\xA9\n", 5)},
    };
    const std::string plain = "Bonjour tout le monde";
    for (const Case &c : cases) {
        const TempFile keyFile("linebreak.key", c.content);
        std::vector<std::string> args = {"encode", "--key-file", keyFile.path()};
        if (c.bytes)
            args.push_back("--bytes");
        const Outcome o = runCli(args, plain);
        ASSERT_EQ(o.status, ExitOk) << testing::PrintToString(c.content) << describeOutcome(o);
        const std::string code = c.bytes ? o.out : codesOfUtf8(o.out);
        EXPECT_EQ(decodedWith(code, c.expectedKey), plain)
            << testing::PrintToString(c.content) << (c.bytes ? " bytes" : " text");
    }
    // A line break alone leaves an empty key.
    const TempFile lone("lone.key", "\r\n");
    const Outcome o = runCli({"encode", "--key-file", lone.path()}, plain);
    EXPECT_EQ(o.status, ExitBadInput) << describeOutcome(o);
}

TEST(Cli, BytesModeTakesCodesThatAreNotUtf8)
{
    const std::string plain = std::string("\xFF\x00\x80\xC3", 4);
    const Outcome encoded = runCli({"encode", "--bytes", "--key", "Tesk"}, plain);
    ASSERT_EQ(encoded.status, ExitOk) << describeOutcome(encoded);
    EXPECT_EQ(decodedWith(encoded.out, "Tesk"), plain);
    const Outcome decoded = runCli({"decode", "-b", "-k", "Tesk"}, encoded.out);
    EXPECT_EQ(decoded.status, ExitOk) << describeOutcome(decoded);
    EXPECT_EQ(decoded.out, plain);
}

TEST(Cli, VersionGoesToStandardOutputInTheGnuForm)
{
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--version"}, {"encode", "--version"}, {"--vers"}}) {
        const Outcome o = runCli(args);
        EXPECT_EQ(o.status, ExitOk);
        EXPECT_EQ(o.out, CodeTarvoCli::versionText());
        EXPECT_TRUE(o.err.empty());
    }
    const std::string version(CodeTarvoCli::versionText());
    EXPECT_TRUE(
        std::regex_search(version, std::regex(R"(^codetarvo-cli \(Code Tarvo\) \d+\.\d\d\n)")))
        << version;
    EXPECT_NE(version.find("\nLicense GPLv3+"), std::string::npos);
    EXPECT_NE(std::string(CodeTarvoCli::helpText()).find("--version"), std::string::npos);
}

TEST(Cli, HelpGoesToStandardOutput)
{
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"encode", "--help"}}) {
        const Outcome o = runCli(args);
        EXPECT_EQ(o.status, ExitOk);
        EXPECT_EQ(o.out, CodeTarvoCli::helpText());
        EXPECT_TRUE(o.err.empty());
    }
    const std::string help(CodeTarvoCli::helpText());
    EXPECT_NE(help.find("process list"), std::string::npos);
    EXPECT_NE(help.find("CODETARVO_KEY"), std::string::npos);
    for (const int status : {ExitOk, ExitFailure, ExitBadInput})
        EXPECT_NE(help.find("\n  " + std::to_string(status) + "  "), std::string::npos) << status;
}

TEST(Cli, RegularFilesOfEverySizeClassRoundTrip)
{
    std::mt19937 rng(4242); // fixed seed, so a failure reproduces
    // Sizes around a page and around 4 MiB, several pieces of 1 MiB long.
    const std::size_t sizes[] = {1,
                                 2,
                                 4095,
                                 4096,
                                 4097,
                                 (std::size_t{1} << 22) - 1,
                                 std::size_t{1} << 22,
                                 (std::size_t{1} << 22) + 1,
                                 (std::size_t{9} << 20) + 123};
    for (const std::size_t size : sizes) {
        const std::string plain = randomCodes(rng, size);
        const int in = fileHolding(plain);
        const Outcome encoded = runFrom(in, EncodeBytes);
        close(in);
        ASSERT_EQ(encoded.status, ExitOk) << "size " << size;
        EXPECT_TRUE(decoded(encoded.out) == plain) << "size " << size;
    }
}

TEST(Cli, ReadsARegularFileFromWhereItsOffsetStands)
{
    std::mt19937 rng(99);
    const std::string text = randomCodes(rng, 10000);
    for (const off_t offset : {off_t{1}, off_t{4096}, off_t{9999}}) {
        const int in = fileHolding(text, offset);
        const Outcome encoded = runFrom(in, EncodeBytes);
        close(in);
        ASSERT_EQ(encoded.status, ExitOk) << "offset " << offset;
        EXPECT_TRUE(decoded(encoded.out) == text.substr(static_cast<std::size_t>(offset)))
            << "offset " << offset;
    }
    // Positioned at the end: empty input, empty output.
    const int in = fileHolding(text, static_cast<off_t>(text.size()));
    const Outcome atEnd = runFrom(in, EncodeBytes);
    EXPECT_EQ(atEnd.out, "");
    EXPECT_EQ(atEnd.status, ExitOk);
    close(in);
}

TEST(Cli, PipedInputOfManyChunksRoundTrips)
{
    std::mt19937 rng(7);
    for (const std::size_t size : {std::size_t{0}, std::size_t{3}, (std::size_t{11} << 20) + 5}) {
        const std::string plain = randomCodes(rng, size);
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        // Written in uneven pieces, so reads end anywhere.
        std::thread writer([&plain, fd = pipeFds[1]] {
            std::size_t at = 0;
            std::size_t piece = 1;
            while (at < plain.size()) {
                const std::size_t n = std::min(piece, plain.size() - at);
                const ssize_t put = write(fd, plain.data() + at, n);
                if (put <= 0)
                    break;
                at += static_cast<std::size_t>(put);
                piece = piece * 3 + 7;
            }
            close(fd);
        });
        const Outcome encoded = runFrom(pipeFds[0], EncodeBytes);
        writer.join();
        close(pipeFds[0]);
        ASSERT_EQ(encoded.status, ExitOk) << "size " << size;
        EXPECT_TRUE(decoded(encoded.out) == plain) << "size " << size;
    }
}

TEST(Cli, UnreadableInputAndUnwritableOutputAreFailures)
{
    std::ostringstream err;
    // A descriptor open for writing only cannot be read.
    const int writeOnly = open(NullDevice, O_WRONLY | Binary);
    ASSERT_GE(writeOnly, 0);
    EXPECT_EQ(CodeTarvoCli::run(EncodeBytes, writeOnly, writeOnly, err, noEnv),
              CodeTarvoCli::ExitBadInput);
    EXPECT_NE(err.str().find("cannot read standard input"), std::string::npos) << err.str();

    // Nor can one open for reading only be written.
    err.str("");
    const int in = fileHolding("Bonjour");
    const int readOnly = open(NullDevice, O_RDONLY | Binary);
    ASSERT_GE(readOnly, 0);
    EXPECT_EQ(CodeTarvoCli::run(EncodeBytes, in, readOnly, err, noEnv), CodeTarvoCli::ExitFailure);
    EXPECT_NE(err.str().find("cannot write standard output"), std::string::npos) << err.str();
    close(in);
    close(readOnly);
    close(writeOnly);
}

namespace {

// Gives TEXT to TAKE(piece, size, last) in pieces of PIECE bytes, each copied where Headroom
// bytes lie before it, as the tool reads them.
template <class Take> void inPieces(std::string_view text, std::size_t piece, Take take)
{
    std::string buffer(ModCodeur::Headroom + piece, '\0');
    for (std::size_t at = 0;; at += piece) {
        const std::size_t size = std::min(piece, text.size() - std::min(at, text.size()));
        std::memcpy(buffer.data() + ModCodeur::Headroom, text.data() + at, size);
        if (!take(buffer.data() + ModCodeur::Headroom, size, at + piece >= text.size()) ||
            at + piece >= text.size())
            return;
    }
}

std::string describe(const Armor::Dearmored &d)
{
    return d.ok() ? d.code
                  : std::string(Armor::describe(d.problem)) + " at line " + std::to_string(d.line);
}

} // namespace

TEST(Cli, StreamedStagesGiveTheOneShotResultsWhereverPiecesEnd)
{
    // Pieces of 1 to 7 bytes end inside escapes, UTF-8 sequences, CR LF and armored lines at
    // every offset; the longer ones cross whole chunks and the engine's spans.
    std::mt19937 rng(3407);
    const std::size_t pieces[] = {1, 2, 3, 4, 5, 7, 40, 70, 71, 75, 141, 300, 1000};
    std::uniform_int_distribution<std::size_t> keyLength(2, 40);
    std::uniform_int_distribution<std::size_t> plainLength(0, 900);
    std::uniform_int_distribution<int> damage(0, 5);
    for (int i = 0; i < 300; ++i) {
        const std::size_t piece = pieces[static_cast<std::size_t>(i) % std::size(pieces)];
        const std::string key = randomCodes(rng, keyLength(rng));
        // Mostly high codes, so that escapes crowd in.
        const std::string plain = randomCodes(rng, plainLength(rng), i % 3 == 0 ? 200 : 0);
        SCOPED_TRACE("case " + std::to_string(i) + ", piece " + std::to_string(piece));

        TwisterDraws oneShot(i);
        const std::string code = ModCodeur::Coder(plain, key, oneShot);
        TwisterDraws streamed(i);
        ModCodeur::StreamEncoder encoder(key, streamed);
        std::string pieced;
        inPieces(plain, piece, [&](char *at, std::size_t size, bool) {
            pieced += encoder.encode({at, size});
            return true;
        });
        ASSERT_EQ(pieced, code);

        // Decoding a code text, sound or damaged: the same plain text or the same failure.
        std::string damaged = code;
        if (damage(rng) == 0 && !damaged.empty())
            damaged.resize(rng() % damaged.size());
        else if (damage(rng) == 1 && !damaged.empty())
            damaged[rng() % damaged.size()] = static_cast<char>(rng() % 8);
        const ModCodeur::DecodeResult expected = ModCodeur::decode(damaged, key);
        ModCodeur::StreamDecoder decoder(key);
        std::string plainOut;
        inPieces(damaged, piece, [&](char *at, std::size_t size, bool last) {
            const auto out = decoder.decode(at, size, last);
            plainOut += out.value_or("");
            return out.has_value();
        });
        ASSERT_EQ(decoder.failure(), expected.failure);
        ASSERT_EQ(decoder.unit(), expected.unit);
        if (expected.ok()) {
            ASSERT_EQ(plainOut, expected.plain);
        }

        // UTF-8 in, with a stray byte now and then.
        // UTF-8 in, now and then with a stray byte or a sequence without a code: pieces shorter
        // than the code page's windows of 64 bytes are read a character at a time.
        std::string utf8 = utf8Of(plain);
        const char *const faults[] = {
            "\x80",     "\xE0\x81\x81", "\xED\xA0\x80", "\xF0\x9F\x98\x80",
            "\xC2\x80", "\xC5\x91",     "\xE2\x82"};
        if (const int fault = damage(rng); fault < 2 && !utf8.empty())
            utf8.insert(rng() % utf8.size(), faults[rng() % std::size(faults)]);
        std::string codes = utf8;
        const auto error = CodePage::fromUtf8InPlace(codes);
        ModCodeur::StreamUtf8Reader reader;
        std::string read;
        inPieces(utf8, piece, [&](char *at, std::size_t size, bool last) {
            const auto out = reader.read(at, size, last);
            read += out.value_or("");
            return out.has_value();
        });
        ASSERT_EQ(error.value_or(CodePage::Utf8Error{}),
                  error ? reader.error() : CodePage::Utf8Error{});
        if (!error) {
            ASSERT_EQ(read, codes);
        }

        // The armored form, written and read back in a letter of CR LF lines, quoted, perhaps
        // damaged or cut short.
        const std::string armored = Armor::armor(code);
        Armor::Writer writer;
        std::string written;
        inPieces(code, piece, [&](char *at, std::size_t size, bool) {
            writer.add({at, size}, written);
            return true;
        });
        writer.finish(written);
        ASSERT_EQ(written, armored);
        std::string letter =
            "Bonjour,\r\n> " + std::regex_replace(armored, std::regex("\n"), "\r\n> ");
        letter += "-- \r\nAnne\xC3\xA9\r\n";
        const int kind = damage(rng);
        if (kind < 3) // a character changed, a period, or the text cut off
            letter[10 + rng() % (letter.size() - 10)] = "q.\r"[kind];
        else if (kind == 3)
            letter.resize(10 + rng() % (letter.size() - 10));
        else if (kind == 4) // the period before the closing frame lost
            letter.erase(letter.find(".\r\n> END"), 1);
        Armor::Reader dearmorer;
        std::string dearmored;
        inPieces(letter, piece, [&](char *at, std::size_t size, bool last) {
            dearmorer.read(at, size, last, dearmored);
            return !dearmorer.done();
        });
        Armor::Dearmored result = dearmorer.result();
        if (result.ok())
            result.code = dearmored;
        ASSERT_EQ(describe(result), describe(Armor::dearmor(letter)));
    }
}

TEST(Cli, AFailureWritesNothingUnderTheBoundAndSaysWhereTheOutputStopsAboveIt)
{
    std::mt19937 rng(11);
    const std::string plain = randomCodes(rng, 3000, 1);
    const Outcome encoded = runCli({"encode", "--bytes", "--key", Key}, plain);
    std::string badEnd = encoded.out;
    badEnd.back() = '\x07'; // below its key code, or an escape cut short
    std::string armored = runCli({"armor", "--bytes"}, encoded.out).out;
    armored[armored.size() - 40] ^= 1;
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
    };
    const std::vector<Case> cases = {
        {{"decode", "--bytes", "--key", Key}, badEnd, ExitFailure},
        {{"decode", "--key", Key}, utf8Of(encoded.out) + "\xC3", ExitBadInput},
        {{"encode", "--key", Key}, utf8Of(plain) + "\xFF", ExitBadInput},
        {{"dearmor"}, armored, ExitFailure},
        {{"decode", "--key", Key}, armored, ExitFailure},
    };
    for (const Case &c : cases) {
        for (const std::size_t held : {std::size_t{1} << 20, std::size_t{100}}) {
            const Outcome o = runCli(c.args, c.input, {}, {7, held});
            const std::string trace = testing::PrintToString(c.args) + " held " +
                                      std::to_string(held) + ": " + describeOutcome(o);
            EXPECT_EQ(o.status, c.status) << trace;
            const std::string incomplete =
                "codetarvo-cli: the output is incomplete: it stops after " +
                std::to_string(o.out.size()) + " bytes\n";
            const bool says = o.err.ends_with(incomplete);
            EXPECT_EQ(says, held == 100) << trace;
            EXPECT_EQ(o.out.empty(), held != 100) << trace;
            // What went out is the start of what a sound input gives.
            if (c.args[0] == "decode" && c.args[1] == "--bytes") {
                EXPECT_EQ(o.out, plain.substr(0, o.out.size())) << trace;
            }
        }
    }
}

TEST(Cli, OutputFileIsReplacedOnlyWhenTheRunSucceeds)
{
    const std::string folder = testing::TempDir() + "cli_test_output_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/result.txt";
    const auto content = [](const std::string &file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    struct Case {
        std::string input;
        bool exists; // a file of that name before the run
        CodeTarvoCli::Limits limits;
        int status;
    };
    const std::string armored = Armor::armor(std::string(500, '\x41'));
    const std::vector<Case> cases = {
        {armored, false, {}, ExitOk},
        {armored, true, {}, ExitOk},
        {armored, true, {5, 10}, ExitOk},
        {armored.substr(0, 300), true, {}, ExitFailure},
        {armored.substr(0, 300), true, {5, 10}, ExitFailure},
        {armored.substr(0, 300), false, {5, 10}, ExitFailure},
    };
    for (const Case &c : cases) {
        namespace fs = std::filesystem;
        fs::remove(path);
        // A file replaced keeps its permissions; a new one gets those of any new file.
        auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
        if (c.exists) {
            std::ofstream(path, std::ios::binary) << "before";
            fs::permissions(path, mode);
        } else {
            std::ofstream(folder + "/new", std::ios::binary).flush();
            mode = fs::status(folder + "/new").permissions();
            fs::remove(folder + "/new");
        }
        const Outcome o = runCli({"dearmor", "-b", "--output=" + path}, c.input, {}, c.limits);
        const std::string trace = describeOutcome(o);
        EXPECT_EQ(o.status, c.status) << trace;
        EXPECT_TRUE(o.out.empty()) << trace;
        if (c.status == ExitOk) {
            EXPECT_EQ(content(path), std::string(500, '\x41')) << trace;
#ifndef _WIN32 // Windows has no permissions but read-only
            EXPECT_EQ(fs::status(path).permissions(), mode) << trace;
#endif
        } else if (c.exists)
            EXPECT_EQ(content(path), "before") << trace;
        else
            EXPECT_FALSE(fs::exists(path)) << trace;
        // Nothing else is left in the folder.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}),
                  c.exists || c.status == ExitOk ? 1 : 0)
            << trace;
    }
    // A folder cannot be replaced by a file: the run fails, and leaves nothing behind.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    const Outcome o = runCli({"dearmor", "-o", path}, armored);
    EXPECT_EQ(o.status, ExitFailure) << describeOutcome(o);
    EXPECT_TRUE(o.err.starts_with("codetarvo-cli: cannot write output file '" + path + "'"))
        << describeOutcome(o);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    std::filesystem::remove_all(folder);
}

TEST(Cli, EveryCommandGivesTheSameThroughSmallPiecesAndAnyBound)
{
    // The stages chained as the tool chains them: UTF-8 or an armored form read, then decoded,
    // then written as UTF-8, each holding back what a piece's end cuts.
    std::mt19937 rng(509);
    const TempFile keyFile("pieces.key", Key);
    for (int i = 0; i < 40; ++i) {
        const std::string plain = randomCodes(rng, rng() % 2000, i % 2 == 0 ? 1 : 150);
        const std::string code = runCli({"encode", "--bytes", "--key", Key}, plain).out;
        const std::string armored = runCli({"armor", "--bytes"}, code).out;
        const std::string letter = "Bonjour\r\n\r\n" + armored + "\r\n\xC3\xA9";
        const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
            {{"decode", "--bytes", "--key", Key}, code},
            {{"decode", "--key-file", keyFile.path()}, utf8Of(code)},
            {{"decode", "--key", Key}, letter},
            {{"decode", "--bytes", "--key", Key}, letter},
            {{"dearmor"}, letter},
            {{"armor"}, utf8Of(code)},
            {{"encode", "--key", Key}, utf8Of(plain)},
        };
        const CodeTarvoCli::Limits limits{1 + rng() % 9,
                                          rng() % 2 == 0 ? 64 : std::size_t{1} << 20};
        for (const auto &[args, input] : runs) {
            const Outcome whole = runCli(args, input);
            const Outcome pieced = runCli(args, input, {}, limits);
            const std::string trace = testing::PrintToString(args) + " pieces of " +
                                      std::to_string(limits.piece) + ": " + describeOutcome(pieced);
            ASSERT_EQ(whole.status, ExitOk) << describeOutcome(whole);
            ASSERT_EQ(pieced.status, ExitOk) << trace;
            if (args[0] == "encode")
                ASSERT_EQ(decodedWith(codesOfUtf8(pieced.out), Key), plain) << trace;
            else
                ASSERT_EQ(pieced.out, whole.out) << trace;
        }
    }
}
