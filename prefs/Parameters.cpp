#include "prefs/Parameters.h"

#include "platform/log/Log.h"
#include "platform/shell/LocaleProvider.h"
#include "platform/shell/OsInfo.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace talvence {

using registry::RegistryError;
using registry::TRegistry;
using registry::ValueType;

namespace {

// Each reader returns nullopt for anything that is not a readable value of
// the expected type, so every class can fall back to its default.
std::optional<std::int32_t> ReadDWord(TRegistry& reg, const std::string& name) {
    try {
        if (reg.GetDataType(name) != ValueType::DWord) return std::nullopt;
        return reg.ReadInteger(name);
    } catch (const std::exception& e) {
        TLOG(Store) << "Reading preference " << name << ": " << e.what();
        return std::nullopt;
    }
}

std::optional<std::string> ReadText(TRegistry& reg, const std::string& name) {
    try {
        auto type = reg.GetDataType(name);
        if (!type) return std::string(); // a missing value reads as empty
        if (*type != ValueType::String && *type != ValueType::ExpandString) return std::nullopt;
        return reg.ReadString(name);
    } catch (const std::exception& e) {
        TLOG(Store) << "Reading preference " << name << ": " << e.what();
        return std::nullopt;
    }
}

std::optional<bool> ReadBool(TRegistry& reg, const std::string& name) {
    auto v = ReadDWord(reg, name);
    if (!v) return std::nullopt;
    return *v != 0;
}

} // namespace

registry::TRegistry& TParameter::Reg() {
    return list_.Reg();
}

void TIntegerParameter::Load() {
    value = ReadDWord(Reg(), name_).value_or(defaultValue);
}
void TIntegerParameter::Save() {
    Reg().WriteInteger(name_, value);
}

void TRealParameter::Load() {
    value = defaultValue;
    try {
        TRegistry& reg = Reg();
        if (reg.GetDataType(name_) != ValueType::Binary) return;
        auto bytes = reg.ReadBinaryData(name_);
        if (!bytes || bytes->size() != sizeof(double)) return;
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = (bits << 8) | (*bytes)[i];
        std::memcpy(&value, &bits, sizeof value);
    } catch (const std::exception& e) {
        TLOG(Store) << "Reading preference " << name_ << ": " << e.what();
        value = defaultValue;
    }
}

void TRealParameter::Save() {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::vector<std::uint8_t> bytes(8);
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Reg().WriteBinaryData(name_, bytes);
}

std::string TRealParameter::ValueText() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return buf;
}

void TStringParameter::Load() {
    auto text = ReadText(Reg(), name_);
    value = (text && !text->empty()) ? *text : defaultValue;
}
void TStringParameter::Save() {
    Reg().WriteString(name_, value);
}

void TBooleanParameter::Load() {
    value = ReadBool(Reg(), name_).value_or(defaultValue);
}
void TBooleanParameter::Save() {
    Reg().WriteInteger(name_, value ? 1 : 0);
}

void TByteParameter::Load() {
    auto v = ReadDWord(Reg(), name_);
    value = v ? static_cast<std::uint8_t>(*v & 0xFF) : defaultValue;
}
void TByteParameter::Save() {
    Reg().WriteInteger(name_, value);
}

void TFontParameter::Load() {
    value = defaultValue;
    TRegistry& reg = Reg();
    const std::string subKey = list_.KeyPath() + "\\" + name_;
    try {
        if (reg.OpenKey(subKey, false)) {
            value.size = ReadDWord(reg, "Size").value_or(defaultValue.size);
            value.color = static_cast<std::uint32_t>(
                ReadDWord(reg, "Color").value_or(static_cast<std::int32_t>(defaultValue.color)));
            auto face = ReadText(reg, "Name");
            value.name = (face && !face->empty()) ? *face : defaultValue.name;
            value.bold = ReadBool(reg, "Bold").value_or(defaultValue.bold);
            value.italic = ReadBool(reg, "Italic").value_or(defaultValue.italic);
            value.underline = ReadBool(reg, "Underline").value_or(defaultValue.underline);
            value.strikeOut = ReadBool(reg, "StrikeOut").value_or(defaultValue.strikeOut);
        }
    } catch (const std::exception& e) {
        TLOG(Store) << "Reading preference " << name_ << ": " << e.what();
        value = defaultValue;
    }
    // Later preferences read from the main key again.
    try {
        list_.ReopenMainKey(false);
    } catch (const std::exception& e) {
        TLOG(Store) << "Reopening " << list_.KeyPath() << " after " << name_ << ": " << e.what();
    }
}

