#include "winutil/overlay_shape_x11.h"

#include <QImage>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using Word = std::uint64_t;
constexpr int kBits = 64;

struct Run {
    int left;
    int right; // one past the last pixel
    bool operator==(const Run&) const = default;
};

// Gathers the runs of pixels row by row into YX-banded rectangles: rows whose runs repeat
// the band's make it taller, any other row starts a band of its own.
class Bands {
public:
    Bands(std::vector<QRect>& rects, QPoint origin) : m_rects(rects), m_origin(origin) {}

    // The runs of row y (rows in ascending order); runs may be taken over.
    void addRow(int y, std::vector<Run>& runs) {
        if (y > 0 && runs == m_band)
            return;
        close(y);
        m_band.swap(runs);
        m_top = y;
    }
    void finish(int height) { close(height); }

private:
    void close(int bottom) { // one past the band's last row
        for (const Run& run : m_band)
            m_rects.emplace_back(m_origin.x() + run.left, m_origin.y() + m_top,
                                 run.right - run.left, bottom - m_top);
    }

    std::vector<QRect>& m_rects;
    QPoint m_origin;
    std::vector<Run> m_band;
    int m_top = 0;
};

Word lowBits(int count) {
    return count >= kBits ? ~Word(0) : (Word(1) << count) - 1;
}

// The runs of bits that are on among the first width bits of words (the bits past width
// are 0); none for no words. A word at a time: a run is found with two bit scans.
void runsOfBits(const Word* words, int width, std::vector<Run>& runs) {
    runs.clear();
    if (!words)
        return;
    int open = -1; // where a run that goes on into the next word began
    for (int index = 0; index * kBits < width; ++index) {
        const int base = index * kBits;
        Word word = words[index];
        int at = 0; // bits of the word consumed
        while (at < kBits) {
            if (open < 0) {
                if (word == 0)
                    break;
                const int zeros = std::countr_zero(word);
                open = base + at + zeros;
                word >>= zeros;
                at += zeros;
            }
            const int ones = std::countr_one(word);
            if (at + ones >= kBits)
                break; // the run reaches the word's end
            runs.push_back({open, base + at + ones});
            open = -1;
            word >>= ones;
            at += ones;
        }
    }
    if (open >= 0)
        runs.push_back({open, width});
}

// width bits of row from bit at on, into out (whose bits past width are 0).
void readBits(const Word* row, int rowWords, int at, int width, Word* out) {
    for (int i = 0; i * kBits < width; ++i) {
        const int bit = at + i * kBits;
        const int index = bit / kBits;
        const int shift = bit % kBits;
        Word value = row[index] >> shift;
        if (shift != 0 && index + 1 < rowWords)
            value |= row[index + 1] << (kBits - shift);
        out[i] = value & lowBits(width - i * kBits);
    }
}

// The reverse: width bits of in written into row from bit at on.
void writeBits(Word* row, int at, int width, const Word* in) {
    for (int i = 0; i * kBits < width; ++i) {
        const int count = std::min(kBits, width - i * kBits);
        const Word value = in[i] & lowBits(count);
        const int bit = at + i * kBits;
        const int index = bit / kBits;
        const int shift = bit % kBits;
        row[index] = (row[index] & ~(lowBits(count) << shift)) | (value << shift);
        if (shift != 0 && count > kBits - shift) {
            const Word spilled = lowBits(count - (kBits - shift));
            row[index + 1] = (row[index + 1] & ~spilled) | (value >> (kBits - shift));
        }
    }
}

// One bit a pixel of width pixels into out: whether the pixel's colour differs from key in
// red, green or blue (byAlpha false), or whether its alpha is not 0 (byAlpha true).
void bitsOf(const QRgb* pixels, int width, bool byAlpha, QRgb key, Word* out) {
    int x = 0;
    for (int i = 0; x < width; ++i) {
        const int end = std::min(width, x + kBits);
        Word word = 0;
        int bit = 0;
#if defined(__SSE2__)
        // Four pixels a step: the row of a band is compared at about a cycle a pixel.
        const __m128i mask = _mm_set1_epi32(byAlpha ? int(0xFF000000) : 0x00FFFFFF);
        const __m128i reference = _mm_set1_epi32(byAlpha ? 0 : int(key & 0x00FFFFFF));
        for (; x + 4 <= end; x += 4, bit += 4) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
            const __m128i same = _mm_cmpeq_epi32(_mm_and_si128(four, mask), reference);
            const int invisible = _mm_movemask_ps(_mm_castsi128_ps(same));
            word |= Word(~invisible & 0xF) << bit;
        }
#endif
        for (; x < end; ++x, ++bit) {
            const bool visible =
                byAlpha ? qAlpha(pixels[x]) != 0 : ((pixels[x] ^ key) & 0x00FFFFFF) != 0;
            word |= Word(visible) << bit;
        }
        out[i] = word;
    }
}

} // namespace

