#include "platform/media/filters/dv/DvSegmentCodec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <tuple>

namespace talvence::dvcodec {
namespace {

constexpr int kBlocksPerMacroblock = 6; // Y0-Y3, Cr, Cb
constexpr int kSegmentBlocks = kMacroblocksPerSegment * kBlocksPerMacroblock;
constexpr int kDifBlocksPerSequence = 150;
// AC bits of a segment: four 14-byte and two 10-byte block areas per macroblock, less the 12
// bits of DC, mode and class at the start of each.
constexpr int kSegmentAcBits = (100 * 4 + 68 * 2) * kMacroblocksPerSegment;
constexpr int kAreaBytes[kBlocksPerMacroblock] = {14, 14, 14, 14, 10, 10};

// --- Where the macroblocks are --------------------------------------------------------------

// Macroblock m of a segment comes from superblock column kColumn[m] and row (sequence +
// kRowOffset[m]) modulo the sequences; the segment's slot walks each superblock in a serpentine.
constexpr int kRowOffset[5] = {2, 6, 8, 0, 4};
constexpr int kColumn625[5] = {18, 9, 27, 0, 36}; // first macroblock column of the superblock
constexpr int kColumn525[5] = {9, 4, 13, 0, 18};
constexpr int kSerpent625[27] = {0, 1, 2, 2, 1, 0, 0, 1, 2, 2, 1, 0, 0, 1,
                                 2, 2, 1, 0, 0, 1, 2, 2, 1, 0, 0, 1, 2};
constexpr int kSerpent525[30] = {0, 1, 2, 3, 4, 5, 5, 4, 3, 2, 1, 0, 0, 1, 2,
                                 3, 4, 5, 5, 4, 3, 2, 1, 0, 0, 1, 2, 3, 4, 5};

bool ValidSegment(DvSystem system, int segment) {
    return segment >= 0 && segment < VideoSegmentCount(system);
}

// --- Run/amplitude codes --------------------------------------------------------------------

struct Code {
    std::uint32_t bits = 0;
    int length = 0;
};

// The table's codes with their run and amplitude; the amplitude's sign follows each code with
// an amplitude as one more bit. Amplitude 0 codes stand for run + 1 zero coefficients.
struct TableCode {
    std::uint16_t bits;
    std::uint8_t length, run, amplitude;
};
constexpr TableCode kTable[] = {
    {0x0000, 2, 0, 1},   {0x0002, 3, 0, 2},   {0x0007, 4, 1, 1},   {0x0008, 4, 0, 3},
    {0x0009, 4, 0, 4},   {0x0014, 5, 2, 1},   {0x0015, 5, 1, 2},   {0x0016, 5, 0, 5},
    {0x0017, 5, 0, 6},   {0x0030, 6, 3, 1},   {0x0031, 6, 4, 1},   {0x0032, 6, 0, 7},
    {0x0033, 6, 0, 8},   {0x0068, 7, 5, 1},   {0x0069, 7, 6, 1},   {0x006a, 7, 2, 2},
    {0x006b, 7, 1, 3},   {0x006c, 7, 1, 4},   {0x006d, 7, 0, 9},   {0x006e, 7, 0, 10},
    {0x006f, 7, 0, 11},  {0x00e0, 8, 7, 1},   {0x00e1, 8, 8, 1},   {0x00e2, 8, 9, 1},
    {0x00e3, 8, 10, 1},  {0x00e4, 8, 3, 2},   {0x00e5, 8, 4, 2},   {0x00e6, 8, 2, 3},
    {0x00e7, 8, 1, 5},   {0x00e8, 8, 1, 6},   {0x00e9, 8, 1, 7},   {0x00ea, 8, 0, 12},
    {0x00eb, 8, 0, 13},  {0x00ec, 8, 0, 14},  {0x00ed, 8, 0, 15},  {0x00ee, 8, 0, 16},
    {0x00ef, 8, 0, 17},  {0x01e0, 9, 11, 1},  {0x01e1, 9, 12, 1},  {0x01e2, 9, 13, 1},
    {0x01e3, 9, 14, 1},  {0x01e4, 9, 5, 2},   {0x01e5, 9, 6, 2},   {0x01e6, 9, 3, 3},
    {0x01e7, 9, 4, 3},   {0x01e8, 9, 2, 4},   {0x01e9, 9, 2, 5},   {0x01ea, 9, 1, 8},
    {0x01eb, 9, 0, 18},  {0x01ec, 9, 0, 19},  {0x01ed, 9, 0, 20},  {0x01ee, 9, 0, 21},
    {0x01ef, 9, 0, 22},  {0x03e0, 10, 5, 3},  {0x03e1, 10, 3, 4},  {0x03e2, 10, 3, 5},
    {0x03e3, 10, 2, 6},  {0x03e4, 10, 1, 9},  {0x03e5, 10, 1, 10}, {0x03e6, 10, 1, 11},
    {0x07ce, 11, 0, 0},  {0x07cf, 11, 1, 0},  {0x07d0, 11, 6, 3},  {0x07d1, 11, 4, 4},
    {0x07d2, 11, 3, 6},  {0x07d3, 11, 1, 12}, {0x07d4, 11, 1, 13}, {0x07d5, 11, 1, 14},
    {0x0fac, 12, 2, 0},  {0x0fad, 12, 3, 0},  {0x0fae, 12, 4, 0},  {0x0faf, 12, 5, 0},
    {0x0fb0, 12, 7, 2},  {0x0fb1, 12, 8, 2},  {0x0fb2, 12, 9, 2},  {0x0fb3, 12, 10, 2},
    {0x0fb4, 12, 7, 3},  {0x0fb5, 12, 8, 3},  {0x0fb6, 12, 4, 5},  {0x0fb7, 12, 3, 7},
    {0x0fb8, 12, 2, 7},  {0x0fb9, 12, 2, 8},  {0x0fba, 12, 2, 9},  {0x0fbb, 12, 2, 10},
    {0x0fbc, 12, 2, 11}, {0x0fbd, 12, 1, 15}, {0x0fbe, 12, 1, 16}, {0x0fbf, 12, 1, 17},
};
constexpr Code kEndOfBlock{0x6, 4};
constexpr int kMaxRun = 63;
constexpr int kMaxAmplitude = 255;

// Codes of (run, amplitude) with the sign bit left 0, for every run 0-62 and amplitude 1-255:
// the table's own code when it has one, else a code for the zeros followed by one for the
// amplitude alone.
class CodeBook {
public:
    CodeBook() {
        std::array<Code, kMaxRun + 1> zeros{}; // zeros[n]: n zero coefficients, n >= 1
        for (const TableCode& t : kTable) {
            if (t.amplitude == 0)
                zeros[t.run + 1] = {t.bits, t.length};
            else
                codes_[t.run][t.amplitude] = {std::uint32_t(t.bits) << 1, t.length + 1};
        }
        for (int n = 1; n <= kMaxRun; ++n)
            if (zeros[n].length == 0) zeros[n] = {0x1f80u | std::uint32_t(n - 1), 13};
        for (int a = 1; a <= kMaxAmplitude; ++a)
            if (codes_[0][a].length == 0) codes_[0][a] = {(0x7f00u | std::uint32_t(a)) << 1, 16};
        for (int run = 1; run < kMaxRun; ++run)
            for (int a = 1; a <= kMaxAmplitude; ++a)
                if (codes_[run][a].length == 0)
                    codes_[run][a] = {zeros[run].bits << codes_[0][a].length | codes_[0][a].bits,
                                      zeros[run].length + codes_[0][a].length};
        for (int run = 0; run < kMaxRun; ++run)
            for (int a = 0; a <= kMaxAmplitude; ++a)
                lengths_[run][a] = static_cast<std::uint8_t>(codes_[run][a].length);
    }
    const Code& operator()(int run, int amplitude) const { return codes_[run][amplitude]; }
    // The lengths alone, in a table small enough to stay in cache while sizes are counted.
    int Length(int run, int amplitude) const { return lengths_[run][amplitude]; }

private:
    std::array<std::array<Code, kMaxAmplitude + 1>, kMaxRun> codes_{};
    std::array<std::array<std::uint8_t, kMaxAmplitude + 1>, kMaxRun> lengths_{};
};

const CodeBook& Codes() {
    static const CodeBook book;
    return book;
}

// --- Transform and quantisation -------------------------------------------------------------

constexpr std::uint8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
// The 8-8 weighting of each coefficient in scan order, times 2^19.
constexpr int kWeight[64] = {
    131072, 257107, 257107, 242189, 252167, 242189, 235923, 237536, 237536, 235923, 229376,
    231390, 223754, 231390, 229376, 222935, 224969, 217965, 217965, 224969, 222935, 200636,
    218652, 211916, 212325, 211916, 218652, 200636, 188995, 196781, 205965, 206433, 206433,
    205965, 196781, 188995, 185364, 185364, 200636, 200704, 200636, 185364, 185364, 174609,
    180568, 195068, 195068, 180568, 174609, 170091, 175557, 189591, 175557, 170091, 165371,
    170627, 170627, 165371, 160727, 153560, 160727, 144651, 144651, 136258};
// The same weights by position in the 8x8 block.
constexpr std::array<float, 64> kWeightByPosition = [] {
    std::array<float, 64> w{};
    for (int i = 0; i < 64; ++i)
        w[kZigzag[i]] = float(kWeight[i]);
    return w;
}();
// Scan positions where the four quantisation areas start.
constexpr int kAreaStart[5] = {1, 6, 21, 43, 64};
// Right shifts of each area, by quantisation number plus the class's offset.
constexpr std::uint8_t kAreaShift[22][4] = {
    {3, 3, 4, 4}, {3, 3, 4, 4}, {2, 3, 3, 4}, {2, 3, 3, 4}, {2, 2, 3, 3}, {2, 2, 3, 3},
    {1, 2, 2, 3}, {1, 2, 2, 3}, {1, 1, 2, 2}, {1, 1, 2, 2}, {0, 1, 1, 2}, {0, 1, 1, 2},
    {0, 0, 1, 1}, {0, 0, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
constexpr int kClassOffset[4] = {6, 3, 0, 1};
// Coefficients at most this large (in eighths) are taken as noise and not coded.
constexpr float kDeadZone = 7.5f / 8.0f;

struct DctMatrix {
    DctMatrix() {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                t[x][u] = c[u][x] =
                    static_cast<float>((u == 0 ? std::sqrt(0.125) : 0.5) *
                                       std::cos((2 * x + 1) * u * std::numbers::pi / 16.0));
    }
    float c[8][8]; // c[u][x]: basis u at sample x
    float t[8][8]; // its transpose
};

const DctMatrix& Dct() {
    static const DctMatrix m;
    return m;
}

// One block of a segment, from its pixels to its coded bits.
struct Block {
    int dc = 0;                           // 9-bit signed
    int klass = 0;                        // class number 0-3
    std::array<std::uint8_t, 64> level{}; // weighted amplitudes in scan order (0 = not coded)
    std::array<std::uint8_t, 64> sign{};
    std::array<std::uint8_t, 64> coded{}; // after quantisation
    // The scan positions whose level is not 0, in order: the sizes are counted over these only,
    // many times per block while the quantisation is chosen.
    std::array<std::uint8_t, 64> present{};
    int presentCount = 0;
};

// The quantisation area of each scan position.
constexpr std::array<std::uint8_t, 64> kAreaOf = [] {
    std::array<std::uint8_t, 64> area{};
    for (int a = 0; a < 4; ++a)
        for (int i = kAreaStart[a]; i < kAreaStart[a + 1]; ++i)
            area[std::size_t(i)] = static_cast<std::uint8_t>(a);
    return area;
}();

// Orthonormal 8x8 DCT of the pixels, then DC, weighting and class as the coding expects.
void Analyse(const std::uint8_t (&pixels)[64], bool chroma, Block& b) {
    const DctMatrix& m = Dct();
    // Rows, then columns: coef = C * P * C^T, inner loops along rows of eight.
    float rows[8][8] = {};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const float p = float(pixels[y * 8 + x]);
            for (int u = 0; u < 8; ++u)
                rows[y][u] += m.t[x][u] * p;
        }
    float coef[64];
    for (int v = 0; v < 8; ++v) {
        float s[8] = {};
        for (int y = 0; y < 8; ++y)
            for (int u = 0; u < 8; ++u)
                s[u] += m.c[v][y] * rows[y][u];
        for (int u = 0; u < 8; ++u)
            coef[v * 8 + u] = s[u];
    }
    // The DC is 8 x the mean; coded as (DC - 1024) / 4, rounded.
    const int dc = static_cast<int>(std::floor(coef[0]));
    b.dc = std::clamp((dc - 1024 + 2) >> 2, -256, 255);
    // Weighted in the transform's own order, which the compiler vectorises; then read out in
    // scan order.
    int weighted[64];
    for (int k = 0; k < 64; ++k) {
        const float a = std::abs(coef[k]);
        weighted[k] =
            a <= kDeadZone ? 0 : static_cast<int>(a * kWeightByPosition[k] / 524288.0f + 0.5f);
    }
    int largest = -1;
    for (int k = 1; k < 64; ++k)
        largest = std::max(largest, weighted[k] > 0 ? weighted[k] : -1);
    // Class 2 for a block with any AC coefficient, 3 when one exceeds what the codes carry;
    // chroma one class coarser. Class 3 halves the amplitudes.
    int klass = largest < 0 ? 0 : largest > kMaxAmplitude ? 3 : 2;
    if (chroma) klass = std::min(klass + 1, 3);
    b.klass = klass;
    const int halve = klass == 3 ? 1 : 0;
    b.presentCount = 0;
    for (int i = 1; i < 64; ++i) {
        const int k = kZigzag[i];
        b.sign[i] = coef[k] < 0;
        b.level[i] = static_cast<std::uint8_t>(std::min(weighted[k] >> halve, kMaxAmplitude));
        if (b.level[i] != 0)
            b.present[std::size_t(b.presentCount++)] = static_cast<std::uint8_t>(i);
    }
}

// Bits of the block's AC coefficients and end of block with `shift` per area applied and
// amplitudes below `floor` dropped; with `keep`, the coded amplitudes are stored.
int CodedBits(Block& b, const std::uint8_t (&shift)[4], int floor, bool keep) {
    const CodeBook& codes = Codes();
    int bits = kEndOfBlock.length;
    int last = 0;
    if (keep) b.coded.fill(0);
    for (int k = 0; k < b.presentCount; ++k) {
        const int i = b.present[std::size_t(k)];
        const int a = b.level[std::size_t(i)] >> shift[kAreaOf[std::size_t(i)]];
        if (a < floor) continue; // floor is at least 1: a 0 is never coded
        if (keep) b.coded[std::size_t(i)] = static_cast<std::uint8_t>(a);
        bits += codes.Length(i - last - 1, a);
        last = i;
    }
    return bits;
}

const std::uint8_t (&ShiftsFor(int qno, int klass))[4] {
    return kAreaShift[qno + kClassOffset[klass]];
}

// Chooses each macroblock's quantisation number so that the segment's AC bits fit: from the
// finest down, one macroblock at a time, and when even the coarsest does not fit, drops the
// smallest amplitudes until it does. Leaves every block's coded amplitudes set.
void Quantise(std::array<Block, kSegmentBlocks>& blocks, std::array<int, 5>& qno) {
    // Sizes by block and shift row, counted once each: neighbouring quantisation numbers
    // often share a row.
    std::array<std::array<std::int16_t, 22>, kSegmentBlocks> cache;
    for (auto& c : cache)
        c.fill(-1);
    std::array<int, 5> size{};
    auto measure = [&](int mb) {
        size[mb] = 0;
        for (int j = 0; j < kBlocksPerMacroblock; ++j) {
            const int n = mb * kBlocksPerMacroblock + j;
            Block& b = blocks[n];
            const int row = qno[mb] + kClassOffset[b.klass];
            if (cache[n][row] < 0)
                cache[n][row] = static_cast<std::int16_t>(CodedBits(b, kAreaShift[row], 1, false));
            size[mb] += cache[n][row];
        }
    };
    auto total = [&] { return size[0] + size[1] + size[2] + size[3] + size[4]; };
    auto keep = [&](int floor) {
        int bits = 0;
        for (int n = 0; n < kSegmentBlocks; ++n) {
            Block& b = blocks[n];
            bits += CodedBits(b, ShiftsFor(qno[n / kBlocksPerMacroblock], b.klass), floor, true);
        }
        return bits;
    };
    qno.fill(15);
    for (int mb = 0; mb < 5; ++mb)
        measure(mb);
    while (total() > kSegmentAcBits && (qno[0] | qno[1] | qno[2] | qno[3] | qno[4])) {
        for (int mb = 0; mb < 5; ++mb) {
            if (qno[mb] == 0) continue;
            --qno[mb];
            measure(mb);
            if (total() <= kSegmentAcBits) break;
        }
    }
    // Even the coarsest may not fit: the smallest amplitudes go.
    for (int floor = 1; keep(floor) > kSegmentAcBits && floor <= 256; floor *= 2) {
    }
}

// --- Bits into the DIF blocks ---------------------------------------------------------------

// Writes the low `n` bits of `bits` (most significant first) at bit `used` of zeroed bytes.
void WriteBits(std::uint8_t* data, int& used, std::uint32_t bits, int n) {
    while (n > 0) {
        const int free = 8 - (used & 7);
        const int k = std::min(free, n);
        const std::uint32_t chunk = (bits >> (n - k)) & ((1u << k) - 1);
        data[used >> 3] |= static_cast<std::uint8_t>(chunk << (free - k));
        used += k;
        n -= k;
    }
}

// The space of one block in its DIF block.
struct Space {
    std::uint8_t* data = nullptr;
    int capacity = 0; // bits
    int used = 0;
    int Free() const { return capacity - used; }
};

// A block's codes, the first `sent` bits of code `next` already written.
struct CodeString {
    std::array<Code, 64> codes;
    int count = 0;
    int next = 0;
    int sent = 0;
    bool Done() const { return next == count; }
};

// Moves the rest of `from` into the spaces from `cursor` on; returns the cursor.
int Spill(CodeString& from, std::span<Space> spaces, int cursor) {
    while (!from.Done() && cursor < int(spaces.size())) {
        Space& s = spaces[cursor];
        while (!from.Done() && s.Free() > 0) {
            const Code& c = from.codes[from.next];
            const int left = c.length - from.sent;
            const int k = std::min(left, s.Free());
            WriteBits(s.data, s.used, (c.bits >> (left - k)) & ((1u << k) - 1), k);
            from.sent += k;
            if (from.sent == c.length) {
                ++from.next;
                from.sent = 0;
            }
        }
        if (s.Free() == 0) ++cursor;
    }
    return cursor;
}

void Pack(const std::array<Block, kSegmentBlocks>& blocks, const std::array<int, 5>& qno,
          std::uint8_t* segment) {
    const CodeBook& codes = Codes();
    std::array<Space, kSegmentBlocks> spaces;
    std::array<CodeString, kSegmentBlocks> strings;
    for (int mb = 0; mb < 5; ++mb) {
        std::uint8_t* dif = segment + mb * kDifBlockBytes;
        dif[3] = static_cast<std::uint8_t>(qno[mb] & 0x0f); // status 0: no error
        std::uint8_t* p = dif + 4;
        for (int j = 0; j < kBlocksPerMacroblock; ++j) {
            const int n = mb * kBlocksPerMacroblock + j;
            std::memset(p, 0, std::size_t(kAreaBytes[j]));
            Space& space = spaces[n];
            space = Space{p, kAreaBytes[j] * 8, 0};
            p += kAreaBytes[j];
            const Block& b = blocks[n];
            // DC, 8-8 DCT mode, class.
            WriteBits(space.data, space.used,
                      (std::uint32_t(b.dc) & 0x1ff) << 3 | std::uint32_t(b.klass), 12);
            CodeString& out = strings[n];
            int last = 0;
            for (int k = 0; k < b.presentCount; ++k) {
                const int i = b.present[std::size_t(k)];
                if (b.coded[i] == 0) continue;
                Code c = codes(i - last - 1, b.coded[i]);
                c.bits |= b.sign[i];
                out.codes[out.count++] = c;
                last = i;
            }
            out.codes[out.count++] = kEndOfBlock;
        }
    }
    // First each block in its own space, then what is left over into the free space of the
    // same macroblock, then into that of the whole segment.
    for (int n = 0; n < kSegmentBlocks; ++n)
        Spill(strings[n], std::span(spaces).subspan(n, 1), 0);
    for (int mb = 0; mb < 5; ++mb) {
        const auto own = std::span(spaces).subspan(mb * kBlocksPerMacroblock, kBlocksPerMacroblock);
        int cursor = 0;
        for (int j = 0; j < kBlocksPerMacroblock; ++j)
            cursor = Spill(strings[mb * kBlocksPerMacroblock + j], own, cursor);
    }
    int cursor = 0;
    for (int n = 0; n < kSegmentBlocks; ++n)
        cursor = Spill(strings[n], spaces, cursor);
    // Unused whole bytes are all ones.
    for (Space& s : spaces) {
        const int firstFree = (s.used + 7) / 8;
        std::memset(s.data + firstFree, 0xff, std::size_t(s.capacity / 8 - firstFree));
    }
}

// The 8x8 pixels of block j of a macroblock.
void Gather(const ConstPicture& p, const MacroblockArea& a, int j, std::uint8_t (&out)[64]) {
    auto copy = [&](int plane, int x, int y) {
        for (int r = 0; r < 8; ++r)
            std::memcpy(out + r * 8, p.planes[plane] + p.strides[plane] * (y + r) + x, 8);
    };
    const bool square = a.width == 16;
    if (j < 4) {
        if (square)
            copy(0, a.x + (j & 1) * 8, a.y + (j >> 1) * 8);
        else
            copy(0, a.x + j * 8, a.y);
        return;
    }
    const int plane = j == 4 ? 2 : 1; // Cr first, then Cb
    if (p.layout == PixelLayout::Yuv420p) {
        copy(plane, a.x / 2, a.y / 2);
    } else if (!square) {
        copy(plane, a.x / 4, a.y);
    } else {
        // The right edge of 4:1:1: a 4x16 chroma column, coded as its top half beside its
        // bottom half.
        const int x = a.x / 4;
        for (int r = 0; r < 8; ++r) {
            std::memcpy(out + r * 8, p.planes[plane] + p.strides[plane] * (a.y + r) + x, 4);
            std::memcpy(out + r * 8 + 4, p.planes[plane] + p.strides[plane] * (a.y + 8 + r) + x, 4);
        }
    }
}

} // namespace

int VideoSegmentCount(DvSystem system) {
    return DifSequences(system) * kSegmentsPerSequence;
}

MacroblockArea MacroblockAreaOf(DvSystem system, int segment, int index) {
    if (!ValidSegment(system, segment) || index < 0 || index >= kMacroblocksPerSegment) return {};
    const int sequences = DifSequences(system);
    const int sequence = segment / kSegmentsPerSequence;
    const int slot = segment % kSegmentsPerSequence;
    const int row = (sequence + kRowOffset[index]) % sequences;
    if (system == DvSystem::Pal625) {
        const int x = kColumn625[index] + slot / 3;
        const int y = kSerpent625[slot] + row * 3;
        return {x * 16, y * 16, 16, 16};
    }
    // 525-line superblocks are staggered: the second and third columns start half a column on.
    const int k = slot + ((index == 1 || index == 2) ? 3 : 0);
    const int x = kColumn525[index] + k / 6;
    if (x > 21) return {704, (kSerpent525[k] * 2 + row * 6) * 8, 16, 16};
    return {x * 32, (kSerpent525[k] + row * 6) * 8, 32, 8};
}

std::size_t MacroblockBlockOffset(DvSystem system, int segment, int index) {
    const int sequence = segment / kSegmentsPerSequence;
    const int slot = segment % kSegmentsPerSequence;
    // Header, two subcode and three VAUX blocks; then an audio block before every 15 video
    // blocks (three segments).
    const int block = sequence * kDifBlocksPerSequence + 6 + slot / 3 + 1 + slot * 5 + index;
    (void)system;
    return std::size_t(block) * kDifBlockBytes;
}

std::vector<int> SegmentsTouching(DvSystem system, std::span<const PixelRect> rects) {
    std::vector<int> segments;
    const int count = VideoSegmentCount(system);
    for (int s = 0; s < count; ++s) {
        bool touched = false;
        for (int m = 0; m < kMacroblocksPerSegment && !touched; ++m) {
            const MacroblockArea a = MacroblockAreaOf(system, s, m);
            for (const PixelRect& r : rects) {
                if (r.width <= 0 || r.height <= 0) continue;
                if (r.x < a.x + a.width && a.x < r.x + r.width && r.y < a.y + a.height &&
                    a.y < r.y + r.height) {
                    touched = true;
                    break;
                }
            }
        }
        if (touched) segments.push_back(s);
    }
    return segments;
}

std::vector<PixelRect> SegmentAreas(DvSystem system, std::span<const int> segments) {
    std::vector<PixelRect> areas;
    for (const int s : segments)
        for (int m = 0; m < kMacroblocksPerSegment; ++m) {
            const MacroblockArea a = MacroblockAreaOf(system, s, m);
            if (a.width > 0) areas.push_back(PixelRect{a.x, a.y, a.width, a.height});
        }
    std::sort(areas.begin(), areas.end(), [](const PixelRect& a, const PixelRect& b) {
        return std::tie(a.y, a.height, a.x) < std::tie(b.y, b.height, b.x);
    });
    std::vector<PixelRect> merged;
    for (const PixelRect& a : areas) {
        PixelRect* last = merged.empty() ? nullptr : &merged.back();
        if (last && last->y == a.y && last->height == a.height && last->x + last->width == a.x)
            last->width += a.width;
        else
            merged.push_back(a);
    }
    return merged;
}

bool EncodeVideoSegment(DvSystem system, const ConstPicture& picture, int segment,
                        std::span<std::uint8_t> frame) {
    if (!ValidSegment(system, segment) || frame.size() < FrameBytes(system)) return false;
    if (picture.layout != NativeLayout(system) || picture.width != kDvWidth ||
        picture.height != FrameHeight(system) || !picture.planes[0] || !picture.planes[1] ||
        !picture.planes[2])
        return false;
    std::array<Block, kSegmentBlocks> blocks;
    for (int mb = 0; mb < kMacroblocksPerSegment; ++mb) {
        const MacroblockArea area = MacroblockAreaOf(system, segment, mb);
        for (int j = 0; j < kBlocksPerMacroblock; ++j) {
            std::uint8_t pixels[64];
            Gather(picture, area, j, pixels);
            Analyse(pixels, j >= 4, blocks[mb * kBlocksPerMacroblock + j]);
        }
    }
    std::array<int, 5> qno{};
    Quantise(blocks, qno);
    // The segment's five DIF blocks lie one after another in the frame.
    Pack(blocks, qno, frame.data() + MacroblockBlockOffset(system, segment, 0));
    return true;
}

} // namespace talvence::dvcodec
