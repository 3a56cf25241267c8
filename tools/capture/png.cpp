#include "png.h"
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <vector>
#include <zlib.h>

namespace capture {

namespace {

void be32(std::vector<Uint8> &v, Uint32 x)
{
    v.push_back((Uint8)(x >> 24));
    v.push_back((Uint8)(x >> 16));
    v.push_back((Uint8)(x >> 8));
    v.push_back((Uint8)x);
}

void chunk(std::vector<Uint8> &file, const char type[4], const std::vector<Uint8> &data)
{
    be32(file, (Uint32)data.size());
    size_t from = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    be32(file, (Uint32)crc32(0, file.data() + from, (uInt)(file.size() - from)));
}

}

bool write_png(const std::string &path, const Uint8 *pixels, int w, int h, int pitch,
               std::string &err)
{
    // Each row is preceded by its filter type; 0 leaves the bytes as they are.
    std::vector<Uint8> raw;
    raw.reserve((size_t)h * (1 + 3 * (size_t)w));
    for (int y = 0; y < h; y++) {
        const Uint8 *p = pixels + (size_t)y * pitch;
        raw.push_back(0);
        for (int x = 0; x < w; x++, p += 4) {
            raw.push_back(p[2]);
            raw.push_back(p[1]);
            raw.push_back(p[0]);
        }
    }
    uLongf packed_size = compressBound((uLong)raw.size());
    std::vector<Uint8> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), (uLong)raw.size(),
                  Z_DEFAULT_COMPRESSION) != Z_OK) {
        err = "cannot compress the picture";
        return false;
    }
    packed.resize(packed_size);

    static const Uint8 signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<Uint8> file(signature, signature + 8);
    std::vector<Uint8> header;
    be32(header, (Uint32)w);
    be32(header, (Uint32)h);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filters, no interlace
    chunk(file, "IHDR", header);
    chunk(file, "IDAT", packed);
    chunk(file, "IEND", {});

    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        err = "cannot write " + path + ": " + strerror(errno);
        return false;
    }
    bool ok = fwrite(file.data(), 1, file.size(), f) == file.size();
    int e = errno;
    if (fclose(f) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        err = "cannot write " + path + ": " + strerror(e);
        remove(path.c_str());
    }
    return ok;
}

}
