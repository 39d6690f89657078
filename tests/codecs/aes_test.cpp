#include "codecs/aes.h"
#include "codecs/aes_kernels.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using codecs::AesKeySchedule;
using Kernel = std::function<void(const AesKeySchedule&, uint8_t*, const uint8_t*, size_t)>;

struct KernelPair {
    const char* name;
    Kernel encrypt;
    Kernel decrypt;
};

// Every kernel this processor can run, plus the dispatching entry points.
std::vector<KernelPair> Kernels() {
    std::vector<KernelPair> k = {
        {"dispatch", codecs::AesEncryptBlocks, codecs::AesDecryptBlocks},
        {"table", codecs::aes_internal::EncryptTable, codecs::aes_internal::DecryptTable},
    };
#if defined(__x86_64__) || defined(__i386__)
    if (codecs::aes_internal::CpuHasAesNi())
        k.push_back({"aes-ni", codecs::aes_internal::EncryptAesNi, codecs::aes_internal::DecryptAesNi});
#endif
    return k;
}

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string ToHex(const uint8_t* p, size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

// FIPS-197 appendix C: the example vectors for the three key lengths.
TEST(Aes, StandardVectorsBothDirectionsEveryKernel) {
    struct Row {
        const char* key;
        const char* cipher;
    };
    const Row rows[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "8ea2b7ca516745bfeafc49904b496089"},
    };
    const auto plain = FromHex("00112233445566778899aabbccddeeff");
    for (const Row& row : rows) {
        const auto key = FromHex(row.key);
        AesKeySchedule s;
        ASSERT_EQ(codecs::AesSetKeyBytes(s, key.data(), static_cast<int>(key.size())), 0);
        for (const KernelPair& k : Kernels()) {
            // Nine copies so the multi-block paths run too.
            std::vector<uint8_t> buf;
            for (int i = 0; i < 9; ++i) buf.insert(buf.end(), plain.begin(), plain.end());
            k.encrypt(s, buf.data(), buf.data(), 9);
            for (int i = 0; i < 9; ++i) EXPECT_EQ(ToHex(buf.data() + 16 * i, 16), row.cipher) << k.name << " " << key.size();
            k.decrypt(s, buf.data(), buf.data(), 9);
            for (int i = 0; i < 9; ++i) EXPECT_EQ(ToHex(buf.data() + 16 * i, 16), ToHex(plain.data(), 16)) << k.name;
        }
        uint8_t one[16];
        codecs::AesEncryptBlock(s, one, plain.data());
        EXPECT_EQ(ToHex(one, 16), row.cipher);
        codecs::AesDecryptBlock(s, one, one);
        EXPECT_EQ(ToHex(one, 16), ToHex(plain.data(), 16));
    }
}

// Password keying: cut, zero padding, refused lengths.
TEST(Aes, PasswordKeying) {
    struct Row {
        const char* text;
        int length;
        int result;
        const char* sameAsKey;  // hex of the raw key giving the same schedule; null when refused
    };
    const Row rows[] = {
        {"", 16, 0, "00000000000000000000000000000000"},
        {"abc", 16, 0, "61626300000000000000000000000000"},
        {"0123456789abcdefghijklmnopqrstuvWXYZ0123", 32, 0,
         "303132333435363738396162636465666768696a6b6c6d6e6f70717273747576"},
        {"0123456789abcdefghijklmnopqrstuv", 24, 0, "303132333435363738396162636465666768696a6b6c6d6e"},
        {"secret", 20, -1, nullptr},
        {"secret", 40, -1, nullptr},
        {"secret", 0, -1, nullptr},
        {"secret", 8, -1, nullptr},
    };
    for (const Row& row : rows) {
        AesKeySchedule before;
        ASSERT_EQ(codecs::AesSetKey(before, "previous", 16), 0);
        AesKeySchedule s = before;
        EXPECT_EQ(codecs::AesSetKey(s, row.text, row.length), row.result) << row.text << " " << row.length;
        if (!row.sameAsKey) {
            EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0) << "schedule changed on refusal";
            continue;
        }
        const auto key = FromHex(row.sameAsKey);
        AesKeySchedule expected;
        ASSERT_EQ(codecs::AesSetKeyBytes(expected, key.data(), static_cast<int>(key.size())), 0);
        EXPECT_EQ(std::memcmp(&s, &expected, sizeof s), 0) << row.text;
    }
}

// Random data against OpenSSL's ECB without padding; -K zero-pads a short
// hexadecimal key the same way a short password is padded here.
TEST(Aes, MatchesOpenSsl) {
    if (qvtest::Run("openssl version").exitCode != 0) GTEST_SKIP() << "openssl not available";
    qvtest::TempDir dir;
    std::mt19937 rng(7);
    std::vector<uint8_t> data(1 << 20);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    qvtest::WriteFileBytes(dir / "plain", data.data(), data.size());
    const std::string password = "secret";
    for (int length : {16, 32}) {
        const std::string cipher = "-aes-" + std::to_string(length * 8) + "-ecb";
        qvtest::RunOk("openssl enc " + cipher + " -nopad -K " + ToHex(reinterpret_cast<const uint8_t*>(password.data()), password.size()) +
                      " -in " + qvtest::ShellQuote(dir / "plain") + " -out " + qvtest::ShellQuote(dir / "peer"));
        const auto peer = qvtest::ReadFileBytes(dir / "peer");
        ASSERT_EQ(peer.size(), data.size());
        AesKeySchedule s;
        ASSERT_EQ(codecs::AesSetKey(s, password.c_str(), length), 0);
        for (const KernelPair& k : Kernels()) {
            std::vector<uint8_t> ours(data.size());
            k.encrypt(s, ours.data(), data.data(), data.size() / 16);
            EXPECT_TRUE(ours == peer) << k.name << " " << length;
            k.decrypt(s, ours.data(), ours.data(), ours.size() / 16);
            EXPECT_TRUE(ours == data) << k.name << " " << length;
        }
    }
}

}  // namespace
