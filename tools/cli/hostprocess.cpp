// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostprocess.h"

#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>

#include <cerrno>
#include <memory>
#endif

namespace CodeTarvoCli {

#ifdef _WIN32

namespace {

std::string utf8Of(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back(); // the terminating NUL
    return utf8;
}

std::wstring utf16Of(const std::string &utf8)
{
    const int size =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, nullptr, 0);
    if (size <= 1)
        return {};
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, text.data(), size);
    text.pop_back();
    return text;
}

} // namespace

std::vector<std::string> utf8Arguments(int argc, char **argv)
{
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    if (!wide || count != argc)
        return {argv, argv + argc};
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(utf8Of(wide.get()[i]));
    return args;
}

std::optional<std::string> utf8Environment(const std::string &name)
{
    if (const wchar_t *value = _wgetenv(utf16Of(name).c_str()))
        return utf8Of(value);
    return std::nullopt;
}

std::FILE *openForReading(const std::string &path)
{
    const std::wstring name = utf16Of(path);
    if (name.empty()) {
        errno = path.empty() ? ENOENT : EILSEQ;
        return nullptr;
    }
    std::FILE *file = _wfopen(name.c_str(), L"rb");
    // Windows refuses to open a folder where POSIX systems open it and fail to read it: the
    // message names the same reason on both.
    if (!file && errno == EACCES) {
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            errno = EISDIR;
    }
    return file;
}

void useBinaryStandardStreams()
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

#else

std::vector<std::string> utf8Arguments(int argc, char **argv)
{
    return {argv, argv + argc};
}

std::optional<std::string> utf8Environment(const std::string &name)
{
    if (const char *value = std::getenv(name.c_str()))
        return std::string(value);
    return std::nullopt;
}

std::FILE *openForReading(const std::string &path)
{
    return std::fopen(path.c_str(), "rb");
}

void useBinaryStandardStreams() {}

#endif

} // namespace CodeTarvoCli
