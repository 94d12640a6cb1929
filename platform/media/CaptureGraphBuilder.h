#pragma once

// The capture graph builder: finds pins by direction, category and type, finds interfaces on a
// filter, its pins or its neighbours, renders a source's stream through an optional intermediate
// into a sink, and adds the file writer for a container.
//
// Threads: application thread only (it drives the graph it is bound to).
//
// Diagnostics: a failed RenderStream, FindPin or SetOutputFileName is logged under "graph".
//
// Not provided: ControlStream, AllocCapFile and CopyCaptureFile (no caller in the system), and
// the automatic Smart Tee for preview from a capture-only device (needs the built-in tee).

#include "platform/media/FilterRegistry.h"
#include "platform/media/Interfaces.h"

#include <atomic>
#include <memory>

namespace talvence {

// Writers created by SetOutputFileName, looked up by class id in the filter category.
inline constexpr GUID CLSID_AviDest = MakeGuid("E2510970-F137-11CE-8B67-00AA00A3F1A6");
inline constexpr GUID CLSID_FileWriter = MakeGuid("8596E5F0-0DA5-11D0-BD21-00A0C911CE86");
inline constexpr GUID CLSID_WMAsfWriter = MakeGuid("7C23220E-55BB-11D3-8B16-00C04FB6BD3D");
inline constexpr GUID CLSID_CaptureGraphBuilder2 = MakeGuid("BF87B6E1-8C27-11D0-B3F0-00AA003761C5");

struct ICaptureGraphBuilder2 : IUnknown {
    static constexpr GUID iid = MakeGuid("93E5A4E0-2D50-11D2-ABFA-00A0C9C6E38D");
    virtual HRESULT SetFiltergraph(IGraphBuilder* graph) = 0;
    virtual HRESULT GetFiltergraph(IGraphBuilder** graph) = 0;
    // type: MEDIASUBTYPE_Avi (AVI Mux then File Writer) or MEDIASUBTYPE_Asf (ASF writer).
    // *mux gets the multiplexer or writer, *sink its IFileSinkFilter (each optional).
    virtual HRESULT SetOutputFileName(const GUID* type, const std::string& file, IBaseFilter** mux,
                                      IFileSinkFilter** sink) = 0;
    // On the filter, then on its pins (of the category when given), then downstream and upstream
    // (LOOK_UPSTREAM_ONLY / LOOK_DOWNSTREAM_ONLY as category restrict the direction).
    virtual HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter,
                                  REFIID riid, void** ppv) = 0;
    // source: a pin or a filter (its first free output of category and type); intermediate and
    // sink contribute their first free input; sink null renders the stream.
    virtual HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                 IBaseFilter* intermediate, IBaseFilter* sink) = 0;
    // The num-th pin meeting every criterion given; E_FAIL when there is none.
    virtual HRESULT FindPin(IUnknown* source, PIN_DIRECTION dir, const GUID* category,
                            const GUID* type, BOOL unconnected, int num, IPin** pin) = 0;
};

class CCaptureGraphBuilder : public TRefCounted<ICaptureGraphBuilder2> {
public:
    // registry: where the writers of SetOutputFileName are found.
    explicit CCaptureGraphBuilder(std::shared_ptr<const FilterRegistry> registry);

    HRESULT SetFiltergraph(IGraphBuilder* graph) override;
    HRESULT GetFiltergraph(IGraphBuilder** graph) override;
    HRESULT SetOutputFileName(const GUID* type, const std::string& file, IBaseFilter** mux,
                              IFileSinkFilter** sink) override;
    HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID riid,
                          void** ppv) override;
    HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                         IBaseFilter* intermediate, IBaseFilter* sink) override;
    HRESULT FindPin(IUnknown* source, PIN_DIRECTION dir, const GUID* category, const GUID* type,
                    BOOL unconnected, int num, IPin** pin) override;

private:
    ComPtr<IBaseFilter> CreateRegistered(const CLSID& clsid, std::string* name) const;

    std::shared_ptr<const FilterRegistry> registry_;
    ComPtr<IGraphBuilder> graph_;
};

} // namespace talvence
