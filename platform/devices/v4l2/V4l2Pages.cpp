#include "platform/devices/v4l2/V4l2Pages.h"

#include "platform/registry/Registry.h"

#include <algorithm>
#include <cstdio>
#include <linux/videodev2.h>

namespace talvence {

namespace {
constexpr const char* kDevicesKey = "\\Software\\Brannock\\Talvence\\Devices\\";

std::string KeyOf(const std::string& device) {
    // A backslash would split the key.
    std::string name = device;
    std::replace(name.begin(), name.end(), '\\', '/');
    return kDevicesKey + name;
}

std::string ValueName(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", id);
    return text;
}

TPageField ListField(std::string label) {
    TPageField f;
    f.kind = TPageField::Kind::List;
    f.label = std::move(label);
    return f;
}

bool Kept(const TV4l2Control& c) {
    return c.type != V4L2_CTRL_TYPE_BUTTON;
}
} // namespace

TControlValues LoadDeviceControls(const std::string& deviceKey) {
    TControlValues values;
    if (deviceKey.empty()) return values;
    try {
        registry::TRegistry store;
        if (!store.OpenKey(KeyOf(deviceKey), false)) return values;
        for (const std::string& name : store.GetValueNames()) {
            char* end = nullptr;
            const unsigned long id = std::strtoul(name.c_str(), &end, 16);
            auto value = store.ReadInteger(name);
            if (end && !*end && value) values[static_cast<std::uint32_t>(id)] = *value;
        }
    } catch (const registry::RegistryError&) {
        // A value of another type is no control value; the device keeps its own.
    }
    return values;
}

bool SaveDeviceControls(const std::string& deviceKey, const TControlValues& values) {
    if (deviceKey.empty()) return false;
    try {
        registry::TRegistry store;
        store.DeleteKey(KeyOf(deviceKey));
        if (!store.OpenKey(KeyOf(deviceKey), true)) return false;
        for (const auto& [id, value] : values)
            store.WriteInteger(ValueName(id), value);
        store.CloseKey();
        return true;
    } catch (const registry::RegistryError&) {
        return false;
    }
}

std::string FourccText(std::uint32_t f) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((f >> (8 * i)) & 0xFF);
        if (c != ' ' && c != '\0') text += c;
    }
    return text;
}

std::string FrameRateText(std::uint32_t num, std::uint32_t den) {
    if (num == 0) return "?";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", double(den) / num);
    std::string s = text;
    // "30.00" reads "30", "7.50" reads "7.5".
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s + " fps";
}

// --- Controls ---------------------------------------------------------------------------------

TV4l2ControlsPage::TV4l2ControlsPage(ComPtr<TV4l2CaptureSource> source)
    : source_(std::move(source)), controls_(source_->Controls()) {
    for (const TV4l2Control& c : controls_) {
        std::int32_t v = c.defaultValue;
        if (c.type != V4L2_CTRL_TYPE_BUTTON) source_->GetControl(c.id, &v);
        int field = v;
        if (c.type == V4L2_CTRL_TYPE_MENU) {
            auto it = std::find_if(c.menu.begin(), c.menu.end(),
                                   [v](const auto& entry) { return entry.first == v; });
            field = it == c.menu.end() ? 0 : static_cast<int>(it - c.menu.begin());
        }
        opened_.push_back(field);
    }
    values_ = opened_;
}

std::vector<TPageField> TV4l2ControlsPage::Fields() const {
    std::vector<TPageField> fields;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const TV4l2Control& c = controls_[i];
        TPageField f;
        f.label = c.name;
        f.value = values_[i];
        switch (c.type) {
        case V4L2_CTRL_TYPE_BOOLEAN:
            f.kind = TPageField::Kind::Check;
            break;
        case V4L2_CTRL_TYPE_MENU:
            f.kind = TPageField::Kind::List;
            for (const auto& entry : c.menu)
                f.items.push_back(entry.second);
            break;
        case V4L2_CTRL_TYPE_BUTTON:
            f.kind = TPageField::Kind::Button;
            break;
        default:
            f.kind = TPageField::Kind::Slider;
            f.minimum = c.minimum;
            f.maximum = c.maximum;
            f.step = c.step;
        }
        fields.push_back(std::move(f));
    }
    return fields;
}

