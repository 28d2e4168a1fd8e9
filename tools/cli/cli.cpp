// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli.h"

#include "armor.h"
#include "codepage.h"
#include "codetarvo_version.h"
#include "hostprocess.h"
#include "modcodeur.h"

#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>
#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <utility>

namespace CodeTarvoCli {

namespace {

constexpr std::string_view Program = "codetarvo-cli";
constexpr std::string_view KeyVariable = "CODETARVO_KEY";
// A key file is read whole; this bound stops a device or a huge file by mistake from
// exhausting memory.
constexpr std::size_t LargestKeyFile = std::size_t{1} << 20;
constexpr std::size_t ReadChunk = std::size_t{1} << 22;
// The most one read(2) or write(2) call moves: Windows' C library counts in an unsigned int
// and refuses more than INT_MAX, Linux moves at most about 2 GiB at a time anyway.
constexpr std::size_t LargestTransfer = std::size_t{1} << 30;

// The help text, around the list of the code page's undefined codes.
constexpr std::string_view HelpBeforeUndefined =
    R"(Usage: codetarvo-cli encode (--key TEXT | --key-file FILE) [--bytes] [--armor]
  or:  codetarvo-cli decode (--key TEXT | --key-file FILE) [--bytes]
  or:  codetarvo-cli armor [--bytes]
  or:  codetarvo-cli dearmor [--bytes]
Encode standard input with a key into a code text, or decode a code text back
into its plain text; the result goes to standard output. armor turns a code
text into its armored form, ASCII lines made to travel by mail, chat or
terminal, and dearmor turns it back; neither takes a key. decode takes a code
text or a text holding its armored form.

  -k, --key=TEXT       the key, at least 2 characters; other users of this
                         machine can see it in the process list: prefer
                         --key-file or CODETARVO_KEY
  -f, --key-file=FILE  read the key from FILE (at most 1 MiB); in text mode one
                         final line break (LF or CR LF) is dropped, with --bytes
                         the file is taken exactly
  -b, --bytes          input, output and key file are raw codes 0-255, not UTF-8
  -a, --armor          encode: write the armored form of the code text
  -h, --help           show this help and exit
      --version        show the version and licence and exit

Without --key or --key-file the key comes from the environment variable
CODETARVO_KEY. A key given by --key or CODETARVO_KEY is always UTF-8 text.

In text mode (the default) input and output are UTF-8 and each character stands
for its Windows-1252 code; the unassigned codes )";
constexpr std::string_view HelpAfterUndefined = R"(, code 0 for U+0000. Nothing is
added or removed: a final line break of the input belongs to the text. Empty
input gives empty output. On failure nothing is written to standard output.
Positions in messages count from 0. armor and encode --armor write the
armored form even of an empty code text.

The armored form holds ASCII letters, digits, spaces and periods between the
lines "BEGIN CODE TARVO MESSAGE." and "END CODE TARVO MESSAGE.". Reading it
ignores the text around it, whitespace and line breaks, '>' quote marks and
letter case; any other change is found and named with its line, counted from
the BEGIN line, and nothing is written.

Exit status:
  0  success
  1  the code text does not fit the key, the armored text is damaged or missing,
     or the output could not be written
  2  bad input: usage mistake, missing key or key shorter than 2 codes, invalid
     UTF-8, a character Windows-1252 cannot represent, unreadable file

Examples:
  printf 'Bonjour' | codetarvo-cli encode --key Tesk | codetarvo-cli decode --key Tesk
  CODETARVO_KEY=Tesk codetarvo-cli encode < letter.txt > letter.code
  codetarvo-cli decode --key-file key.txt < letter.code > letter.txt
  codetarvo-cli encode --bytes --key-file key.bin < data.bin > data.code
  codetarvo-cli encode --armor --key-file key.txt < letter.txt > message.txt
  codetarvo-cli decode --key-file key.txt < received-mail.txt
)";

