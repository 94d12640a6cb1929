#pragma once
// In-memory form of one hive: a tree of keys holding typed values, with the
// lookup rules of the registry (names compare without regard to ASCII case
// and keep the case they were created with; entries keep insertion order),
// plus the journal of changes a handle replays onto a freshly read hive.

#include "platform/registry/Registry.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace talvence::registry {

// ASCII-only lower-casing, the comparison key of key and value names.
std::string FoldName(std::string_view name);
bool NamesEqual(std::string_view a, std::string_view b);

// Splits "\A\B\" into {"A", "B"}; empty components are dropped.
std::vector<std::string> SplitKeyPath(std::string_view path);
std::string JoinKeyPath(const std::vector<std::string>& components);

class RegKey {
public:
    explicit RegKey(std::string name = {}) : name_(std::move(name)) {}
    RegKey(const RegKey& other);
    RegKey& operator=(const RegKey& other);
    RegKey(RegKey&&) noexcept = default;
    RegKey& operator=(RegKey&&) noexcept = default;

    const std::string& Name() const { return name_; }

    // Sub-keys, in stored order.
    std::size_t SubKeyCount() const { return subkeys_.size(); }
    const RegKey& SubKeyAt(std::size_t i) const { return *subkeys_[i]; }
    RegKey* FindSubKey(std::string_view name);
    const RegKey* FindSubKey(std::string_view name) const;
    // Existing sub-key of that name, else a new one appended.
    RegKey& GetOrAddSubKey(std::string_view name);
    bool RemoveSubKey(std::string_view name);

    // Values, in stored order; "" is the default value.
    std::size_t ValueCount() const { return values_.size(); }
    const std::pair<std::string, RegValue>& ValueAt(std::size_t i) const { return values_[i]; }
    const RegValue* FindValue(std::string_view name) const;
    // Replaces the data of an existing value in place (its name's case and
    // position are kept), else appends.
    void SetValue(std::string_view name, RegValue value);
    bool RemoveValue(std::string_view name);

    // Walks `path` below this key; nullptr when a component is missing.
    RegKey* Find(const std::vector<std::string>& path);
    const RegKey* Find(const std::vector<std::string>& path) const;
    RegKey& GetOrAdd(const std::vector<std::string>& path);
    // Removes the key at `path` (not this key itself) with everything below.
    bool Remove(const std::vector<std::string>& path);

    bool operator==(const RegKey& other) const;

private:
    std::string name_;
    std::vector<std::unique_ptr<RegKey>> subkeys_;
    std::unordered_map<std::string, std::size_t> subkeyIndex_;
    std::vector<std::pair<std::string, RegValue>> values_;
    std::unordered_map<std::string, std::size_t> valueIndex_;
};

bool operator==(const RegValue& a, const RegValue& b);

// One change made through a handle, with the key path from the hive root.
struct RegChange {
    enum class Kind { CreateKey, SetValue, DeleteValue, DeleteKey };
    Kind kind = Kind::CreateKey;
    std::vector<std::string> path;
    std::string name;
    RegValue value;
};

// Replays one change; a change whose target has gone meanwhile (a value
// deleted under a key someone else removed) is a no-op. Setting a value
// re-creates its key.
void ApplyChange(RegKey& root, const RegChange& change);

// UTF-8 <-> UTF-16 for string data. Bytes that are not valid UTF-8 are kept
// as the lone surrogates U+DC80..U+DCFF and turned back into the same bytes,
// so that any byte string (a Linux file name, say) survives a round trip.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// String data in the registry layout: UTF-16LE with a terminating zero.
std::vector<std::uint8_t> StringData(std::string_view utf8);
// Text of string data up to its first zero (an odd trailing byte is ignored).
std::string StringFromData(const std::vector<std::uint8_t>& data);
std::u16string Utf16FromData(const std::vector<std::uint8_t>& data);

} // namespace talvence::registry
