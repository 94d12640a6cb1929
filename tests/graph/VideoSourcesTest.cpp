#include "graph/videosources.h"

#include "filters/BaseClass/CountingFilters.h"
#include "graph/FilterGraphComponents.h"
#include "platform/media/MediaGuids.h"
#include "tools/talvence-cli/SourceCommands.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <array>
#include <cstdio>
#include <sstream>

namespace talvence {
namespace {

constexpr GUID kClsidCam = MakeGuid("D4D4D4D4-0000-4000-8000-000000000004");
constexpr GUID kClsidMic = MakeGuid("E5E5E5E5-0000-4000-8000-000000000005");

using namespace std::chrono_literals;

// A moniker whose property bag cannot be bound (a device the platform half knows).
class TNoBagMoniker : public TRefCounted<IMoniker> {
public:
    explicit TNoBagMoniker(ComPtr<IMoniker> inner) : inner_(std::move(inner)) {}
    HRESULT BindToObject(IBindCtx* c, IMoniker* l, REFIID riid, void** ppv) override {
        return inner_->BindToObject(c, l, riid, ppv);
    }
    HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_FAIL;
    }
    HRESULT GetDisplayName(IBindCtx* c, IMoniker* l, std::string* name) override {
        return inner_->GetDisplayName(c, l, name);
    }

private:
    ComPtr<IMoniker> inner_;
};

class TWrappingEnumMoniker : public TRefCounted<IEnumMoniker> {
public:
    TWrappingEnumMoniker(ComPtr<IEnumMoniker> inner, std::string noBag)
        : inner_(std::move(inner)), noBag_(std::move(noBag)) {}
    HRESULT Next(ULONG count, IMoniker** out, ULONG* fetched) override {
        const HRESULT hr = inner_->Next(count, out, fetched);
        for (ULONG i = 0; fetched && i < *fetched; ++i) {
            std::string name;
            out[i]->GetDisplayName(nullptr, nullptr, &name);
            if (name != noBag_) continue;
            ComPtr<IMoniker> inner = ComPtr<IMoniker>::Attach(out[i]);
            out[i] = ComPtr<IMoniker>(new TNoBagMoniker(inner)).Detach();
        }
        return hr;
    }
    HRESULT Skip(ULONG count) override { return inner_->Skip(count); }
    HRESULT Reset() override { return inner_->Reset(); }
    HRESULT Clone(IEnumMoniker**) override { return E_NOTIMPL; }

private:
    ComPtr<IEnumMoniker> inner_;
    std::string noBag_;
};

// The system enumerator over a test registry, able to fail the ways a platform does: one device
// without a property bag, and an enumerator that stops answering after some calls.
class TTestDevEnum : public TRefCounted<ICreateDevEnum> {
public:
    explicit TTestDevEnum(std::shared_ptr<FilterRegistry> registry)
        : inner_(new CSystemDeviceEnum(std::move(registry))) {}
    HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD flags) override {
        *out = nullptr;
        if (callsLeft == 0) return E_FAIL;
        if (callsLeft > 0) --callsLeft;
        ComPtr<IEnumMoniker> inner;
        const HRESULT hr = inner_->CreateClassEnumerator(category, inner.put(), flags);
        if (inner) *out = ComPtr<IEnumMoniker>(new TWrappingEnumMoniker(inner, noBag)).Detach();
        return hr;
    }

    int callsLeft = -1; // -1: no limit
    std::string noBag;  // display name of the moniker that has no property bag
private:
    ComPtr<CSystemDeviceEnum> inner_;
};

class VideoSourcesTest : public ::testing::Test {
protected:
    std::shared_ptr<FilterRegistry> registry = std::make_shared<FilterRegistry>();
    ComPtr<TTestDevEnum> devEnum{new TTestDevEnum(registry)};
    std::chrono::milliseconds now = 8h + 15min + 2s + 123ms;
    TvideoSourceList known{[this] { return now; }};
    TVideoSourceDisplayList display;

