#include "platform/devices/alsa/AlsaMixer.h"

#include <alsa/asoundlib.h>

namespace talvence {

namespace {

// A simple mixer opened on a card, closed when it goes.
class TMixerHandle {
public:
    explicit TMixerHandle(const std::string& card) {
        if (snd_mixer_open(&mixer_, 0) < 0) {
            mixer_ = nullptr;
            return;
        }
        if (snd_mixer_attach(mixer_, card.c_str()) < 0 ||
            snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0 || snd_mixer_load(mixer_) < 0) {
            snd_mixer_close(mixer_);
            mixer_ = nullptr;
        }
    }
    ~TMixerHandle() {
        if (mixer_) snd_mixer_close(mixer_);
    }
    TMixerHandle(const TMixerHandle&) = delete;
    TMixerHandle& operator=(const TMixerHandle&) = delete;
    snd_mixer_t* get() const { return mixer_; }
    snd_mixer_elem_t* Find(const std::string& name) const {
        if (!mixer_) return nullptr;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e))
            if (name == snd_mixer_selem_get_name(e)) return e;
        return nullptr;
    }

private:
    snd_mixer_t* mixer_ = nullptr;
};

class TRealAlsaMixer : public TAlsaMixer {
public:
    std::vector<TAlsaMixerControl> CaptureControls(const std::string& card) override {
        std::vector<TAlsaMixerControl> out;
        TMixerHandle mixer(card);
        if (!mixer.get()) return out;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer.get()); e;
             e = snd_mixer_elem_next(e)) {
            if (!snd_mixer_selem_is_active(e)) continue;
            TAlsaMixerControl c;
            c.name = snd_mixer_selem_get_name(e);
            c.hasVolume = snd_mixer_selem_has_capture_volume(e);
            c.hasSwitch = snd_mixer_selem_has_capture_switch(e);
            if (!c.hasVolume && !c.hasSwitch) continue;
            if (c.hasVolume) {
                snd_mixer_selem_get_capture_volume_range(e, &c.minimum, &c.maximum);
                snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &c.volume);
            }
            if (c.hasSwitch) {
                int on = 0;
                snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                c.on = on != 0;
            }
            out.push_back(std::move(c));
        }
        return out;
    }
    bool SetVolume(const std::string& card, const std::string& control, long volume) override {
        TMixerHandle mixer(card);
        snd_mixer_elem_t* e = mixer.Find(control);
        return e && snd_mixer_selem_set_capture_volume_all(e, volume) >= 0;
    }
    bool SetSwitch(const std::string& card, const std::string& control, bool on) override {
        TMixerHandle mixer(card);
        snd_mixer_elem_t* e = mixer.Find(control);
        return e && snd_mixer_selem_set_capture_switch_all(e, on ? 1 : 0) >= 0;
    }
};

} // namespace

std::shared_ptr<TAlsaMixer> MakeAlsaMixer() {
    return std::make_shared<TRealAlsaMixer>();
}

std::string AlsaMixerCard(const std::string& device) {
    const auto card = device.find("CARD=");
    if (card == std::string::npos) return {};
    const auto end = device.find(',', card);
    return "hw:" + device.substr(card, end == std::string::npos ? std::string::npos : end - card);
}

TAlsaLevelsPage::TAlsaLevelsPage(std::shared_ptr<TAlsaMixer> mixer, std::string card)
    : mixer_(std::move(mixer)), card_(std::move(card)) {
    controls_ = opened_ = mixer_->CaptureControls(card_);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].hasVolume) fields_.push_back({i, false});
        if (controls_[i].hasSwitch) fields_.push_back({i, true});
    }
}

std::vector<TPageField> TAlsaLevelsPage::Fields() const {
    std::vector<TPageField> out;
    for (const Field& f : fields_) {
        const TAlsaMixerControl& c = controls_[f.control];
        TPageField field;
        field.label = c.name;
        if (f.isSwitch) {
            field.kind = TPageField::Kind::Check;
            if (c.hasVolume) field.label += " on";
            field.value = c.on ? 1 : 0;
        } else {
            field.kind = TPageField::Kind::Slider;
            field.minimum = int(c.minimum);
            field.maximum = int(c.maximum);
            field.value = int(c.volume);
        }
        out.push_back(std::move(field));
    }
    return out;
}

void TAlsaLevelsPage::Change(std::size_t index, int value) {
    if (index >= fields_.size()) return;
    TAlsaMixerControl& c = controls_[fields_[index].control];
    if (fields_[index].isSwitch) {
        if (mixer_->SetSwitch(card_, c.name, value != 0)) c.on = value != 0;
    } else if (value >= c.minimum && value <= c.maximum && mixer_->SetVolume(card_, c.name, value)) {
        c.volume = value;
    }
}

void TAlsaLevelsPage::Cancel() {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const TAlsaMixerControl& was = opened_[i];
        if (was.hasVolume && was.volume != controls_[i].volume)
            mixer_->SetVolume(card_, was.name, was.volume);
        if (was.hasSwitch && was.on != controls_[i].on) mixer_->SetSwitch(card_, was.name, was.on);
    }
    controls_ = opened_;
}

} // namespace talvence
