#include "cli.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char **argv)
{
    // Unsynchronised streams move large reads and writes straight to the file descriptors.
    std::ios::sync_with_stdio(false);
    std::cin.tie(nullptr);
    const std::vector<std::string> args(argv, argv + argc);
    const auto env = [](const std::string &name) -> std::optional<std::string> {
        if (const char *value = std::getenv(name.c_str()))
            return std::string(value);
        return std::nullopt;
    };
    return CodeTarvoCli::run(args, std::cin, std::cout, std::cerr, env);
}
