#include "prefs/Parameters.h"

#include "platform/log/Log.h"
#include "platform/shell/LocaleProvider.h"
#include "platform/shell/OsInfo.h"
#include "resources/Strings.h"

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

bool TParameter::Stored() {
    return Reg().ValueExists(name_);
}

void TIntegerParameter::Load() {
    auto v = ReadDWord(Reg(), name_);
    fellBack_ = !v;
    value = v.value_or(defaultValue);
}
void TIntegerParameter::Save() {
    Reg().WriteInteger(name_, value);
}

void TRealParameter::Load() {
    value = defaultValue;
    fellBack_ = true;
    try {
        TRegistry& reg = Reg();
        if (reg.GetDataType(name_) != ValueType::Binary) return;
        auto bytes = reg.ReadBinaryData(name_);
        if (!bytes || bytes->size() != sizeof(double)) return;
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = (bits << 8) | (*bytes)[i];
        std::memcpy(&value, &bits, sizeof value);
        fellBack_ = false;
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
    // A stored empty text is a value, read as the default by design.
    fellBack_ = !text || !Reg().ValueExists(name_);
    value = (text && !text->empty()) ? *text : defaultValue;
}
void TStringParameter::Save() {
    Reg().WriteString(name_, value);
}

void TBooleanParameter::Load() {
    auto v = ReadBool(Reg(), name_);
    fellBack_ = !v;
    value = v.value_or(defaultValue);
}
void TBooleanParameter::Save() {
    Reg().WriteInteger(name_, value ? 1 : 0);
}

void TByteParameter::Load() {
    auto v = ReadDWord(Reg(), name_);
    fellBack_ = !v;
    value = v ? static_cast<std::uint8_t>(*v & 0xFF) : defaultValue;
}
void TByteParameter::Save() {
    Reg().WriteInteger(name_, value);
}

namespace {

// An attribute read into `to`, or the default's kept; false when it fell back.
template <class T> bool ReadOr(std::optional<T> read, T& to, T fallback) {
    to = read.value_or(fallback);
    return read.has_value();
}

} // namespace

void TFontParameter::Load() {
    value = defaultValue;
    fellBack_ = true;
    TRegistry& reg = Reg();
    const std::string subKey = list_.KeyPath() + "\\" + name_;
    try {
        if (reg.OpenKey(subKey, false)) {
            bool all = ReadOr(ReadDWord(reg, "Size"), value.size, defaultValue.size);
            std::int32_t color = 0;
            all &= ReadOr(ReadDWord(reg, "Color"), color,
                          static_cast<std::int32_t>(defaultValue.color));
            value.color = static_cast<std::uint32_t>(color);
            auto face = ReadText(reg, "Name");
            all &= face && reg.ValueExists("Name");
            value.name = (face && !face->empty()) ? *face : defaultValue.name;
            all &= ReadOr(ReadBool(reg, "Bold"), value.bold, defaultValue.bold);
            all &= ReadOr(ReadBool(reg, "Italic"), value.italic, defaultValue.italic);
            all &= ReadOr(ReadBool(reg, "Underline"), value.underline, defaultValue.underline);
            all &= ReadOr(ReadBool(reg, "StrikeOut"), value.strikeOut, defaultValue.strikeOut);
            fellBack_ = !all;
        }
    } catch (const std::exception& e) {
        TLOG(Store) << "Reading preference " << name_ << ": " << e.what();
        value = defaultValue;
        fellBack_ = true;
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

bool TFontParameter::Stored() {
    TRegistry& reg = Reg();
    bool all = reg.OpenKey(list_.KeyPath() + "\\" + name_, false);
    for (const char* attribute :
         {"Size", "Color", "Name", "Bold", "Italic", "Underline", "StrikeOut"})
        all = all && reg.ValueExists(attribute);
    list_.ReopenMainKey(false);
    return all;
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
    loadReport_ = StoreLoadReport();
    bool keyFound = false;
    try {
        reg_ = std::make_unique<TRegistry>(registry::Hive::CurrentUser);
        keyFound = reg_->OpenKey(keyPath_, false);
        if (keyFound) {
            for (const auto& p : items_) {
                try {
                    p->Load();
                } catch (const std::exception& e) {
                    // Load never reports; the preference keeps its default.
                    TLOG(Store) << "Loading preference " << p->Name() << ": " << e.what();
                }
            }
        }
        loadReport_.problem = reg_->LoadProblem();
        if (loadReport_.problem.empty() && SaveCutShort(keyFound)) {
            loadReport_.problem = strings::kStoreValuesMissing;
            try {
                const auto copy = registry::KeepHiveAside(registry::Hive::CurrentUser);
                loadReport_.problem += strings::Fmt(strings::kStoreKeptAs, {copy.string()});
            } catch (const std::exception& e) {
                TLOG(Store) << "Keeping the store aside: " << e.what();
            }
        }
    } catch (const std::exception& e) {
        TLOG(Store) << "Opening " << keyPath_ << ": " << e.what();
    }
    if (!loadReport_.problem.empty()) {
        for (const auto& p : items_)
            if (!keyFound || p->FellBack()) loadReport_.defaulted.push_back(p->Name());
    }
    reg_.reset();
}

bool TparameterList::SaveCutShort(bool keyFound) {
    TRegistry& reg = *reg_;
    if (!keyFound) {
        // An empty parent is a save cut after the parent's line: deleting the
        // preferences removes the vendor key when nothing else is left in it.
        const std::size_t cut = keyPath_.find_last_of('\\');
        return cut != std::string::npos && cut > 0 && reg.OpenKey(keyPath_.substr(0, cut), false) &&
               reg.GetValueNames().empty() && !reg.HasSubKeys();
    }
    // A save writes the signature first: a key without any value was cut
    // right after its line.
    if (reg.GetValueNames().empty() && !reg.HasSubKeys()) return true;
    std::optional<std::string> signature;
    try {
        signature = reg.ReadString("Signature");
    } catch (const registry::RegistryError&) {
        return false; // not our save
    }
    // Another version's save, or a key made by hand, may lack values.
    if (signature != signature_) return false;
    for (const auto& p : items_)
        if (!p->Stored()) return true;
    return false;
}

std::string StoreLoadReportText(const StoreLoadReport& report) {
    if (report.Empty()) return {};
    std::string text = strings::Fmt(strings::kStoreDamaged, {report.problem});
    if (!report.defaulted.empty()) {
        std::string names;
        for (const std::string& name : report.defaulted)
            names += (names.empty() ? "\"" : ", \"") + name + "\"";
        text += " " + strings::Fmt(strings::kStoreDefaulted, {names});
    }
    return text;
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
