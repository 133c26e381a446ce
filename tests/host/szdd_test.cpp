// The SZDD compressor: round trips through libmspack, the size of the best parse against the
// all-literal bound, and token streams shaped to exact sizes; the expander against libmspack on
// streams no compressor makes.
#include <gtest/gtest.h>
#include <mspack.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/temp_folder.h"
#include "formats/szdd.h"

namespace {

std::string Random(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return out;
}

class Szdd : public ::testing::Test {
protected:
    void SetUp() override {
        decompressor_ = mspack_create_szdd_decompressor(nullptr);
        ASSERT_NE(decompressor_, nullptr);
    }
    void TearDown() override {
        mspack_destroy_szdd_decompressor(decompressor_);
    }
    // What libmspack expands `file` to, or "<error>".
    std::string Expand(const std::string& file) {
        std::string in = temp_.path("in"), out = temp_.path("out");
        std::ofstream(in, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));
        msszddd_header* header = decompressor_->open(decompressor_, const_cast<char*>(in.c_str()));
        if (header == nullptr) return "<error>";
        int result = decompressor_->extract(decompressor_, header, const_cast<char*>(out.c_str()));
        decompressor_->close(decompressor_, header);
        if (result != MSPACK_ERR_OK) return "<error>";
        std::ifstream back(out, std::ios::binary);
        std::stringstream s;
        s << back.rdbuf();
        return s.str();
    }
    vktest::TempFolder temp_{"vkszdd"};
    msszdd_decompressor* decompressor_ = nullptr;
};

TEST_F(Szdd, RoundTripsThroughLibmspack) {
    std::string text;
    for (int i = 0; i < 400; ++i) text += "    Line " + std::to_string(i % 37) + " of the text\r\n";
    std::string blocks = Random(1000, 3);
    for (int i = 0; i < 5; ++i) blocks += blocks;
    const struct {
        const char* name;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"one byte", "x"},
        {"one space", " "},
        {"all spaces", std::string(10000, ' ')},
        {"all zeros", std::string(10000, '\0')},
        {"random", Random(100000, 1)},
        {"abc repeated", [] { std::string s; for (int i = 0; i < 3000; ++i) s += "abc"; return s; }()},
        {"repeated blocks", blocks},
        {"indented text", text},
        {"window - 1", Random(4095, 5)},
        {"window", Random(4096, 6)},
        {"window + 1", Random(4097, 7)},
        {"zeros, window + 1", std::string(4097, '\0')},
        {"random after zeros", std::string(4090, '\0') + Random(9000, 8)},
    };
    for (const auto& c : cases) {
        std::string file = szdd::Compress(c.data);
        EXPECT_TRUE(Expand(file) == c.data) << c.name;
        // Never larger than every byte as a literal.
        EXPECT_LE(file.size(), szdd::StoredSize(9 * c.data.size())) << c.name;
    }
    // What compresses does.
    EXPECT_LT(szdd::Compress(std::string(10000, ' ')).size(), 10000u / 8);
    EXPECT_LT(szdd::Compress(blocks).size(), blocks.size() / 6);
    EXPECT_EQ(szdd::Compress(" ").size(), szdd::kHeaderSize + 2);  // a literal and its flag byte
}

TEST_F(Szdd, ShapedStreamsHaveTheAskedSizeAndExpandUnchanged) {
    std::string data = Random(3000, 9) + std::string(20000, '\0') + Random(500, 10);
    const std::vector<szdd::Token> best = szdd::Parse(data);
    const uint64_t smallest = szdd::StoredSize(szdd::CostBits(best));
    const uint64_t largest = szdd::StoredSize(9 * data.size());
    std::vector<szdd::Token> tokens = best;
    EXPECT_FALSE(szdd::ShapeToSize(&tokens, smallest - 1));
    EXPECT_EQ(tokens.size(), best.size());  // left as it was
    for (uint64_t size : {smallest, smallest + 1, smallest + 2, smallest + 9, smallest + 100, (smallest + largest) / 2,
                          largest - 300}) {
        tokens = best;
        ASSERT_TRUE(szdd::ShapeToSize(&tokens, size)) << size;
        std::string file = szdd::Encode(data, tokens);
        EXPECT_EQ(file.size(), size);
        EXPECT_TRUE(Expand(file) == data) << size;
    }
}

// Streams of any tokens: matches of every window position, into the leading spaces, onto the
// byte about to be written and past what was written, each cut at every point of its last
// groups. The expander gives what libmspack gives for the length it reached.
TEST_F(Szdd, ExpandsAnyStreamAsLibmspackDoes) {
    std::string header = szdd::Compress("");
    ASSERT_EQ(header.size(), szdd::kHeaderSize);
    const struct {
        const char* name;
        std::string stream;
    } cases[] = {
        {"random bytes", Random(6000, 11)},
        {"matches only", [] { std::string s = Random(9000, 12); for (size_t i = 0; i < s.size(); i += 17) s[i] = 0; return s; }()},
        {"literals then matches", std::string(1, '\xFF') + "abcdefgh" + std::string(1, '\0') +
                                      "\xF0\x0F\xF1\x0F\xF2\x0F\x00\x00\xEF\xFF\xF0\xF3\x01\x02\x10\x10"},
    };
    for (const auto& c : cases) {
        for (size_t cut : {c.stream.size(), c.stream.size() - 1, c.stream.size() - 2, c.stream.size() - 17, size_t{1},
                           size_t{2}, size_t{10}}) {
            std::string file = header + c.stream.substr(0, cut);
            std::string ours;
            ASSERT_TRUE(szdd::Decode(file, &ours));
            for (int s = 0; s < 4; ++s) file[10 + s] = static_cast<char>((ours.size() >> (8 * s)) & 0xFF);
            std::string theirs = Expand(file);
            EXPECT_EQ(theirs.size(), ours.size()) << c.name << ", cut at " << cut;
            EXPECT_TRUE(theirs == ours) << c.name << ", cut at " << cut;
        }
    }
}

}  // namespace
