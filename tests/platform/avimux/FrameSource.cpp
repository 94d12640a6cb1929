#include "tests/platform/avimux/FrameSource.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace talvence::testing {

TFrameSourceStream::TFrameSourceStream(TFrameSource* filter)
    : TBCSourceStream("Frame source output", filter, "Out"), source_(filter) {}

HRESULT TFrameSourceStream::CheckMediaType(const CMediaType* mt) {
    return *mt == source_->mediaType ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TFrameSourceStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = source_->mediaType;
    return S_OK;
}

HRESULT TFrameSourceStream::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
    std::size_t largest = 1;
    for (const auto& frame : source_->frames)
        largest = std::max(largest, frame.size());
    request->cBuffers = 2;
    request->cbBuffer = static_cast<LONG>(largest);
    ALLOCATOR_PROPERTIES actual;
    return allocator->SetProperties(request, &actual);
}

HRESULT TFrameSourceStream::OnThreadCreate() {
    next_ = 0;
    return S_OK;
}

HRESULT TFrameSourceStream::FillBuffer(IMediaSample* sample) {
    if (source_->repeat && next_ >= source_->frames.size()) next_ = 0;
    if (next_ >= source_->frames.size()) {
        if (source_->endOfStream) return S_FALSE;
        while (!StopRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return S_FALSE;
    }
    const auto& frame = source_->frames[next_];
    const auto index = static_cast<REFERENCE_TIME>(source_->delivered.load());
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, frame.data(), frame.size());
    sample->SetActualDataLength(static_cast<long>(frame.size()));
    const REFERENCE_TIME spacing =
        source_->stampMediaTimes ? 10 * 10'000'000LL : source_->frameTime;
    REFERENCE_TIME start = index * spacing;
    REFERENCE_TIME stop = start + source_->frameTime;
    sample->SetTime(&start, &stop);
    if (source_->stampMediaTimes) {
        LONGLONG mediaStart = index, mediaStop = index + 1;
        sample->SetMediaTime(&mediaStart, &mediaStop);
        sample->SetDiscontinuity(1);
    }
    sample->SetSyncPoint(1);
    if (index == source_->changeTypeAt) sample->SetMediaType(&source_->changedType);
    ++next_;
    return S_OK;
}

HRESULT TFrameSourceStream::Deliver(IMediaSample* sample) {
    const HRESULT hr = TBCSourceStream::Deliver(sample);
    source_->lastDeliverResult = hr;
    if (hr == S_OK) ++source_->delivered;
    return hr;
}

TFrameSource::TFrameSource(CMediaType type, std::vector<std::vector<std::uint8_t>> frameList)
    : TBCSource("Frame source", nullptr, CLSID_TFrameSource), mediaType(std::move(type)),
      frames(std::move(frameList)) {
    AddPin(std::make_unique<TFrameSourceStream>(this));
}

HRESULT TFrameSource::Pause() {
    // Restarted here, before the streaming thread exists, so a wait never sees the last run's.
    if (IsStopped()) {
        delivered = 0;
        lastDeliverResult = S_OK;
    }
    return TBCSource::Pause();
}

HRESULT TFrameSource::Stop() {
    const HRESULT hr = TBCSource::Stop();
    if (afterStop) afterStop();
    return hr;
}

bool TFrameSource::WaitForDelivered(long count, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (delivered < count) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace talvence::testing
