// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostprocess.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <share.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
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

int createBeside(const std::string &path, std::string &temporary)
{
    const std::wstring name = utf16Of(path);
    if (name.empty()) {
        errno = path.empty() ? ENOENT : EILSEQ;
        return -1;
    }
    // A name not taken yet: the process and a counter, tried again while they are.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring suffix =
            L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
        int fd = -1;
        const errno_t error =
            _wsopen_s(&fd, (name + suffix).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                      _SH_DENYNO, _S_IREAD | _S_IWRITE);
        if (error == 0) {
            temporary = path + utf8Of(suffix.c_str());
            return fd;
        }
        if (error != EEXIST) {
            errno = error;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

bool replaceFile(const std::string &from, const std::string &to)
{
    if (MoveFileExW(utf16Of(from).c_str(), utf16Of(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD error = GetLastError();
    errno = error == ERROR_ACCESS_DENIED ? EACCES : error == ERROR_PATH_NOT_FOUND ? ENOENT : EIO;
    return false;
}

bool syncFile(int fd)
{
    return _commit(fd) == 0;
}

void removeFile(const std::string &path)
{
    _wremove(utf16Of(path).c_str());
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

int createBeside(const std::string &path, std::string &temporary)
{
    std::string name = path + ".tmp-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return -1;
    // mkstemp gives mode 0600; the result gets the mode of the file it replaces, or of a new one.
    struct stat status {};
    mode_t mode = 0;
    if (stat(path.c_str(), &status) == 0) {
        mode = status.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    temporary = std::move(name);
    return fd;
}

bool replaceFile(const std::string &from, const std::string &to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool syncFile(int fd)
{
    return fsync(fd) == 0 || errno == EINVAL; // EINVAL: a file that cannot be synced, as a pipe
}

void removeFile(const std::string &path)
{
    std::remove(path.c_str());
}

void useBinaryStandardStreams() {}

#endif

} // namespace CodeTarvoCli