std::int32_t TV4l2ControlsPage::DeviceValue(std::size_t index, int value) const {
    const TV4l2Control& c = controls_[index];
    if (c.type == V4L2_CTRL_TYPE_MENU)
        return value >= 0 && std::size_t(value) < c.menu.size() ? c.menu[std::size_t(value)].first
                                                                 : c.defaultValue;
    if (c.type == V4L2_CTRL_TYPE_BOOLEAN) return value ? 1 : 0;
    return std::clamp<std::int32_t>(value, c.minimum, c.maximum);
}

void TV4l2ControlsPage::Change(std::size_t index, int value) {
    if (index >= controls_.size()) return;
    const std::int32_t v = DeviceValue(index, value);
    if (FAILED(source_->SetControl(controls_[index].id, v))) return;
    if (Kept(controls_[index])) values_[index] = value;
}

void TV4l2ControlsPage::Apply() {
    auto kept = source_->KeptControls();
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (!Kept(controls_[i])) continue;
        const std::int32_t v = DeviceValue(i, values_[i]);
        // Only what differs from the driver's default is the user's: a new driver's default
        // should not be overridden by an old copy of it.
        if (v == controls_[i].defaultValue)
            kept.erase(controls_[i].id);
        else
            kept[controls_[i].id] = v;
    }
    source_->KeepControls(std::move(kept));
    opened_ = values_;
}

void TV4l2ControlsPage::Cancel() {
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (Kept(controls_[i]) && values_[i] != opened_[i])
            source_->SetControl(controls_[i].id, DeviceValue(i, opened_[i]));
    values_ = opened_;
}

// --- Format -----------------------------------------------------------------------------------

TV4l2FormatPage::TV4l2FormatPage(ComPtr<TV4l2CaptureSource> source) : source_(std::move(source)) {
    const auto& modes = source_->Stream()->Modes();
    if (!modes.empty()) chosen_ = modes.front();
    AM_MEDIA_TYPE* mt = nullptr;
    if (SUCCEEDED(source_->Stream()->GetFormat(&mt)) && mt) {
        if (auto mode = V4l2ModeOf(*mt)) {
            // The type's interval is rounded to 100 ns; the device's own fraction is the one kept.
            for (const TV4l2Mode& m : modes)
                if (m.SameLayout(*mode) && (!chosen_.SameLayout(*mode) ||
                                            std::llabs(m.FrameTime() - mode->FrameTime()) <
                                                std::llabs(chosen_.FrameTime() - mode->FrameTime())))
                    chosen_ = m;
        }
        DeleteMediaType(mt);
    }
}

std::vector<std::uint32_t> TV4l2FormatPage::Formats() const {
    std::vector<std::uint32_t> out;
    for (const TV4l2Mode& m : source_->Stream()->Modes())
        if (std::find(out.begin(), out.end(), m.pixelFormat) == out.end())
            out.push_back(m.pixelFormat);
    return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> TV4l2FormatPage::Sizes() const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (const TV4l2Mode& m : source_->Stream()->Modes()) {
        const std::pair size{m.width, m.height};
        if (m.pixelFormat == chosen_.pixelFormat &&
            std::find(out.begin(), out.end(), size) == out.end())
            out.push_back(size);
    }
    return out;
}

std::vector<TV4l2Mode> TV4l2FormatPage::Rates() const {
    std::vector<TV4l2Mode> out;
    for (const TV4l2Mode& m : source_->Stream()->Modes())
        if (m.SameLayout(chosen_)) out.push_back(m);
    return out;
}

