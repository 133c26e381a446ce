// mkimages: makes the generated resources of the updater at build time.
//
//   mkimages <welcome.txt> <output folder>
//
// Writes into the output folder:
//   side_picture.bmp   144 x 216, 8 bits per pixel, 256-entry palette: a sky over a disc
//   logo.bmp           110 x 28, 8 bits per pixel, white background (palette entry 255)
//   vkupdate.ico       32 x 32 and 16 x 16 images, 4 bits per pixel
//   welcome_text.bin   the welcome text in code page 932 with CR LF breaks and two NULs
// The welcome text must convert to exactly kWelcomeLength bytes; otherwise mkimages fails
// and says by how much the wording is off.
#include <iconv.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/little_endian.h"

namespace {

const size_t kWelcomeLength = 4478;
const double kPi = 3.14159265358979323846;

struct Rgb {
    int r, g, b;
};

// An 8-bit image with its palette; rows top-down in memory, written bottom-up.
struct Image {
    int width, height;
    std::vector<Rgb> palette = std::vector<Rgb>(256, Rgb{0, 0, 0});
    std::vector<uint8_t> pixels;
    Image(int w, int h, uint8_t fill) : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}
    void Set(int x, int y, uint8_t index) {
        if (x >= 0 && y >= 0 && x < width && y < height) pixels[static_cast<size_t>(y) * width + x] = index;
    }
};

// BITMAPINFOHEADER; `height` as stored (icons store twice the image height).
void PutInfoHeader(std::string* out, int width, int height, int bits, uint32_t imageSize, int colours) {
    formats::Put32(out, 40);
    formats::Put32(out, static_cast<uint32_t>(width));
    formats::Put32(out, static_cast<uint32_t>(height));
    formats::Put16(out, 1);
    formats::Put16(out, static_cast<unsigned>(bits));
    formats::Put32(out, 0);  // BI_RGB
    formats::Put32(out, imageSize);
    formats::Put32(out, 2835);  // 72 dots per inch
    formats::Put32(out, 2835);
    formats::Put32(out, static_cast<uint32_t>(colours));
    formats::Put32(out, 0);
}

void PutPalette(std::string* out, const std::vector<Rgb>& palette) {
    for (const Rgb& c : palette) {
        out->push_back(static_cast<char>(c.b));
        out->push_back(static_cast<char>(c.g));
        out->push_back(static_cast<char>(c.r));
        out->push_back(0);
    }
}

std::string BmpFile(const Image& image) {
    int stride = (image.width + 3) & ~3;
    uint32_t imageSize = static_cast<uint32_t>(stride) * image.height;
    uint32_t offset = 14 + 40 + 256 * 4;
    std::string out = "BM";
    formats::Put32(&out, offset + imageSize);
    formats::Put32(&out, 0);
    formats::Put32(&out, offset);
    PutInfoHeader(&out, image.width, image.height, 8, imageSize, 256);
    PutPalette(&out, image.palette);
    for (int y = image.height - 1; y >= 0; --y) {
        const uint8_t* row = &image.pixels[static_cast<size_t>(y) * image.width];
        out.append(reinterpret_cast<const char*>(row), static_cast<size_t>(image.width));
        out.append(static_cast<size_t>(stride - image.width), '\0');
    }
    return out;
}

Rgb Mix(Rgb a, Rgb b, double t) {
    return {static_cast<int>(std::lround(a.r + (b.r - a.r) * t)),
            static_cast<int>(std::lround(a.g + (b.g - a.g) * t)),
            static_cast<int>(std::lround(a.b + (b.b - a.b) * t))};
}

// A soft hue for the disc's sheen; `h` in 0..1.
Rgb Pastel(double h) {
    double r = 0.5 + 0.5 * std::cos(2 * kPi * h);
    double g = 0.5 + 0.5 * std::cos(2 * kPi * (h - 1.0 / 3));
    double b = 0.5 + 0.5 * std::cos(2 * kPi * (h - 2.0 / 3));
    return {static_cast<int>(170 + 80 * r), static_cast<int>(170 + 80 * g), static_cast<int>(170 + 80 * b)};
}