constexpr std::string_view Version = "codetarvo-cli (Code Tarvo) " CODETARVO_VERSION R"(
Copyright (C) 2026 Kor
License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.
This is free software: you are free to change and redistribute it.
There is NO WARRANTY, to the extent permitted by law.
)";

// getopt's value for --version, which has no short form.
constexpr int VersionOption = 256;

enum class Command { Encode, Decode, Armor, Dearmor };

struct Options {
    Command command = Command::Encode;
    bool help = false;
    bool version = false;
    bool bytes = false;
    bool armor = false;
    std::optional<std::string> key;
    std::optional<std::string> keyFile;
};

// Why the tool stops: the status and the message after "codetarvo-cli: ".
struct Failure {
    ExitCode status = ExitBadInput;
    std::string message;
    bool usage = false; // a usage mistake: point at --help
};

Failure usageError(std::string message)
{
    return {ExitBadInput, std::move(message), true};
}

Failure badInput(std::string message)
{
    return {ExitBadInput, std::move(message), false};
}

std::string quoted(std::string_view text)
{
    // Appended piece by piece: GCC 12 at -O3 warns falsely about "'" + std::string.
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    out += text;
    out += '\'';
    return out;
}

std::string unicodeName(char32_t character)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04lX", static_cast<unsigned long>(character));
    return name;
}

std::string hexByte(char32_t byte)
{
    char name[16];
    std::snprintf(name, sizeof name, "0x%02lX", static_cast<unsigned long>(byte));
    return name;
}

// "A, B and C" of the undefined codes, each written by NAME.
std::string undefinedList(std::string (*name)(unsigned char))
{
    const auto &codes = CodePage::UndefinedCodes;
    std::string list;
    for (std::size_t k = 0; k < codes.size(); ++k) {
        if (k != 0)
            list += k + 1 == codes.size() ? " and " : ", ";
        list += name(codes[k]);
    }
    return list;
}

const std::string &help()
{
    static const std::string text = [] {
        std::string t(HelpBeforeUndefined);
        t += undefinedList([](unsigned char code) { return std::to_string(code); });
        t += " stand\nfor ";
        t += undefinedList([](unsigned char code) { return unicodeName(code); });
        t += HelpAfterUndefined;
        return t;
    }();
    return text;
}

std::string describeUtf8Error(const CodePage::Utf8Error &error)
{
    using Kind = CodePage::Utf8ErrorKind;
    const std::string where = "character index " + std::to_string(error.characterIndex) +
                              ", byte offset " + std::to_string(error.byteOffset);
    if (error.kind == Kind::Unrepresentable)
        return "character " + unicodeName(error.value) + " at " + where +
               " has no Windows-1252 code";
    std::string message =
        "invalid UTF-8 at " + where + ": " + std::string(CodePage::describe(error.kind));
    if (error.kind == Kind::UnexpectedByte || error.kind == Kind::Incomplete)
        message += " starting with byte " + hexByte(error.value);
    else if (error.kind != Kind::AboveMaximum)
        message += " of " + unicodeName(error.value);
    else
        message += " (" + unicodeName(error.value) + ")";
    return message;
}

bool needsKey(Command command)
{
    return command == Command::Encode || command == Command::Decode;
}

