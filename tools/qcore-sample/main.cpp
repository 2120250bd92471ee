// qcore-sample: writes the sample scene `make demo` imports and shows: an OBJ model with its MTL file, two
// textures (BMP and JPEG), a transparent glass pane and a screen that plays a video the program encodes.
// Everything is made here, so nothing is downloaded and nothing is kept in the repository.
#include <qcore/image/image_save.h>
#include <qcore/platform/dshow/clip_writer.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Vec3 {
    float x, y, z;
};

// An OBJ file under construction: vertices, normals and texture coordinates are numbered across objects.
class ObjWriter {
public:
    void object(const char* name, const char* material) {
        text_ += "o " + std::string(name) + "\nusemtl " + material + "\n";
    }
    // A vertex with its normal and texture coordinate; returns its OBJ number.
    int vertex(Vec3 p, Vec3 n, float u, float v) {
        char line[160];
        std::snprintf(line, sizeof line, "v %g %g %g\nvn %g %g %g\nvt %g %g\n", p.x, p.y, p.z, n.x, n.y, n.z,
                      u, v);
        text_ += line;
        return ++count_;
    }
    void triangle(int a, int b, int c) {
        char line[128];
        std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c, c);
        text_ += line;
    }
    void quad(int a, int b, int c, int d) {
        triangle(a, b, c);
        triangle(a, c, d);
    }
    // A rectangle from corner o along edges e1 and e2 (counter-clockwise seen from the front), its texture
    // repeated `tiles` times.
    void rect(Vec3 o, Vec3 e1, Vec3 e2, Vec3 n, float tiles) {
        const int a = vertex(o, n, 0, 0);
        const int b = vertex({o.x + e1.x, o.y + e1.y, o.z + e1.z}, n, tiles, 0);
        const int c = vertex({o.x + e1.x + e2.x, o.y + e1.y + e2.y, o.z + e1.z + e2.z}, n, tiles, tiles);
        const int d = vertex({o.x + e2.x, o.y + e2.y, o.z + e2.z}, n, 0, tiles);
        quad(a, b, c, d);
    }
    void box(Vec3 c, float h) {
        const float s = 2 * h;
        rect({c.x - h, c.y - h, c.z + h}, {s, 0, 0}, {0, s, 0}, {0, 0, 1}, 1);   // front (+z)
        rect({c.x + h, c.y - h, c.z - h}, {-s, 0, 0}, {0, s, 0}, {0, 0, -1}, 1); // back
        rect({c.x + h, c.y - h, c.z + h}, {0, 0, -s}, {0, s, 0}, {1, 0, 0}, 1);  // right
        rect({c.x - h, c.y - h, c.z - h}, {0, 0, s}, {0, s, 0}, {-1, 0, 0}, 1);  // left
        rect({c.x - h, c.y + h, c.z + h}, {s, 0, 0}, {0, 0, -s}, {0, 1, 0}, 1);  // top
        rect({c.x - h, c.y - h, c.z - h}, {s, 0, 0}, {0, 0, s}, {0, -1, 0}, 1);  // bottom
    }
    void torus(Vec3 c, float major, float minor, int rings, int sides) {
        const float pi2 = 6.2831853f;
        const int first = count_ + 1;
        for (int i = 0; i <= rings; ++i)
            for (int j = 0; j <= sides; ++j) {
                const float u = pi2 * i / rings, v = pi2 * j / sides;
                const Vec3 n{std::cos(u) * std::cos(v), std::sin(v), std::sin(u) * std::cos(v)};
                const float r = major + minor * std::cos(v);
                vertex({c.x + r * std::cos(u), c.y + minor * std::sin(v), c.z + r * std::sin(u)}, n,
                       static_cast<float>(i) / rings, static_cast<float>(j) / sides);
            }
        auto at = [&](int i, int j) { return first + i * (sides + 1) + j; };
        for (int i = 0; i < rings; ++i)
            for (int j = 0; j < sides; ++j)
                quad(at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j));
    }
    const std::string& text() const { return text_; }

