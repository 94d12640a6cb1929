#include "platform/media/MemAllocator.h"
#include "platform/media/FakeReferenceClock.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/ReferenceClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace talvence {
namespace {

using namespace std::chrono_literals;

ComPtr<CMemAllocator> MakeAllocator(LONG count, LONG size) {
    ComPtr<CMemAllocator> alloc(new CMemAllocator);
    ALLOCATOR_PROPERTIES request{count, size, 1, 0}, actual;
    EXPECT_EQ(alloc->SetProperties(&request, &actual), S_OK);
    return alloc;
}

TEST(MemAllocatorTest, BuffersAreHandedOutOnlyWhileCommittedAndComeBackOnRelease) {
    // Setup
    auto alloc = MakeAllocator(2, 100);
    ComPtr<IMediaSample> a, b, c;

    // Exercise / Verification
    EXPECT_EQ(alloc->GetBuffer(a.put(), nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(alloc->Commit(), S_OK);
    ASSERT_EQ(alloc->GetBuffer(a.put(), nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(alloc->GetBuffer(b.put(), nullptr, nullptr, 0), S_OK);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->GetSize(), 100);
    EXPECT_EQ(alloc->GetBuffer(c.put(), nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    a.reset();
    EXPECT_EQ(alloc->FreeCount(), 1);
    EXPECT_EQ(alloc->GetBuffer(c.put(), nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
}

TEST(MemAllocatorTest, PropertiesCannotChangeWhileCommittedOrWhileSamplesAreOut) {
    // Setup
    auto alloc = MakeAllocator(1, 64);
    ALLOCATOR_PROPERTIES request{4, 256, 1, 0}, actual;
    ASSERT_EQ(alloc->Commit(), S_OK);
    ComPtr<IMediaSample> held;
    ASSERT_EQ(alloc->GetBuffer(held.put(), nullptr, nullptr, 0), S_OK);

    // Exercise / Verification
    EXPECT_EQ(alloc->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);
    alloc->Decommit();
    EXPECT_EQ(alloc->SetProperties(&request, &actual), VFW_E_BUFFERS_OUTSTANDING);
    held.reset();
    EXPECT_EQ(alloc->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cBuffers, 4);
    request.cbAlign = 3;
    EXPECT_EQ(alloc->SetProperties(&request, &actual), VFW_E_BADALIGN);
}

TEST(MemAllocatorTest, AlignmentRoundsTheBufferUp) {
    // Setup
    ComPtr<CMemAllocator> alloc(new CMemAllocator);
    ALLOCATOR_PROPERTIES request{1, 100, 16, 4}, actual;

    // Exercise
    ASSERT_EQ(alloc->SetProperties(&request, &actual), S_OK);

    // Verification: prefix plus buffer is a whole number of alignment units.
    EXPECT_EQ((actual.cbBuffer + actual.cbPrefix) % 16, 0);
    EXPECT_GE(actual.cbBuffer, 100);
}

TEST(MemAllocatorTest, DecommitReleasesAThreadWaitingForABuffer) {
    // Setup
    auto alloc = MakeAllocator(1, 16);
    ASSERT_EQ(alloc->Commit(), S_OK);
    ComPtr<IMediaSample> held;
    ASSERT_EQ(alloc->GetBuffer(held.put(), nullptr, nullptr, 0), S_OK);
    std::promise<void> started;
    auto waiter = std::async(std::launch::async, [&] {
        started.set_value();
        ComPtr<IMediaSample> s;
        return alloc->GetBuffer(s.put(), nullptr, nullptr, 0);
    });
    started.get_future().wait();

    // Exercise
    alloc->Decommit();

    // Verification
    ASSERT_EQ(waiter.wait_for(5s), std::future_status::ready) << "GetBuffer still blocked";
    EXPECT_EQ(waiter.get(), VFW_E_NOT_COMMITTED);
    // The held sample stays usable until it is released.
    BYTE* data = nullptr;
    ASSERT_EQ(held->GetPointer(&data), S_OK);
    data[0] = 42;
    held.reset();
    EXPECT_EQ(alloc->FreeCount(), 0); // memory went with the last sample
}

TEST(MemAllocatorTest, AReleasedSampleWakesAThreadWaitingForABuffer) {
    // Setup
    auto alloc = MakeAllocator(1, 16);
    ASSERT_EQ(alloc->Commit(), S_OK);
    ComPtr<IMediaSample> held;
    ASSERT_EQ(alloc->GetBuffer(held.put(), nullptr, nullptr, 0), S_OK);
    IMediaSample* first = held.get();
    auto waiter = std::async(std::launch::async, [&] {
        ComPtr<IMediaSample> s;
        HRESULT hr = alloc->GetBuffer(s.put(), nullptr, nullptr, 0);
        return std::make_pair(hr, s.get());
    });

    // Exercise
    held.reset();

    // Verification
    ASSERT_EQ(waiter.wait_for(5s), std::future_status::ready) << "GetBuffer still blocked";
    auto [hr, sample] = waiter.get();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(sample, first);
}

TEST(MemAllocatorTest, AnOutstandingSampleKeepsItsPoolAlive) {
    // Setup
    ComPtr<IMediaSample> sample;
    {
        auto alloc = MakeAllocator(1, 32);
        ASSERT_EQ(alloc->Commit(), S_OK);
        ASSERT_EQ(alloc->GetBuffer(sample.put(), nullptr, nullptr, 0), S_OK);
    }

    // Exercise: the application let go of the allocator; the sample is still written.
    BYTE* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    data[31] = 7;

    // Verification
    EXPECT_EQ(sample->SetActualDataLength(32), S_OK);
    sample.reset(); // frees pool and allocator without touching freed memory
}

TEST(MediaSampleTest, TimesFlagsAndLengthFollowTheSampleProtocol) {
    // Setup
    auto alloc = MakeAllocator(1, 50);
    ASSERT_EQ(alloc->Commit(), S_OK);
    ComPtr<IMediaSample> s;
    ASSERT_EQ(alloc->GetBuffer(s.put(), nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME start = 0, stop = 0;
    const REFERENCE_TIME t0 = 400000, t1 = 800000;

    // Exercise / Verification
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    s->SetTime(&t0, nullptr);
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, t0);
    s->SetTime(&t0, &t1);
    EXPECT_EQ(s->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(stop, t1);
    s->SetTime(nullptr, nullptr);
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);

    EXPECT_EQ(s->IsSyncPoint(), S_FALSE);
    s->SetSyncPoint(1);
    s->SetDiscontinuity(1);
    s->SetPreroll(1);
    EXPECT_EQ(s->IsSyncPoint(), S_OK);
    EXPECT_EQ(s->IsDiscontinuity(), S_OK);
    EXPECT_EQ(s->IsPreroll(), S_OK);

    EXPECT_EQ(s->SetActualDataLength(51), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(s->SetActualDataLength(20), S_OK);
    EXPECT_EQ(s->GetActualDataLength(), 20);

    LONGLONG m0 = 0, m1 = 0;
    EXPECT_EQ(s->GetMediaTime(&m0, &m1), VFW_E_MEDIA_TIME_NOT_SET);
    const LONGLONG f0 = 10, f1 = 11;
    s->SetMediaTime(&f0, &f1);
    EXPECT_EQ(s->GetMediaTime(&m0, &m1), S_OK);
    EXPECT_EQ(m1, 11);
}

TEST(MediaSampleTest, ATypeChangeIsCopiedOutAndAReusedSampleStartsClean) {
    // Setup
    auto alloc = MakeAllocator(1, 50);
    ASSERT_EQ(alloc->Commit(), S_OK);
    ComPtr<IMediaSample> s;
    ASSERT_EQ(alloc->GetBuffer(s.put(), nullptr, nullptr, 0), S_OK);
    CMediaType audio(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    const REFERENCE_TIME t = 5;

    // Exercise
    AM_MEDIA_TYPE* none = nullptr;
    EXPECT_EQ(s->GetMediaType(&none), S_FALSE);
    s->SetMediaType(&audio);
    s->SetTime(&t, &t);
    s->SetSyncPoint(1);
    s->SetActualDataLength(3);
    AM_MEDIA_TYPE* got = nullptr;
    ASSERT_EQ(s->GetMediaType(&got), S_OK);
    IMediaSample* first = s.get();
    s.reset();
    ASSERT_EQ(alloc->GetBuffer(s.put(), nullptr, nullptr, 0), S_OK);

    // Verification
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(MediaTypesEqual(*got, audio));
    DeleteMediaType(got);
    ASSERT_EQ(s.get(), first);
    REFERENCE_TIME a, b;
    EXPECT_EQ(s->GetTime(&a, &b), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(s->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(s->GetActualDataLength(), 50);
    EXPECT_EQ(s->GetMediaType(&got), S_FALSE);
}

TEST(MediaSampleTest, PropertiesRoundTripIncludingTheStreamId) {
    // Setup
    auto alloc = MakeAllocator(1, 50);
    ASSERT_EQ(alloc->Commit(), S_OK);
    ComPtr<IMediaSample> s;
    ASSERT_EQ(alloc->GetBuffer(s.put(), nullptr, nullptr, 0), S_OK);
    auto s2 = s.As<IMediaSample2>();
    ASSERT_TRUE(s2);
    AM_SAMPLE2_PROPERTIES in;
    in.dwSampleFlags = AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID | AM_SAMPLE_SPLICEPOINT;
    in.tStart = 100;
    in.tStop = 200;
    in.lActual = 10;
    in.dwStreamId = AM_STREAM_CONTROL;

    // Exercise
    ASSERT_EQ(s2->SetProperties(sizeof in, reinterpret_cast<const BYTE*>(&in)), S_OK);
    AM_SAMPLE2_PROPERTIES out;
    ASSERT_EQ(s2->GetProperties(sizeof out, reinterpret_cast<BYTE*>(&out)), S_OK);

    // Verification
    EXPECT_EQ(out.dwStreamId, AM_STREAM_CONTROL);
    EXPECT_EQ(out.tStart, 100);
    EXPECT_EQ(out.tStop, 200);
    EXPECT_EQ(out.lActual, 10);
    EXPECT_EQ(s->IsSyncPoint(), S_OK);
    in.lActual = 51;
    EXPECT_EQ(s2->SetProperties(sizeof in, reinterpret_cast<const BYTE*>(&in)),
              VFW_E_BUFFER_OVERFLOW);
}

TEST(SystemClockTest, NeverGoesBackwards) {
    // Setup
    ComPtr<IReferenceClock> clock(new CSystemClock);
    REFERENCE_TIME previous = 0;

    for (int i = 0; i < 1000; ++i) {
        // Exercise
        REFERENCE_TIME now = 0;
        ASSERT_TRUE(SUCCEEDED(clock->GetTime(&now)));

        // Verification
        ASSERT_GE(now, previous);
        previous = now;
    }
}

TEST(ReferenceClockTest, OneShotAdvisesFireWhenTheClockPassesThemAndNotAfterUnadvise) {
    // Setup
    ComPtr<FakeReferenceClock> clock(new FakeReferenceClock);
    clock->SetTime(1000);
    CAMEvent due, cancelled, past;
    DWORD_PTR c1 = 0, c2 = 0, c3 = 0;

    // Exercise
    ASSERT_EQ(clock->AdviseTime(1000, 500, &due, &c1), S_OK);
    ASSERT_EQ(clock->AdviseTime(1000, 600, &cancelled, &c2), S_OK);
    ASSERT_EQ(clock->AdviseTime(0, 900, &past, &c3), S_OK); // already passed: at once
    const bool early = due.Check();
    EXPECT_EQ(clock->Unadvise(c2), S_OK);
    clock->Advance(1000);

    // Verification
    EXPECT_FALSE(early);
    EXPECT_TRUE(past.Check());
    EXPECT_TRUE(due.Check());
    EXPECT_FALSE(cancelled.Check());
    EXPECT_NE(c1, c2);
    EXPECT_EQ(clock->Unadvise(c1), S_FALSE); // fired requests are gone
    EXPECT_EQ(clock->AdviseTime(0, 0, &due, &c1), E_INVALIDARG);
}

TEST(ReferenceClockTest, PeriodicAdvisesReleaseOncePerPeriodPassed) {
    // Setup
    ComPtr<FakeReferenceClock> clock(new FakeReferenceClock);
    CAMSemaphore ticks;
    DWORD_PTR cookie = 0;
    ASSERT_EQ(clock->AdvisePeriodic(100, 50, &ticks, &cookie), S_OK);

    // Exercise
    clock->SetTime(99);
    const LONG before = ticks.Count();
    clock->SetTime(100);
    const LONG atStart = ticks.Count();
    clock->SetTime(260); // passes 150, 200 and 250
    const LONG jumped = ticks.Count();
    clock->Unadvise(cookie);
    clock->SetTime(1000);

    // Verification
    EXPECT_EQ(before, 0);
    EXPECT_EQ(atStart, 1);
    EXPECT_EQ(jumped, 4);
    EXPECT_EQ(ticks.Count(), 4);
}

TEST(ReferenceClockTest, TheSystemClockSignalsAnAdviseFromItsTimer) {
    // Setup
    ComPtr<IReferenceClock> clock(new CSystemClock);
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    CAMEvent event;
    DWORD_PTR cookie = 0;

    // Exercise
    ASSERT_EQ(clock->AdviseTime(now, 10'000, &event, &cookie), S_OK); // 1 ms ahead

    // Verification: bounded so a broken timer fails instead of hanging.
    EXPECT_TRUE(event.Wait(5000));
    REFERENCE_TIME after = 0;
    clock->GetTime(&after);
    EXPECT_GE(after, now + 10'000);
}

} // namespace
} // namespace talvence
