// Encrypt and Decrypt of both ciphers against the straightforward Decrypt, which measures its
// row and searches it byte by byte at every position. Compare the figures of one run only:
// bench/ratios.py turns them into ratios against that baseline and against Encrypt.
#include "QAsciiCrypt.h"
#include "QSimpleCrypt.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

namespace
{

template <class C, int Last>
struct Cipher {
    using Type = C;
    static constexpr int kLast = Last;
    static constexpr int kDomain = Last - 31;
};
using Simple = Cipher<QHxSimpleCrypt, 127>;
using Ascii = Cipher<QHxAsciiCrypt, 122>;

// The baseline. Its rows are read back through Encrypt, so it decrypts exactly what the
// cipher's own Decrypt does.
template <class T>
class StraightDecrypt
{
  public:
    StraightDecrypt() : m_rows{}
    {
        std::string pairs; // position 16 * k + r holds k + 32
        for (int k = 0; k < T::kDomain; ++k) {
            pairs += std::string(16, static_cast<char>(k + 32));
        }
        std::string out(pairs.size(), '\0');
        typename T::Type().Encrypt(pairs.data(), &out[0], static_cast<unsigned int>(out.size()));
        for (size_t i = 0; i < out.size(); ++i) {
            m_rows[i % 16][i / 16] = out[i];
        }
    }

    void Decrypt(const char* scrambled, char* out, int len)
    {
        for (int i = 0; i < len; ++i) {
            const char* row = m_rows[i % 16];
            const int n = static_cast<int>(std::strlen(row));
            int k = -1;
            for (int j = 0; j < n; ++j) {
                if (row[j] == scrambled[i]) {
                    k = j;
                    break;
                }
            }
            out[i] = static_cast<char>(k + 32);
        }
    }

  private:
    char m_rows[16][100];
};

template <class T>
std::string PlainText(size_t len)
{
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> pick(32, T::kLast);
    std::string text(len, '\0');
    for (char& c : text) {
        c = static_cast<char>(pick(rng));
    }
    return text;
}

template <class T>
std::string Scrambled(size_t len)
{
    const std::string plain = PlainText<T>(len);
    std::string out(len, '\0');
    typename T::Type().Encrypt(plain.data(), &out[0], static_cast<unsigned int>(len));
    return out;
}

template <class T>
void Encrypt(benchmark::State& state)
{
    typename T::Type cipher;
    const std::string in = PlainText<T>(state.range(0));
    std::string out(in.size(), '\0');
    for (auto _ : state) {
        cipher.Encrypt(in.data(), &out[0], static_cast<unsigned int>(in.size()));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

template <class T, class D>
void DecryptWith(benchmark::State& state)
{
    D decryptor;
    const std::string in = Scrambled<T>(state.range(0));
    std::string out(in.size(), '\0');
    for (auto _ : state) {
        decryptor.Decrypt(in.data(), &out[0], static_cast<int>(in.size()));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != PlainText<T>(in.size())) {
        state.SkipWithError("Decrypt did not restore the text");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

template <class T>
void Decrypt(benchmark::State& state)
{
    DecryptWith<T, typename T::Type>(state);
}

template <class T>
void Baseline(benchmark::State& state)
{
    DecryptWith<T, StraightDecrypt<T>>(state);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    b->Arg(24)->Arg(1 << 10)->Arg(64 << 10);
}

} // namespace

BENCHMARK_TEMPLATE(Encrypt, Simple)->Apply(Sizes);
BENCHMARK_TEMPLATE(Decrypt, Simple)->Apply(Sizes);
BENCHMARK_TEMPLATE(Baseline, Simple)->Apply(Sizes);
BENCHMARK_TEMPLATE(Encrypt, Ascii)->Apply(Sizes);
BENCHMARK_TEMPLATE(Decrypt, Ascii)->Apply(Sizes);
BENCHMARK_TEMPLATE(Baseline, Ascii)->Apply(Sizes);

BENCHMARK_MAIN();