    // A video device; tag goes into "Description" so a test can tell which device a slot got.
    // An empty path registers the device without "DevicePath".
    void AddCamera(const std::string& name, const std::string& path, const std::string& tag,
                   const CLSID& clsid = kClsidCam) {
        RegisteredFilter entry;
        entry.clsid = clsid;
        entry.friendlyName = name;
        if (!path.empty()) entry.properties["DevicePath"] = path;
        entry.properties["Description"] = tag;
        registry->Register(CLSID_VideoInputDeviceCategory, std::move(entry));
    }

    bool Enumerate() { return EnumerateVideoSources(devEnum.get(), known, display); }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& item : display)
            names.push_back(item.Name);
        return names;
    }

    // The "Description" of the device BindVideoSource gives the slot; empty when it fails.
    std::string BoundTag(const TvideoSource& source) {
        TFilter slot("Video Source");
        if (!BindVideoSource(devEnum.get(), source, slot)) return {};
        ComPtr<IPropertyBag> bag;
        slot.BaseFilter()->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.putVoid());
        VARIANT value;
        bag->Read("Description", &value, nullptr);
        return value.bstrVal;
    }

    TvideoSource& Listed(const std::string& name) {
        for (const auto& item : display)
            if (item.Name == name) return *item.Source;
        ADD_FAILURE() << name << " is not listed";
        static TvideoSource none;
        return none;
    }
};

TEST_F(VideoSourcesTest, IdenticalDevicesAreNumberedAndBoundInEnumerationOrder) {
    // Setup
    AddCamera("USB Camera", "/sys/usb1", "first");
    AddCamera("Webcam", "/sys/usb9", "webcam");
    AddCamera("USB Camera", "/sys/usb2", "second");
    AddCamera("USB Camera", "/sys/usb3", "third");

    // Exercise
    const bool listed = Enumerate();

    // Verification
    ASSERT_TRUE(listed);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"USB Camera", "Webcam", "USB Camera #2", "USB Camera #3"}));
    EXPECT_EQ(Listed("USB Camera #3").Index, 3);
    EXPECT_EQ(Listed("USB Camera #3").FriendlyName, "USB Camera");
    EXPECT_EQ(Listed("USB Camera #3").DevicePath, "/sys/usb3");
    EXPECT_EQ(BoundTag(Listed("USB Camera")), "first");
    EXPECT_EQ(BoundTag(Listed("USB Camera #2")), "second");
    EXPECT_EQ(BoundTag(Listed("USB Camera #3")), "third");
    EXPECT_EQ(known.Count(), 4);
}

TEST_F(VideoSourcesTest, TheCirrusSourceIsShownAsTheMovieBox) {
    // Setup
    AddCamera(kCirrusSourceName, "usb#cirrus1", "box1");
    AddCamera(kCirrusSourceName, "usb#cirrus2", "box2");

    // Exercise
    Enumerate();

    // Verification
    EXPECT_EQ(Names(), (std::vector<std::string>{"Pinnacle Moviebox-B", "Pinnacle Moviebox-B #2"}));
    EXPECT_EQ(Listed("Pinnacle Moviebox-B").FriendlyName, kCirrusSourceName);
    EXPECT_EQ(Listed("Pinnacle Moviebox-B #2").Index, 2);
    EXPECT_EQ(BoundTag(Listed("Pinnacle Moviebox-B #2")), "box2");
}

TEST_F(VideoSourcesTest, RefreshingKeepsEachDevicesNameWhateverComesAndGoes) {
    // Setup
    AddCamera("Cam", "/sys/a", "a");
    AddCamera("Cam", "/sys/b", "b");
    Enumerate();
    const TvideoSource* a = display[0].Source;
    const TvideoSource* b = display[1].Source;

    // Exercise: nothing changed
    Enumerate();
    const std::vector<std::string> unchanged = Names();
    const bool sameObjects = display[0].Source == a && display[1].Source == b;
    // Exercise: the first is unplugged, a third one comes
    registry = std::make_shared<FilterRegistry>();
    devEnum = new TTestDevEnum(registry);
    AddCamera("Cam", "/sys/b", "b");
    AddCamera("Cam", "/sys/c", "c");
    Enumerate();

    // Verification
    EXPECT_EQ(unchanged, (std::vector<std::string>{"Cam", "Cam #2"}));
    EXPECT_TRUE(sameObjects);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Cam #2", "Cam #3"}));
    EXPECT_EQ(display[0].Source, b);
    EXPECT_EQ(known.Count(), 3);
    // Bound by path: the device still present is found although it is now the first "Cam".
    EXPECT_EQ(BoundTag(Listed("Cam #2")), "b");
    EXPECT_EQ(BoundTag(Listed("Cam #3")), "c");
    EXPECT_EQ(BoundTag(*a), "");
}

