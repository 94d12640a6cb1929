// The framework's contract on the Colour Space Converter: 320x240 RGB24 pictures to YUY2.

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

std::vector<TContractSubject> Subjects() {
    TContractSubject converter;
    converter.name = "ColorSpaceConverter";
    converter.make = [](TContractRig&) { return ComPtr<IBaseFilter>(new TColorSpaceConverter); };
    converter.sampleSize = 320 * 240 * 3;
    converter.output = Accepting(MEDIATYPE_Video, MEDIASUBTYPE_YUY2);
    converter.expectOutput = [](long, const std::vector<BYTE>&, const TReceivedSample& s) {
        EXPECT_EQ(s.length, 320 * 240 * 2);
    };
    // The picture turns top-down; the output stays the same.
    converter.acceptedChange = MakeTestVideoType(320, -240);
    return {converter};
}

INSTANTIATE_TEST_SUITE_P(ColourConversion, FilterContract, ::testing::ValuesIn(Subjects()),
                         ContractName);

} // namespace
} // namespace talvence::testing