// Parses ARGS into OPTIONS; gives the usage mistake, if any.
std::optional<Failure> parseOptions(const std::vector<std::string> &args, Options &options)
{
    std::vector<std::string> storage(args);
    if (storage.empty())
        storage.emplace_back(Program);
    std::vector<char *> argv;
    for (std::string &arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    static const option longOptions[] = {
        {"key", required_argument, nullptr, 'k'},
        {"key-file", required_argument, nullptr, 'f'},
        {"bytes", no_argument, nullptr, 'b'},
        {"armor", no_argument, nullptr, 'a'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, VersionOption},
        {nullptr, 0, nullptr, 0},
    };
    // getopt keeps its state in globals: start afresh and keep its own messages quiet.
    optind = 0;
    opterr = 0;
    const int argc = static_cast<int>(argv.size() - 1);
    std::vector<std::string_view> operands;
    for (;;) {
        // The leading '-' hands over operands in place, so options may follow the command
        // even when POSIXLY_CORRECT is set.
        const int option = getopt_long(argc, argv.data(), "-:k:f:bah", longOptions, nullptr);
        if (option == -1)
            break;
        switch (option) {
        case 1:
            operands.emplace_back(optarg);
            break;
        case 'k':
            options.key = optarg;
            break;
        case 'f':
            options.keyFile = optarg;
            break;
        case 'b':
            options.bytes = true;
            break;
        case 'a':
            options.armor = true;
            break;
        case 'h':
            options.help = true;
            break;
        case VersionOption:
            options.version = true;
            break;
        case ':':
            return usageError("option " + quoted(argv[optind - 1]) + " needs an argument");
        default: {
            if (optopt != 0)
                return usageError("unrecognized option " +
                                  quoted(std::string{'-', static_cast<char>(optopt)}));
            return usageError("unrecognized or ambiguous option " + quoted(argv[optind - 1]));
        }
        }
    }
    if (options.help || options.version)
        return std::nullopt;

    // Whatever follows "--" is operands too.
    for (int i = optind; i < argc; ++i)
        operands.emplace_back(argv[static_cast<std::size_t>(i)]);
    if (operands.empty())
        return usageError("missing command: encode, decode, armor or dearmor");
    const std::string_view command = operands.front();
    if (command == "encode")
        options.command = Command::Encode;
    else if (command == "decode")
        options.command = Command::Decode;
    else if (command == "armor")
        options.command = Command::Armor;
    else if (command == "dearmor")
        options.command = Command::Dearmor;
    else
        return usageError("unknown command " + quoted(command));
    if (operands.size() > 1)
        return usageError("unexpected operand " + quoted(operands[1]));
    if (options.armor && options.command != Command::Encode)
        return usageError("'--armor' goes with encode only");
    if ((options.key || options.keyFile) && !needsKey(options.command))
        return usageError(quoted(command) + " takes no key");

    if (options.key && options.keyFile)
        return usageError("give either --key or --key-file, not both");
    if (options.keyFile && *options.keyFile == "-")
        return usageError("'--key-file -' cannot be used: standard input carries the text");
    return std::nullopt;
}

// Reads the whole file PATH into CONTENT.
std::optional<Failure> readKeyFile(const std::string &path, std::string &content)
{
    const auto cannotRead = [&path](int error) {
        return badInput("cannot read key file " + quoted(path) + ": " + std::strerror(error));
    };
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(openForReading(path), &std::fclose);
    if (!file)
        return cannotRead(errno);
    char buffer[65536];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        content.append(buffer, got);
        if (content.size() > LargestKeyFile)
            return badInput("key file " + quoted(path) + " is larger than 1 MiB");
        if (got < sizeof buffer)
            break;
    }
    if (std::ferror(file.get()))
        return cannotRead(errno != 0 ? errno : EIO);
    return std::nullopt;
}

// Finds the key (--key, --key-file, then the environment) and turns it into codes.
std::optional<Failure> resolveKey(const Options &options, const EnvLookup &env, std::string &key)
{
    std::string source;
    bool text = true;
    if (options.key) {
        key = *options.key;
        source = "key given by --key";
    } else if (options.keyFile) {
        if (auto failure = readKeyFile(*options.keyFile, key))
            return failure;
        source = "key file " + quoted(*options.keyFile);
        text = !options.bytes;
        if (text && !key.empty() && key.back() == '\n') {
            key.pop_back();
            if (!key.empty() && key.back() == '\r')
                key.pop_back();
        }
    } else if (auto value = env ? env(std::string(KeyVariable)) : std::nullopt) {
        key = std::move(*value);
        source = "key given by " + std::string(KeyVariable);
    } else {
        return usageError("missing key: give --key, --key-file or set " + std::string(KeyVariable));
    }
    if (text) {
        if (const auto error = CodePage::fromUtf8InPlace(key))
            return badInput(source + ": " + describeUtf8Error(*error));
    }
    if (key.size() < 2)
        return badInput(source + " is shorter than 2 codes");
    return std::nullopt;
}

