// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the built codetarvo-cli.exe as a Windows process: every byte through standard
// streams on pipes and on files (Windows opens them in text mode), exit statuses and
// messages, and keys and file names outside the ANSI code page.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring wide(const std::string &utf8)
{
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

// ARG quoted so that CommandLineToArgvW gives it back unchanged.
std::wstring quoted(const std::wstring &arg)
{
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, L'\\');
    return out + L'"';
}

// The caller's environment without CODETARVO_KEY, with EXTRA added, as CreateProcessW takes it.
std::wstring environmentBlock(const std::vector<std::string> &extra)
{
    std::wstring block;
    const wchar_t *strings = GetEnvironmentStringsW();
    for (const wchar_t *entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1)
        if (std::wstring_view(entry).rfind(L"CODETARVO_KEY=", 0) != 0)
            block.append(entry).push_back(L'\0');
    FreeEnvironmentStringsW(const_cast<wchar_t *>(strings));
    for (const std::string &entry : extra)
        block.append(wide(entry)).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    Handle() = default;
    explicit Handle(HANDLE handle) : h(handle) {}
    Handle(Handle &&other) noexcept : h(std::exchange(other.h, INVALID_HANDLE_VALUE)) {}
    Handle &operator=(Handle &&other) noexcept
    {
        std::swap(h, other.h);
        return *this;
    }
    ~Handle() { close(); }
    void close()
    {
        if (h != INVALID_HANDLE_VALUE && h != nullptr)
            CloseHandle(std::exchange(h, INVALID_HANDLE_VALUE));
    }
};

// A pipe whose CHILD end the tool inherits: its reading end when CHILDREADS.
void makePipe(Handle &child, Handle &parent, bool childReads)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, &inherit, 0));
    child = Handle(childReads ? read : write);
    parent = Handle(childReads ? write : read);
    SetHandleInformation(parent.h, HANDLE_FLAG_INHERIT, 0);
}

Handle inheritableFile(const std::wstring &path, bool forWriting)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return Handle(CreateFileW(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                              FILE_SHARE_READ, &inherit, forWriting ? CREATE_ALWAYS : OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string readAll(HANDLE from)
{
    std::string data;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0)
        data.append(buffer, got);
    return data;
}

std::string readFile(const std::wstring &path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::wstring tempPath(const std::string &name)
{
    wchar_t dir[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, dir);
    return dir + wide("cli_process_test_" + std::to_string(GetCurrentProcessId()) + "_" + name);
}

enum class Streams { Pipes, Files };

struct Process {
    DWORD status = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// Runs the tool with ARGS, INPUT on standard input, ENV added to its environment and its
// standard input and output on pipes or on files; standard error always goes to a pipe.
Process runTool(const std::vector<std::string> &args, const std::string &input,
                Streams streams = Streams::Pipes, const std::vector<std::string> &env = {})
{
    Process result;
    Handle childIn, childOut, childErr, parentIn, parentOut, parentErr;
    const std::wstring inPath = tempPath("in");
    const std::wstring outPath = tempPath("out");
    if (streams == Streams::Pipes) {
        makePipe(childIn, parentIn, true);
        makePipe(childOut, parentOut, false);
    } else {
        std::ofstream(std::filesystem::path(inPath), std::ios::binary) << input;
        childIn = inheritableFile(inPath, false);
        childOut = inheritableFile(outPath, true);
    }
    makePipe(childErr, parentErr, false);

    std::wstring commandLine = quoted(wide(CODETARVO_CLI_PATH));
    for (const std::string &arg : args)
        commandLine += L" " + quoted(wide(arg));
    std::wstring environment = environmentBlock(env);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn.h;
    startup.hStdOutput = childOut.h;
    startup.hStdError = childErr.h;
    PROCESS_INFORMATION process{};
    // Wine, busy starting other processes, can answer ERROR_INTERNAL_ERROR once; a program
    // that fails to start is started again, a few times.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                 CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(),
                                 nullptr, &startup, &process);
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR)
            break;
        if (!started)
            Sleep(200);
    }
    if (!started) {
        ADD_FAILURE() << "cannot start " << CODETARVO_CLI_PATH << ": error " << GetLastError();
        return result;
    }
    childIn.close();
    childOut.close();
    childErr.close();
    std::thread writer;
    std::thread reader;
    if (streams == Streams::Pipes) {
        writer = std::thread([&] {
            DWORD put = 0;
            for (std::size_t at = 0; at < input.size(); at += put)
                if (!WriteFile(
                        parentIn.h, input.data() + at,
                        static_cast<DWORD>(std::min<std::size_t>(input.size() - at, 1 << 16)), &put,
                        nullptr))
                    break;
            parentIn.close();
        });
        reader = std::thread([&] { result.out = readAll(parentOut.h); });
    }
    result.err = readAll(parentErr.h);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (streams == Streams::Pipes) {
        writer.join();
        reader.join();
    } else {
        result.out = readFile(outPath);
        DeleteFileW(inPath.c_str());
        DeleteFileW(outPath.c_str());
    }
    return result;
}

const char *nameOf(Streams streams)
{
    return streams == Streams::Pipes ? "pipes" : "files";
}

