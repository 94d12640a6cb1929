#pragma once

// Result codes at filter and pin boundaries, with the platform's real values so that codes logged
// or compared by the graph recipes mean what they always meant.

#include <cstdint>

namespace talvence {

using HRESULT = std::int32_t;
using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONG_PTR = std::intptr_t;
using LONGLONG = std::int64_t;

// 100-nanosecond units, signed.
using REFERENCE_TIME = std::int64_t;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

namespace detail {
constexpr HRESULT hresult(std::uint32_t v) {
    return static_cast<HRESULT>(v);
}
} // namespace detail

// A Windows system error code as an HRESULT (facility Win32).
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t code) {
    return code == 0 ? 0 : detail::hresult(0x80070000u | (code & 0xFFFFu));
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = detail::hresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = detail::hresult(0x80004002);
inline constexpr HRESULT E_POINTER = detail::hresult(0x80004003);
inline constexpr HRESULT E_ABORT = detail::hresult(0x80004004);
inline constexpr HRESULT E_FAIL = detail::hresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = detail::hresult(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = detail::hresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = detail::hresult(0x80070057);
inline constexpr HRESULT E_ACCESSDENIED = detail::hresult(0x80070005);
inline constexpr HRESULT E_PROP_ID_UNSUPPORTED = detail::hresult(0x80070490);
inline constexpr HRESULT E_PROP_SET_UNSUPPORTED = detail::hresult(0x80070492);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = detail::hresult(0x80040154);

inline constexpr HRESULT VFW_S_NO_MORE_ITEMS = detail::hresult(0x00040103);
inline constexpr HRESULT VFW_S_DUPLICATE_NAME = detail::hresult(0x0004022D);
inline constexpr HRESULT VFW_S_STATE_INTERMEDIATE = detail::hresult(0x00040237);
inline constexpr HRESULT VFW_S_PARTIAL_RENDER = detail::hresult(0x00040242);
inline constexpr HRESULT VFW_S_CANT_CUE = detail::hresult(0x00040268);
inline constexpr HRESULT VFW_S_NO_STOP_TIME = detail::hresult(0x00040270);

inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = detail::hresult(0x80040200);
inline constexpr HRESULT VFW_E_INVALIDSUBTYPE = detail::hresult(0x80040201);
inline constexpr HRESULT VFW_E_NEED_OWNER = detail::hresult(0x80040202);
inline constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = detail::hresult(0x80040203);
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = detail::hresult(0x80040204);
inline constexpr HRESULT VFW_E_FILTER_ACTIVE = detail::hresult(0x80040205);
inline constexpr HRESULT VFW_E_NO_TYPES = detail::hresult(0x80040206);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = detail::hresult(0x80040207);
inline constexpr HRESULT VFW_E_INVALID_DIRECTION = detail::hresult(0x80040208);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = detail::hresult(0x80040209);
inline constexpr HRESULT VFW_E_NO_ALLOCATOR = detail::hresult(0x8004020A);
inline constexpr HRESULT VFW_E_RUNTIME_ERROR = detail::hresult(0x8004020B);
inline constexpr HRESULT VFW_E_BUFFER_NOTSET = detail::hresult(0x8004020C);
inline constexpr HRESULT VFW_E_BUFFER_OVERFLOW = detail::hresult(0x8004020D);
inline constexpr HRESULT VFW_E_BADALIGN = detail::hresult(0x8004020E);
inline constexpr HRESULT VFW_E_ALREADY_COMMITTED = detail::hresult(0x8004020F);
inline constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = detail::hresult(0x80040210);
inline constexpr HRESULT VFW_E_NOT_COMMITTED = detail::hresult(0x80040211);
inline constexpr HRESULT VFW_E_NO_CAPTURE_HARDWARE = detail::hresult(0x80040218);
inline constexpr HRESULT VFW_E_SIZENOTSET = detail::hresult(0x80040212);
inline constexpr HRESULT VFW_E_NO_CLOCK = detail::hresult(0x80040213);
inline constexpr HRESULT VFW_E_NO_SINK = detail::hresult(0x80040214);
inline constexpr HRESULT VFW_E_NO_INTERFACE = detail::hresult(0x80040215);
inline constexpr HRESULT VFW_E_NOT_FOUND = detail::hresult(0x80040216);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = detail::hresult(0x80040217);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = detail::hresult(0x80040218);
inline constexpr HRESULT VFW_E_CHANGING_FORMAT = detail::hresult(0x80040219);
inline constexpr HRESULT VFW_E_STATE_CHANGED = detail::hresult(0x80040223);
inline constexpr HRESULT VFW_E_NOT_STOPPED = detail::hresult(0x80040224);
inline constexpr HRESULT VFW_E_NOT_PAUSED = detail::hresult(0x80040225);
inline constexpr HRESULT VFW_E_NOT_RUNNING = detail::hresult(0x80040226);
inline constexpr HRESULT VFW_E_WRONG_STATE = detail::hresult(0x80040227);
inline constexpr HRESULT VFW_E_START_TIME_AFTER_END = detail::hresult(0x80040228);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = detail::hresult(0x8004022A);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED = detail::hresult(0x8004022B);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED_EOS = detail::hresult(0x8004022C);
inline constexpr HRESULT VFW_E_DUPLICATE_NAME = detail::hresult(0x8004022D);
inline constexpr HRESULT VFW_E_TIMEOUT = detail::hresult(0x8004022E);
inline constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = detail::hresult(0x80040249);
inline constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = detail::hresult(0x80040251);
inline constexpr HRESULT VFW_E_NOT_IN_GRAPH = detail::hresult(0x8004025F);

} // namespace talvence
