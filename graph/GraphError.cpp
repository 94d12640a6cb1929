#include "graph/GraphError.h"

#include <cstdio>

namespace talvence {

namespace {
std::string WithCode(HRESULT result, const std::string& message) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    return message + " (" + code + ")";
}
} // namespace

EGraphError::EGraphError(HRESULT result, const std::string& message)
    : std::runtime_error(WithCode(result, message)), result_(result) {}

HRESULT CheckGraphResult(HRESULT result, const std::string& what) {
    if (FAILED(result)) throw EGraphError(result, what);
    return result;
}

} // namespace talvence