TEST(CliProcessWindows, EveryByteRoundTripsOnPipesAndFiles)
{
    std::mt19937 rng(2026); // fixed seed, so a failure reproduces
    std::uniform_int_distribution<int> code(0, 255);
    // Many line breaks, lone and paired, and code 26, which ends text-mode input.
    std::string plain;
    const std::string awkward[] = {"\n", "\r\n", "\r", "\x1a", std::string(1, '\0')};
    while (plain.size() < (1 << 20))
        plain += code(rng) < 64 ? awkward[static_cast<std::size_t>(code(rng)) % 5]
                                : std::string(1, static_cast<char>(code(rng)));
    // In text mode as UTF-8: the same awkward codes, and characters of two and three bytes.
    const std::string text =
        "ligne\r\nlone\nCR\rfin\x1a\xC3\xA9\xE2\x82\xAC" + std::string(1, '\0');

    for (const Streams streams : {Streams::Pipes, Streams::Files}) {
        SCOPED_TRACE(nameOf(streams));
        const Process encoded = runTool({"encode", "--bytes", "--key", "K\x01y!"}, plain, streams);
        ASSERT_EQ(encoded.status, 0u) << encoded.err;
        const Process decoded =
            runTool({"decode", "--bytes", "--key", "K\x01y!"}, encoded.out, streams);
        ASSERT_EQ(decoded.status, 0u) << decoded.err;
        EXPECT_TRUE(decoded.out == plain) << "bytes mode round trip differs";

        const Process textCode = runTool({"encode", "--key", "Tesk"}, text, streams);
        const Process textBack = runTool({"decode", "--key", "Tesk"}, textCode.out, streams);
        EXPECT_EQ(textBack.status, 0u) << textBack.err;
        EXPECT_EQ(textBack.out, text);
    }
}

TEST(CliProcessWindows, ExitStatusesAndMessages)
{
    // Messages are for a console: standard error stays in text mode, with CR LF line ends.
    const struct {
        std::vector<std::string> args;
        std::string input;
        DWORD status;
        std::string err;
    } cases[] = {
        {{"decode", "--key", "Tesk"},
         "\x01\x50",
         1,
         "codetarvo-cli: code text does not fit the key: unit smaller than its key code at "
         "unit 1\r\n"},
        {{"encode", "--widht=3"},
         "abc",
         2,
         "codetarvo-cli: unrecognized or ambiguous option '--widht=3'\r\n"
         "codetarvo-cli: run 'codetarvo-cli --help' for usage\r\n"},
        {{"encode", "--key", "Tesk"},
         std::string(1 << 20, 'a') + "\xC5\x91",
         2,
         "codetarvo-cli: input: character U+0151 at character index 1048576, byte offset "
         "1048576 has no Windows-1252 code\r\n"},
        {{"encode"},
         "abc",
         2,
         "codetarvo-cli: missing key: give --key, --key-file or set CODETARVO_KEY\r\n"
         "codetarvo-cli: run 'codetarvo-cli --help' for usage\r\n"},
    };
    for (const auto &c : cases) {
        const Process run = runTool(c.args, c.input);
        EXPECT_EQ(run.status, c.status) << c.args.back();
        EXPECT_EQ(run.err, c.err);
        EXPECT_TRUE(run.out.empty()) << c.args.back();
    }
    // The help goes to standard output byte for byte as on other systems: LF line ends.
    const Process help = runTool({"--help"}, "");
    EXPECT_EQ(help.status, 0u);
    EXPECT_EQ(help.out.rfind("Usage: codetarvo-cli encode", 0), 0u);
    EXPECT_EQ(help.out.find('\r'), std::string::npos);
}

TEST(CliProcessWindows, KeysAndFileNamesBeyondTheAnsiCodePage)
{
    // "Clé€": é is in every Western code page, € not in all of them, and the key file's
    // name holds a character no ANSI code page has. Each source must give the same codes.
    const std::string key = "Cl\xC3\xA9\xE2\x82\xAC";
    const std::wstring keyFile = tempPath("cl\xC3\xA9_\xE2\x98\x83.txt");
    std::ofstream(std::filesystem::path(keyFile), std::ios::binary) << key << "\r\n";
    std::string keyFileUtf8(static_cast<std::size_t>(WideCharToMultiByte(
                                CP_UTF8, 0, keyFile.c_str(), -1, nullptr, 0, nullptr, nullptr)),
                            '\0');
    WideCharToMultiByte(CP_UTF8, 0, keyFile.c_str(), -1, keyFileUtf8.data(),
                        static_cast<int>(keyFileUtf8.size()), nullptr, nullptr);
    keyFileUtf8.pop_back();

    const std::string plain = "Rendez-vous \xC3\xA0 midi";
    const Process encoded = runTool({"encode", "--key", key}, plain);
    ASSERT_EQ(encoded.status, 0u) << encoded.err;
    const Process fromEnv =
        runTool({"decode"}, encoded.out, Streams::Pipes, {"CODETARVO_KEY=" + key});
    EXPECT_EQ(fromEnv.status, 0u) << fromEnv.err;
    EXPECT_EQ(fromEnv.out, plain);
    const Process fromFile = runTool({"decode", "--key-file", keyFileUtf8}, encoded.out);
    EXPECT_EQ(fromFile.status, 0u) << fromFile.err;
    EXPECT_EQ(fromFile.out, plain);
    DeleteFileW(keyFile.c_str());
}

} // namespace
