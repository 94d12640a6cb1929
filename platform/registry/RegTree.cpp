#include "platform/registry/RegTree.h"

namespace talvence::registry {

std::string FoldName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && FoldName(a) == FoldName(b);
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) components.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

std::string JoinKeyPath(const std::vector<std::string>& components) {
    std::string path;
    for (const std::string& c : components) {
        if (!path.empty()) path += '\\';
        path += c;
    }
    return path;
}

bool operator==(const RegValue& a, const RegValue& b) {
    return a.type == b.type && a.data == b.data;
}

RegKey::RegKey(const RegKey& other)
    : name_(other.name_), subkeyIndex_(other.subkeyIndex_), values_(other.values_),
      valueIndex_(other.valueIndex_) {
    subkeys_.reserve(other.subkeys_.size());
    for (const auto& sub : other.subkeys_)
        subkeys_.push_back(std::make_unique<RegKey>(*sub));
}

RegKey& RegKey::operator=(const RegKey& other) {
    if (this != &other) *this = RegKey(other);
    return *this;
}

RegKey* RegKey::FindSubKey(std::string_view name) {
    auto it = subkeyIndex_.find(FoldName(name));
    return it == subkeyIndex_.end() ? nullptr : subkeys_[it->second].get();
}

const RegKey* RegKey::FindSubKey(std::string_view name) const {
    return const_cast<RegKey*>(this)->FindSubKey(name);
}

RegKey& RegKey::GetOrAddSubKey(std::string_view name) {
    if (RegKey* existing = FindSubKey(name)) return *existing;
    subkeyIndex_.emplace(FoldName(name), subkeys_.size());
    subkeys_.push_back(std::make_unique<RegKey>(std::string(name)));
    return *subkeys_.back();
}

bool RegKey::RemoveSubKey(std::string_view name) {
    auto it = subkeyIndex_.find(FoldName(name));
    if (it == subkeyIndex_.end()) return false;
    subkeys_.erase(subkeys_.begin() + static_cast<std::ptrdiff_t>(it->second));
    subkeyIndex_.clear();
    for (std::size_t i = 0; i < subkeys_.size(); ++i)
        subkeyIndex_.emplace(FoldName(subkeys_[i]->name_), i);
    return true;
}

const RegValue* RegKey::FindValue(std::string_view name) const {
    auto it = valueIndex_.find(FoldName(name));
    return it == valueIndex_.end() ? nullptr : &values_[it->second].second;
}

void RegKey::SetValue(std::string_view name, RegValue value) {
    std::string folded = FoldName(name);
    auto it = valueIndex_.find(folded);
    if (it != valueIndex_.end()) {
        values_[it->second].second = std::move(value);
        return;
    }
    valueIndex_.emplace(std::move(folded), values_.size());
    values_.emplace_back(std::string(name), std::move(value));
}

bool RegKey::RemoveValue(std::string_view name) {
    auto it = valueIndex_.find(FoldName(name));
    if (it == valueIndex_.end()) return false;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(it->second));
    valueIndex_.clear();
    for (std::size_t i = 0; i < values_.size(); ++i)
        valueIndex_.emplace(FoldName(values_[i].first), i);
    return true;
}

RegKey* RegKey::Find(const std::vector<std::string>& path) {
    RegKey* key = this;
    for (const std::string& name : path) {
        key = key->FindSubKey(name);
        if (!key) return nullptr;
    }
    return key;
}

const RegKey* RegKey::Find(const std::vector<std::string>& path) const {
    return const_cast<RegKey*>(this)->Find(path);
}

RegKey& RegKey::GetOrAdd(const std::vector<std::string>& path) {
    RegKey* key = this;
    for (const std::string& name : path)
        key = &key->GetOrAddSubKey(name);
    return *key;
}

bool RegKey::Remove(const std::vector<std::string>& path) {
    if (path.empty()) return false;
    RegKey* parent = Find(std::vector<std::string>(path.begin(), path.end() - 1));
    return parent && parent->RemoveSubKey(path.back());
}

bool RegKey::operator==(const RegKey& other) const {
    if (name_ != other.name_ || values_ != other.values_ ||
        subkeys_.size() != other.subkeys_.size())
        return false;
    for (std::size_t i = 0; i < subkeys_.size(); ++i) {
        if (!(*subkeys_[i] == *other.subkeys_[i])) return false;
    }
    return true;
}

void ApplyChange(RegKey& root, const RegChange& change) {
    switch (change.kind) {
    case RegChange::Kind::CreateKey:
        root.GetOrAdd(change.path);
        break;
    case RegChange::Kind::SetValue:
        root.GetOrAdd(change.path).SetValue(change.name, change.value);
        break;
    case RegChange::Kind::DeleteValue:
        if (RegKey* key = root.Find(change.path)) key->RemoveValue(change.name);
        break;
    case RegChange::Kind::DeleteKey:
        root.Remove(change.path);
        break;
    }
}

namespace {

// Length of the valid UTF-8 sequence at s[i], 0 when it is not one; the code
// point goes to `cp`. Overlong forms, surrogates and values past U+10FFFF are
// not valid.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        std::size_t len = DecodeUtf8(utf8, i, cp);
        if (len == 0) {
            out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(utf8[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char16_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += static_cast<char>(u - 0xDC00); // a byte kept from invalid UTF-8
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::vector<std::uint8_t> StringData(std::string_view utf8) {
    std::u16string units = Utf8ToUtf16(utf8);
    std::vector<std::uint8_t> data;
    data.reserve(units.size() * 2 + 2);
    for (char16_t u : units) {
        data.push_back(static_cast<std::uint8_t>(u & 0xFF));
        data.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

std::u16string Utf16FromData(const std::vector<std::uint8_t>& data) {
    std::u16string units;
    units.reserve(data.size() / 2);
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return units;
}

std::string StringFromData(const std::vector<std::uint8_t>& data) {
    std::u16string units = Utf16FromData(data);
    std::size_t zero = units.find(u'\0');
    if (zero != std::u16string::npos) units.resize(zero);
    return Utf16ToUtf8(units);
}

} // namespace talvence::registry
