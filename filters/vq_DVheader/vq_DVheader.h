#pragma once
// Tvq_DVheader: puts the camcorder's DV header, subcode and VAUX blocks back into frames that
// were decoded, inlaid and encoded again, so a captured file keeps the tape timecode and the
// recording date. The bytes come from the scene detector's ring, at the index the superposer
// published for the frame it last worked on.
//
// Threads and locks: the framework's filter lock (application thread), then its receive lock
// (Transform, streaming thread). The ring is read without blocking the scene detector.

#include "filters/BaseClass/TransInPlaceFilter.h"
#include "filters/vq_scenedetect/vq_scenedetect.h"

#include <cstddef>
#include <cstdint>

namespace talvence {

inline constexpr CLSID CLSID_vq_DVheader = MakeGuid("60FF9D56-EC15-4F17-A2AB-9DA99CD9D0DC");
inline constexpr char kDVheaderObjectName[] = "Brannock vq_DVHeader";

// Copies the 480 header bytes of DIF sequences 0..9 (`headers`, sequence l at l * 480) over the
// start of each of those sequences of `frame`. Sequences 10 and 11 of a 625/50 frame and all
// audio and video blocks keep their bytes. False, with the frame untouched, for a frame of fewer
// than 10 whole sequences.
bool RestoreDifHeaders(std::uint8_t* frame, std::size_t size, const std::uint8_t* headers);

class Tvq_DVheader : public TBCTransInPlaceFilter {
public:
    // The scene detector whose ring holds the camcorder's bytes (null: frames pass unchanged).
    explicit Tvq_DVheader(Tvq_SceneDetect* sceneDetect);

    // Raw DV as IsDvMediaType says (application thread, filter lock).
    HRESULT CheckInputType(const CMediaType* mt) override;
    // Streaming thread, receive lock. Always S_OK.
    HRESULT Transform(IMediaSample* sample) override;

private:
    const ComPtr<Tvq_SceneDetect> sceneDetect_; // set at creation, never changed
};

} // namespace talvence
