// Chunks lexed side by side still run in file order, once each, and a stop
// or an error takes effect at its own chunk, whichever reader finishes first.
#include "line_chunks.h"

#include <gtest/gtest.h>

#include <chrono>
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

// Lines "0" to "count - 1", about seven chunks of them.
std::string NumberedFile(long& count)
{
    std::string text;
    for (count = 0; text.size() < 7 * TLineChunks<TNumbers>::kChunkBytes; ++count)
        text += std::to_string(count) + (count % 3 ? "\n" : "\r\n");
    return test::WriteTempFile("numbered.txt", text);
}

// Reads the file with four readers; the first chunk is slow, so later ones
// are lexed before it. Lexing line throwAt throws. The values run, in order.
std::vector<long> ReadNumbers(const std::string& path, size_t stopAfterBatches, long throwAt, bool& threw)
{
    TFile file;
    uint64_t size = 0;
    EXPECT_TRUE(file.Open(test::Wide(path)) && file.Size(size));
    std::vector<long> run;
    size_t batches = 0;
    threw = false;
    try {
        TLineChunks<TNumbers>(file, size, 0)
            .Read(
                4,
                [&](const char* line, size_t length, TNumbers& batch) {
                    if (length == 0) return;  // may stand between CR and LF at a chunk's start
                    const long value = std::stol(std::string(line, length));
                    if (value == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    if (value == throwAt) throw std::runtime_error("lex");
                    batch.Values.push_back(value);
                },
                [&](TNumbers& batch) {
                    run.insert(run.end(), batch.Values.begin(), batch.Values.end());
                    return ++batches < stopAfterBatches;
                });
    } catch (const std::runtime_error&) {
        threw = true;
    }
    return run;
}

// The values 0 .. count - 1 were run, each once and in order.
bool RanInOrder(const std::vector<long>& run, long count)
{
    if (static_cast<long>(run.size()) != count) return false;
    for (long i = 0; i < count; ++i)
        if (run[static_cast<size_t>(i)] != i) return false;
    return true;
}

TEST(LineChunks, BatchesRunInFileOrderAndStopAtTheirChunk)
{
    long count = 0;
    const std::string path = NumberedFile(count);
    bool threw = false;
    test::RunWithTimeout(60, "reading chunks", [&] {
        EXPECT_TRUE(RanInOrder(ReadNumbers(path, SIZE_MAX, -1, threw), count));
        EXPECT_FALSE(threw);

        // A stop after two batches: nothing later runs, though it was lexed.
        const std::vector<long> two = ReadNumbers(path, 2, -1, threw);
        EXPECT_FALSE(threw);
        EXPECT_TRUE(RanInOrder(two, static_cast<long>(two.size())));
        EXPECT_GT(two.size(), size_t(0));
        EXPECT_LT(two.size(), static_cast<size_t>(count) / 2);

        // An error in the last chunk is raised in its turn: everything before
        // it ran, though that chunk may have been lexed first.
        const std::vector<long> before = ReadNumbers(path, SIZE_MAX, count - 1, threw);
        EXPECT_TRUE(threw);
        EXPECT_TRUE(RanInOrder(before, static_cast<long>(before.size())));
        EXPECT_GT(before.size(), static_cast<size_t>(count) * 5 / 7);
    });
}

}  // namespace
}  // namespace voxaro
