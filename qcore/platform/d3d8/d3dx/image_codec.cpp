#include <qcore/platform/d3d8/d3dx/image_codec.h>
#include <qcore/platform/win32/file_ops.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace qcore::detail {

bool sane_size(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= max_image_dimension && height <= max_image_dimension &&
           width * height <= max_image_pixels;
}

namespace {

bool starts_with(const uint8_t* data, size_t size, const char* magic, size_t n) {
    return size >= n && std::memcmp(data, magic, n) == 0;
}

bool looks_like_dib(const uint8_t* data, size_t size) {
    if (size < 4) return false;
    const uint32_t header = uint32_t(data[0] | data[1] << 8 | data[2] << 16 | uint32_t(data[3]) << 24);
    return header == 12 || header == 40 || header == 52 || header == 56 || header == 108 || header == 124;
}

} // namespace

HRESULT decode_image(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options) {
    out = {};
    if (!data || size == 0) return D3DXERR_INVALIDDATA;
    if (starts_with(data, size, "BM", 2)) return decode_bmp(data, size, out, options);
    if (starts_with(data, size, "\xFF\xD8\xFF", 3)) return decode_jpeg(data, size, out, options);
    if (starts_with(data, size, "\x89PNG\r\n\x1A\n", 8)) return decode_png(data, size, out, options);
    if (starts_with(data, size, "DDS ", 4)) return decode_dds(data, size, out, options);
    if (size >= 2 && data[0] == 'P' && (data[1] == '2' || data[1] == '3' || data[1] == '5' || data[1] == '6'))
        return decode_ppm(data, size, out, options);
    if (looks_like_dib(data, size) && SUCCEEDED(decode_dib(data, size, out, options))) return S_OK;
    // Targa files carry no signature: they are what is left, if their header holds together.
    out = {};
    return decode_tga(data, size, out, options);
}

ImageLevel& add_argb_level(DecodedImage& image, uint32_t width, uint32_t height) {
    image.levels.resize(1);
    ImageLevel& level = image.levels[0];
    level.width = width;
    level.height = height;
    level.pitch = size_t(width) * 4;
    level.data.assign(level.pitch * height, 0);
    return level;
}

bool level_to_argb(const DecodedImage& image, size_t level, ArgbImage& out) {
    if (level >= image.levels.size()) return false;
    const ImageLevel& l = image.levels[level];
    if (image.stored_format == D3DFMT_A8R8G8B8 && l.pitch == size_t(l.width) * 4) {
        out.width = l.width;
        out.height = l.height;
        out.pixels.resize(size_t(l.width) * l.height);
        std::memcpy(out.pixels.data(), l.data.data(), out.pixels.size() * 4);
        return true;
    }
    return decode_pixels(image.stored_format, l.data.data(), l.pitch, l.width, l.height, out);
}

FileHandle open_regular_file(const char* path, bool* not_regular) {
    if (not_regular) *not_regular = false;
    FileHandle f(nullptr, &std::fclose);
    // Without blocking: opening a pipe would otherwise wait for a writer.
    const int fd = path ? ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (fd < 0) return f;
    // Devices, pipes and folders have no end to read to (or nothing to read).
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (not_regular) *not_regular = !S_ISREG(st.st_mode);
        ::close(fd);
        return f;
    }
    f.reset(fdopen(fd, "rb"));
    if (!f) ::close(fd);
    return f;
}

FileRead read_regular_file(const char* path, std::vector<uint8_t>& out) {
    out.clear();
    bool not_regular = false;
    const FileHandle f = open_regular_file(path, &not_regular);
    if (!f) return not_regular ? FileRead::not_regular : FileRead::failed;
    struct stat st {};
    if (fstat(fileno(f.get()), &st) != 0) return FileRead::failed;
    // One read of the size the file has now; a file that grows meanwhile is read on in chunks.
    if (st.st_size > 0) {
        out.resize(static_cast<size_t>(st.st_size));
        const size_t n = std::fread(out.data(), 1, out.size(), f.get());
        out.resize(n);
        if (n < static_cast<size_t>(st.st_size))
            return std::ferror(f.get()) ? FileRead::failed : FileRead::ok;
    }
    uint8_t chunk[65536];
    for (;;) {
        const size_t n = std::fread(chunk, 1, sizeof chunk, f.get());
        out.insert(out.end(), chunk, chunk + n);
        if (n < sizeof chunk) return std::ferror(f.get()) ? FileRead::failed : FileRead::ok;
    }
}

bool read_whole_file(const char* path, std::vector<uint8_t>& out) {
    return read_regular_file(path, out) == FileRead::ok;
}

bool write_whole_file(const char* path, const std::vector<uint8_t>& bytes) {
    if (!path) return false;
    // A pipe without a reader would wait for one.
    const int fd = open_without_waiting(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    std::unique_ptr<FILE, int (*)(FILE*)> f(fdopen(fd, "wb"), &std::fclose);
    if (!f) {
        ::close(fd);
        return false;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) return false;
    return std::fclose(f.release()) == 0;
}

} // namespace qcore::detail