// The bytes left to read from the regular file FD, or 0 when it is no regular file.
std::size_t bytesLeft(int fd)
{
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    return at >= 0 && at < status.st_size ? static_cast<std::size_t>(status.st_size - at) : 0;
}

// Gives DATA room for SIZE bytes, the room untouched. Texts of many megabytes arrive here: on a
// virtual machine a fresh 4 KiB page costs microseconds to map, more than copying it, so a
// large block asks for transparent huge pages before it is first touched, to be mapped 2 MiB
// at a time. malloc() hands out such blocks as fresh mappings of their own, so the advice
// applies to this block only.
void reserveLarge(std::string &data, std::size_t size)
{
    data.reserve(size);
#ifdef MADV_HUGEPAGE
    constexpr std::size_t LargeBlock = std::size_t{8} << 20;
    constexpr std::uintptr_t HugePage = std::uintptr_t{2} << 20;
    if (size >= LargeBlock) {
        const auto start = reinterpret_cast<std::uintptr_t>(data.data());
        const std::uintptr_t from = (start + HugePage - 1) & ~(HugePage - 1);
        const std::uintptr_t to = (start + size) & ~(HugePage - 1);
        if (from < to)
            madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
    }
#endif
}

// Reads all of FD into DATA; false on a read error, with errno set. A regular file goes
// into a buffer of its size in one piece: growing a buffer copies it and touches fresh
// memory, which for large inputs costs more than the reading.
bool readAll(int fd, std::string &data)
{
    const std::size_t expected = bytesLeft(fd);
    reserveLarge(data, expected > 0 ? expected : ReadChunk);
    data.resize(expected > 0 ? expected : ReadChunk);
    std::size_t used = 0;
    for (;;) {
        if (used == data.size()) {
            // Full: one small read tells the end of a regular file from more to come.
            char probe[4096];
            const ssize_t got = read(fd, probe, sizeof probe);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                data.resize(used);
                return got == 0;
            }
            const std::size_t grown = std::max(2 * data.size(), used + ReadChunk);
            reserveLarge(data, grown);
            data.resize(grown);
            std::memcpy(data.data() + used, probe, static_cast<std::size_t>(got));
            used += static_cast<std::size_t>(got);
            continue;
        }
        const ssize_t got =
            read(fd, data.data() + used, std::min(data.size() - used, LargestTransfer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            data.resize(used);
            return got == 0;
        }
        used += static_cast<std::size_t>(got);
    }
}

// Puts in place of DATA the code text of the armored form it holds.
std::optional<Failure> dearmorInPlace(std::string &data)
{
    Armor::Dearmored result = Armor::dearmor(data);
    if (result.problem == Armor::Problem::NotFound)
        return Failure{ExitFailure, "no armored text found in the input", false};
    if (!result.ok())
        return Failure{ExitFailure,
                       "armored text damaged at line " + std::to_string(result.line) + ": " +
                           std::string(Armor::describe(result.problem)),
                       false};
    data = std::move(result.code);
    return std::nullopt;
}

