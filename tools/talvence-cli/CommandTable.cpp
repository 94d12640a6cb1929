#include "tools/talvence-cli/CommandTable.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

namespace talvence::cli {

void CommandTable::add(Command command) {
    if (command.name == "help" || find(command.name))
        throw std::logic_error("talvence-cli: command registered twice: " + command.name);
    commands_.push_back(std::move(command));
}

const Command* CommandTable::find(const std::string& name) const {
    const auto it = std::find_if(commands_.begin(), commands_.end(),
                                 [&](const Command& c) { return c.name == name; });
    return it == commands_.end() ? nullptr : &*it;
}

std::string CommandTable::usageLine(const Command& command) const {
    std::string line = "usage: " + program_ + " " + command.name;
    if (!command.arguments.empty()) line += " " + command.arguments;
    return line;
}

void CommandTable::printUsage(std::ostream& out) const {
    out << "usage: " << program_ << " COMMAND [ARGUMENTS]\n\ncommands:\n";
    std::size_t width = 4; // "help"
    for (const Command& c : commands_)
        width = std::max(width, c.name.size() + 1 + c.arguments.size());
    auto row = [&](const std::string& left, const std::string& summary) {
        out << "  " << left << std::string(width - left.size() + 2, ' ') << summary << "\n";
    };
    for (const Command& c : commands_)
        row(c.arguments.empty() ? c.name : c.name + " " + c.arguments, c.summary);
    row("help", "show this text");
}

int CommandTable::run(Args commandLine, std::ostream& out, std::ostream& err) const {
    if (commandLine.empty()) {
        printUsage(out);
        return kExitUsage;
    }
    const std::string& name = commandLine.front();
    if (name == "help" || name == "--help" || name == "-h") {
        const Command* command = commandLine.size() > 1 ? find(commandLine[1]) : nullptr;
        if (command)
            out << usageLine(*command) << "\n" << command->summary << "\n";
        else
            printUsage(out);
        return kExitOk;
    }
    const Command* command = find(name);
    if (!command) {
        err << program_ << ": unknown command \"" << name << "\"\n";
        printUsage(err);
        return kExitUsage;
    }
    return command->run(commandLine.subspan(1), out, err);
}

} // namespace talvence::cli
