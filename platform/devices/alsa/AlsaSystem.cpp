#include "platform/devices/alsa/AlsaSystem.h"

#include <alsa/asoundlib.h>

namespace talvence {

namespace {

class TRealAlsaSystem : public TAlsaSystem {
public:
    std::vector<TAlsaCard> Cards() override {
        std::vector<TAlsaCard> out;
        int card = -1;
        while (snd_card_next(&card) >= 0 && card >= 0) {
            snd_ctl_t* ctl = nullptr;
            if (snd_ctl_open(&ctl, ("hw:" + std::to_string(card)).c_str(), 0) < 0) continue;
            snd_ctl_card_info_t* info = nullptr;
            snd_ctl_card_info_alloca(&info);
            if (snd_ctl_card_info(ctl, info) >= 0)
                out.push_back(TAlsaCard{card, snd_ctl_card_info_get_id(info),
                                        snd_ctl_card_info_get_name(info)});
            snd_ctl_close(ctl);
        }
        return out;
    }

    std::vector<TAlsaPcm> CapturePcms(int card) override {
        std::vector<TAlsaPcm> out;
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, ("hw:" + std::to_string(card)).c_str(), 0) < 0) return out;
        snd_pcm_info_t* info = nullptr;
        snd_pcm_info_alloca(&info);
        int device = -1;
        while (snd_ctl_pcm_next_device(ctl, &device) >= 0 && device >= 0) {
            snd_pcm_info_set_device(info, static_cast<unsigned>(device));
            snd_pcm_info_set_subdevice(info, 0);
            snd_pcm_info_set_stream(info, SND_PCM_STREAM_CAPTURE);
            // Fails for a device without a capture stream.
            if (snd_ctl_pcm_info(ctl, info) < 0) continue;
            out.push_back(TAlsaPcm{device, snd_pcm_info_get_name(info)});
        }
        snd_ctl_close(ctl);
        return out;
    }
};

} // namespace

std::unique_ptr<TAlsaSystem> MakeAlsaSystem() {
    return std::make_unique<TRealAlsaSystem>();
}

} // namespace talvence
