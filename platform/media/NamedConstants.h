#pragma once

// Tables of constants under the names they have in the source, for the texts of diagnostics.

#include <cstddef>

namespace talvence {

template <class T> struct TNamedConstant {
    T value;
    const char* name;
};

// The table entry for a constant: {X, "X"}.
#define TALVENCE_NAMED(constant)                                                                   \
    { constant, #constant }

// The name the table gives the value; null when it has none.
template <class T, std::size_t N>
const char* NameIn(const TNamedConstant<T> (&table)[N], const T& value) {
    for (const TNamedConstant<T>& entry : table)
        if (entry.value == value) return entry.name;
    return nullptr;
}

} // namespace talvence