// Ordered dithering threshold in 0..1 for smooth gradients with few palette entries.
double Bayer(int x, int y) {
    static const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (m[y & 3][x & 3] + 0.5) / 16.0;
}

// Palette of the side picture: 0-127 sky, 128-191 silver, 192-223 sheen, 224-253 haze, 255 white.
const int kSky = 0, kSkyCount = 128, kSilver = 128, kSilverCount = 64, kSheen = 192, kSheenCount = 32,
          kHaze = 224, kHazeCount = 30, kOutline = 254;

uint8_t Ramp(int first, int count, double t, int x, int y) {
    if (t < 0) t = 0;
    if (t > 1) t = 1;
    double v = t * (count - 1);
    int i = static_cast<int>(v);
    if (v - i > Bayer(x, y) && i < count - 1) ++i;
    return static_cast<uint8_t>(first + i);
}

Image SidePicture() {
    Image image(144, 216, 255);
    for (int i = 0; i < kSkyCount; ++i)
        image.palette[kSky + i] = Mix({72, 118, 186}, {226, 236, 247}, i / double(kSkyCount - 1));
    for (int i = 0; i < kSilverCount; ++i)
        image.palette[kSilver + i] = Mix({118, 128, 146}, {250, 251, 253}, i / double(kSilverCount - 1));
    for (int i = 0; i < kSheenCount; ++i) image.palette[kSheen + i] = Pastel(i / double(kSheenCount));
    for (int i = 0; i < kHazeCount; ++i)
        image.palette[kHaze + i] = Mix({226, 236, 247}, {196, 204, 228}, i / double(kHazeCount - 1));
    image.palette[kOutline] = {92, 104, 128};
    image.palette[255] = {255, 255, 255};

    const double cx = 71.5, cy = 146, radius = 58, hub = 17, hole = 6.5;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            // Sky: darker above, paler towards the horizon, with two soft clouds.
            double t = y / 150.0;
            double cloud = std::exp(-(std::pow((x - 40) / 34.0, 2) + std::pow((y - 34) / 9.0, 2))) +
                           0.8 * std::exp(-(std::pow((x - 112) / 26.0, 2) + std::pow((y - 62) / 7.0, 2)));
            uint8_t index = y < 150 ? Ramp(kSky, kSkyCount, t + 0.35 * cloud, x, y)
                                    : Ramp(kHaze, kHazeCount, (y - 150) / 65.0, x, y);
            // The disc, lying in the light: silver with a soft rainbow band.
            double dx = x - cx, dy = (y - cy) * 1.08;
            double r = std::sqrt(dx * dx + dy * dy);
            if (r <= radius && r > hole) {
                double angle = std::atan2(dy, dx);
                double light = 0.55 + 0.45 * std::cos(2 * (angle - 0.7));
                if (r >= radius - 1.2 || (r >= hub - 0.8 && r <= hub + 0.4)) {
                    index = kOutline;
                } else if (r < hub) {
                    index = Ramp(kSilver, kSilverCount, 0.45 + 0.3 * light, x, y);
                } else if (light > 0.62 && light < 0.86) {
                    double hue = (r - hub) / (radius - hub) * 0.9 + angle / (2 * kPi);
                    hue -= std::floor(hue);
                    index = static_cast<uint8_t>(kSheen + static_cast<int>(hue * kSheenCount) % kSheenCount);
                } else {
                    index = Ramp(kSilver, kSilverCount, 0.25 + 0.75 * light, x, y);
                }
            }
            image.Set(x, y, index);
        }
    }
    return image;
}