TEST_F(VideoSourcesTest, PathsIgnoreLetterCaseAndNamesDoNot) {
    // Setup
    AddCamera("webcam", "/SYS/Usb1", "lower");
    AddCamera("WEBCAM", "/sys/usb2", "upper");
    Enumerate();
    TvideoSource* first = display[0].Source;
    registry->Unregister(CLSID_VideoInputDeviceCategory, kClsidCam);
    AddCamera("webcam", "/sys/usb1", "lower again");
    AddCamera("WEBCAM", "/SYS/USB2", "upper again");

    // Exercise
    Enumerate();

    // Verification
    EXPECT_EQ(Names(), (std::vector<std::string>{"webcam", "WEBCAM"}));
    EXPECT_EQ(display[0].Source, first);
    EXPECT_EQ(first->DevicePath, "/SYS/Usb1");
    EXPECT_EQ(known.Count(), 2);
    EXPECT_EQ(BoundTag(*first), "lower again");
    EXPECT_EQ(BoundTag(Listed("WEBCAM")), "upper again");
    EXPECT_FALSE(IsDisplayNameFree(known, "webcam"));
    EXPECT_FALSE(IsDisplayNameFree(known, "WEBCAM"));
    EXPECT_TRUE(IsDisplayNameFree(known, "Webcam"));
    EXPECT_TRUE(IsDisplayNameFree(known, "webcam #2"));
}

TEST_F(VideoSourcesTest, DevicesWithoutAPathKeepTheirNamesAndStayBindable) {
    // Setup
    AddCamera("Capture", "", "one");
    AddCamera("Capture", "/sys/with-path", "pathed");
    AddCamera("Capture", "", "two");

    // Exercise
    Enumerate();
    const TvideoSource* one = display[0].Source;
    now += 1s;
    Enumerate();

    // Verification
    EXPECT_EQ(Names(), (std::vector<std::string>{"Capture", "Capture #2", "Capture #3"}));
    EXPECT_EQ(display[0].Source, one);
    EXPECT_EQ(one->DevicePath, "unknown081502123");
    EXPECT_FALSE(one->PathFromDevice);
    EXPECT_EQ(known.Count(), 3);
    EXPECT_EQ(BoundTag(Listed("Capture")), "one");
    EXPECT_EQ(BoundTag(Listed("Capture #2")), "pathed");
    EXPECT_EQ(BoundTag(Listed("Capture #3")), "two");
}

TEST_F(VideoSourcesTest, MadeUpPathsSpellTheLocalTimeOfDay) {
    EXPECT_EQ(UnknownDevicePath(0ms), "unknown000000000");
    EXPECT_EQ(UnknownDevicePath(23h + 59min + 59s + 999ms), "unknown235959999");
    EXPECT_EQ(UnknownDevicePath(9h + 5min + 7s + 42ms), "unknown090507042");
    EXPECT_EQ(UnknownDevicePath(24h + 1ms), "unknown000000001");
}

