#include "platform/media/HResultText.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

TEST(HResultText, NamedCodesShowNameAndValueOthersTheirValue) {
    EXPECT_EQ(HResultText(VFW_E_TYPE_NOT_ACCEPTED), "VFW_E_TYPE_NOT_ACCEPTED (0x8004022A)");
    EXPECT_EQ(HResultText(S_OK), "S_OK (0x00000000)");
    EXPECT_EQ(HResultText(VFW_S_NO_MORE_ITEMS), "VFW_S_NO_MORE_ITEMS (0x00040103)");
    EXPECT_EQ(HResultText(E_PROP_ID_UNSUPPORTED), "E_PROP_ID_UNSUPPORTED (0x80070490)");
    EXPECT_EQ(HResultText(HRESULT_FROM_WIN32(2)), "0x80070002");
    EXPECT_EQ(HResultText(-1), "0xFFFFFFFF");
}

} // namespace
} // namespace talvence
