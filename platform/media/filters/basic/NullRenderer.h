#pragma once

// The Null Renderer: accepts any type and discards what it receives, reporting end of stream
// like any renderer. Threads and locks: those of TBasicRenderer.

#include "platform/media/filters/basic/RendererBase.h"

namespace talvence {

class TNullRenderer : public TBasicRenderer {
public:
    TNullRenderer();

protected:
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT RenderSample(IMediaSample*, const CMediaType&) override { return S_OK; }
};

} // namespace talvence
