#pragma once
// What a `talvence-cli capture` run printed: the file it wrote and its last count of frames.

#include <regex>
#include <string>

namespace talvence::testing {

struct CliCapture {
    std::string out, file, frames;
};

inline CliCapture ReadCliCapture(std::string out) {
    CliCapture c;
    c.out = std::move(out);
    std::smatch m;
    if (std::regex_search(c.out, m, std::regex("wrote (.*\\.(avi|mpg|wmv))"))) c.file = m[1];
    const std::regex frames("frames (\\d+)");
    for (auto it = std::sregex_iterator(c.out.begin(), c.out.end(), frames);
         it != std::sregex_iterator(); ++it)
        c.frames = (*it)[1];
    return c;
}

} // namespace talvence::testing
