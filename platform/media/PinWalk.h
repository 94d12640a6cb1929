#pragma once

// Walking a filter's pins through IEnumPins, and the few questions the graph code asks of each
// pin (direction, peer, owner, category, major types).
//
// Threads: whichever thread may call the filter's EnumPins and the pins' query methods, which is
// the application thread while the graph is built or torn down. No lock is taken here; the
// caller keeps the filter alive, and the walk holds a reference on each pin while visiting it.

#include "platform/media/Interfaces.h"
#include "platform/media/MediaGuids.h"

#include <optional>
#include <type_traits>
#include <vector>

namespace talvence {

// Calls visit(IPin*) for each pin in enumeration order. A visit may return true to stop the
// walk, which then returns true; a visit that returns nothing sees every pin. A filter that
// cannot enumerate its pins has none. The enumeration is live: a visit must not add, remove,
// connect or disconnect pins of this filter (take PinsOf for that).
template <class Visit> bool ForEachPin(IBaseFilter* filter, Visit&& visit) {
    ComPtr<IEnumPins> e;
    if (!filter || FAILED(filter->EnumPins(e.put())) || !e) return false;
    for (;;) {
        IPin* raw = nullptr;
        ULONG fetched = 0;
        if (e->Next(1, &raw, &fetched) != S_OK || fetched != 1) return false;
        const ComPtr<IPin> pin = ComPtr<IPin>::Attach(raw);
        if constexpr (std::is_void_v<std::invoke_result_t<Visit&, IPin*>>)
            visit(pin.get());
        else if (visit(pin.get()))
            return true;
    }
}

// The pin's peer; null when it is not connected.
inline ComPtr<IPin> PeerOf(IPin* pin) {
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(peer.put()))) return nullptr;
    return peer;
}

inline bool IsConnected(IPin* pin) {
    return PeerOf(pin) != nullptr;
}

// False also when the pin does not tell its direction.
inline bool HasDirection(IPin* pin, PIN_DIRECTION wanted) {
    PIN_DIRECTION dir;
    return SUCCEEDED(pin->QueryDirection(&dir)) && dir == wanted;
}

// The filter the pin belongs to; null when the pin does not tell.
inline ComPtr<IBaseFilter> OwnerOf(IPin* pin) {
    PIN_INFO info;
    if (FAILED(pin->QueryPinInfo(&info))) return nullptr;
    return ComPtr<IBaseFilter>::Attach(info.pFilter);
}

// The pin's category (AMPROPSETID_Pin); nothing when it has no property set or does not answer.
inline std::optional<GUID> CategoryOf(IPin* pin) {
    ComPtr<IKsPropertySet> props;
    if (FAILED(pin->QueryInterface(IKsPropertySet::iid, props.putVoid())) || !props)
        return std::nullopt;
    GUID category;
    DWORD returned = 0;
    if (FAILED(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                          sizeof category, &returned)))
        return std::nullopt;
    return category;
}

// The major type of the pin's connection; unconnected, those of the types it offers, in order.
inline std::vector<GUID> MajorTypesOf(IPin* pin) {
    std::vector<GUID> majors;
    AM_MEDIA_TYPE connected;
    if (SUCCEEDED(pin->ConnectionMediaType(&connected))) {
        majors.push_back(connected.majortype);
        FreeMediaType(connected);
        return majors;
    }
    ComPtr<IEnumMediaTypes> e;
    if (FAILED(pin->EnumMediaTypes(e.put())) || !e) return majors;
    AM_MEDIA_TYPE* mt = nullptr;
    ULONG fetched = 0;
    while (e->Next(1, &mt, &fetched) == S_OK && fetched == 1) {
        majors.push_back(mt->majortype);
        DeleteMediaType(mt);
    }
    return majors;
}

// The pins as they are now, in enumeration order: a list that stays valid while the caller
// connects or disconnects them.
inline std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> pins;
    ForEachPin(filter, [&](IPin* pin) { pins.emplace_back(pin); });
    return pins;
}

// The unconnected pins of one direction, as PinsOf.
inline std::vector<ComPtr<IPin>> FreePinsOf(IBaseFilter* filter, PIN_DIRECTION dir) {
    std::vector<ComPtr<IPin>> pins;
    ForEachPin(filter, [&](IPin* pin) {
        if (HasDirection(pin, dir) && !IsConnected(pin)) pins.emplace_back(pin);
    });
    return pins;
}

} // namespace talvence
