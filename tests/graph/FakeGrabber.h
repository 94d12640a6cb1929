#pragma once

// A stand-in grabber filter (no pins) whose ISampleGrabber answers what the test sets, for the
// format rules of the still grab that the real grabber never lets through a connection. Its
// header keeps the grabber interface out of test files that use the grabber slot.

#include "platform/media/Interfaces.h"
#include "platform/media/MediaType.h"

#include <memory>
#include <vector>

namespace talvence::graphtest {

struct FakeGrabberState {
    // Answers.
    HRESULT connectedResult = S_OK;
    CMediaType connectedType;
    HRESULT bufferResult = S_OK;
    std::vector<BYTE> buffer;
    // What the slot asked for.
    CMediaType acceptedType;
    bool bufferSamples = false;
    bool oneShot = true;
};

ComPtr<IBaseFilter> MakeFakeGrabber(std::shared_ptr<FakeGrabberState> state);

} // namespace talvence::graphtest
