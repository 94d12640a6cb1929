#pragma once

// The seam between the ALSA capture-device listing and the system: the cards present and the
// capture PCM devices of each. The real one asks ALSA's control interface; TFakeAlsaSystem is a
// table set by tests.
//
// Threads: any, one call at a time per object.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace talvence {

struct TAlsaCard {
    int index = 0;
    std::string id;   // ALSA's stable card id ("PCH", "Device"), used in device names
    std::string name; // the card's short name ("HDA Intel PCH")
};

struct TAlsaPcm {
    int device = 0;
    std::string name; // the PCM's name ("ALC3246 Analog"); may be empty
};

class TAlsaSystem {
public:
    virtual ~TAlsaSystem() = default;
    // The cards present, in index order; empty when there is none (or no ALSA at all).
    virtual std::vector<TAlsaCard> Cards() = 0;
    // The PCM devices of a card that can capture.
    virtual std::vector<TAlsaPcm> CapturePcms(int card) = 0;
};

std::unique_ptr<TAlsaSystem> MakeAlsaSystem();

class TFakeAlsaSystem : public TAlsaSystem {
public:
    std::vector<TAlsaCard> cards;
    std::map<int, std::vector<TAlsaPcm>> capture; // by card index

    std::vector<TAlsaCard> Cards() override { return cards; }
    std::vector<TAlsaPcm> CapturePcms(int card) override {
        auto it = capture.find(card);
        return it == capture.end() ? std::vector<TAlsaPcm>{} : it->second;
    }
};

} // namespace talvence
