#pragma once
// The capture formats by their index, the value of "Capture Format": the graph module builds one
// capture graph per (source kind, format), the capture control names and offers them.

namespace talvence {

enum CaptureFormat : int {
    cfNative = 0,
    cfDvType1 = 1,
    cfDvType2 = 2,
    cfDvType2Inlay = 3,
    cfWmvInlay = 4,
    cfImageByImage = 5,
};

} // namespace talvence
