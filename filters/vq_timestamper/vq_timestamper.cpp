#include "filters/vq_timestamper/vq_timestamper.h"

namespace talvence {

StampAction TimeStampRule::Next(std::optional<std::int64_t> start, std::optional<std::int64_t> stop,
                                std::optional<std::int64_t> streamTime) {
    if (start) lastStart_.store(*start);
    if (stop) lastStop_.store(*stop);
    StampAction action;
    switch (mode_.load()) {
    case StampMode::ClearTimes:
        lastStart_.store(0);
        lastStop_.store(0);
        action.kind = StampAction::Clear;
        break;
    case StampMode::Restamp:
        if (!streamTime) break;
        action.kind = StampAction::Set;
        action.start = *streamTime - offset_.load();
        action.stop = action.start + kRestampDuration;
        lastStart_.store(action.start);
        lastStop_.store(action.stop);
        break;
    case StampMode::PassThrough:
        break;
    }
    return action;
}

Tvq_TimeStamper::Tvq_TimeStamper()
    : TBCTransInPlaceFilter(kTimeStamperObjectName, nullptr, CLSID_vq_TimeStamper, false) {}

HRESULT Tvq_TimeStamper::CheckInputType(const CMediaType* mt) {
    return mt ? S_OK : E_POINTER;
}

HRESULT Tvq_TimeStamper::Transform(IMediaSample* sample) {
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT timeResult = sample->GetTime(&start, &stop);
    std::optional<std::int64_t> sampleStart, sampleStop;
    if (SUCCEEDED(timeResult)) sampleStart = start;
    if (timeResult == S_OK) sampleStop = stop;

    std::optional<std::int64_t> streamTime;
    if (rule_.Mode() == StampMode::Restamp && runClock_) {
        REFERENCE_TIME now = 0;
        if (SUCCEEDED(runClock_->GetTime(&now))) streamTime = now - StartTime();
    }

    const StampAction action = rule_.Next(sampleStart, sampleStop, streamTime);
    if (action.kind == StampAction::Clear) {
        sample->SetTime(nullptr, nullptr);
    } else if (action.kind == StampAction::Set) {
        const REFERENCE_TIME newStart = action.start, newStop = action.stop;
        sample->SetTime(&newStart, &newStop);
    }
    return S_OK;
}

HRESULT Tvq_TimeStamper::StartStreaming() {
    // The clock changes only while the graph is stopped.
    runClock_ = clock_;
    return S_OK;
}

HRESULT Tvq_TimeStamper::StopStreaming() {
    runClock_.reset();
    return S_OK;
}

} // namespace talvence
