// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli.h"
#include "hostprocess.h"

#include <cstdio>
#include <iostream>

int main(int argc, char **argv)
{
    CodeTarvoCli::useBinaryStandardStreams();
    return CodeTarvoCli::run(CodeTarvoCli::utf8Arguments(argc, argv), fileno(stdin), fileno(stdout),
                             std::cerr, CodeTarvoCli::utf8Environment);
}