void VisiblePixels::reset(QSize size) {
    m_size = size.expandedTo(QSize(0, 0));
    m_wordsPerRow = (m_size.width() + kBits - 1) / kBits;
    m_bits.assign(size_t(m_wordsPerRow) * size_t(m_size.height()), 0);
}

VisibleChange VisiblePixels::replace(const QRect& area, const QImage& content,
                                     std::optional<QRgb> key) {
    VisibleChange change;
    const QRect scanned = area & QRect(QPoint(), m_size) & QRect(area.topLeft(), content.size());
    if (scanned.isEmpty())
        return change;
    const QImage* image = &content;
    QImage converted;
    const QImage::Format wanted = key ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
    if (content.format() != wanted && content.format() != QImage::Format_ARGB32) {
        converted = content.convertToFormat(wanted);
        image = &converted;
    }
    const QRgb keyColour = key.value_or(0);

    const int width = scanned.width();
    const int words = (width + kBits - 1) / kBits;
    const auto wordCount = static_cast<size_t>(words);
    m_before.resize(wordCount);
    m_now.resize(wordCount);
    m_shown.resize(wordCount);
    m_hidden.resize(wordCount);
    Word* shownBits = m_shown.data();
    Word* hiddenBits = m_hidden.data();
    // A line of text gives some tens of rectangles; room for them at once.
    change.shown.reserve(64);
    change.hidden.reserve(64);
    Bands shown(change.shown, scanned.topLeft());
    Bands hidden(change.hidden, scanned.topLeft());
    std::vector<Run> runs;
    int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
    const QPoint from = scanned.topLeft() - area.topLeft();
    const size_t rowBytes = size_t(width) * sizeof(QRgb);
    const QRgb* previous = nullptr;
    for (int y = 0; y < scanned.height(); ++y) {
        const QRgb* pixels =
            reinterpret_cast<const QRgb*>(image->constScanLine(from.y() + y)) + from.x();
        // Most rows repeat the one above byte for byte (empty rows above all): the same bits.
        if (!previous || std::memcmp(pixels, previous, rowBytes) != 0)
            bitsOf(pixels, width, !key, keyColour, m_now.data());
        previous = pixels;
        Word* bits = row(scanned.top() + y);
        readBits(bits, m_wordsPerRow, scanned.left(), width, m_before.data());
        bool any = false;
        Word anyShown = 0;
        Word anyHidden = 0;
        for (int i = 0; i < words; ++i) {
            shownBits[i] = m_now[size_t(i)] & ~m_before[size_t(i)];
            hiddenBits[i] = m_before[size_t(i)] & ~m_now[size_t(i)];
            anyShown |= shownBits[i];
            anyHidden |= hiddenBits[i];
            if (const Word either = m_now[size_t(i)] | m_before[size_t(i)]) {
                if (!any)
                    left = std::min(left, i * kBits + std::countr_zero(either));
                right = std::max(right, i * kBits + kBits - 1 - std::countl_zero(either));
                any = true;
            }
        }
        if (any) {
            top = std::min(top, y);
            bottom = y;
        }
        // Rows where nothing turns visible (or invisible) are most rows.
        runsOfBits(anyShown ? shownBits : nullptr, width, runs);
        shown.addRow(y, runs);
        runsOfBits(anyHidden ? hiddenBits : nullptr, width, runs);
        hidden.addRow(y, runs);
        if (anyShown | anyHidden)
            writeBits(bits, scanned.left(), width, m_now.data());
    }
    shown.finish(scanned.height());
    hidden.finish(scanned.height());
    if (bottom >= 0)
        change.touched =
            QRect(QPoint(left, top), QPoint(right, bottom)).translated(scanned.topLeft());
    return change;
}