// A 5 x 7 font with just the logo's letters, one string per row.
const char* const* Glyph(char c) {
    static const char* const gV[7] = {"X...X", "X...X", "X...X", "X...X", "X...X", ".X.X.", "..X.."};
    static const char* const ge[7] = {".....", ".....", ".XXX.", "X...X", "XXXXX", "X....", ".XXX."};
    static const char* const gl[7] = {".XX..", "..X..", "..X..", "..X..", "..X..", "..X..", ".XXX."};
    static const char* const gk[7] = {"X....", "X....", "X..X.", "X.X..", "XX...", "X.X..", "X..X."};
    static const char* const go[7] = {".....", ".....", ".XXX.", "X...X", "X...X", "X...X", ".XXX."};
    static const char* const gr[7] = {".....", ".....", "X.XX.", "XX..X", "X....", "X....", "X...."};
    static const char* const gT[7] = {"XXXXX", "..X..", "..X..", "..X..", "..X..", "..X..", "..X.."};
    static const char* const gA[7] = {".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"};
    static const char* const gR[7] = {"XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"};
    static const char* const gN[7] = {"X...X", "XX..X", "X.X.X", "X..XX", "X...X", "X...X", "X...X"};
    switch (c) {
    case 'V': return gV;
    case 'e': return ge;
    case 'l': return gl;
    case 'k': return gk;
    case 'o': return go;
    case 'r': return gr;
    case 'T': return gT;
    case 'A': return gA;
    case 'R': return gR;
    case 'N': return gN;
    default: return nullptr;
    }
}

void DrawText(Image* image, int x, int y, int scale, const char* text, uint8_t colour) {
    for (; *text != '\0'; ++text, x += 6 * scale) {
        const char* const* g = Glyph(*text);
        if (g == nullptr) continue;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (g[row][col] == 'X')
                    for (int sy = 0; sy < scale; ++sy)
                        for (int sx = 0; sx < scale; ++sx)
                            image->Set(x + col * scale + sx, y + row * scale + sy, colour);
    }
}

Image Logo() {
    Image image(110, 28, 255);
    const uint8_t navy = 1, blue = 2, silver = 3, light = 4, grey = 5;
    image.palette[navy] = {24, 40, 104};
    image.palette[blue] = {48, 96, 178};
    image.palette[silver] = {178, 186, 200};
    image.palette[light] = {224, 229, 238};
    image.palette[grey] = {104, 112, 128};
    image.palette[255] = {255, 255, 255};
    // A small disc on the left, clear of the white border.
    const double cx = 13.5, cy = 13.5;
    for (int y = 1; y < 27; ++y) {
        for (int x = 1; x < 27; ++x) {
            double r = std::hypot(x - cx, y - cy);
            double angle = std::atan2(y - cy, x - cx);
            if (r > 11.5 || r < 2.5) continue;
            if (r > 10.6) image.Set(x, y, grey);
            else if (r < 5.0) image.Set(x, y, blue);
            else image.Set(x, y, std::cos(2 * (angle - 0.7)) > 0.3 ? light : silver);
        }
    }
    DrawText(&image, 32, 3, 1, "Velkor", blue);
    DrawText(&image, 32, 12, 2, "TARN", navy);
    return image;
}

