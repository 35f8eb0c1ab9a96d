// SPDX-License-Identifier: GPL-2.0-or-later
#include "runtime/runtime.h"

namespace rt {

namespace {

bool is_operand(const char* argument)
{
    return argument[0] != '-' || argument[1] == '\0';
}

// Moves the options in [middle, end) in front of the operands in
// [begin, middle), each run keeping its order, as glibc's exchange does.
void rotate(char** argv, int begin, int middle, int end)
{
    auto reverse = [argv](int from, int to) {
        for (--to; from < to; ++from, --to) {
            char* const swapped = argv[from];
            argv[from] = argv[to];
            argv[to] = swapped;
        }
    };
    reverse(begin, middle);
    reverse(middle, end);
    reverse(begin, end);
}

// Puts the options found since the last operands in front of them.
void move_operands_back(Getopt& s, char** argv)
{
    rotate(argv, s.first_operand, s.last_operand, s.optind);
    s.first_operand += s.optind - s.last_operand;
    s.last_operand = s.optind;
}

}

int getopt(Getopt& s, int argc, char** argv, const char* options, bool posixly_correct)
{
    if (argc < 1)
        return -1;
    s.optarg = nullptr;
    bool const plus = *options == '+';
    options += plus;
    if (s.optind == 0 || !s.initialized) {
        if (s.optind == 0)
            s.optind = 1;
        s.first_operand = s.last_operand = s.optind;
        s.next = nullptr;
        s.in_order = plus || posixly_correct;
        s.initialized = true;
    }
    bool const quiet = *options == ':';

    if (s.next == nullptr || *s.next == '\0') {
        // On to the next argument. The caller may have moved optind back.
        if (s.last_operand > s.optind)
            s.last_operand = s.optind;
        if (s.first_operand > s.optind)
            s.first_operand = s.optind;
        if (!s.in_order) {
            if (s.first_operand != s.last_operand && s.last_operand != s.optind)
                move_operands_back(s, argv);
            else if (s.last_operand != s.optind)
                s.first_operand = s.optind;
            while (s.optind < argc && is_operand(argv[s.optind]))
                ++s.optind;
            s.last_operand = s.optind;
        }
        // "--" ends the options; it goes in front of the operands too.
        if (s.optind != argc && argv[s.optind][0] == '-' && argv[s.optind][1] == '-' && argv[s.optind][2] == '\0') {
            ++s.optind;
            if (s.first_operand != s.last_operand && s.last_operand != s.optind)
                move_operands_back(s, argv);
            else if (s.first_operand == s.last_operand)
                s.first_operand = s.optind;
            s.last_operand = argc;
            s.optind = argc;
        }
        if (s.optind == argc) {
            // Leave optind at the operands that were passed over.
            if (s.first_operand != s.last_operand)
                s.optind = s.first_operand;
            return -1;
        }
        if (is_operand(argv[s.optind]))
            return -1; // only in order: the options end at the first operand
        s.next = argv[s.optind] + 1;
    }

    char const c = *s.next++;
    if (*s.next == '\0')
        ++s.optind;
    const char* letter = options;
    while (*letter != '\0' && *letter != c)
        ++letter;
    // Like glibc's, a byte above 127 comes back as a negative char.
    if (*letter == '\0' || c == ':' || c == ';') {
        s.optopt = c; // NOLINT(bugprone-signed-char-misuse,cert-str34-c)
        return '?';
    }
    if (letter[1] == ':') {
        if (*s.next != '\0') {
            s.optarg = s.next;
            ++s.optind;
        } else if (s.optind == argc) {
            s.optopt = c; // NOLINT(bugprone-signed-char-misuse,cert-str34-c)
            s.next = nullptr;
            return quiet ? ':' : '?';
        } else {
            s.optarg = argv[s.optind++];
        }
        s.next = nullptr;
    }
    return c;
}

}