// Turns the input DATA into the output codes in place; gives the failure, if any.
std::optional<Failure> convert(const Options &options, std::string key, std::string &data)
{
    // An armored form is ASCII whatever the mode, and its reader takes UTF-8 as it comes.
    if (options.command == Command::Dearmor ||
        (options.command == Command::Decode && Armor::holdsArmor(data))) {
        if (auto failure = dearmorInPlace(data))
            return failure;
    } else if (!options.bytes) {
        if (const auto error = CodePage::fromUtf8InPlace(data))
            return badInput("input: " + describeUtf8Error(*error));
    }
    if (options.armor || options.command == Command::Armor) {
        if (options.command == Command::Encode)
            data = ModCodeur::Coder(std::move(data), std::move(key));
        data = Armor::armor(data);
        return std::nullopt;
    }
    // An empty code text cannot be decoded, yet the empty text is what encoding gives for
    // an empty plain text: both directions give empty for empty.
    if (data.empty() || options.command == Command::Dearmor)
        return std::nullopt;
    if (options.command == Command::Encode) {
        // The code text is the other large buffer: huge pages for it too.
        std::string room;
        reserveLarge(room, ModCodeur::codeRoom(data.size()));
        data = ModCodeur::Coder(std::move(data), std::move(key), std::move(room));
    } else {
        ModCodeur::DecodeResult result = ModCodeur::decode(data, key);
        if (!result.ok())
            return Failure{ExitFailure,
                           "code text does not fit the key: " +
                               std::string(ModCodeur::describe(result.failure)) + " at unit " +
                               std::to_string(result.unit),
                           false};
        data = std::move(result.plain);
    }
    return std::nullopt;
}

int report(std::ostream &err, const Failure &failure)
{
    err << Program << ": " << failure.message << '\n';
    if (failure.usage)
        err << Program << ": run '" << Program << " --help' for usage\n";
    err.flush();
    return failure.status;
}

// Why writing standard output failed, from errno.
Failure writeFailure()
{
    std::string message = "cannot write standard output";
    if (errno != 0)
        message += std::string(": ") + std::strerror(errno);
    return Failure{ExitFailure, std::move(message), false};
}

// Writes TEXT to FD with as few write(2) calls as it takes; gives the failure, if any.
std::optional<Failure> writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        errno = 0;
        const ssize_t put = write(fd, text.data(), std::min(text.size(), LargestTransfer));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return writeFailure();
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return std::nullopt;
}

// Writes CODES to OUT as UTF-8, a piece at a time through one buffer: every code has a UTF-8
// form, so only the writing can fail half-way, and the whole UTF-8 text, often twice the
// size of the codes, never needs fresh memory.
std::optional<Failure> writeUtf8(int out, std::string_view codes)
{
    constexpr std::size_t Piece = 256 * 1024;
    std::string utf8;
    utf8.reserve(3 * Piece + 3);
    while (!codes.empty()) {
        const std::size_t length = std::min(Piece, codes.size());
        utf8.clear();
        CodePage::appendUtf8(codes.substr(0, length), utf8);
        if (auto failure = writeAll(out, utf8))
            return failure;
        codes.remove_prefix(length);
    }
    return std::nullopt;
}

} // namespace

std::string_view helpText()
{
    return help();
}

std::string_view versionText()
{
    return Version;
}

int run(const std::vector<std::string> &args, int in, int out, std::ostream &err,
        const EnvLookup &env)
{
    Options options;
    if (auto failure = parseOptions(args, options))
        return report(err, *failure);
    if (options.help || options.version) {
        if (auto failure = writeAll(out, options.help ? std::string_view(help()) : Version))
            return report(err, *failure);
        return ExitOk;
    }
    std::string key;
    if (needsKey(options.command)) {
        if (auto failure = resolveKey(options, env, key))
            return report(err, *failure);
    }

    std::string data;
    errno = 0;
    if (!readAll(in, data)) {
        std::string message = "cannot read standard input";
        if (errno != 0)
            message += std::string(": ") + std::strerror(errno);
        return report(err, badInput(std::move(message)));
    }
    if (auto failure = convert(options, std::move(key), data))
        return report(err, *failure);
    if (auto failure = options.bytes ? writeAll(out, data) : writeUtf8(out, data))
        return report(err, *failure);
    return ExitOk;
}

} // namespace CodeTarvoCli