std::vector<TPageField> TV4l2FormatPage::Fields() const {
    TPageField format = ListField("Format");
    const auto formats = Formats();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        format.items.push_back(FourccText(formats[i]));
        if (formats[i] == chosen_.pixelFormat) format.value = int(i);
    }
    TPageField size = ListField("Size");
    const auto sizes = Sizes();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        size.items.push_back(std::to_string(sizes[i].first) + " x " +
                             std::to_string(sizes[i].second));
        if (sizes[i] == std::pair{chosen_.width, chosen_.height}) size.value = int(i);
    }
    TPageField rate = ListField("Frame rate");
    const auto rates = Rates();
    for (std::size_t i = 0; i < rates.size(); ++i) {
        rate.items.push_back(FrameRateText(rates[i].intervalNum, rates[i].intervalDen));
        if (rates[i].intervalNum == chosen_.intervalNum &&
            rates[i].intervalDen == chosen_.intervalDen)
            rate.value = int(i);
    }
    return {format, size, rate};
}

void TV4l2FormatPage::Change(std::size_t index, int value) {
    if (value < 0) return;
    const std::size_t v = std::size_t(value);
    // A new format keeps the size and rate where it has them, else takes its first.
    auto settle = [this](TV4l2Mode wanted) {
        const TV4l2Mode* first = nullptr;
        const TV4l2Mode* sameSize = nullptr;
        for (const TV4l2Mode& m : source_->Stream()->Modes()) {
            if (m.pixelFormat != wanted.pixelFormat) continue;
            if (!first) first = &m;
            if (m.width == wanted.width && m.height == wanted.height) {
                if (!sameSize) sameSize = &m;
                if (m.intervalNum == wanted.intervalNum && m.intervalDen == wanted.intervalDen) {
                    chosen_ = m;
                    return;
                }
            }
        }
        if (sameSize)
            chosen_ = *sameSize;
        else if (first)
            chosen_ = *first;
    };
    TV4l2Mode wanted = chosen_;
    if (index == 0) {
        const auto formats = Formats();
        if (v >= formats.size()) return;
        wanted.pixelFormat = formats[v];
    } else if (index == 1) {
        const auto sizes = Sizes();
        if (v >= sizes.size()) return;
        std::tie(wanted.width, wanted.height) = sizes[v];
    } else if (index == 2) {
        const auto rates = Rates();
        if (v >= rates.size()) return;
        wanted = rates[v];
    }
    settle(wanted);
}

TV4l2Mode TV4l2FormatPage::Chosen() const {
    return chosen_;
}

void TV4l2FormatPage::Apply() {
    CMediaType mt = V4l2ModeType(chosen_);
    source_->Stream()->SetFormat(&mt);
}

// --- Crossbar ---------------------------------------------------------------------------------

TCrossbarPage::TCrossbarPage(ComPtr<IAMCrossbar> crossbar, std::vector<std::string> inputs,
                             std::vector<std::string> outputs)
    : crossbar_(std::move(crossbar)), inputs_(std::move(inputs)), outputs_(std::move(outputs)) {
    for (std::size_t o = 0; o < outputs_.size(); ++o) {
        long input = -1;
        if (FAILED(crossbar_->get_IsRoutedTo(long(o), &input))) input = -1;
        routed_.push_back(int(input));
    }
}

std::vector<TPageField> TCrossbarPage::Fields() const {
    std::vector<TPageField> fields;
    for (std::size_t o = 0; o < outputs_.size(); ++o) {
        TPageField f = ListField(outputs_[o]);
        f.items = inputs_;
        f.value = routed_[o];
        fields.push_back(std::move(f));
    }
    return fields;
}

void TCrossbarPage::Change(std::size_t index, int value) {
    if (index < routed_.size() && value >= 0 && std::size_t(value) < inputs_.size() &&
        crossbar_->CanRoute(long(index), value) == S_OK)
        routed_[index] = value;
}

void TCrossbarPage::Apply() {
    for (std::size_t o = 0; o < routed_.size(); ++o) {
        long now = -1;
        crossbar_->get_IsRoutedTo(long(o), &now);
        if (routed_[o] >= 0 && routed_[o] != now) crossbar_->Route(long(o), routed_[o]);
    }
}

} // namespace talvence
