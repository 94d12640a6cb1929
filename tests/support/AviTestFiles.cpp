#include "tests/support/AviTestFiles.h"

#include <algorithm>
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

Bytes Le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

Bytes Fcc(std::string_view fourcc) {
    if (fourcc.size() != 4) throw std::invalid_argument("fourcc of 4 characters expected");
    return Bytes(fourcc.begin(), fourcc.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Leaf(std::string_view id, const Bytes& data, std::optional<std::uint32_t> declared) {
    Bytes out = Cat({Fcc(id), Le32(declared.value_or(std::uint32_t(data.size()))), data});
    if (data.size() % 2) out.push_back(0);
    return out;
}

Bytes List(std::string_view id, std::string_view type, std::initializer_list<Bytes> children,
           std::optional<std::uint32_t> declared) {
    Bytes data = Fcc(type);
    for (const Bytes& c : children)
        data.insert(data.end(), c.begin(), c.end());
    return Leaf(id, data, declared);
}

Bytes Strh(std::string_view type, std::string_view marker, std::uint32_t scale,
           std::uint32_t rate) {
    Bytes data = Cat({Fcc(type), Fcc(marker), Bytes(12, 0), Le32(scale), Le32(rate)});
    data.resize(56, 0);
    return Leaf("strh", data);
}

std::uint64_t ScaleFieldOf(const Bytes& file, std::string_view marker) {
    const auto it = std::search(file.begin(), file.end(), marker.begin(), marker.end());
    if (it == file.end()) throw std::invalid_argument("marker not in file");
    return std::uint64_t(it - file.begin()) - 4 + 20;
}

std::pair<std::uint32_t, std::uint32_t> RateFieldsAt(const Bytes& file, std::uint64_t offset) {
    auto le32 = [&](std::uint64_t at) {
        return std::uint32_t(file.at(at)) | std::uint32_t(file.at(at + 1)) << 8 |
               std::uint32_t(file.at(at + 2)) << 16 | std::uint32_t(file.at(at + 3)) << 24;
    };
    return {le32(offset), le32(offset + 4)};
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
