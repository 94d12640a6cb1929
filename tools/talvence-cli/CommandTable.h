#pragma once
// The command dispatcher of talvence-cli: each command family registers its
// commands by name; the table runs the one named on the command line and
// prints the usage.

#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace talvence::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // the command ran but did not do its job
inline constexpr int kExitUsage = 2;  // wrong arguments

// Arguments after the command name.
using Args = std::span<const std::string>;
using CommandFn = std::function<int(Args args, std::ostream& out, std::ostream& err)>;

struct Command {
    std::string name;
    std::string arguments; // e.g. "FILE FPS"
    std::string summary;   // one line
    CommandFn run;
};

class CommandTable {
public:
    explicit CommandTable(std::string program) : program_(std::move(program)) {}

    void add(Command command);

    // commandLine holds the arguments after the program name. "help" and an
    // empty command line print the usage.
    int run(Args commandLine, std::ostream& out, std::ostream& err) const;

    void printUsage(std::ostream& out) const;
    // "usage: talvence-cli NAME ARGUMENTS"
    std::string usageLine(const Command& command) const;

private:
    const Command* find(const std::string& name) const;

    std::string program_;
    std::vector<Command> commands_;
};

} // namespace talvence::cli
