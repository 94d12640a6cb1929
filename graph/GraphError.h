#pragma once

// The error the component layer raises where the graph recipes rely on one: asking a slot that has
// no filter for an interface, asking a filter for an interface it lacks, driving a graph that is
// not active. The recipes catch it and report plain failure.

#include "platform/media/HResult.h"

#include <stdexcept>
#include <string>

namespace talvence {

class EGraphError : public std::runtime_error {
public:
    EGraphError(HRESULT result, const std::string& message);

    // The platform status that caused the error (a failure code).
    HRESULT Result() const noexcept { return result_; }

private:
    HRESULT result_;
};

// Raises EGraphError for a failure code; answers the code otherwise.
HRESULT CheckGraphResult(HRESULT result, const std::string& what);

} // namespace talvence
