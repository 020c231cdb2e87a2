// SPDX-License-Identifier: MIT
#include <iostream>

#include "cli/commands.h"

int main(int argc, char** argv) { return corvel::runCli(argc, argv, std::cout, std::cerr); }
