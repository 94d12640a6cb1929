#pragma once
// Typed preferences. Each preference is one value of the store, named by its
// value name; one list owns them all, in declaration order, and loads and
// saves them under one key of the current user's hive.
//
// Application thread only: the store is never touched concurrently.

#include "platform/registry/Registry.h"
#include "platform/shell/DateTimeFormat.h"
#include "platform/shell/Font.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace talvence {

class TparameterList;

class TParameter {
public:
    TParameter(std::string name, TparameterList& list) : name_(std::move(name)), list_(list) {}
    virtual ~TParameter() = default;
    TParameter(const TParameter&) = delete;
    TParameter& operator=(const TParameter&) = delete;

    const std::string& Name() const { return name_; }

    // Reads the value from the list's open key; any failure leaves the
    // default. Never raises.
    virtual void Load() = 0;
    // Writes the current value to the list's open key; raises on failure.
    virtual void Save() = 0;
    // The current value as readable text (system report, diagnostics).
    virtual std::string ValueText() const = 0;
    // True when every value a save writes for this preference is in the
    // list's open key (of whatever type).
    virtual bool Stored();

    // The last Load found no usable value (missing, or of another type or
    // size) and kept the default.
    bool FellBack() const { return fellBack_; }

protected:
    registry::TRegistry& Reg();

    bool fellBack_ = false;

    std::string name_;
    TparameterList& list_;
};

class TIntegerParameter : public TParameter {
public:
    TIntegerParameter(std::string name, TparameterList& list, std::int32_t def)
        : TParameter(std::move(name), list), value(def), defaultValue(def) {}
    void Load() override;
    void Save() override;
    std::string ValueText() const override { return std::to_string(value); }

    std::int32_t value;
    std::int32_t defaultValue;
};

// A double stored as 8 bytes of REG_BINARY (little-endian IEEE-754).
class TRealParameter : public TParameter {
public:
    TRealParameter(std::string name, TparameterList& list, double def)
        : TParameter(std::move(name), list), value(def), defaultValue(def) {}
    void Load() override;
    void Save() override;
    std::string ValueText() const override;

    double value;
    double defaultValue;
};

// An empty text never survives a restart: it reads back as the default.
class TStringParameter : public TParameter {
public:
    TStringParameter(std::string name, TparameterList& list, std::string def)
        : TParameter(std::move(name), list), value(def), defaultValue(std::move(def)) {}
    void Load() override;
    void Save() override;
    std::string ValueText() const override { return "\"" + value + "\""; }

    std::string value;
    std::string defaultValue;
};

class TBooleanParameter : public TParameter {
public:
    TBooleanParameter(std::string name, TparameterList& list, bool def)
        : TParameter(std::move(name), list), value(def), defaultValue(def) {}
    void Load() override;
    void Save() override;
    std::string ValueText() const override { return value ? "true" : "false"; }

    bool value;
    bool defaultValue;
};

// A byte stored as a DWORD; the low 8 bits are kept on reading. The classes
// below differ only in what their value means.
class TByteParameter : public TParameter {
public:
    TByteParameter(std::string name, TparameterList& list, std::uint8_t def)
        : TParameter(std::move(name), list), value(def), defaultValue(def) {}
    void Load() override;
    void Save() override;
    std::string ValueText() const override { return std::to_string(value); }

    std::uint8_t value;
    std::uint8_t defaultValue;
};

// Number of the visible side panel, 0 to 7.
class TframeNumberParameter : public TByteParameter {
    using TByteParameter::TByteParameter;
};
// Preview aspect-ratio mode.
class TAspectRatioParameter : public TByteParameter {
    using TByteParameter::TByteParameter;
};
// Capture-format index, 0 to 5.
class TFormatCaptureParameter : public TByteParameter {
    using TByteParameter::TByteParameter;
};
// TV standard for DV encoding: 0 PAL, 1 NTSC.
class TTVstandardParameter : public TByteParameter {
    using TByteParameter::TByteParameter;
};
// Audio rate for DV encoding: 0 native, 1 32000 Hz, 2 44100 Hz, 3 48000 Hz.
class TFrequenceDVParameter : public TByteParameter {
    using TByteParameter::TByteParameter;
};

// A font kept in its own sub-key (list key, "\", name) with the values
// "Size", "Color", "Name", "Bold", "Italic", "Underline", "StrikeOut".
class TFontParameter : public TParameter {
public:
    TFontParameter(std::string name, TparameterList& list, const TFontSpec& def)
        : TParameter(std::move(name), list), value(def), defaultValue(def) {}
    void Load() override; // attribute by attribute, each falling back to the default's
    void Save() override; // failures inside are swallowed
    std::string ValueText() const override;
    bool Stored() override; // the sub-key with all its values

    TFontSpec value;
    TFontSpec defaultValue; // a copy: the caller's font need not outlive the list
};

// What LoadAll found wrong with the store, for the user to be told once at
// start-up. Empty when the store was sound or not there yet.
struct StoreLoadReport {
    std::string problem;                // the store's own words
    std::vector<std::string> defaulted; // names of the preferences that kept their defaults
    bool Empty() const { return problem.empty(); }
};

class TparameterList {
public:
    TparameterList(std::string keyPath, std::string signature);
    ~TparameterList();

    const std::string& KeyPath() const { return keyPath_; }
    const std::string& Signature() const { return signature_; }

    // Creates a preference at the end of the list; the list owns it.
    template <class P, class... Args> P& Declare(std::string name, Args&&... args) {
        auto p = std::make_unique<P>(std::move(name), *this, std::forward<Args>(args)...);
        P& ref = *p;
        items_.push_back(std::move(p));
        return ref;
    }

    const std::vector<std::unique_ptr<TParameter>>& Items() const { return items_; }
    TParameter* Find(const std::string& name) const;

    // Reads every preference, in order, when the key exists; otherwise every
    // preference keeps its default and nothing is written. A damaged or
    // unreadable store is reported in LoadReport, and so is a key that lacks
    // values a save by this version always writes (its file cut at a line
    // break): that file is kept aside as "<file>.bad" too.
    void LoadAll();
    const StoreLoadReport& LoadReport() const { return loadReport_; }
    // Writes "Signature", "Derniere Sauvegarde", "ExeName", then every
    // preference in order. A failing preference ends the save there (what was
    // written before stays written) and its error is raised.
    void SaveAll();

    // Where the save stamp and "ExeName" come from (tests replace them).
    std::function<TDateTime()> clock;
    LocaleFormats locale;
    std::string exeName;

    // The registry handle, open only during LoadAll and SaveAll.
    registry::TRegistry& Reg();
    // Makes the list's key current again after a preference used a sub-key.
    void ReopenMainKey(bool canCreate);

private:
    std::string keyPath_;
    std::string signature_;
    std::vector<std::unique_ptr<TParameter>> items_;
    std::unique_ptr<registry::TRegistry> reg_;
    StoreLoadReport loadReport_;

    // The hive shows a save of this version that did not reach the file
    // whole (the file cut at a line break).
    bool SaveCutShort(bool keyFound);
};

// The report as one line for the user; "" when there is nothing to tell.
std::string StoreLoadReportText(const StoreLoadReport& report);

// The save stamp's format.
inline constexpr const char* kSaveStampFormat = "yyyy/mm/dd hh:mm:ss am/pm";

} // namespace talvence
