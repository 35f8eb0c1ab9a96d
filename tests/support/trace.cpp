// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/trace.h"

#include <regex>
#include <sstream>

std::vector<TraceEvent> parse_trace(const std::string& text)
{
    static std::regex const line_format(R"(^(\d+)\s+(\d\d):(\d\d):(\d\d\.\d+)\s+(.*)$)");
    static std::regex const exit_format(R"(^\+\+\+ exited with (\d+) \+\+\+)");
    static std::regex const call_format(R"(^([a-z_0-9]+)\()");
    std::vector<TraceEvent> trace;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch parts;
        if (!std::regex_match(line, parts, line_format))
            continue;
        TraceEvent event;
        event.pid = std::stoi(parts[1]);
        event.time = std::stoi(parts[2]) * 3600.0 + std::stoi(parts[3]) * 60.0 + std::stod(parts[4]);
        event.line = parts[5];
        std::smatch what;
        if (std::regex_search(event.line, what, exit_format)) {
            event.call = "exit";
            event.exit_status = std::stoi(what[1]);
        } else if (std::regex_search(event.line, what, call_format)) {
            event.call = what[1];
        } else {
            continue; // resumed calls, signals
        }
        trace.push_back(event);
    }
    return trace;
}

std::vector<TraceEvent> events(const std::vector<TraceEvent>& trace, const std::string& call, pid_t pid)
{
    std::vector<TraceEvent> found;
    for (const auto& event : trace)
        if (event.call == call && (pid == 0 || event.pid == pid))
            found.push_back(event);
    return found;
}