TEST_F(VideoSourcesTest, PlatformFailuresLeaveOutTheDeviceOrEndTheList) {
    // Setup
    AddCamera("Cam", "/sys/a", "a");
    AddCamera("Broken", "/sys/broken", "broken");
    AddCamera("Cam", "/sys/b", "b");
    AddCamera("Cam", "/sys/c", "c");
    devEnum->noBag = "@device:pnp:/sys/broken";

    // Exercise: a device without a property bag
    const bool withoutBag = Enumerate();
    const std::vector<std::string> listedWithoutBag = Names();
    const bool brokenBinds = !BoundTag(TvideoSource{"Broken", "Broken", 1, "/sys/broken"}).empty();
    // Exercise: the walk once, then two entries, then the enumerator fails
    devEnum->callsLeft = 3;
    const bool failing = Enumerate();
    const std::vector<std::string> listedBeforeFailure = Names();
    TFilter slot("Video Source");
    const bool bindsWhileFailing = BindVideoSource(devEnum.get(), *display[0].Source, slot);

    // Verification
    EXPECT_TRUE(withoutBag);
    EXPECT_EQ(listedWithoutBag, (std::vector<std::string>{"Cam", "Cam #2", "Cam #3"}));
    EXPECT_FALSE(brokenBinds);
    EXPECT_FALSE(failing);
    EXPECT_EQ(listedBeforeFailure, (std::vector<std::string>{"Cam"}));
    EXPECT_FALSE(bindsWhileFailing);
}

TEST_F(VideoSourcesTest, ARemovedSourceIsNamedAfreshWhenItComesBack) {
    // Setup
    AddCamera("Cam", "/sys/a", "a");
    AddCamera("Cam", "/sys/b", "b");
    Enumerate();
    TvideoSource* first = display[0].Source;

    // Exercise
    const bool removed = RemoveVideoSource(known, display, first);
    const std::vector<std::string> afterRemoval = Names();
    const bool removedTwice = RemoveVideoSource(known, display, first);
    Enumerate();

    // Verification
    EXPECT_TRUE(removed);
    EXPECT_FALSE(removedTwice);
    EXPECT_EQ(afterRemoval, (std::vector<std::string>{"Cam #2"}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"Cam", "Cam #2"}));
    EXPECT_EQ(known.Count(), 2);
    EXPECT_EQ(BoundTag(Listed("Cam")), "a");
}

TSourcePinFacts Pin(std::vector<GUID> majors, bool output = true, bool connected = false,
                    GUID category = GUID_NULL) {
    return {output, connected, std::move(majors), category};
}

TEST(SourcePinChoiceTest, StreamThenInterleavedThenCapturePinDecideTheKind) {
    const TSourcePinFacts stream = Pin({MEDIATYPE_Stream});
    const TSourcePinFacts dv = Pin({MEDIATYPE_Interleaved});
    const TSourcePinFacts capture = Pin({MEDIATYPE_Video}, true, false, PIN_CATEGORY_CAPTURE);
    const TSourcePinFacts audio = Pin({MEDIATYPE_Audio});

    const TSourcePinChoice mpeg = ChooseSourcePins({dv, capture, stream, audio}, kClsidCam);
    EXPECT_EQ(mpeg.Kind, SourceKind::skMpeg2Stream);
    EXPECT_EQ(mpeg.MainPin, 2);
    EXPECT_EQ(mpeg.AudioPin, 3);

    const TSourcePinChoice box = ChooseSourcePins({stream}, CLSID_MovieBoxUsbCapture);
    EXPECT_EQ(box.Kind, SourceKind::skMovieBox);
    EXPECT_EQ(box.AudioPin, -1);

    const TSourcePinChoice camcorder = ChooseSourcePins({capture, dv}, kClsidCam);
    EXPECT_EQ(camcorder.Kind, SourceKind::skDv);
    EXPECT_EQ(camcorder.MainPin, 1);

    const TSourcePinChoice webcam = ChooseSourcePins(
        {Pin({MEDIATYPE_Video}, true, false, PIN_CATEGORY_PREVIEW), capture}, kClsidCam);
    EXPECT_EQ(webcam.Kind, SourceKind::skCapturePin);
    EXPECT_EQ(webcam.MainPin, 1);
}

TEST(SourcePinChoiceTest, OnlyUnconnectedOutputsCount) {
    const TSourcePinChoice choice =
        ChooseSourcePins({Pin({MEDIATYPE_Stream}, true, true), Pin({MEDIATYPE_Interleaved}, false),
                          Pin({MEDIATYPE_Audio}, true, true), Pin({MEDIATYPE_Video}, true, false)},
                         CLSID_MovieBoxUsbCapture);

    EXPECT_EQ(choice.Kind, SourceKind::skCapturePin);
    EXPECT_EQ(choice.MainPin, -1);
    EXPECT_EQ(choice.AudioPin, -1);
}