void TFontParameter::Save() {
    TRegistry& reg = Reg();
    try {
        if (reg.OpenKey(list_.KeyPath() + "\\" + name_, true)) {
            reg.WriteInteger("Size", value.size);
            reg.WriteInteger("Color", static_cast<std::int32_t>(value.color));
            reg.WriteString("Name", value.name);
            reg.WriteInteger("Bold", value.bold ? 1 : 0);
            reg.WriteInteger("Italic", value.italic ? 1 : 0);
            reg.WriteInteger("Underline", value.underline ? 1 : 0);
            reg.WriteInteger("StrikeOut", value.strikeOut ? 1 : 0);
        }
    } catch (const std::exception& e) {
        // A font that cannot be written must not cost the other preferences.
        TLOG(Store) << "Saving preference " << name_ << ": " << e.what();
    }
    try {
        list_.ReopenMainKey(true);
    } catch (const std::exception& e) {
        TLOG(Store) << "Reopening " << list_.KeyPath() << " after " << name_ << ": " << e.what();
    }
}

std::string TFontParameter::ValueText() const {
    char color[16];
    std::snprintf(color, sizeof color, "%06X", value.color & 0xFFFFFF);
    std::string text =
        "\"" + value.name + "\", " + std::to_string(value.size) + " pt, colour 0x" + color;
    if (value.bold) text += ", bold";
    if (value.italic) text += ", italic";
    if (value.underline) text += ", underline";
    if (value.strikeOut) text += ", strike-out";
    return text;
}

TparameterList::TparameterList(std::string keyPath, std::string signature)
    : clock([] { return FromSystemClock(std::chrono::system_clock::now()); }),
      locale(SystemLocaleFormats()), exeName(ExecutablePath()), keyPath_(std::move(keyPath)),
      signature_(std::move(signature)) {}

TparameterList::~TparameterList() = default;

TParameter* TparameterList::Find(const std::string& name) const {
    for (const auto& p : items_)
        if (p->Name() == name) return p.get();
    return nullptr;
}

registry::TRegistry& TparameterList::Reg() {
    if (!reg_) throw std::logic_error("preference store used outside a load or save");
    return *reg_;
}

void TparameterList::ReopenMainKey(bool canCreate) {
    Reg().OpenKey(keyPath_, canCreate);
}

void TparameterList::LoadAll() {
    try {
        reg_ = std::make_unique<TRegistry>(registry::Hive::CurrentUser);
        if (reg_->OpenKey(keyPath_, false)) {
            for (const auto& p : items_) {
                try {
                    p->Load();
                } catch (const std::exception& e) {
                    // Load never reports; the preference keeps its default.
                    TLOG(Store) << "Loading preference " << p->Name() << ": " << e.what();
                }
            }
        }
    } catch (const std::exception& e) {
        TLOG(Store) << "Opening " << keyPath_ << ": " << e.what();
    }
    reg_.reset();
}

void TparameterList::SaveAll() {
    reg_ = std::make_unique<TRegistry>(registry::Hive::CurrentUser);
    try {
        if (!reg_->OpenKey(keyPath_, true)) {
            reg_.reset();
            return;
        }
        reg_->WriteString("Signature", signature_);
        reg_->WriteString("Derniere Sauvegarde", FormatDateTime(kSaveStampFormat, clock(), locale));
        reg_->WriteString("ExeName", exeName);
        for (const auto& p : items_)
            p->Save();
    } catch (...) {
        // What was written before the failure stays written.
        try {
            reg_->CloseKey();
        } catch (const std::exception& e) {
            // The first failure is the one rethrown below.
            TLOG(Store) << "Closing " << keyPath_ << " after a failed save: " << e.what();
        } catch (...) {
            TLOG(Store) << "Closing " << keyPath_ << " after a failed save failed as well";
        }
        reg_.reset();
        throw;
    }
    try {
        reg_->CloseKey(); // commits; a store that cannot be written raises here
    } catch (...) {
        reg_.reset();
        throw;
    }
    reg_.reset();
}

} // namespace talvence
