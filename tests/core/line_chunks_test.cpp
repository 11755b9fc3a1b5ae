// Chunks lexed side by side still run in file order, once each, and a stop
// or an error takes effect at its own chunk, whichever reader finishes first.
#include "line_chunks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "test_files.h"

namespace voxaro {
namespace {

struct TNumbers {
    std::vector<long> Values;
    void clear() { Values.clear(); }
};

// Reads lines "0", "1", ... (about seven chunks) with four readers, handed
// out as Mode says; the first chunk is slow, so later ones are lexed before
// it, and lexing line throwAt throws. Returns the values run, in order.
template <THandOut Mode = THandOut::Lines>
std::vector<long> ReadNumbers(const std::string& path, size_t stopAfterBatches, long throwAt, bool& threw)
{
    TFile file;
    uint64_t size = 0;
    EXPECT_TRUE(file.Open(test::Wide(path)) && file.Size(size));
    std::vector<long> run;
    size_t batches = 0;
    threw = false;
    auto line = [&](const char* begin, const char* end, TNumbers& batch) {
        if (begin == end) return;  // may stand between CR and LF at a chunk's start
        const long value = std::stol(std::string(begin, end));
        if (value == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (value == throwAt) throw std::runtime_error("lex");
        batch.Values.push_back(value);
    };
    auto lex = [&](const char* text, size_t length, TNumbers& batch) {
        if (Mode == THandOut::Lines) return line(text, text + length, batch);
        ForEachLine(text, text + length, [&](const char* b, const char* e) { line(b, e, batch); });
    };
    try {
        TLineChunks<TNumbers, Mode>(file, size, 0).Read(4, lex, [&](TNumbers& batch) {
            run.insert(run.end(), batch.Values.begin(), batch.Values.end());
            return ++batches < stopAfterBatches;
        });
    } catch (const std::runtime_error&) {
        threw = true;
    }
    return run;
}

std::vector<long> Count(size_t n)
{
    std::vector<long> v(n);
    std::iota(v.begin(), v.end(), 0L);
    return v;
}

TEST(LineChunks, BatchesRunInFileOrderAndStopAtTheirChunk)
{
    std::string text;
    long count = 0;
    for (; text.size() < 7 * TLineChunks<TNumbers>::kChunkBytes; ++count)
        text += std::to_string(count) + (count % 3 ? "\n" : "\r\n");
    const std::string path = test::WriteTempFile("numbered.txt", text);
    bool threw = false;
    test::RunWithTimeout(60, "reading chunks", [&] {
        EXPECT_EQ(ReadNumbers(path, SIZE_MAX, -1, threw), Count(static_cast<size_t>(count)));
        EXPECT_FALSE(threw);
        // Runs of whole lines: every line in one run, once.
        EXPECT_EQ(ReadNumbers<THandOut::Spans>(path, SIZE_MAX, -1, threw), Count(static_cast<size_t>(count)));
        // A stop after two batches: nothing later runs, though it was lexed.
        const std::vector<long> two = ReadNumbers(path, 2, -1, threw);
        EXPECT_EQ(two, Count(two.size()));
        EXPECT_GT(two.size(), size_t(0));
        EXPECT_LT(two.size(), static_cast<size_t>(count) / 2);
        EXPECT_FALSE(threw);
        // An error in the last chunk is raised in its turn, after all before it ran.
        const std::vector<long> before = ReadNumbers(path, SIZE_MAX, count - 1, threw);
        EXPECT_EQ(before, Count(before.size()));
        EXPECT_GT(before.size(), static_cast<size_t>(count) * 5 / 7);
        EXPECT_TRUE(threw);
    });
}

}  // namespace
}  // namespace voxaro
