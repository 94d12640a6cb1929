#pragma once

// The capture controls of an ALSA card's mixer (input levels and capture switches), behind a
// seam: the real one through ALSA's simple mixer interface, a table for tests. And the settings
// page of an ALSA capture source made of them: each change goes to the card at once, Cancel
// puts the levels back; the card keeps them itself.
//
// Threads: the application thread.

#include "platform/media/PropertyPages.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace talvence {

struct TAlsaMixerControl {
    std::string name; // "Capture", "Mic", "Mic Boost"...
    bool hasVolume = false;
    long minimum = 0, maximum = 0, volume = 0;
    bool hasSwitch = false;
    bool on = false;
};

class TAlsaMixer {
public:
    virtual ~TAlsaMixer() = default;
    // The capture controls of the card ("hw:CARD=<id>"); empty when it has none or cannot open.
    virtual std::vector<TAlsaMixerControl> CaptureControls(const std::string& card) = 0;
    virtual bool SetVolume(const std::string& card, const std::string& control, long volume) = 0;
    virtual bool SetSwitch(const std::string& card, const std::string& control, bool on) = 0;
};

std::shared_ptr<TAlsaMixer> MakeAlsaMixer();

class TFakeAlsaMixer : public TAlsaMixer {
public:
    std::map<std::string, std::vector<TAlsaMixerControl>> cards;

    std::vector<TAlsaMixerControl> CaptureControls(const std::string& card) override {
        auto it = cards.find(card);
        return it == cards.end() ? std::vector<TAlsaMixerControl>{} : it->second;
    }
    bool SetVolume(const std::string& card, const std::string& control, long volume) override {
        if (auto* c = Find(card, control); c && c->hasVolume) return c->volume = volume, true;
        return false;
    }
    bool SetSwitch(const std::string& card, const std::string& control, bool on) override {
        if (auto* c = Find(card, control); c && c->hasSwitch) return c->on = on, true;
        return false;
    }

private:
    TAlsaMixerControl* Find(const std::string& card, const std::string& control) {
        for (auto& c : cards[card])
            if (c.name == control) return &c;
        return nullptr;
    }
};

// The mixer card of a capture device name: "plughw:CARD=PCH,DEV=0" -> "hw:CARD=PCH".
std::string AlsaMixerCard(const std::string& device);

// "Levels": a slider per capture volume, a check box per capture switch.
class TAlsaLevelsPage : public IPageModel {
public:
    TAlsaLevelsPage(std::shared_ptr<TAlsaMixer> mixer, std::string card);

    std::string Title() const override { return "Levels"; }
    std::vector<TPageField> Fields() const override;
    void Change(std::size_t index, int value) override;
    void Apply() override { opened_ = controls_; }
    void Cancel() override;

private:
    struct Field {
        std::size_t control;
        bool isSwitch;
    };
    std::shared_ptr<TAlsaMixer> mixer_;
    std::string card_;
    std::vector<TAlsaMixerControl> controls_, opened_;
    std::vector<Field> fields_;
};

} // namespace talvence
