// The usual DecideBufferSize body: minimums raise the request, and an allocator that grants less
// than asked is refused.

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/MemAllocator.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

// Grants `less` below what the pool really holds.
class TStingyAllocator : public CMemAllocator {
public:
    explicit TStingyAllocator(ALLOCATOR_PROPERTIES less) : less_(less) {}
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
        const HRESULT hr = CMemAllocator::SetProperties(request, actual);
        actual->cBuffers -= less_.cBuffers;
        actual->cbBuffer -= less_.cbBuffer;
        actual->cbAlign -= less_.cbAlign;
        return hr;
    }

private:
    ALLOCATOR_PROPERTIES less_;
};

ALLOCATOR_PROPERTIES PropertiesOf(IMemAllocator* allocator) {
    ALLOCATOR_PROPERTIES props;
    allocator->GetProperties(&props);
    return props;
}

TEST(RequestBuffersTest, TheMinimumsRaiseTheRequestAndALargerRequestStays) {
    // Setup
    ComPtr<IMemAllocator> allocator(new CMemAllocator);
    ALLOCATOR_PROPERTIES request{1, 5000, 0, 0};

    // Exercise
    const HRESULT hr = RequestBuffers(allocator.get(), &request, 3, 1000, 4);

    // Verification
    EXPECT_EQ(hr, S_OK);
    const ALLOCATOR_PROPERTIES set = PropertiesOf(allocator.get());
    EXPECT_EQ(set.cBuffers, 3);
    EXPECT_EQ(set.cbBuffer, 5000);
    EXPECT_EQ(set.cbAlign, 4);
}

TEST(RequestBuffersTest, AnAllocatorGrantingFewerSmallerOrLessAlignedBuffersIsRefused) {
    for (const ALLOCATOR_PROPERTIES less :
         {ALLOCATOR_PROPERTIES{1, 0, 0, 0}, ALLOCATOR_PROPERTIES{0, 1, 0, 0},
          ALLOCATOR_PROPERTIES{0, 0, 2, 0}}) {
        // Setup
        ComPtr<IMemAllocator> stingy(new TStingyAllocator(less));
        ALLOCATOR_PROPERTIES request;

        // Exercise / Verification
        EXPECT_EQ(RequestBuffers(stingy.get(), &request, 2, 100, 4), E_FAIL);
    }
}

TEST(RequestBuffersTest, LikeAnotherAllocatorTakesItsCountAndSizeElseOneBufferOfOneByte) {
    // Setup
    ComPtr<IMemAllocator> model(new CMemAllocator);
    ALLOCATOR_PROPERTIES modelRequest{6, 4096, 1, 0}, modelActual;
    ASSERT_EQ(model->SetProperties(&modelRequest, &modelActual), S_OK);
    ComPtr<IMemAllocator> mirror(new CMemAllocator), alone(new CMemAllocator);
    ALLOCATOR_PROPERTIES mirrorRequest, aloneRequest;

    // Exercise
    ASSERT_EQ(RequestBuffersLike(mirror.get(), &mirrorRequest, model.get()), S_OK);
    ASSERT_EQ(RequestBuffersLike(alone.get(), &aloneRequest, nullptr), S_OK);

    // Verification
    EXPECT_EQ(PropertiesOf(mirror.get()).cBuffers, 6);
    EXPECT_EQ(PropertiesOf(mirror.get()).cbBuffer, 4096);
    EXPECT_EQ(PropertiesOf(alone.get()).cBuffers, 1);
    EXPECT_EQ(PropertiesOf(alone.get()).cbBuffer, 1);
}

} // namespace
} // namespace talvence
