#pragma once
// A small HFS+ volume written from the documented layout (Apple TN1150), for
// the variants no Debian tool makes: an HFS wrapper, HFSX, a file whose
// extents continue in the extents overflow file, and damage. The volume
// holds a.txt, big (ten one-block extents, two of them in the overflow
// file), sub/ and sub/c; sleuthkit and 7z read it as such.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace hfstest {

inline std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class HfsPlusBuilder {
public:
    static constexpr uint32_t kBlock = 4096;
    static constexpr uint32_t kNode = 4096;
    static constexpr uint32_t kBlocks = 40;
    static constexpr uint32_t kExtentsBlock = 2;   // two nodes: header, leaf
    static constexpr uint32_t kCatalogBlock = 4;   // two nodes: header, leaf
    static constexpr uint32_t kBigFirstBlock = 10; // big's blocks: 10, 12, ..., 28
    static constexpr uint32_t kDate = 1600000000u + 2082844800u;

    bool hfsx = false;
    std::vector<uint8_t> aText = Bytes("hello\n");
    std::vector<uint8_t> big;                      // ten blocks less 100 bytes
    std::vector<uint8_t> cText = Bytes("c file\n");

    HfsPlusBuilder() {
        big.resize(10 * kBlock - 100);
        for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7 + i / 4096);
    }

    static std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> v(size_t(kBlocks) * kBlock, 0);
        // Volume header.
        uint8_t* h = &v[1024];
        h[0] = 'H';
        h[1] = hfsx ? 'X' : '+';
        Be16(h + 2, hfsx ? 5 : 4);
        Be32(h + 4, 0x100);
        std::memcpy(h + 8, "10.0", 4);
        Be32(h + 16, kDate);
        Be32(h + 20, kDate);
        Be32(h + 32, 3);
        Be32(h + 36, 1);
        Be32(h + 40, kBlock);
        Be32(h + 44, kBlocks);
        Be32(h + 64, 20);
        Fork(h + 112, kBlock, {{1, 1}});
        Fork(h + 192, 2 * kNode, {{kExtentsBlock, 2}});
        Fork(h + 272, 2 * kNode, {{kCatalogBlock, 2}});
        // Allocation bitmap: every block in use keeps it simple.
        std::memset(&v[size_t(kBlock)], 0xFF, kBlocks / 8);

        // Extents overflow: big's blocks 8 and 9.
        uint8_t* ext = &v[size_t(kExtentsBlock) * kBlock];
        HeaderNode(ext, 1, 10, 2, 0);
        std::vector<std::vector<uint8_t>> extRecords;
        {
            std::vector<uint8_t> r(12 + 64, 0);
            Be16(&r[0], 10);
            Be32(&r[4], 17);
            Be32(&r[8], 8);
            Be32(&r[12], kBigFirstBlock + 16);
            Be32(&r[16], 1);
            Be32(&r[20], kBigFirstBlock + 18);
            Be32(&r[24], 1);
            extRecords.push_back(r);
        }
        LeafNode(ext + kNode, extRecords);

        // Catalog, in key order.
        std::vector<std::vector<uint8_t>> cat;
        cat.push_back(Key(1, u"Vol") + Folder(2, 2));
        cat.push_back(Key(2, u"") + Thread(3, 1, u"Vol"));
        cat.push_back(Key(2, u"a.txt") + File(16, aText.size(), {{6, 1}}));
        std::vector<std::pair<uint32_t, uint32_t>> bigExtents;
        for (uint32_t i = 0; i < 8; ++i) bigExtents.push_back({kBigFirstBlock + 2 * i, 1});
        cat.push_back(Key(2, u"big") + File(17, big.size(), bigExtents));
        cat.push_back(Key(2, u"sub") + Folder(18, 1));
        cat.push_back(Key(16, u"") + Thread(4, 2, u"a.txt"));
        cat.push_back(Key(17, u"") + Thread(4, 2, u"big"));
        cat.push_back(Key(18, u"") + Thread(3, 2, u"sub"));
        cat.push_back(Key(18, u"c") + File(19, cText.size(), {{7, 1}}));
        cat.push_back(Key(19, u"") + Thread(4, 18, u"c"));
        uint8_t* catalog = &v[size_t(kCatalogBlock) * kBlock];
        HeaderNode(catalog, 1, 516, 6, uint32_t(cat.size()));
        catalog[14 + 37] = hfsx ? 0xBC : 0xCF;
        LeafNode(catalog + kNode, cat);

        // File data.
        std::memcpy(&v[6 * kBlock], aText.data(), aText.size());
        std::memcpy(&v[7 * kBlock], cText.data(), cText.size());
        for (uint32_t i = 0; i < 10; ++i) {
            const size_t from = size_t(i) * kBlock;
            const size_t n = std::min<size_t>(kBlock, big.size() - from);
            std::memcpy(&v[size_t(kBigFirstBlock + 2 * i) * kBlock], &big[from], n);
        }
        return v;
    }

    // The volume inside an HFS wrapper of 512-byte blocks whose embedded
    // volume starts at wrapper block `embeddedStart`.
    std::vector<uint8_t> BuildWrapped(uint16_t embeddedStart = 8) const {
        const std::vector<uint8_t> plus = Build();
        const size_t at = 4096 + size_t(embeddedStart) * 512;
        std::vector<uint8_t> v(at + plus.size(), 0);
        uint8_t* m = &v[1024];
        m[0] = 'B';
        m[1] = 'D';
        Be16(m + 10, 0x8200);
        Be16(m + 18, uint16_t((v.size() - 4096) / 512));
        Be32(m + 20, 512);
        Be16(m + 28, 8);   // allocation block 0 at 4096
        m[124] = 'H';
        m[125] = hfsx ? 'X' : '+';
        Be16(m + 126, embeddedStart);
        Be16(m + 128, uint16_t(plus.size() / 512));
        std::memcpy(&v[at], plus.data(), plus.size());
        return v;
    }

    static void Be16(uint8_t* p, uint32_t v) {
        p[0] = uint8_t(v >> 8);
        p[1] = uint8_t(v);
    }
    static void Be32(uint8_t* p, uint32_t v) {
        Be16(p, v >> 16);
        Be16(p + 2, v);
    }
    static void Be64(uint8_t* p, uint64_t v) {
        Be32(p, uint32_t(v >> 32));
        Be32(p + 4, uint32_t(v));
    }

