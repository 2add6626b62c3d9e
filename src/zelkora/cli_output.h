#pragma once
// Where zelkora-cli's text goes, one implementation per platform (cli_output_posix.cpp,
// cli_output_windows.cpp): all of it is UTF-8 here, whatever the platform makes of it.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelkora {

// The output could not be written: one Japanese line saying where and why.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The reader has gone (a pipe closed early, as `| head -1` does): not an error, the
// program stops quietly.
class ReaderGone : public std::exception {};

class Output {
public:
    virtual ~Output() = default;
    // All of `text`, or OutputError / ReaderGone.
    virtual void write(std::string_view text) = 0;
    // Everything is written: a file takes its name only now. An output that goes
    // unfinished leaves nothing behind under its name.
    virtual void finish() = 0;
};

// Standard output: the bytes as they are, or on a Windows console its wide-character
// calls, which show Japanese whatever the console's code page.
std::unique_ptr<Output> standard_output();

// `path` (UTF-8), written under a temporary name in its folder, readable by its owner
// only, and renamed to `path` by finish(); an existing file is refused with OutputError
// unless `replace`.
std::unique_ptr<Output> file_output(const std::string& path, bool replace);

// One line on standard error, for a message; "\n" is added.
void print_error_line(std::string_view text);

// The arguments after the program's name, as UTF-8: on Windows read from the wide
// command line, since main's are in the ANSI code page. A lone surrogate there comes out
// as its three bytes, which no UTF-8 decoder takes, rather than as a silent U+FFFD.
std::vector<std::string> command_line_arguments(int argc, char** argv);

// What the process needs before anything is written: a write to a closed pipe fails with
// an error the program can take for the reader gone, instead of a signal that kills it.
void prepare_process();

}  // namespace zelkora
