// Line protocol of the test peers: commands arrive one per line on
// standard input, events leave one per line on standard output.
#pragma once

#include <glib.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace agenttest {

// Writes one event line and flushes it.
void emit_line(const std::string &line);

// Makes newlines, tabs and backslashes visible so that any text fits on one
// line: \n, \t and \\.
std::string escape(std::string_view text);

// Splits at single spaces, giving at most `max_fields` fields; the last one
// keeps the rest of the line.
std::vector<std::string> split_fields(const std::string &line, std::size_t max_fields);

// Calls `handler` in the default main context for every line read from
// standard input; quits `loop` when the input ends.
void watch_commands(GMainLoop *loop, std::function<void(const std::string &)> handler);

// The remote error name and the message without its remote prefix, as
// "NAME MESSAGE" (message escaped).
std::string describe_error(const GError *error);

}  // namespace agenttest