TEST_F(VideoSourcesTest, TheSourcesCommandListsNamesKindsAndAudioDevices) {
    // Setup: a stream device, a video device without a capture pin, one that cannot be made
    auto streamDevice = [] {
        auto* source = new TCountingSource();
        source->mediaType.SetType(MEDIATYPE_Stream);
        return ComPtr<IBaseFilter>(source);
    };
    RegisteredFilter mpeg{kClsidCam, "Encoder card", MERIT_DO_NOT_USE, {}, {}, streamDevice};
    mpeg.properties["DevicePath"] = "/sys/enc";
    registry->Register(CLSID_VideoInputDeviceCategory, mpeg);
    RegisteredFilter plain{kClsidCam, "Encoder card", MERIT_DO_NOT_USE, {}, {}, [] {
                               return ComPtr<IBaseFilter>(new TCountingSource());
                           }};
    plain.properties["DevicePath"] = "/sys/plain";
    registry->Register(CLSID_VideoInputDeviceCategory, plain);
    AddCamera("Ghost", "/sys/ghost", "no factory");
    RegisteredFilter lineIn;
    lineIn.clsid = kClsidMic;
    lineIn.friendlyName = "Line in";
    registry->Register(CLSID_AudioInputDeviceCategory, lineIn);
    std::ostringstream out, err;

    // Exercise
    const int status = cli::ListSources(devEnum.get(), out, err);

    // Verification
    EXPECT_EQ(status, cli::kExitOk);
    EXPECT_EQ(out.str(), "video mpeg2 Encoder card\n"
                         "video - Encoder card #2\n"
                         "video - Ghost\n"
                         "audio Line in\n");
    EXPECT_EQ(err.str(), "sources: \"Encoder card #2\": no output pin to preview\n"
                         "sources: \"Ghost\": the device's filter cannot be made\n");
}

TEST_F(VideoSourcesTest, TheSourcesCommandFailsWhenThePlatformDoes) {
    devEnum->callsLeft = 0;
    std::ostringstream out, err;

    EXPECT_EQ(cli::ListSources(devEnum.get(), out, err), cli::kExitFailed);
    EXPECT_EQ(out.str(), "");
}

// The program itself, with the virtual DV camcorders of the environment.
std::string RunCli(const std::string& environment, int* status) {
    const std::string command = environment + " '" TALVENCE_CLI_PATH "' sources 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "cannot start " + command;
    std::string text;
    std::array<char, 256> buffer{};
    while (fgets(buffer.data(), int(buffer.size()), pipe))
        text += buffer.data();
    *status = pclose(pipe);
    return text;
}

TEST(SourcesCommandTest, ListsTheVirtualDvCamcorders) {
    int none = -1, two = -1;
    const std::string withoutDevices = RunCli("env -u TALVENCE_VIRTUAL_DEVICES", &none);
    const std::string withTwo = RunCli("TALVENCE_VIRTUAL_DEVICES='dv,dv:mode=vcr,scanner'", &two);

    EXPECT_EQ(none, 0);
    // Without any device the list is empty and says why no FireWire camcorder is in it, on a
    // computer without a FireWire port.
    bool firewire = false;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec))
        firewire |= entry.path().filename().string().rfind("fw", 0) == 0;
    EXPECT_EQ(withoutDevices, firewire ? "" : "sources: no IEEE 1394 (FireWire) port on this "
                                              "computer (no /dev/fw* device): DV camcorders on "
                                              "FireWire cannot be listed\n");
    EXPECT_EQ(two, 0);
    EXPECT_EQ(withTwo, "sources: virtual device \"scanner\": not built\n"
                       "video dv Virtual DV Camcorder\n"
                       "video dv Virtual DV Camcorder #2\n");
}

} // namespace
} // namespace talvence
