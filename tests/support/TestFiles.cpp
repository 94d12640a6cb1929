#include "tests/support/TestFiles.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <sys/wait.h>

namespace talvence::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "talvence-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

ToolRun RunTool(const std::string& commandLine) {
    ToolRun run;
    FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> block{};
    std::size_t n = 0;
    while ((n = std::fread(block.data(), 1, block.size(), pipe)) > 0)
        run.out.append(block.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool HaveTool(const std::string& name) {
    return RunTool("command -v " + name + " >/dev/null 2>&1").status == 0;
}

std::string Quote(const std::filesystem::path& path) {
    std::string out = "'";
    for (char c : path.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace talvence::testing
