#include "tests/graph/FakeGrabber.h"

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/filters/basic/SampleGrabber.h"

#include <cstring>

namespace talvence::graphtest {

namespace {

inline constexpr GUID CLSID_FakeGrabber = MakeGuid("3E7A9C10-52B4-4F6D-8A21-6C0D4E9B7F31");

class TFakeGrabber : public TBCBaseFilter, public ISampleGrabber {
public:
    explicit TFakeGrabber(std::shared_ptr<FakeGrabberState> state)
        : TBCBaseFilter("Fake grabber", nullptr, &lock_, CLSID_FakeGrabber),
          state_(std::move(state)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return TBCBaseFilter::QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return TBCBaseFilter::AddRef(); }
    ULONG Release() override { return TBCBaseFilter::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == ISampleGrabber::iid)
            return GetInterface(static_cast<ISampleGrabber*>(this), ppv);
        return TBCBaseFilter::NonDelegatingQueryInterface(riid, ppv);
    }

    int GetPinCount() override { return 0; }
    TBCBasePin* GetPin(int) override { return nullptr; }

    HRESULT SetOneShot(BOOL oneShot) override {
        state_->oneShot = oneShot != 0;
        return S_OK;
    }
    HRESULT SetMediaType(const AM_MEDIA_TYPE* pmt) override {
        state_->acceptedType = pmt ? CMediaType(*pmt) : CMediaType();
        return S_OK;
    }
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* pmt) override {
        if (FAILED(state_->connectedResult)) return state_->connectedResult;
        return CopyMediaType(pmt, &state_->connectedType);
    }
    HRESULT SetBufferSamples(BOOL bufferThem) override {
        state_->bufferSamples = bufferThem != 0;
        return S_OK;
    }
    HRESULT GetCurrentBuffer(long* size, BYTE* buffer) override {
        if (FAILED(state_->bufferResult)) return state_->bufferResult;
        const long length = static_cast<long>(state_->buffer.size());
        if (!buffer) {
            *size = length;
            return S_OK;
        }
        if (*size < length) return E_OUTOFMEMORY;
        std::memcpy(buffer, state_->buffer.data(), state_->buffer.size());
        *size = length;
        return S_OK;
    }
    HRESULT GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
    HRESULT SetCallback(ISampleGrabberCB*, long) override { return S_OK; }

private:
    TBCCritSec lock_;
    std::shared_ptr<FakeGrabberState> state_;
};

} // namespace

ComPtr<IBaseFilter> MakeFakeGrabber(std::shared_ptr<FakeGrabberState> state) {
    return ComPtr<IBaseFilter>(static_cast<TBCBaseFilter*>(new TFakeGrabber(std::move(state))));
}

} // namespace talvence::graphtest
