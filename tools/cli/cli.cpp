// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli.h"

#include "armor.h"
#include "codepage.h"
#include "codetarvo_version.h"
#include "hostprocess.h"
#include "modcodeur.h"
#include "stream.h"

#include <getopt.h>
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
// The most one read(2) or write(2) call moves: Windows' C library counts in an unsigned int
// and refuses more than INT_MAX, Linux moves at most about 2 GiB at a time anyway.
constexpr std::size_t LargestTransfer = std::size_t{1} << 30;

// The help text, around the list of the code page's undefined codes.
constexpr std::string_view HelpBeforeUndefined =
    R"(Usage: codetarvo-cli encode (--key TEXT | --key-file FILE) [--bytes] [--armor]
                            [-o FILE]
  or:  codetarvo-cli decode (--key TEXT | --key-file FILE) [--bytes] [-o FILE]
  or:  codetarvo-cli armor [--bytes] [-o FILE]
  or:  codetarvo-cli dearmor [--bytes] [-o FILE]
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
  -o, --output=FILE    write the result to FILE, not to standard output; FILE
                         is replaced only when the run succeeds, and otherwise
                         left as it was
  -h, --help           show this help and exit
      --version        show the version and licence and exit

Without --key or --key-file the key comes from the environment variable
CODETARVO_KEY. A key given by --key or CODETARVO_KEY is always UTF-8 text.

In text mode (the default) input and output are UTF-8 and each character stands
for its Windows-1252 code; the unassigned codes )";
constexpr std::string_view HelpAfterUndefined = R"(, code 0 for U+0000. Nothing is
added or removed: a final line break of the input belongs to the text. Empty
input gives empty output. Positions in messages count from 0. armor and
encode --armor write the armored form even of an empty code text.

The armored form holds ASCII letters, digits, spaces and periods between the
lines "BEGIN CODE TARVO MESSAGE." and "END CODE TARVO MESSAGE.". Reading it
ignores the text around it, whitespace and line breaks, '>' quote marks and
letter case; any other change is found and named with its line, counted from
the BEGIN line. decode takes its input for an armored text when the BEGIN line
starts within the first 16 MiB.

Input of any size goes through in pieces, in bounded memory. On failure nothing
is written to standard output as long as the result is at most 16 MiB: it is
held back until the run succeeds. A larger result goes out as it is made, and a
failure then adds that the output is incomplete and after how many bytes it
stops. With --output the result goes to a new file beside FILE, which takes
FILE's place only on success: FILE is the whole result or untouched.

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
  codetarvo-cli decode --bytes --key-file key.bin -o data.bin < data.code
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
    std::optional<std::string> output;
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
        {"output", required_argument, nullptr, 'o'},
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
        const int option = getopt_long(argc, argv.data(), "-:k:f:o:bah", longOptions, nullptr);
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
        case 'o':
            options.output = optarg;
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
    if (options.output && options.output->empty())
        return usageError("'--output' needs a file name");
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

int report(std::ostream &err, const Failure &failure)
{
    err << Program << ": " << failure.message << '\n';
    if (failure.usage)
        err << Program << ": run '" << Program << " --help' for usage\n";
    err.flush();
    return failure.status;
}

// Why writing the output failed, from errno.
Failure writeFailure(const std::string &where)
{
    std::string message = "cannot write " + where;
    if (errno != 0)
        message += std::string(": ") + std::strerror(errno);
    return Failure{ExitFailure, std::move(message), false};
}

// Writes TEXT to FD with as few write(2) calls as it takes; false with errno set on failure.
bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        errno = 0;
        const ssize_t put = write(fd, text.data(), std::min(text.size(), LargestTransfer));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Asks for transparent huge pages for the SIZE bytes at DATA, before they are first touched:
