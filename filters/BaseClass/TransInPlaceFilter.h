#pragma once

// The in-place transform: the input sample itself travels on, so a pass-through filter touches a
// frame without copying it. Input and output always carry the same media type (a connection with
// a different type reconnects the other side through the graph) and share the upstream allocator
// whenever downstream accepts it. The framework copies the sample into an output buffer only when
// the allocators differ, or when the filter modifies data that upstream marked read-only.
//
// A new in-place filter overrides CheckInputType and Transform(sample): about a hundred lines.
// Locks and threads are those of TBCTransformFilter. Passing an allocator or a type through to
// the other side asks that side's neighbour without the filter lock.

#include "filters/BaseClass/TransformFilter.h"

namespace talvence {

class TBCTransInPlaceFilter;

class TBCTransInPlaceInputPin : public TBCTransformInputPin {
public:
    TBCTransInPlaceInputPin(std::string objectName, TBCTransInPlaceFilter* filter,
                            std::string pinName);

    // Reconnects the output when it carries another type (MatchOtherSide).
    HRESULT NegotiateWithPeer(IPin* peer) override;
    // Offers the allocator of the pin downstream of our output when there is one.
    HRESULT GetAllocator(IMemAllocator** allocator) override;
    // Passes upstream's allocator on to downstream; keeps our own output allocator if refused.
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    // The types downstream of our output; VFW_E_NOT_CONNECTED without one.
    HRESULT EnumMediaTypes(IEnumMediaTypes** out) override;
    // The filter's input check, and downstream's acceptance when the output is connected.
    HRESULT CheckMediaType(const CMediaType* mt) override;

private:
    TBCTransInPlaceFilter* inPlace_;
};

class TBCTransInPlaceOutputPin : public TBCTransformOutputPin {
public:
    TBCTransInPlaceOutputPin(std::string objectName, TBCTransInPlaceFilter* filter,
                             std::string pinName);

    // The output may connect first: its type is then pushed upstream by reconnection.
    HRESULT CheckConnect(IPin* pin) override;
    // Reconnects the input when it carries another type (MatchOtherSide), then agrees the
    // allocator, so that upstream's new one is offered downstream.
    HRESULT NegotiateWithPeer(IPin* peer) override;
    // The types upstream of our input; VFW_E_NOT_CONNECTED without one.
    HRESULT EnumMediaTypes(IEnumMediaTypes** out) override;
    // The filter's input check, and upstream's acceptance when the input is connected.
    HRESULT CheckMediaType(const CMediaType* mt) override;
    // Offers upstream's allocator to downstream first; else the usual negotiation.
    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;

    // Makes the output use an allocator of its own (downstream's or a new one). Without the
    // filter lock: it asks downstream.
    HRESULT NegotiateOwnAllocator();

private:
    TBCTransInPlaceFilter* inPlace_;
};

class TBCTransInPlaceFilter : public TBCTransformFilter {
public:
    // modifiesData: the transform writes into the sample (copy-on-write of read-only samples).
    TBCTransInPlaceFilter(std::string name, IUnknown* outer, const CLSID& clsid,
                          bool modifiesData = true);

    // ---- Hooks ----
    // Must override: accept or refuse a type (both pins carry it).
    HRESULT CheckInputType(const CMediaType* mt) override = 0;
    // Must override (streaming thread, receive lock): S_OK delivers the sample, S_FALSE drops it,
    // a failure goes back upstream.
    virtual HRESULT Transform(IMediaSample* sample) = 0;

    // The framework's in-place answers; may override with care.
    HRESULT CheckTransform(const CMediaType*, const CMediaType*) override { return S_OK; }
    HRESULT GetMediaType(int, CMediaType*) override { return E_UNEXPECTED; }
    // The input allocator's count and size (1 and 1 without an input), at least 1 each; E_FAIL
    // when the allocator grants less.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Receive(IMediaSample* sample) override;

    bool ModifiesData() const { return modifiesData_; }
    // Streaming thread: the sample is copied rather than passed on.
    bool UsingDifferentAllocators() const;

protected:
    void CreatePins() override;
    // A copy of the sample in an output buffer: data, length and properties. Null on failure
    // with *hr set (VFW_E_BUFFER_OVERFLOW when the buffer is smaller than the data).
    IMediaSample* Copy(IMediaSample* source, HRESULT* hr);
    // Asks the graph to reconnect pin with type mt; VFW_E_NOT_IN_GRAPH outside a graph.
    HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mt);
    // Both sides always carry one type: once the side `connected` has connected, the other side,
    // when connected with another type, is reconnected with this one. Without the filter lock
    // (the graph and the neighbours take theirs); a failure refuses the new connection.
    HRESULT MatchOtherSide(PIN_DIRECTION connected);
    // The input pin downstream of our output; null while the output is unconnected.
    ComPtr<IMemInputPin> DownstreamInput();

    const bool modifiesData_;

    friend class TBCTransInPlaceInputPin;
    friend class TBCTransInPlaceOutputPin;
};

} // namespace talvence
