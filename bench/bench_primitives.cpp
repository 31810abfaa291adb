// Micro-benchmarks of the anonymization primitives, AES-128 and CryptoPAn.
// Items per second are fields (addresses, blocks) per second on one core.

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "anonprimitives/AnonCryptoPan.h"
#include "anonprimitives/AnonFactory.h"
#include "anonprimitives/AnonPrimitive.h"
#include "anonprimitives/RijndaelCipher.h"
#include "anonprimitives/Sha1.h"

namespace {

const std::string KEY = "veilcap-benchmark-key-32-bytes!!";

// Forces the portable AES path for the lifetime of the object when asked.
class HardwareChoice {
  public:
    HardwareChoice(benchmark::State& state, bool hardware) {
        RijndaelCipher::setUseHardware(hardware);
        state.SetLabel(RijndaelCipher::usingHardware() ? "aes-ni" : "portable");
    }
    ~HardwareChoice() { RijndaelCipher::setUseHardware(true); }
};

void BM_AesBlock(benchmark::State& state) {
    HardwareChoice choice(state, state.range(0) != 0);
    uint8_t key[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    RijndaelCipher cipher(key);
    uint8_t block[16] = {0};
    for (auto _ : state) {
        cipher.encrypt(block, block);
        benchmark::DoNotOptimize(block);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AesBlock)->Arg(1)->Arg(0);

void BM_CryptoPanIpv4(benchmark::State& state) {
    HardwareChoice choice(state, state.range(0) != 0);
    AnonCryptoPan primitive(KEY);
    uint32_t counter = 0x0A000000;
    uint8_t address[4];
    for (auto _ : state) {
        address[0] = uint8_t(counter >> 24);
        address[1] = uint8_t(counter >> 16);
        address[2] = uint8_t(counter >> 8);
        address[3] = uint8_t(counter);
        primitive.anonymize(address, 4);
        benchmark::DoNotOptimize(address);
        counter += 0x01000193;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CryptoPanIpv4)->Arg(1)->Arg(0);

void BM_CryptoPanIpv6(benchmark::State& state) {
    HardwareChoice choice(state, state.range(0) != 0);
    AnonCryptoPan primitive(KEY);
    uint8_t address[16] = {0x20, 0x01, 0x0d, 0xb8};
    uint32_t counter = 0;
    for (auto _ : state) {
        std::memcpy(address + 12, &counter, 4);
        primitive.anonymize(address, 16);
        benchmark::DoNotOptimize(address);
        counter++;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CryptoPanIpv6)->Arg(1)->Arg(0);

void BM_Sha1(benchmark::State& state) {
    std::vector<uint8_t> data(state.range(0), 0x5A);
    uint8_t digest[SHA1_DIGEST_LENGTH];
    Sha1Context context;
    for (auto _ : state) {
        sha1Init(&context);
        sha1Update(&context, data.data(), static_cast<uint32_t>(data.size()));
        sha1Final(digest, &context);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Sha1)->Arg(20)->Arg(1460);

// One primitive chain from the factory on a field of the given length.
void runChain(benchmark::State& state, const std::map<std::string, std::string>& attributes) {
    AnonFactory factory;
    AnonPrimitive* chain = factory.create(attributes);
    std::vector<uint8_t> field(state.range(0), 0x11);
    for (auto _ : state) {
        uint32_t length = chain->anonymizeChain(field.data(), static_cast<uint32_t>(field.size()));
        benchmark::DoNotOptimize(length);
        benchmark::DoNotOptimize(field.data());
    }
    state.SetItemsProcessed(state.iterations());
    AnonPrimitive::destroyChain(chain);
}

void BM_HashSha1(benchmark::State& state) {
    runChain(state, {{"anon", "AnonHashSha1"}});
}
BENCHMARK(BM_HashSha1)->Arg(6)->Arg(1460);

void BM_HashHmacSha1(benchmark::State& state) {
    runChain(state, {{"anon", "AnonHashHmacSha1"}, {"key", KEY}});
}
BENCHMARK(BM_HashHmacSha1)->Arg(6)->Arg(1460);

void BM_BytewiseHashSha1(benchmark::State& state) {
    runChain(state, {{"anon", "AnonBytewiseHashSha1"}});
}
BENCHMARK(BM_BytewiseHashSha1)->Arg(6)->Arg(1460);

void BM_Randomize(benchmark::State& state) {
    runChain(state, {{"anon", "AnonRandomize"}});
}
BENCHMARK(BM_Randomize)->Arg(6)->Arg(1460);

void BM_Shuffle(benchmark::State& state) {
    runChain(state, {{"anon", "AnonShuffle"}});
}
BENCHMARK(BM_Shuffle)->Arg(6)->Arg(1460);

void BM_Whitenoise(benchmark::State& state) {
    runChain(state, {{"anon", "AnonWhitenoise"}, {"strength", "5"}});
}
BENCHMARK(BM_Whitenoise)->Arg(6)->Arg(1460);

void BM_BroadcastCryptoPanChain(benchmark::State& state) {
    runChain(state, {{"anon", "AnonBroadcastHandler,AnonCryptoPan"}, {"key", KEY}});
}
BENCHMARK(BM_BroadcastCryptoPanChain)->Arg(4);

}  // namespace

BENCHMARK_MAIN();
