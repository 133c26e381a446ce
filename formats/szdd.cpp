// SZDD compression: an optimal parse over hash-chain matches, shaping to an exact size,
// encoding, and a plain expander for checks.
#include "formats/szdd.h"

#include <algorithm>

namespace szdd {
namespace {

const uint32_t kWindow = 4096;
const uint32_t kStart = kWindow - 16;     // window position of the first byte written
const uint32_t kMaxDistance = kWindow - 18;  // a match never reads what it is about to overwrite
const uint32_t kMinMatch = 3;
const uint32_t kMaxMatch = 18;
const uint32_t kLiteralBits = 9;
const uint32_t kMatchBits = 17;
const uint32_t kHashBits = 16;
// Candidates looked at per position: the whole window, so that every longest match is found;
// a search ends early once a match reaches the longest length there can be.
const uint32_t kChainDepth = kWindow;

const unsigned char kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

uint32_t Hash3(const unsigned char* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
    return (v * 2654435761u) >> (32 - kHashBits);
}

// Data with the window's initial spaces in front: byte i of the data is at kWindow + i.
std::vector<unsigned char> WithPrefix(const std::string& data) {
    std::vector<unsigned char> buf(kWindow + data.size(), ' ');
    std::copy(data.begin(), data.end(), buf.begin() + kWindow);
    return buf;
}

}  // namespace

std::vector<Token> Parse(const std::string& data) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    std::vector<unsigned char> buf = WithPrefix(data);
    const uint32_t end = kWindow + n;

    // Longest match at each data position (length < 3: none).
    std::vector<uint8_t> length(n, 0);
    std::vector<uint16_t> distance(n, 0);
    std::vector<int32_t> head(size_t{1} << kHashBits, -1);
    std::vector<int32_t> prev(kWindow, -1);
    auto insert = [&](uint32_t v) {
        uint32_t h = Hash3(&buf[v]);
        prev[v & (kWindow - 1)] = head[h];
        head[h] = static_cast<int32_t>(v);
    };
    for (uint32_t v = kWindow - kMaxDistance; v < kWindow && v + kMinMatch <= end; ++v) insert(v);
    for (uint32_t v = kWindow; v < end; ++v) {
        uint32_t limit = std::min(kMaxMatch, end - v);
        uint32_t best = 0, bestDistance = 0;
        if (limit >= kMinMatch) {
            int32_t cand = head[Hash3(&buf[v])];
            const unsigned char* here = &buf[v];
            for (uint32_t depth = kChainDepth; cand >= 0 && depth > 0; --depth) {
                uint32_t c = static_cast<uint32_t>(cand);
                if (v - c > kMaxDistance) break;
                const unsigned char* there = &buf[c];
                if (there[best] == here[best] || best == 0) {
                    uint32_t len = 0;
                    while (len < limit && there[len] == here[len]) ++len;
                    if (len > best) {
                        best = len;
                        bestDistance = v - c;
                        if (len == limit) break;
                    }
                }
                int32_t next = prev[c & (kWindow - 1)];
                if (next >= cand) break;
                cand = next;
            }
        }
        if (best >= kMinMatch) {
            length[v - kWindow] = static_cast<uint8_t>(best);
            distance[v - kWindow] = static_cast<uint16_t>(bestDistance);
        }
        if (v + kMinMatch <= end) insert(v);
    }

    // Cheapest cost from each position to the end, then the tokens that achieve it.
    std::vector<uint64_t> cost(n + 1, 0);
    std::vector<uint8_t> choice(n, 1);
    for (uint32_t i = n; i-- > 0;) {
        uint64_t bestCost = uint64_t{kLiteralBits} + cost[i + 1];
        uint32_t bestLength = 1;
        for (uint32_t len = kMinMatch; len <= length[i]; ++len) {
            uint64_t c = uint64_t{kMatchBits} + cost[i + len];
            if (c < bestCost || (c == bestCost && len > bestLength)) {
                bestCost = c;
                bestLength = len;
            }
        }
        cost[i] = bestCost;
        choice[i] = static_cast<uint8_t>(bestLength);
    }
    std::vector<Token> tokens;
    for (uint32_t i = 0; i < n;) {
        uint32_t len = choice[i];
        tokens.push_back({len, len == 1 ? 0u : distance[i]});
        i += len;
    }
    return tokens;
}

