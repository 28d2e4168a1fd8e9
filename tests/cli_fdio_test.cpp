// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tool reading and writing file descriptors: regular files read in one
// piece of their size, pipes read in growing chunks, output through pipes, each checked
// by decoding the output again through the stream interface.

#include "cli.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

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

const std::string Key = "k3y!Tesk";

std::optional<std::string> noEnv(const std::string &)
{
    return std::nullopt;
}

std::string randomCodes(std::mt19937 &rng, std::size_t size)
{
    std::string codes(size, '\0');
    for (char &c : codes)
        c = static_cast<char>(rng() & 0xFF);
    return codes;
}

// Decodes CODE with the stream interface; the plain text, or a note of the failure.
std::string decoded(const std::string &code)
{
    std::istringstream in(code);
    std::ostringstream out;
    std::ostringstream err;
    const int status = CodeTarvoCli::run({"codetarvo-cli", "decode", "--bytes", "--key", Key}, in,
                                         out, err, noEnv);
    return status == CodeTarvoCli::ExitOk ? out.str() : "failed: " + err.str();
}

std::string tempPath(const std::string &name)
{
    return testing::TempDir() + "cli_fdio_test_" + std::to_string(getpid()) + "_" + name;
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
    unlink(path.c_str()); // fails on Windows while the file is open: it stays in the temporary folder
    EXPECT_EQ(lseek(in, offset, SEEK_SET), offset);
    return in;
}

// Runs the tool with ARGS between IN and a pipe; gives what came out of the pipe.
std::string runToPipe(const std::vector<std::string> &args, int in, int &status)
{
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    std::string output;
    std::thread reader([&output, fd = pipeFds[0]] {
        char buffer[65536];
        for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
            output.append(buffer, static_cast<std::size_t>(got));
    });
    std::ostringstream err;
    status = CodeTarvoCli::run(args, in, pipeFds[1], err, noEnv);
    close(pipeFds[1]);
    reader.join();
    close(pipeFds[0]);
    return output;
}

const std::vector<std::string> EncodeBytes = {"codetarvo-cli", "encode", "--bytes", "--key", Key};

TEST(CliFdIo, RegularFilesOfEverySizeClassRoundTrip)
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
        int status = -1;
        const std::string code = runToPipe(EncodeBytes, in, status);
        close(in);
        ASSERT_EQ(status, CodeTarvoCli::ExitOk) << "size " << size;
        EXPECT_TRUE(decoded(code) == plain) << "size " << size;
    }
}

TEST(CliFdIo, ReadsARegularFileFromWhereItsOffsetStands)
{
    std::mt19937 rng(99);
    const std::string text = randomCodes(rng, 10000);
    for (const off_t offset : {off_t{1}, off_t{4096}, off_t{9999}}) {
        const int in = fileHolding(text, offset);
        int status = -1;
        const std::string code = runToPipe(EncodeBytes, in, status);
        close(in);
        ASSERT_EQ(status, CodeTarvoCli::ExitOk) << "offset " << offset;
        EXPECT_TRUE(decoded(code) == text.substr(static_cast<std::size_t>(offset)))
            << "offset " << offset;
    }
    // Positioned at the end: empty input, empty output.
    const int in = fileHolding(text, static_cast<off_t>(text.size()));
    int status = -1;
    EXPECT_EQ(runToPipe(EncodeBytes, in, status), "");
    EXPECT_EQ(status, CodeTarvoCli::ExitOk);
    close(in);
}

TEST(CliFdIo, PipedInputOfManyChunksRoundTrips)
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
        int status = -1;
        const std::string code = runToPipe(EncodeBytes, pipeFds[0], status);
        writer.join();
        close(pipeFds[0]);
        ASSERT_EQ(status, CodeTarvoCli::ExitOk) << "size " << size;
        EXPECT_TRUE(decoded(code) == plain) << "size " << size;
    }
}

TEST(CliFdIo, UnreadableInputAndUnwritableOutputAreFailures)
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

} // namespace