// on a virtual machine a fresh 4 KiB page costs microseconds to map, more than copying it, and
// held output and read-ahead input are megabytes.
void adviseHugePages([[maybe_unused]] char *data, [[maybe_unused]] std::size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t HugePage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t from = (start + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t to = (start + size) & ~(HugePage - 1);
    if (from < to)
        madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
#endif
}

// Where the result goes: held in memory while it is no larger than the bound, so that a run
// that fails writes nothing; past the bound, written as it is made.
class Output {
public:
    Output(int fd, std::size_t bound, std::string where)
        : m_fd(fd), m_bound(bound), m_where(std::move(where))
    {
        m_held.reserve(bound); // memory that is never touched stays free
        adviseHugePages(m_held.data(), bound);
    }

    std::optional<Failure> put(std::string_view bytes)
    {
        if (m_holding) {
            if (m_held.size() + bytes.size() <= m_bound) {
                m_held.append(bytes);
                return std::nullopt;
            }
            m_holding = false;
            if (auto failure = send(m_held))
                return failure;
            m_held = {};
        }
        return send(bytes);
    }

    // Puts the codes CODES, as UTF-8 when UTF8.
    std::optional<Failure> putCodes(std::string_view codes, bool utf8)
    {
        if (!utf8)
            return put(codes);
        // Room for the longest UTF-8 a code takes, and the three bytes the writer may pass.
        const std::size_t room = 3 * codes.size() + 3;
        if (m_utf8Room < room) {
            m_utf8.reset(new char[room]);
            m_utf8Room = room;
        }
        const char *end = CodePage::writeUtf8(codes, m_utf8.get());
        return put({m_utf8.get(), static_cast<std::size_t>(end - m_utf8.get())});
    }

    // Writes what is held: the run succeeded.
    std::optional<Failure> finish()
    {
        m_holding = false;
        return send(m_held);
    }

    // How many bytes have gone out.
    std::size_t written() const { return m_written; }
    // Whether some output went out before the run ended.
    bool released() const { return !m_holding; }

private:
    std::optional<Failure> send(std::string_view bytes)
    {
        if (!writeAll(m_fd, bytes))
            return writeFailure(m_where);
        m_written += bytes.size();
        return std::nullopt;
    }

    int m_fd;
    std::size_t m_bound;
    std::string m_where;
    bool m_holding = true;
    std::size_t m_written = 0;
    std::string m_held;
    std::unique_ptr<char[]> m_utf8;
    std::size_t m_utf8Room = 0;
};

// Standard input, a piece at a time, each with Headroom bytes before it that the stages may
// write over. The first pieces may be read ahead, as a whole, for a look at what they hold.
class Input {
public:
    Input(int fd, std::size_t piece) : m_fd(fd), m_piece(piece) {}

    // Reads ahead up to BOUND bytes, or to the end; false on a read error, errno set. Memory
    // that the input does not reach stays untouched, and free.
    bool readAhead(std::size_t bound)
    {
        allocate(ModCodeur::Headroom + bound);
        std::size_t got = 0;
        while (got < bound && !m_ended) {
            const std::size_t n = readSome(m_buffer.get() + ModCodeur::Headroom + got, bound - got);
            if (n == Error)
                return false;
            got += n;
        }
        m_ahead = got;
        return true;
    }
    // What was read ahead and not yet given as pieces.
    std::string_view ahead() const
    {
        return {m_buffer.get() + ModCodeur::Headroom + m_from, m_ahead - m_from};
    }

    // The next piece at data(), of size(); the last when ended(). False on a read error,
    // errno set.
    bool next()
    {
        if (m_from < m_ahead) {
            // A piece of what was read ahead: the bytes before it were given already.
            m_data = m_buffer.get() + ModCodeur::Headroom + m_from;
            m_size = std::min(m_piece, m_ahead - m_from);
            m_from += m_size;
            m_last = m_ended && m_from == m_ahead;
            return true;
        }
        if (m_allocated != ModCodeur::Headroom + m_piece) {
            allocate(ModCodeur::Headroom + m_piece);
            m_from = m_ahead = 0;
        }
        m_data = m_buffer.get() + ModCodeur::Headroom;
        m_size = 0;
        if (!m_ended) {
            const std::size_t n = readSome(m_data, m_piece);
            if (n == Error)
                return false;
            m_size = n;
        }
        m_last = m_ended;
        return true;
    }
    char *data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool last() const { return m_last; }

private:
    static constexpr std::size_t Error = ~std::size_t{0};

    // A buffer of SIZE bytes, left as malloc gives it: the reads fill it.
    void allocate(std::size_t size)
    {
        m_buffer.reset(new char[size]);
        m_allocated = size;
        adviseHugePages(m_buffer.get(), size);
    }

    // One read(2) of up to SIZE bytes: how many it gave (0 at the end), or Error.
    std::size_t readSome(char *to, std::size_t size)
    {
        for (;;) {
            const ssize_t got = read(m_fd, to, std::min(size, LargestTransfer));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return Error;
            m_ended = got == 0;
            return static_cast<std::size_t>(got);
        }
    }

    int m_fd;
    std::size_t m_piece;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_allocated = 0;
    std::size_t m_ahead = 0; // bytes read ahead
    std::size_t m_from = 0;  // of them, given as pieces
    bool m_ended = false;
    char *m_data = nullptr;
    std::size_t m_size = 0;
    bool m_last = false;
};

// The stages a run's pieces go through, from input to output.
class Pipeline {
public:
    Pipeline(const Options &options, const std::string &key, bool armored, Output &output)
        : m_options(options), m_output(output)
    {
        const Command command = options.command;
        if (command == Command::Dearmor || armored)
            m_armorReader.emplace();
        else if (!options.bytes)
            m_utf8Reader.emplace();
        if (command == Command::Encode)
            m_encoder.emplace(key, m_draws);
        if (command == Command::Decode)
            m_decoder.emplace(key);
        if (command == Command::Armor || options.armor)
            m_armorWriter.emplace();
    }

    // Takes the SIZE bytes at DATA, which has Headroom bytes before it, LAST when no more
    // input follows.
    std::optional<Failure> take(char *data, std::size_t size, bool last)
    {
        if (m_armorReader) {
            m_code.assign(ModCodeur::Headroom, '\0');
            m_armorReader->read(data, size, last, m_code);
            if (m_armorReader->done()) {
                if (auto failure = dearmorFailure(m_armorReader->result()))
                    return failure;
                last = true; // the code text is whole
            }
            data = m_code.data() + ModCodeur::Headroom;
            size = m_code.size() - ModCodeur::Headroom;
        } else if (m_utf8Reader) {
            const auto codes = m_utf8Reader->read(data, size, last);
            if (!codes)
                return badInput("input: " + describeUtf8Error(m_utf8Reader->error()));
            data = const_cast<char *>(codes->data());
            size = codes->size();
        }
        m_finished = last;
        return codes(data, size, last);
    }

    // Whether the result is whole, and no more input is needed.
    bool finished() const { return m_finished; }

private:
    std::optional<Failure> codes(char *data, std::size_t size, bool last)
    {
        const bool utf8 = !m_options.bytes;
        if (m_decoder) {
            // An empty code text cannot be decoded, yet the empty text is what encoding gives
            // for an empty plain text: both directions give empty for empty.
            if (size == 0 && m_decoder->empty())
                return std::nullopt;
            const auto plain = m_decoder->decode(data, size, last);
            if (!plain)
                return Failure{ExitFailure,
                               "code text does not fit the key: " +
                                   std::string(ModCodeur::describe(m_decoder->failure())) +
                                   " at unit " + std::to_string(m_decoder->unit()),
                               false};
            return m_output.putCodes(*plain, utf8);
        }
        std::string_view result(data, size);
        if (m_encoder)
            result = m_encoder->encode(result);
        if (!m_armorWriter)
            return m_output.putCodes(result, utf8);
        m_armored.clear();
        m_armorWriter->add(result, m_armored);
        if (last)
            m_armorWriter->finish(m_armored);
        return m_output.put(m_armored);
    }

    static std::optional<Failure> dearmorFailure(const Armor::Dearmored &result)
    {
        if (result.problem == Armor::Problem::NotFound)
            return Failure{ExitFailure, "no armored text found in the input", false};
        if (!result.ok())
            return Failure{ExitFailure,
                           "armored text damaged at line " + std::to_string(result.line) + ": " +
                               std::string(Armor::describe(result.problem)),
                           false};
        return std::nullopt;
    }

    const Options &m_options;
    Output &m_output;
    ModCodeur::ClockRandomSource m_draws;
    std::optional<Armor::Reader> m_armorReader;
    std::optional<ModCodeur::StreamUtf8Reader> m_utf8Reader;
    std::optional<ModCodeur::StreamEncoder> m_encoder;
    std::optional<ModCodeur::StreamDecoder> m_decoder;
    std::optional<Armor::Writer> m_armorWriter;
    std::string m_code;
    std::string m_armored;
    bool m_finished = false;
};

// Runs the pieces of IN through the stages of OPTIONS' command onto OUTPUT.
std::optional<Failure> stream(const Options &options, const std::string &key, Input &input,
                              Output &output, const Limits &limits)
{
    const auto readFailure = [] {
        std::string message = "cannot read standard input";
        if (errno != 0)
            message += std::string(": ") + std::strerror(errno);
        return badInput(std::move(message));
    };
    errno = 0;
    bool armored = false;
    if (options.command == Command::Decode) {
        // An armored form is told by its opening frame, looked for in as much of the input as
        // the output may hold: all of it, unless it is larger.
        if (!input.readAhead(limits.held))
            return readFailure();
        armored = Armor::holdsArmor(input.ahead());
    }
    Pipeline pipeline(options, key, armored, output);
    do {
        errno = 0;
        if (!input.next())
            return readFailure();
        if (auto failure = pipeline.take(input.data(), input.size(), input.last()))
            return failure;
    } while (!pipeline.finished());
    // The armored form is whole: what follows it is read, as the whole input always is, and
    // left alone.
    while (!input.last()) {
        errno = 0;
        if (!input.next())
            return readFailure();
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
    return run(args, in, out, err, env, Limits{});
}

int run(const std::vector<std::string> &args, int in, int out, std::ostream &err,
        const EnvLookup &env, const Limits &limits)
{
    Options options;
    if (auto failure = parseOptions(args, options))
        return report(err, *failure);
    if (options.help || options.version) {
        if (!writeAll(out, options.help ? std::string_view(help()) : Version))
            return report(err, writeFailure("standard output"));
        return ExitOk;
    }
    std::string key;
    if (needsKey(options.command)) {
        if (auto failure = resolveKey(options, env, key))
            return report(err, *failure);
    }

    // With --output the result goes to a new file beside the named one, which takes its place
    // only when the run succeeded: the output need not be held back.
    std::string temporary;
    if (options.output) {
        errno = 0;
        out = createBeside(*options.output, temporary);
        if (out < 0)
            return report(err, writeFailure("output file " + quoted(*options.output)));
    }
    Input input(in, limits.piece);
    Output output(out, options.output ? 0 : limits.held,
                  options.output ? "output file " + quoted(*options.output)
                                 : std::string("standard output"));
    auto failure = stream(options, key, input, output, limits);
    if (!failure)
        failure = output.finish();
    if (options.output) {
        errno = 0;
        const bool synced = failure || syncFile(out);
        const bool closed = close(out) == 0;
        if (!failure && (!synced || !closed || !replaceFile(temporary, *options.output)))
            failure = writeFailure("output file " + quoted(*options.output));
        if (failure)
            removeFile(temporary);
    } else if (failure && output.released()) {
        failure->message += "\n" + std::string(Program) +
                            ": the output is incomplete: it stops after " +
                            std::to_string(output.written()) + " bytes";
    }
    if (failure)
        return report(err, *failure);
    return ExitOk;
}

} // namespace CodeTarvoCli
