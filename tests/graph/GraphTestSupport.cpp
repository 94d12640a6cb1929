#include "tests/graph/GraphTestSupport.h"

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/BasicFilters.h"

#include <gtest/gtest.h>

namespace talvence::graphtest {

TestPlatform::TestPlatform() : devEnum(new CSystemDeviceEnum(registry)) {
    RegisterBasicFilters(*registry);
    std::weak_ptr<MadeFilters> weak = made;
    RegisteredFilter source;
    source.clsid = CLSID_TestSource;
    source.friendlyName = "Counting source";
    source.pins = {RegisteredPin{PINDIR_OUTPUT, {REGPINTYPES{MEDIATYPE_Video, GUID_NULL}}}};
    source.create = [weak] {
        auto* filter = new TCountingSource;
        if (auto m = weak.lock()) {
            m->source = filter;
            if (m->configureSource) m->configureSource(*filter);
        }
        return ComPtr<IBaseFilter>(filter);
    };
    registry->Register(CLSID_LegacyAmFilterCategory, source);
    RegisteredFilter sink;
    sink.clsid = CLSID_TestSink;
    sink.friendlyName = "Counting sink";
    sink.pins = {RegisteredPin{PINDIR_INPUT, {REGPINTYPES{MEDIATYPE_Video, GUID_NULL}}}};
    sink.create = [weak] {
        auto* filter = new TCountingSink;
        if (auto m = weak.lock()) {
            m->sink = filter;
            if (m->configureSink) m->configureSink(*filter);
        }
        return ComPtr<IBaseFilter>(filter);
    };
    registry->Register(CLSID_LegacyAmFilterCategory, sink);
}

ComPtr<IMoniker> TestPlatform::FilterMoniker(const CLSID& clsid) const {
    for (const RegisteredFilter& entry : registry->Entries(CLSID_LegacyAmFilterCategory))
        if (entry.clsid == clsid) return MakeMoniker(CLSID_LegacyAmFilterCategory, entry);
    ADD_FAILURE() << "no registered filter " << FormatGuid(clsid);
    return nullptr;
}

void TestPlatform::RegisterDevice(const GUID& category, const std::string& friendlyName,
                                  const CLSID& clsid, std::shared_ptr<int> madeCount) {
    RegisteredFilter entry;
    entry.clsid = clsid;
    entry.friendlyName = friendlyName;
    entry.properties["DevicePath"] = "/test/" + friendlyName;
    entry.create = [madeCount] {
        if (madeCount) ++*madeCount;
        return ComPtr<IBaseFilter>(new TCountingSink);
    };
    registry->Register(category, entry);
}

ComPtr<IBaseFilter> MakeLooseSink() {
    return ComPtr<IBaseFilter>(new TCountingSink);
}

int FilterCount(IFilterGraph* graph) {
    ComPtr<IEnumFilters> e;
    if (FAILED(graph->EnumFilters(e.put())) || !e) return -1;
    int count = 0;
    for (;;) {
        IBaseFilter* f = nullptr;
        ULONG fetched = 0;
        if (e->Next(1, &f, &fetched) != S_OK || fetched != 1) break;
        f->Release();
        ++count;
    }
    return count;
}

bool InGraph(IFilterGraph* graph, IBaseFilter* filter) {
    FILTER_INFO info;
    if (FAILED(filter->QueryFilterInfo(&info))) return false;
    const bool in = info.pGraph != nullptr && IsEqualObject(info.pGraph, graph);
    if (info.pGraph) info.pGraph->Release();
    return in;
}

bool AnyPinConnected(IBaseFilter* filter) {
    ComPtr<IEnumPins> e;
    if (FAILED(filter->EnumPins(e.put())) || !e) return false;
    for (;;) {
        IPin* pin = nullptr;
        ULONG fetched = 0;
        if (e->Next(1, &pin, &fetched) != S_OK || fetched != 1) break;
        ComPtr<IPin> p = ComPtr<IPin>::Attach(pin);
        ComPtr<IPin> peer;
        if (SUCCEEDED(p->ConnectedTo(peer.put())) && peer) return true;
    }
    return false;
}

} // namespace talvence::graphtest