// The standard 16 colours of a 4-bit icon.
const Rgb kVga[16] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                      {0, 0, 128},   {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                      {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
                      {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

// One icon image: BITMAPINFOHEADER (double height), palette, colour bits, mask bits.
std::string IconImage(int size) {
    int xorStride = ((size * 4 + 31) / 32) * 4;
    int andStride = ((size + 31) / 32) * 4;
    std::vector<uint8_t> colour(static_cast<size_t>(size) * size, 0);
    std::vector<bool> clear(static_cast<size_t>(size) * size, true);
    double c = (size - 1) / 2.0, radius = size / 2.0 - 0.5;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double r = std::hypot(x - c, y - c);
            if (r > radius || r < radius * 0.14) continue;
            double angle = std::atan2(y - c, x - c);
            uint8_t index = 7;  // silver
            if (r > radius - 1.0) index = 8;                       // grey rim
            else if (r < radius * 0.38) index = 12;               // blue hub
            else if (std::cos(2 * (angle - 0.7)) > 0.55) index = 15;  // light
            else if (std::cos(2 * (angle - 0.7)) > 0.2) index = 14;   // sheen
            colour[static_cast<size_t>(y) * size + x] = index;
            clear[static_cast<size_t>(y) * size + x] = false;
        }
    }
    std::string out;
    PutInfoHeader(&out, size, size * 2, 4, static_cast<uint32_t>((xorStride + andStride) * size), 16);
    PutPalette(&out, std::vector<Rgb>(kVga, kVga + 16));
    for (int y = size - 1; y >= 0; --y) {
        std::string row(static_cast<size_t>(xorStride), '\0');
        for (int x = 0; x < size; ++x)
            row[x / 2] = static_cast<char>(row[x / 2] | colour[static_cast<size_t>(y) * size + x] << (x % 2 ? 0 : 4));
        out += row;
    }
    for (int y = size - 1; y >= 0; --y) {
        std::string row(static_cast<size_t>(andStride), '\0');
        for (int x = 0; x < size; ++x)
            if (clear[static_cast<size_t>(y) * size + x]) row[x / 8] = static_cast<char>(row[x / 8] | 0x80 >> (x % 8));
        out += row;
    }
    return out;
}

std::string IconFile() {
    std::string images[2] = {IconImage(32), IconImage(16)};
    std::string out;
    formats::Put16(&out, 0);
    formats::Put16(&out, 1);  // icon
    formats::Put16(&out, 2);
    uint32_t offset = 6 + 2 * 16;
    for (int i = 0; i < 2; ++i) {
        int size = i == 0 ? 32 : 16;
        out.push_back(static_cast<char>(size));
        out.push_back(static_cast<char>(size));
        out.push_back(16);  // colours
        out.push_back(0);
        formats::Put16(&out, 1);  // planes
        formats::Put16(&out, 4);  // bits per pixel
        formats::Put32(&out, static_cast<uint32_t>(images[i].size()));
        formats::Put32(&out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    return out + images[0] + images[1];
}

// UTF-8 to code page 932 with iconv; false on any character that has no equivalent.
bool ToCp932(const std::string& utf8, std::string* out, std::string* error) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        *error = "iconv cannot convert UTF-8 to CP932";
        return false;
    }
    std::vector<char> buffer(utf8.size() * 2 + 16);
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* dst = buffer.data();
    size_t outLeft = buffer.size();
    size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) {
        size_t at = utf8.size() - inLeft;
        size_t line = 1;
        for (size_t i = 0; i < at; ++i) line += utf8[i] == '\n';
        *error = "line " + std::to_string(line) + " has a character that code page 932 cannot hold";
        return false;
    }
    out->assign(buffer.data(), dst);
    return true;
}

bool WelcomeText(const std::string& source, std::string* result, std::string* error) {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        *error = "cannot read " + source;
        return false;
    }
    std::stringstream all;
    all << in.rdbuf();
    std::string text;
    for (char ch : all.str()) {
        if (ch == '\r') continue;  // a checkout with CR LF breaks gives the same text
        if (ch == '\n') text += '\r';
        text += ch;
    }
    std::string cp932;
    if (!ToCp932(text, &cp932, error)) {
        *error = source + ": " + *error;
        return false;
    }
    if (cp932.find('\0') != std::string::npos) {
        *error = source + ": the text holds a NUL character";
        return false;
    }
    if (cp932.size() != kWelcomeLength) {
        long off = static_cast<long>(cp932.size()) - static_cast<long>(kWelcomeLength);
        *error = source + ": the text is " + std::to_string(cp932.size()) +
                 " bytes in code page 932 with CR LF breaks, it must be exactly " +
                 std::to_string(kWelcomeLength) + " (" + (off > 0 ? "shorten" : "lengthen") +
                 " it by " + std::to_string(off > 0 ? off : -off) + " bytes)";
        return false;
    }
    *result = cp932 + std::string(2, '\0');
    return true;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) std::fprintf(stderr, "mkimages: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkimages <welcome.txt> <output folder>\n");
        return 2;
    }
    std::string dir = argv[2];
    std::string welcome, error;
    if (!WelcomeText(argv[1], &welcome, &error)) {
        std::fprintf(stderr, "mkimages: %s\n", error.c_str());
        return 1;
    }
    bool ok = WriteFile(dir + "/welcome_text.bin", welcome) &&
              WriteFile(dir + "/side_picture.bmp", BmpFile(SidePicture())) &&
              WriteFile(dir + "/logo.bmp", BmpFile(Logo())) && WriteFile(dir + "/vkupdate.ico", IconFile());
    return ok ? 0 : 1;
}
