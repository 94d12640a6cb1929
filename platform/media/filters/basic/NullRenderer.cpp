#include "platform/media/filters/basic/NullRenderer.h"

#include "platform/media/filters/basic/BasicFilterIds.h"

namespace talvence {

TNullRenderer::TNullRenderer() : TBasicRenderer("Null Renderer", CLSID_NullRenderer) {}

} // namespace talvence
