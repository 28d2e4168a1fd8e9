// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tool as its program runs it, between file descriptors: input from regular
// files (read in one piece of their size) and pipes (read in growing chunks), output through a
// pipe, messages to a stream.
#include "armor.h"
#include "cli.h"
#include "codepage.h"
#include "modcodeur.h"
#include "utf8_testing.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cstdio>
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
                const CodeTarvoCli::EnvLookup &env = noEnv)
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
    outcome.status = CodeTarvoCli::run(args, in, pipeFds[1], err, env);
    close(pipeFds[1]);
    reader.join();
    close(pipeFds[0]);
    outcome.err = err.str();
    return outcome;
}

// Runs the tool with ARGS, INPUT in a regular file, the environment ENVIRONMENT.
Outcome runCli(std::vector<std::string> args, const std::string &input = {},
               const std::map<std::string, std::string> &environment = {})
{
    args.insert(args.begin(), "codetarvo-cli");
    const auto env = [&environment](const std::string &name) -> std::optional<std::string> {
        const auto found = environment.find(name);
        if (found == environment.end())
            return std::nullopt;
        return found->second;
    };
    const int in = fileHolding(input);
    Outcome outcome = runFrom(in, args, env);
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

        // The armored forms: decode reads one by itself; armor and dearmor need no key.
        std::vector<std::string> armorArgs = args;
        armorArgs[0] = "encode";
        armorArgs.push_back("--armor");
        const Outcome armored = runCli(armorArgs, input);
        ASSERT_EQ(armored.status, ExitOk) << describeOutcome(armored);
        ASSERT_EQ(runCli(args, "Bonjour,\n\n" + armored.out + "-- \nAnne\n").out, input);
        const std::vector<std::string> mode(bytes ? 1 : 0, "--bytes");
        std::vector<std::string> dearmorArgs = mode;
        dearmorArgs.insert(dearmorArgs.begin(), "dearmor");
        const std::string carried = runCli(dearmorArgs, armored.out).out;
        ASSERT_EQ(decodedWith(bytes ? carried : codesOfUtf8(carried), key), plain);
        std::vector<std::string> armorOnly = mode;
        armorOnly.insert(armorOnly.begin(), "armor");
        const Outcome rearmored = runCli(armorOnly, encoded.out);
        ASSERT_EQ(rearmored.out, Armor::armor(code));
        ASSERT_EQ(runCli(dearmorArgs, rearmored.out).out, encoded.out);
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
    // Lines: 1 the BEGIN frame, 2 to 4 the data, 5 the END frame.
    const std::string armored = Armor::armor(std::string(100, '\x07'));
    const std::size_t line3 = armored.find('\n', armored.find('\n') + 1) + 1;
    std::string changed = armored;
    changed[line3 + 10] = changed[line3 + 10] == 'q' ? 'p' : 'q';
    std::string foreign = armored;
    foreign.insert(armored.find('\n', line3) + 5, "-");
    const auto at = [](int line, Armor::Problem problem) {
        return "armored text damaged at line " + std::to_string(line) + ": " +
               std::string(Armor::describe(problem));
    };
    struct Case {
        std::string command;
        std::string input;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"decode", changed, at(3, Armor::Problem::Damaged)},
        {"decode", "Bonjour,\r\n\r\n" + changed, at(3, Armor::Problem::Damaged)},
        {"dearmor", changed, at(3, Armor::Problem::Damaged)},
        {"decode", armored.substr(0, armored.find('\n', line3) + 1),
         at(3, Armor::Problem::CutShort)},
        {"dearmor", foreign, at(4, Armor::Problem::BadCharacter)},
        {"dearmor", "Bonjour", "no armored text found in the input"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = {c.command};
        if (c.command == "decode")
            args.insert(args.end(), {"--key", "Tesk"});
        const Outcome o = runCli(args, c.input);
        EXPECT_EQ(o.status, ExitFailure) << c.input;
        EXPECT_EQ(o.err, "codetarvo-cli: " + c.message + "\n") << c.input;
        EXPECT_TRUE(o.out.empty()) << c.input;
    }
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
        {{"dearmor", "--key-file", keyFile}, "abc", "'dearmor' takes no key", true},
        {{"decode", "--armor", "--key", "Tesk"}, "abc", "'--armor' goes with encode only", true},
        {{"armor"},
         "ab\xC5\x91",
         "input: character U+0151 at character index 2, byte offset 2 has no Windows-1252 code",
         false},
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
    EXPECT_NE(help.find("dearmor"), std::string::npos);
    for (const int status : {ExitOk, ExitFailure, ExitBadInput})
        EXPECT_NE(help.find("\n  " + std::to_string(status) + "  "), std::string::npos) << status;
}

TEST(Cli, RegularFilesOfEverySizeClassRoundTrip)
{
    std::mt19937 rng(4242); // fixed seed, so a failure reproduces
    // Sizes around the 4 MiB first read and the 4 KiB probe after a full buffer.
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
