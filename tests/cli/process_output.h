// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

// What the process itself writes to standard output and standard error (descriptors 1 and 2)
// while it lasts: the lines the shared layers print there on their own, beside what a command
// writes to the streams it was given.
namespace corvel::test {

class ProcessOutput {
public:
    ProcessOutput() {
        flushAll();
        for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
            std::FILE* file = std::tmpfile();
            EXPECT_NE(file, nullptr);
            files_[fd - 1] = file;
            saved_[fd - 1] = ::dup(fd);
            ::dup2(::fileno(file), fd);
        }
    }
    ~ProcessOutput() { take(); }
    ProcessOutput(const ProcessOutput&) = delete;
    ProcessOutput& operator=(const ProcessOutput&) = delete;

    // Puts the descriptors back and returns what was written to both.
    std::string take() {
        flushAll();
        std::string text;
        for (int i = 0; i < 2; ++i) {
            if (files_[i] == nullptr) continue;
            ::dup2(saved_[i], i + 1);
            ::close(saved_[i]);
            std::rewind(files_[i]);
            char buffer[4096];
            for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, files_[i])) > 0;)
                text.append(buffer, n);
            std::fclose(files_[i]);
            files_[i] = nullptr;
        }
        return text;
    }

private:
    static void flushAll() {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(stdout);
        std::fflush(stderr);
    }
    std::FILE* files_[2] = {nullptr, nullptr};
    int saved_[2] = {-1, -1};
};

}  // namespace corvel::test