uint64_t CostBits(const std::vector<Token>& tokens) {
    uint64_t bits = 0;
    for (const Token& t : tokens) bits += t.length == 1 ? kLiteralBits : kMatchBits;
    return bits;
}

namespace {

// Ways to make one match of length k dearer, in bits: j leading bytes as literals (9j), all
// of it as literals (9k - 17), or a second match after 3 bytes and j literals (17 + 9j).
struct Change {
    uint32_t extra;
    int kind;  // 0: leading literals, 1: all literals, 2: split
    uint32_t j;
};

std::vector<Change> ChangesOf(uint32_t k) {
    std::vector<Change> out;
    for (uint32_t j = 1; j + kMinMatch <= k; ++j) out.push_back({kLiteralBits * j, 0, j});
    out.push_back({kLiteralBits * k - kMatchBits, 1, 0});
    for (uint32_t j = 0; j + 2 * kMinMatch <= k; ++j) out.push_back({kMatchBits + kLiteralBits * j, 2, j});
    return out;
}

void Apply(const Token& t, const Change& c, std::vector<Token>* out) {
    const Token literal = {1, 0};
    if (c.kind == 0) {
        out->insert(out->end(), c.j, literal);
        out->push_back({t.length - c.j, t.distance});
    } else if (c.kind == 1) {
        out->insert(out->end(), t.length, literal);
    } else {
        out->push_back({kMinMatch, t.distance});
        out->insert(out->end(), c.j, literal);
        out->push_back({t.length - kMinMatch - c.j, t.distance});
    }
}

}  // namespace

bool ShapeToSize(std::vector<Token>* tokens, uint64_t storedSize) {
    if (storedSize <= kHeaderSize) return false;
    const uint64_t hi = (storedSize - kHeaderSize) * 8;  // bits that fill the last byte
    const uint64_t lo = hi - 7;
    uint64_t bits = CostBits(*tokens);
    if (bits > hi) return false;
    if (bits >= lo) return true;

    // Whole matches become literals, front to back, while far from the target; then at most
    // three further matches change so that the total lands in [lo, hi].
    std::vector<Change> changes(tokens->size(), Change{0, -1, 0});
    size_t i = 0;
    const uint64_t kNear = 200;
    for (; i < tokens->size() && lo - bits > kNear; ++i) {
        const Token& t = (*tokens)[i];
        if (t.length == 1) continue;
        uint64_t extra = kLiteralBits * t.length - kMatchBits;
        if (lo - bits - extra < 2 || bits + extra > lo) break;
        changes[i] = {static_cast<uint32_t>(extra), 1, 0};
        bits += extra;
    }
    if (lo - bits > kNear) return false;
    std::vector<size_t> spare;
    for (; i < tokens->size() && spare.size() < 48; ++i)
        if ((*tokens)[i].length > 1) spare.push_back(i);
    const uint64_t need = lo - bits, room = hi - bits;
    bool found = false;
    auto fits = [&](uint64_t extra) { return extra >= need && extra <= room; };
    for (size_t a = 0; a < spare.size() && !found; ++a) {
        for (const Change& ca : ChangesOf((*tokens)[spare[a]].length)) {
            if (fits(ca.extra)) {
                changes[spare[a]] = ca;
                found = true;
                break;
            }
            if (ca.extra > room) continue;
            for (size_t b = a + 1; b < spare.size() && !found; ++b) {
                for (const Change& cb : ChangesOf((*tokens)[spare[b]].length)) {
                    if (fits(ca.extra + cb.extra)) {
                        changes[spare[a]] = ca;
                        changes[spare[b]] = cb;
                        found = true;
                        break;
                    }
                }
            }
            if (found) break;
        }
    }
    if (!found) return false;
    std::vector<Token> shaped;
    shaped.reserve(tokens->size() * 2);
    for (size_t k = 0; k < tokens->size(); ++k) {
        if (changes[k].kind < 0) shaped.push_back((*tokens)[k]);
        else Apply((*tokens)[k], changes[k], &shaped);
    }
    *tokens = std::move(shaped);
    return true;
}

