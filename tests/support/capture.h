// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

// Standard output and error of code run in this process, caught in files.
struct Captured {
    std::string out;
    std::string err;
};

template <typename Body>
Captured capture(Body body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::FILE* files[2] = {std::tmpfile(), std::tmpfile()};
    int saved[2] = {dup(1), dup(2)};
    dup2(fileno(files[0]), 1);
    dup2(fileno(files[1]), 2);
    body();
    std::fflush(stdout);
    std::fflush(stderr);
    Captured captured;
    std::string* targets[2] = {&captured.out, &captured.err};
    for (int i = 0; i < 2; ++i) {
        dup2(saved[i], i + 1);
        close(saved[i]);
        std::rewind(files[i]);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, files[i])) > 0)
            targets[i]->append(buffer, n);
        std::fclose(files[i]);
    }
    return captured;
}

// A writable argument vector, as main receives one.
class Args {
public:
    Args(std::initializer_list<const char*> args)
    {
        for (const char* arg : args)
            storage_.emplace_back(arg);
        for (auto& arg : storage_)
            pointers_.push_back(arg.data());
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(pointers_.size()) - 1; }
    char** argv() { return pointers_.data(); }
    std::vector<std::string> now() const
    {
        return {pointers_.begin(), pointers_.end() - 1};
    }

private:
    std::vector<std::string> storage_;
    std::vector<char*> pointers_;
};