private:
    std::string text_ = "# the qcore sample scene\nmtllib sample.mtl\n";
    int count_ = 0;
};

bool write_text(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// A texture of `size` x `size` pixels, blue, green, red, x, painted by colour(x, y).
template <class Paint> std::vector<uint8_t> paint(int size, Paint colour) {
    std::vector<uint8_t> px(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const uint32_t c = colour(x, y);
            uint8_t* p = &px[(static_cast<size_t>(y) * size + x) * 4];
            p[0] = c & 0xff;
            p[1] = (c >> 8) & 0xff;
            p[2] = (c >> 16) & 0xff;
            p[3] = 0xff;
        }
    return px;
}

qcore::detail::PixelRows rows_of(const std::vector<uint8_t>& px, int size) {
    return {px.data(), static_cast<ptrdiff_t>(size) * 4, size, size, 4};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: qcore-sample OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);

    ObjWriter obj;
    obj.object("Ground", "checker");
    obj.rect({-5, 0, 5}, {10, 0, 0}, {0, 0, -10}, {0, 1, 0}, 5);
    obj.object("Crate", "crate");
    obj.box({-2.2f, 0.75f, 0.5f}, 0.75f);
    obj.object("Ring", "copper");
    obj.torus({1.8f, 0.45f, 0.6f}, 1.0f, 0.4f, 48, 24);
    obj.object("Glass", "glass");
    obj.rect({-1.2f, 0, 2.6f}, {2.4f, 0, 0}, {0, 1.8f, 0}, {0, 0, 1}, 1);
    obj.object("Screen", "screen");
    obj.rect({-1.6f, 1.0f, -3.5f}, {3.2f, 0, 0}, {0, 1.8f, 0}, {0, 0, 1}, 1);

    const std::string mtl =
        "# materials of the qcore sample scene\n"
        "newmtl checker\nKa 0.2 0.2 0.2\nKd 1 1 1\nKs 0 0 0\nmap_Kd checker.bmp\n\n"
        "newmtl crate\nKa 0.2 0.2 0.2\nKd 1 1 1\nKs 0.2 0.2 0.2\nNs 10\nmap_Kd crate.jpg\n\n"
        "newmtl copper\nKa 0.2 0.1 0.05\nKd 0.85 0.45 0.2\nKs 0.9 0.8 0.7\nNs 40\n\n"
        "newmtl glass\nKa 0.1 0.1 0.1\nKd 0.55 0.75 0.95\nKs 0.8 0.8 0.8\nNs 60\nd 0.4\n\n"
        "newmtl screen\nKa 1 1 1\nKd 1 1 1\nKs 0 0 0\nmap_Kd clip.mp4\n";

    const int n = 128;
    const auto checker =
        paint(n, [](int x, int y) { return ((x / 16 + y / 16) & 1) ? 0xe0e0e0u : 0x405060u; });
    const auto crate = paint(n, [](int x, int y) {
        const bool edge = x < 10 || y < 10 || x >= 118 || y >= 118 || std::abs(x - y) < 7;
        const uint32_t grain = static_cast<uint32_t>(20 * std::sin(y * 0.4f + std::sin(x * 0.05f) * 3));
        return edge ? 0x5a3a1au : 0xb07a40u + (grain << 8);
    });
    qcore::GeneratedClip clip;
    clip.width = 256;
    clip.height = 144;
    clip.frames = 50;

    const bool ok =
        write_text(dir + "/sample.obj", obj.text()) && write_text(dir + "/sample.mtl", mtl) &&
        qcore::detail::write_bmp24_file((dir + "/checker.bmp").c_str(), rows_of(checker, n)) &&
        qcore::detail::write_jpeg_file((dir + "/crate.jpg").c_str(), rows_of(crate, n), true, 90) &&
        qcore::write_generated_clip((dir + "/clip.mp4").c_str(), clip);
    if (!ok) {
        std::fprintf(stderr, "qcore-sample: cannot write the sample into %s\n", dir.c_str());
        return 1;
    }
    std::printf("sample scene written to %s/sample.obj\n", dir.c_str());
    return 0;
}
