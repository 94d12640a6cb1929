#pragma once

// Graph event codes with the platform's values (IMediaEventSink::Notify, IMediaEventEx::GetEvent).

namespace talvence {

inline constexpr long EC_COMPLETE = 0x01;
inline constexpr long EC_USERABORT = 0x02;
inline constexpr long EC_ERRORABORT = 0x03; // param1: the failure HRESULT
inline constexpr long EC_TIME = 0x04;
inline constexpr long EC_REPAINT = 0x05;
inline constexpr long EC_STREAM_ERROR_STOPPED = 0x06;
inline constexpr long EC_STREAM_ERROR_STILLPLAYING = 0x07;
inline constexpr long EC_ERROR_STILLPLAYING = 0x08;
inline constexpr long EC_PALETTE_CHANGED = 0x09;
inline constexpr long EC_VIDEO_SIZE_CHANGED = 0x0A;
inline constexpr long EC_QUALITY_CHANGE = 0x0B;
inline constexpr long EC_SHUTTING_DOWN = 0x0C;
inline constexpr long EC_CLOCK_CHANGED = 0x0D;
inline constexpr long EC_PAUSED = 0x0E;
inline constexpr long EC_OPENING_FILE = 0x10;
inline constexpr long EC_BUFFERING_DATA = 0x11;
inline constexpr long EC_FULLSCREEN_LOST = 0x12;
inline constexpr long EC_ACTIVATE = 0x13;
inline constexpr long EC_NEED_RESTART = 0x14;
inline constexpr long EC_WINDOW_DESTROYED = 0x15;
inline constexpr long EC_DISPLAY_CHANGED = 0x16;
inline constexpr long EC_STARVATION = 0x17;
inline constexpr long EC_STREAM_CONTROL_STOPPED = 0x1A;
inline constexpr long EC_STREAM_CONTROL_STARTED = 0x1B;
inline constexpr long EC_END_OF_SEGMENT = 0x1C;
inline constexpr long EC_SEGMENT_STARTED = 0x1D;
inline constexpr long EC_LENGTH_CHANGED = 0x1E;
// param1: IUnknown of the device (a reference held while the event is queued);
// param2: 0 when the device was removed, 1 when it became available again.
inline constexpr long EC_DEVICE_LOST = 0x1F;

} // namespace talvence
