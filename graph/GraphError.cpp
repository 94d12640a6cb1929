#include "graph/GraphError.h"

#include "platform/media/HResultText.h"

namespace talvence {

EGraphError::EGraphError(HRESULT result, const std::string& message)
    : std::runtime_error(message + ": " + HResultText(result)), result_(result) {}

HRESULT CheckGraphResult(HRESULT result, const std::string& what) {
    if (FAILED(result)) throw EGraphError(result, what);
    return result;
}

} // namespace talvence
