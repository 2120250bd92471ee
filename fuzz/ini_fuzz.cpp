// Settings files come from users and older versions: reading any bytes must be safe, and a rewrite must
// read back the same sections and values.
#include <qcore/platform/win32/ini.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using qcore::detail::IniDocument;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    IniDocument doc = IniDocument::parse(bytes);
    const auto sections = doc.section_names();
    std::string value;
    for (const auto& section : sections)
        for (const auto& key : doc.key_names(section))
            doc.get(section, key, value);

    const IniDocument again = IniDocument::parse(doc.serialize());
    if (again.section_names() != sections) std::abort();
    if (!sections.empty()) {
        doc.set(sections.front(), "fuzz_key", "fuzz value");
        const IniDocument changed = IniDocument::parse(doc.serialize());
        if (!changed.get(sections.front(), "fuzz_key", value) || value != "fuzz value") std::abort();
        doc.remove_section(sections.back());
    }
    return 0;
}