std::string Encode(const std::string& data, const std::vector<Token>& tokens) {
    std::string out(reinterpret_cast<const char*>(kMagic), sizeof kMagic);
    out.push_back('A');
    out.push_back('\0');
    uint32_t n = static_cast<uint32_t>(data.size());
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<char>((n >> s) & 0xFF));
    out.reserve(kHeaderSize + data.size() + data.size() / 8 + 1);

    size_t flagAt = 0;
    int bit = 8;
    uint32_t at = 0;  // data position
    for (const Token& t : tokens) {
        if (bit == 8) {
            flagAt = out.size();
            out.push_back('\0');
            bit = 0;
        }
        if (t.length == 1) {
            out[flagAt] = static_cast<char>(out[flagAt] | (1 << bit));
            out.push_back(data[at]);
        } else {
            uint32_t pos = (kStart + at - t.distance) & (kWindow - 1);
            out.push_back(static_cast<char>(pos & 0xFF));
            out.push_back(static_cast<char>(((pos >> 4) & 0xF0) | (t.length - kMinMatch)));
        }
        ++bit;
        at += t.length;
    }
    return out;
}

bool HasMagic(const std::string& file) {
    return file.compare(0, sizeof kMagic, reinterpret_cast<const char*>(kMagic), sizeof kMagic) == 0;
}

bool StatedLength(const std::string& file, uint32_t* length) {
    if (file.size() < kHeaderSize) return false;
    *length = 0;
    for (int s = 0; s < 4; ++s) *length |= static_cast<uint32_t>(static_cast<unsigned char>(file[10 + s])) << (8 * s);
    return true;
}

bool Decode(const std::string& file, std::string* data) {
    data->clear();
    if (!HasMagic(file) || file.size() < kHeaderSize) return false;
    if (file[8] != 'A') return true;  // another mode: nothing Windows can expand
    // The window holds the last kWindow bytes written, spaces before the first: a match at
    // window position `from` copies from `back` bytes before the next byte, and the bytes
    // before the data's start are those spaces. Written straight into `data`, which grows by
    // halves and is cut to what was written at the end.
    const unsigned char* in = reinterpret_cast<const unsigned char*>(file.data());
    const size_t size = file.size();
    const size_t kMostPerGroup = 8 * kMaxMatch;
    uint32_t stated = 0;
    StatedLength(file, &stated);
    data->resize(std::min<size_t>(stated, (size - kHeaderSize) * 9) + kMostPerGroup);
    size_t out = 0;
    size_t at = kHeaderSize;
    while (at < size) {
        if (data->size() - out < kMostPerGroup) data->resize(data->size() + data->size() / 2 + kMostPerGroup);
        char* const o = &(*data)[0];
        unsigned flags = in[at++];
        for (int bit = 0; bit < 8 && at < size; ++bit, flags >>= 1) {
            if (flags & 1u) {
                o[out++] = static_cast<char>(in[at++]);
                continue;
            }
            if (size - at < 2) {
                data->resize(out);  // the stream ends inside a match
                return true;
            }
            const uint32_t from = in[at] | (in[at + 1] & 0xF0u) << 4;
            const uint32_t length = (in[at + 1] & 0x0Fu) + kMinMatch;
            at += 2;
            const uint32_t pos = static_cast<uint32_t>((kStart + out) & (kWindow - 1));
            const size_t back = ((pos - from - 1) & (kWindow - 1)) + 1;
            if (back <= out) {
                for (uint32_t k = 0; k < length; ++k, ++out) o[out] = o[out - back];
            } else {
                for (uint32_t k = 0; k < length; ++k, ++out) o[out] = out >= back ? o[out - back] : ' ';
            }
        }
    }
    data->resize(out);
    return true;
}

bool Expand(const std::string& file, std::string* data, std::string* error) {
    uint32_t n = 0;
    if (!HasMagic(file) || !StatedLength(file, &n) || file[8] != 'A') {
        *error = "not an SZDD file of mode A";
        return false;
    }
    Decode(file, data);
    if (data->size() != n) {
        *error = "expands to " + std::to_string(data->size()) + " bytes, header says " + std::to_string(n);
        return false;
    }
    return true;
}

}  // namespace szdd