private:
    static std::vector<uint8_t> Key(uint32_t parent, const std::u16string& name) {
        std::vector<uint8_t> k(8 + 2 * name.size(), 0);
        Be16(&k[0], uint32_t(6 + 2 * name.size()));
        Be32(&k[2], parent);
        Be16(&k[6], uint32_t(name.size()));
        for (size_t i = 0; i < name.size(); ++i) Be16(&k[8 + 2 * i], name[i]);
        return k;
    }
    static void Fork(uint8_t* f, uint64_t logical, const std::vector<std::pair<uint32_t, uint32_t>>& extents) {
        Be64(f, logical);
        uint32_t blocks = 0;
        for (size_t i = 0; i < extents.size() && i < 8; ++i) {
            Be32(f + 16 + 8 * i, extents[i].first);
            Be32(f + 20 + 8 * i, extents[i].second);
            blocks += extents[i].second;
        }
        Be32(f + 12, logical == 0 ? 0 : uint32_t((logical + kBlock - 1) / kBlock));
        (void)blocks;
    }
    static std::vector<uint8_t> Folder(uint32_t id, uint32_t valence) {
        std::vector<uint8_t> r(88, 0);
        Be16(&r[0], 1);
        Be32(&r[4], valence);
        Be32(&r[8], id);
        for (size_t d = 12; d <= 28; d += 4) Be32(&r[d], kDate);
        Be16(&r[42], 040755);
        return r;
    }
    static std::vector<uint8_t> File(uint32_t id, uint64_t size, const std::vector<std::pair<uint32_t, uint32_t>>& extents) {
        std::vector<uint8_t> r(248, 0);
        Be16(&r[0], 2);
        Be16(&r[2], 2);
        Be32(&r[8], id);
        for (size_t d = 12; d <= 28; d += 4) Be32(&r[d], kDate);
        Be16(&r[42], 0100644);
        Fork(&r[88], size, extents);
        return r;
    }
    static std::vector<uint8_t> Thread(uint16_t type, uint32_t parent, const std::u16string& name) {
        std::vector<uint8_t> r(10 + 2 * name.size(), 0);
        Be16(&r[0], type);
        Be32(&r[4], parent);
        Be16(&r[8], uint32_t(name.size()));
        for (size_t i = 0; i < name.size(); ++i) Be16(&r[10 + 2 * i], name[i]);
        return r;
    }
    static void HeaderNode(uint8_t* n, uint32_t leaf, uint16_t maxKey, uint32_t attributes, uint32_t leafRecords) {
        n[8] = 1;
        Be16(n + 10, 3);
        uint8_t* h = n + 14;
        Be16(h + 0, 1);            // depth
        Be32(h + 2, leaf);         // root
        Be32(h + 6, leafRecords);
        Be32(h + 10, leaf);        // first leaf
        Be32(h + 14, leaf);        // last leaf
        Be16(h + 18, kNode);
        Be16(h + 20, maxKey);
        Be32(h + 22, 2);           // total nodes
        Be32(h + 26, 0);           // free nodes
        Be32(h + 32, kNode);
        Be32(h + 38, attributes);
        n[248] = 0xC0;             // map: nodes 0 and 1 in use
        Be16(n + kNode - 2, 14);
        Be16(n + kNode - 4, 120);
        Be16(n + kNode - 6, 248);
        Be16(n + kNode - 8, kNode - 8);
    }
    static void LeafNode(uint8_t* n, const std::vector<std::vector<uint8_t>>& records) {
        n[8] = 0xFF;
        n[9] = 1;
        Be16(n + 10, uint32_t(records.size()));
        uint32_t at = 14;
        for (size_t i = 0; i < records.size(); ++i) {
            Be16(n + kNode - 2 * (i + 1), at);
            std::memcpy(n + at, records[i].data(), records[i].size());
            at += uint32_t(records[i].size());
        }
        Be16(n + kNode - 2 * (records.size() + 1), at);
    }
};

}  // namespace hfstest
