#include "SkinPack.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "resources/SkinPackFormat.h"

namespace skingen {

namespace {

using Pixels = std::vector<std::uint32_t>;

// Per byte, modulo 256.
std::uint32_t subBytes(std::uint32_t a, std::uint32_t b) {
    return (((a | 0xFF00FF00u) - (b & 0x00FF00FFu)) & 0x00FF00FFu) |
           (((a | 0x00FF00FFu) - (b & 0xFF00FF00u)) & 0xFF00FF00u);
}

void put32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Rows of spans (SkinPackFormat.h), red and blue less green.
std::vector<unsigned char> spans(const Pixels& d, int width, int rows) {
    std::vector<unsigned char> out;
    for (int y = 0; y < rows; ++y) {
        const std::uint32_t* row = d.data() + static_cast<std::size_t>(y) * width;
        int first = 0, last = width - 1;
        while (first < width && (row[first] & 0xFFFFFFu) == 0) ++first;
        while (last >= first && (row[last] & 0xFFFFFFu) == 0) --last;
        const int count = last >= first ? last - first + 1 : 0;
        if (count == 0) first = 0;
        out.push_back(static_cast<unsigned char>(first));
        out.push_back(static_cast<unsigned char>(first >> 8));
        out.push_back(static_cast<unsigned char>(count));
        out.push_back(static_cast<unsigned char>(count >> 8));
        for (int x = first; x < first + count; ++x) {
            const unsigned r = (row[x] >> 16) & 0xFF, g = (row[x] >> 8) & 0xFF, b = row[x] & 0xFF;
            out.push_back(static_cast<unsigned char>(r - g));
            out.push_back(static_cast<unsigned char>(g));
            out.push_back(static_cast<unsigned char>(b - g));
        }
    }
    return out;
}

std::vector<unsigned char> deflateAll(const std::vector<unsigned char>& in) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<unsigned char> out(deflateBound(&z, static_cast<uLong>(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

struct Encoded {
    std::uint32_t reference = 0, flags = 0, plainSize = 0;
    std::vector<unsigned char> packed;
};

}  // namespace

std::vector<unsigned char> encodePack(int percent, const std::vector<PackImage>& images) {
    const PackImage* bg = nullptr;
    for (const PackImage& img : images)
        if (img.background) bg = &img;
    if (!bg) throw std::invalid_argument("encodePack: no background");

    // Each strip less the background under it.
    std::vector<Pixels> offPanel(images.size());
    std::vector<Encoded> encoded(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const PackImage& img = images[i];
        const std::size_t n = static_cast<std::size_t>(img.width) * img.frameHeight * img.frames;
        if (img.pixels.size() != n) throw std::invalid_argument("encodePack: bad image size");
        Pixels d(n);
        if (img.background) {
            for (int y = 0; y < img.frameHeight; ++y)
                for (int x = 0; x < img.width; ++x) {
                    const std::size_t at = static_cast<std::size_t>(y) * img.width + x;
                    d[at] = subBytes(img.pixels[at], x > 0 ? img.pixels[at - 1] : 0);
                }
            const auto plain = spans(d, img.width, img.frameHeight);
            encoded[i].plainSize = static_cast<std::uint32_t>(plain.size());
            encoded[i].packed = deflateAll(plain);
            continue;
        }
        for (int f = 0; f < img.frames; ++f)
            for (int y = 0; y < img.frameHeight; ++y)
                for (int x = 0; x < img.width; ++x) {
                    const std::size_t at =
                        (static_cast<std::size_t>(f) * img.frameHeight + y) * img.width + x;
                    const std::uint32_t under =
                        bg->pixels[static_cast<std::size_t>(img.top + y) * bg->width + img.left + x];
                    d[at] = subBytes(img.pixels[at], under);
                }
        offPanel[i] = std::move(d);
    }

    // A strip is stored on its own or against an earlier one of the same
    // size, each with or without the frame before: whichever packs smallest.
    for (std::size_t i = 0; i < images.size(); ++i) {
        const PackImage& img = images[i];
        if (img.background) continue;
        const std::size_t frameWords = static_cast<std::size_t>(img.width) * img.frameHeight;
        std::vector<std::size_t> refs{i};
        for (std::size_t j = 0; j < i; ++j)
            if (!images[j].background && images[j].width == img.width &&
                images[j].frameHeight == img.frameHeight && images[j].frames == img.frames)
                refs.push_back(j);
        Encoded best;
        for (std::size_t ref : refs) {
            Pixels e = offPanel[i];
            if (ref != i)
                for (std::size_t k = 0; k < e.size(); ++k) e[k] = subBytes(e[k], offPanel[ref][k]);
            for (int delta = 0; delta < 2; ++delta) {
                Pixels d = e;
                if (delta)
                    for (std::size_t k = frameWords; k < d.size(); ++k)
                        d[k] = subBytes(e[k], e[k - frameWords]);
                const auto plain = spans(d, img.width, img.frameHeight * img.frames);
                auto packed = deflateAll(plain);
                if (best.packed.empty() || packed.size() < best.packed.size()) {
                    best.reference = ref != i ? static_cast<std::uint32_t>(images[ref].id) : 0;
                    best.flags = delta ? skinpack::kFrameDelta : 0;
                    best.plainSize = static_cast<std::uint32_t>(plain.size());
                    best.packed = std::move(packed);
                }
            }
        }
        encoded[i] = std::move(best);
    }

    std::vector<unsigned char> out(skinpack::kMagic, skinpack::kMagic + 8);
    put32(out, static_cast<std::uint32_t>(percent));
    put32(out, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = skinpack::kHeaderSize + skinpack::kEntrySize * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const PackImage& img = images[i];
        for (std::uint32_t v : {static_cast<std::uint32_t>(img.id), static_cast<std::uint32_t>(img.width),
                                static_cast<std::uint32_t>(img.frameHeight),
                                static_cast<std::uint32_t>(img.frames), encoded[i].reference,
                                encoded[i].flags, offset,
                                static_cast<std::uint32_t>(encoded[i].packed.size()),
                                encoded[i].plainSize})
            put32(out, v);
        offset += static_cast<std::uint32_t>(encoded[i].packed.size());
    }
    for (const Encoded& e : encoded) out.insert(out.end(), e.packed.begin(), e.packed.end());
    return out;
}

std::string packName(int percent) { return "skin" + std::to_string(percent) + ".pack"; }

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace skingen
