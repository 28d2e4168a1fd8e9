// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli.h"
#include "codepage.h"
#include "modcodeur.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

namespace {

using CodeTarvoCli::ExitBadInput;
using CodeTarvoCli::ExitFailure;
using CodeTarvoCli::ExitOk;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

Outcome runCli(std::vector<std::string> args, const std::string &input = {},
               const std::map<std::string, std::string> &environment = {})
{
    args.insert(args.begin(), "codetarvo-cli");
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const auto env = [&environment](const std::string &name) -> std::optional<std::string> {
        const auto found = environment.find(name);
        if (found == environment.end())
            return std::nullopt;
        return found->second;
    };
    Outcome outcome;
    outcome.status = CodeTarvoCli::run(args, in, out, err, env);
    outcome.out = out.str();
    outcome.err = err.str();
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

// A stream that refuses every write, like a full disk.
class RefusingBuffer : public std::streambuf {
protected:
    int overflow(int) override { return traits_type::eof(); }
    std::streamsize xsputn(const char *, std::streamsize) override { return 0; }
};

} // namespace

TEST(Cli, BonjourRoundTripsInTextMode)
{
    const Outcome encoded = runCli({"encode", "--key", "Tesk"}, "Bonjour");
    ASSERT_EQ(encoded.status, ExitOk) << describeOutcome(encoded);
    EXPECT_TRUE(encoded.err.empty());
    const auto codes = CodePage::fromUtf8(encoded.out);
    ASSERT_FALSE(codes.error.has_value()) << "the code text is not valid UTF-8";
    EXPECT_EQ(decodedWith(codes.codes, "Tesk"), "Bonjour");

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
    const Outcome decoded = runCli({"decode", "--key", key}, CodePage::toUtf8(code));
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
    const Outcome decoded = runCli({"decode", "--key", "Tesk"}, CodePage::toUtf8(encoded.out));
    ASSERT_EQ(decoded.status, ExitOk) << describeOutcome(decoded);
    EXPECT_TRUE(decoded.out == CodePage::toUtf8(plain));
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
            options = {"--key", CodePage::toUtf8(key)};
        }
        const std::string input = bytes ? plain : CodePage::toUtf8(plain);

        std::vector<std::string> args = options;
        args.insert(args.begin(), "encode");
        const Outcome encoded = runCli(args, input);
        ASSERT_EQ(encoded.status, ExitOk) << describeOutcome(encoded);
        const std::string code = bytes ? encoded.out : CodePage::fromUtf8(encoded.out).codes;
        ASSERT_EQ(decodedWith(code, key), plain);

        args[0] = "decode";
        const Outcome decoded = runCli(args, encoded.out);
        ASSERT_EQ(decoded.status, ExitOk) << describeOutcome(decoded);
        ASSERT_EQ(decoded.out, input);
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
        for (const bool bytes : {false, true}) {
            std::vector<std::string> args = {"decode", "--key", "Tesk"};
            if (bytes)
                args.push_back("--bytes");
            const Outcome o = runCli(args, bytes ? c.code : CodePage::toUtf8(c.code));
            const std::string expected = "codetarvo-cli: code text does not fit the key: " +
                                         std::string(ModCodeur::describe(c.failure)) + " at unit " +
                                         std::to_string(c.unit) + "\n";
            EXPECT_EQ(o.status, ExitFailure) << testing::PrintToString(c.code);
            EXPECT_EQ(o.err, expected) << testing::PrintToString(c.code);
            EXPECT_TRUE(o.out.empty()) << testing::PrintToString(c.code);
        }
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
        {{"--key", "Tesk"}, "abc", "missing command: encode or decode", true},
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
        EXPECT_EQ(decodedWith(CodePage::fromUtf8(o.out).codes, c.expectedKey), plain)
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
        const std::string code = c.bytes ? o.out : CodePage::fromUtf8(o.out).codes;
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

TEST(Cli, FailedWriteIsAFailure)
{
    RefusingBuffer refusing;
    std::ostream out(&refusing);
    std::istringstream in("Bonjour");
    std::ostringstream err;
    const auto noEnv = [](const std::string &) { return std::optional<std::string>(); };
    EXPECT_EQ(CodeTarvoCli::run({"codetarvo-cli", "encode", "--key", "Tesk"}, in, out, err, noEnv),
              ExitFailure);
    EXPECT_EQ(err.str().rfind("codetarvo-cli: cannot write standard output", 0), 0u) << err.str();
}

TEST(Cli, UnreadableInputIsBadInput)
{
    // A source that breaks after the first chunk: the part already read must not be used.
    class BreakingBuffer : public std::streambuf {
    public:
        BreakingBuffer() { setg(m_text, m_text, m_text + 3); }

    protected:
        int underflow() override { throw std::runtime_error("device gone"); }

    private:
        char m_text[4] = "abc";
    };
    BreakingBuffer breaking;
    std::istream in(&breaking);
    std::ostringstream out;
    std::ostringstream err;
    const auto noEnv = [](const std::string &) { return std::optional<std::string>(); };
    EXPECT_EQ(CodeTarvoCli::run({"codetarvo-cli", "encode", "--key", "Tesk"}, in, out, err, noEnv),
              ExitBadInput);
    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(err.str().rfind("codetarvo-cli: cannot read standard input", 0), 0u) << err.str();
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
