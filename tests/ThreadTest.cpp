// One cipher object shared by many threads at once, as callers are allowed to: after
// construction an object is only read. Every result is checked against what one thread got
// before the others started; the tsan preset runs this under ThreadSanitizer, which also
// reports any write to shared state that the results alone would not show.
#include "QAsciiCrypt.h"
#include "QSimpleCrypt.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{

const int kThreads = 8;
const int kRounds = 200;

// Texts of the domain 32..last, of lengths around one and several 16-character steps.
std::vector<std::string> Texts(int last)
{
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> character(32, last);
    std::vector<std::string> texts;
    for (size_t length : {1, 15, 16, 17, 100, 255, 256, 257, 700}) {
        std::string text(length, ' ');
        for (char& c : text)
            c = static_cast<char>(character(random));
        texts.push_back(text);
    }
    return texts;
}

// Each thread goes through every text, starting at a different one, encrypting and decrypting
// into its own buffers and in place, and counts results that differ from the expected ones.
template <class Cipher>
int WrongResultsUnderSharing(int last)
{
    Cipher shared;
    const std::vector<std::string> plain = Texts(last);
    std::vector<std::string> scrambled;
    for (const std::string& text : plain) {
        std::string out(text.size(), '\0');
        shared.Encrypt(text.data(), &out[0], static_cast<unsigned int>(text.size()));
        scrambled.push_back(out);
    }

    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    auto work = [&](int first) {
        while (!go.load())
            std::this_thread::yield();
        for (int round = 0; round < kRounds; ++round) {
            for (size_t n = 0; n < plain.size(); ++n) {
                const size_t k = (n + static_cast<size_t>(first)) % plain.size();
                const unsigned int len = static_cast<unsigned int>(plain[k].size());
                std::string out(len, '\0');
                shared.Encrypt(plain[k].data(), &out[0], len);
                wrong += out != scrambled[k];
                shared.Decrypt(out.data(), &out[0], static_cast<int>(len));
                wrong += out != plain[k];

                std::string inPlace = plain[k];
                shared.Encrypt(&inPlace[0], &inPlace[0], len);
                wrong += inPlace != scrambled[k];
                std::string back(len, '\0');
                shared.Decrypt(inPlace.data(), &back[0], static_cast<int>(len));
                wrong += back != plain[k];
            }
        }
    };

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(work, t);
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    return wrong.load();
}

} // namespace

TEST(SharedCipher, SimpleCryptServesManyThreadsAtOnce)
{
    EXPECT_EQ(WrongResultsUnderSharing<QHxSimpleCrypt>(127), 0);
}

TEST(SharedCipher, AsciiCryptServesManyThreadsAtOnce)
{
    EXPECT_EQ(WrongResultsUnderSharing<QHxAsciiCrypt>(122), 0);
}
