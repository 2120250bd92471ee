#pragma once
// Private-profile settings files with the Windows rules: section and key names ignore letter case, values
// and names are trimmed of blanks and values of one pair of enclosing quotes; a file name without a folder
// lies in the Windows folder. Writes keep every other line as it was and replace the file atomically.
#include <qcore/platform/win32/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// With a null section: all section names; with a null key: all keys of the section (each ending with a
// zero, the list with a second zero). Returns the number of characters copied without the final zero;
// a value cut to fit gives size - 1, a cut list size - 2.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR buffer, DWORD size,
                               LPCSTR file);
// The value's leading decimal integer (0 if there is none); the default when the key is missing or empty.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT default_value, LPCSTR file);
// Creates the file and the section as needed; a null value deletes the key, a null key the section.
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR file);

namespace qcore::detail {

// A key to set to a value, or (without one) to remove.
using ProfileEdit = std::pair<std::string, std::optional<std::string>>;
// Applies the edits to one section in one rewrite of the file (after removing the whole section first
// when asked). Names are trimmed as the reader trims them; empty keys and keys that start with ';' or
// '[' (which the reader takes for comments or sections) are refused, and so is the whole call then.
BOOL write_profile(LPCSTR file, std::string_view section, const std::vector<ProfileEdit>& edits,
                   bool remove_section);

class IniDocument;
// The file's settings as the readers see them; empty when the file is missing or cannot be read.
IniDocument load_profile(LPCSTR file);

// A name or value as the reader sees it: blanks (and a carriage return) trimmed.
std::string_view trim(std::string_view s);
// Takes off one pair of enclosing double or single quotes.
std::string_view unquote(std::string_view s);

// An ini file's lines, kept as they were so that a rewrite changes only what was asked.
class IniDocument {
public:
    static IniDocument parse(std::string_view bytes);
    std::string serialize() const;

    // The value as a reader sees it (trimmed, quotes removed); false when the key is missing.
    bool get(std::string_view section, std::string_view key, std::string& value) const;
    std::vector<std::string> section_names() const;
    std::vector<std::string> key_names(std::string_view section) const;

    void set(std::string_view section, std::string_view key, std::string_view value);
    void remove_key(std::string_view section, std::string_view key);
    void remove_section(std::string_view section);

private:
    enum class Kind { other, section, key };
    struct Line {
        std::string text;
        Kind kind = Kind::other;
        std::string name;
        size_t value_at = 0; // first character after '='
        std::string eol;     // the line's own ending; new lines take the file's first
    };
    static Line classify(std::string text);
    // Index of the section's header line (first match) or npos; `end` receives the index after its body.
    size_t find_section(std::string_view section, size_t* end = nullptr) const;
    size_t find_key(size_t section, size_t end, std::string_view key) const;

    std::vector<Line> lines_;
    std::string eol_ = "\r\n";
    bool bom_ = false;
};

} // namespace qcore::detail
