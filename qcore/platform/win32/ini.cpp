#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/ini.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/paths.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace qcore::detail {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string_view unquote(std::string_view s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool same_name(std::string_view a, std::string_view b) {
    return compare_no_case(a, b) == 0;
}

} // namespace

IniDocument::Line IniDocument::classify(std::string text) {
    Line line;
    const std::string_view body = trim(text);
    if (!body.empty() && body.front() == '[') {
        const size_t close = body.find(']');
        line.kind = Kind::section;
        line.name =
            trim(body.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    } else if (!body.empty() && body.front() != ';') {
        const size_t eq = body.find('=');
        const std::string_view key =
            eq == std::string_view::npos ? std::string_view() : trim(body.substr(0, eq));
        if (!key.empty()) {
            line.kind = Kind::key;
            line.name = key;
            line.value_at = static_cast<size_t>(body.data() - text.data()) + eq + 1;
        }
    }
    line.text = std::move(text);
    return line;
}

IniDocument IniDocument::parse(std::string_view bytes) {
    IniDocument doc;
    if (bytes.substr(0, kBom.size()) == kBom) {
        doc.bom_ = true;
        bytes.remove_prefix(kBom.size());
    }
    const size_t first_nl = bytes.find('\n');
    if (first_nl != std::string_view::npos && (first_nl == 0 || bytes[first_nl - 1] != '\r')) doc.eol_ = "\n";
    while (!bytes.empty()) {
        const size_t nl = bytes.find('\n');
        std::string_view line = bytes.substr(0, nl);
        bytes.remove_prefix(nl == std::string_view::npos ? bytes.size() : nl + 1);
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr) line.remove_suffix(1);
        doc.lines_.push_back(classify(std::string(line)));
        doc.lines_.back().eol = nl == std::string_view::npos ? "" : cr ? "\r\n" : "\n";
    }
    return doc;
}

std::string IniDocument::serialize() const {
    std::string out = bom_ ? std::string(kBom) : std::string();
    for (const Line& line : lines_) {
        out += line.text;
        out += line.eol.empty() ? eol_ : line.eol;
    }
    return out;
}

size_t IniDocument::find_section(std::string_view section, size_t* end) const {
    section = trim(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Kind::section || !same_name(lines_[i].name, section)) continue;
        size_t j = i + 1;
        while (j < lines_.size() && lines_[j].kind != Kind::section)
            ++j;
        if (end) *end = j;
        return i;
    }
    return std::string::npos;
}

size_t IniDocument::find_key(size_t section, size_t end, std::string_view key) const {
    key = trim(key);
    for (size_t i = section + 1; i < end; ++i)
        if (lines_[i].kind == Kind::key && same_name(lines_[i].name, key)) return i;
    return std::string::npos;
}

bool IniDocument::get(std::string_view section, std::string_view key, std::string& value) const {
    size_t end = 0;
    const size_t s = find_section(section, &end);
    if (s == std::string::npos) return false;
    const size_t k = find_key(s, end, key);
    if (k == std::string::npos) return false;
    value = unquote(trim(std::string_view(lines_[k].text).substr(lines_[k].value_at)));
    return true;
}

std::vector<std::string> IniDocument::section_names() const {
    std::vector<std::string> out;
    for (const Line& line : lines_)
        if (line.kind == Kind::section) out.push_back(line.name);
    return out;
}

std::vector<std::string> IniDocument::key_names(std::string_view section) const {
    std::vector<std::string> out;
    size_t end = 0;
    const size_t s = find_section(section, &end);
    if (s == std::string::npos) return out;
    for (size_t i = s + 1; i < end; ++i)
        if (lines_[i].kind == Kind::key) out.push_back(lines_[i].name);
    return out;
}

void IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
    std::string text = std::string(key) + "=" + std::string(value);
    size_t end = 0;
    const size_t s = find_section(section, &end);
    if (s == std::string::npos) {
        if (!lines_.empty() && !trim(lines_.back().text).empty()) lines_.push_back(Line{});
        std::string header;
        header.reserve(section.size() + 2);
        header.append("[").append(section).append("]");
        lines_.push_back(classify(std::move(header)));
        lines_.push_back(classify(std::move(text)));
        return;
    }
    const size_t k = find_key(s, end, key);
    if (k != std::string::npos) {
        // Keep the key as the file spells it.
        std::string eol = std::move(lines_[k].eol);
        lines_[k] = classify(lines_[k].name + "=" + std::string(value));
        lines_[k].eol = std::move(eol);
        return;
    }
    size_t at = end;
    while (at > s + 1 && trim(lines_[at - 1].text).empty())
        --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), classify(std::move(text)));
}

void IniDocument::remove_key(std::string_view section, std::string_view key) {
    size_t end = 0;
    const size_t s = find_section(section, &end);
    if (s == std::string::npos) return;
    const size_t k = find_key(s, end, key);
    if (k != std::string::npos) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k));
}

void IniDocument::remove_section(std::string_view section) {
    size_t end = 0;
    const size_t s = find_section(section, &end);
    if (s == std::string::npos) return;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(s),
                 lines_.begin() + static_cast<std::ptrdiff_t>(end));
}

} // namespace qcore::detail

namespace {

using qcore::detail::IniDocument;

// Settings files are small; anything larger is not read whole, and never rewritten.
constexpr off_t kMaxIniBytes = 16 << 20;

std::mutex g_write_mutex;

std::string ini_path(LPCSTR file) {
    const std::string_view name = file && *file ? file : "win.ini";
    if (name.find_first_of("\\/") == std::string_view::npos && !qcore::drive_letter(name))
        return qcore::windows_folder().str() + "/" + std::string(name);
    return qcore::os_path(name);
}

enum class Read { ok, missing, failed };

Read read_file(const std::string& path, std::string& bytes, struct stat& st) {
    switch (qcore::detail::read_small_file(path, static_cast<size_t>(kMaxIniBytes), bytes, &st)) {
    case qcore::detail::SmallFileRead::ok:
        return Read::ok;
    case qcore::detail::SmallFileRead::missing:
        return Read::missing;
    default:
        return Read::failed;
    }
}

DWORD copy_value(std::string_view value, LPSTR buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    const size_t n = std::min<size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

DWORD copy_list(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    std::string joined;
    for (const auto& name : names) {
        joined += name;
        joined += '\0';
    }
    if (joined.size() + 1 <= size) {
        std::memcpy(buffer, joined.data(), joined.size());
        buffer[joined.size()] = '\0';
        // An empty list still ends with its two zeros where there is room.
        if (joined.empty() && size > 1) buffer[1] = '\0';
        return static_cast<DWORD>(joined.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, joined.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

bool breaks_lines(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

BOOL store(const std::string& path, const IniDocument& doc) {
    qcore::detail::ReplacingFile out;
    if (!out.open(path, 0666) || !out.write(doc.serialize()) || !out.commit())
        return qcore::fail_with_errno();
    return TRUE;
}

} // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR buffer, DWORD size,
                               LPCSTR file) {
    const IniDocument doc = qcore::detail::load_profile(file);
    if (!section) return copy_list(doc.section_names(), buffer, size);
    if (!key) return copy_list(doc.key_names(section), buffer, size);
    std::string value;
    if (doc.get(section, key, value)) return copy_value(value, buffer, size);
    std::string_view fallback = default_value ? default_value : "";
    while (!fallback.empty() && fallback.back() == ' ')
        fallback.remove_suffix(1);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return copy_value(fallback, buffer, size);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT default_value, LPCSTR file) {
    std::string value;
    if (!section || !key || !qcore::detail::load_profile(file).get(section, key, value) || value.empty())
        return static_cast<UINT>(default_value);
    const char* p = value.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    unsigned long long n = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        n = std::min<unsigned long long>(n * 10 + static_cast<unsigned>(*p - '0'), 1ull << 32);
    const UINT magnitude = n >= (1ull << 32) ? UINT_MAX : static_cast<UINT>(n);
    return negative ? 0u - magnitude : magnitude;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
    if (!section) return key || value ? qcore::fail_with(ERROR_INVALID_PARAMETER) : TRUE;
    if (!key) return qcore::detail::write_profile(file, section, {}, true);
    return qcore::detail::write_profile(
        file, section, {{key, value ? std::optional<std::string>(value) : std::nullopt}}, false);
}

namespace qcore::detail {

IniDocument load_profile(LPCSTR file) {
    std::string bytes;
    struct stat st {};
    read_file(ini_path(file), bytes, st);
    return IniDocument::parse(bytes);
}

BOOL write_profile(LPCSTR file, std::string_view section, const std::vector<ProfileEdit>& edits,
                   bool remove_section) {
    if (breaks_lines(section) || section.find(']') != std::string_view::npos)
        return qcore::fail_with(ERROR_INVALID_PARAMETER);
    // Names as the reader sees them; a key the reader would take for a comment or a section is refused.
    const std::string name(trim(section));
    std::vector<ProfileEdit> changes;
    for (const ProfileEdit& edit : edits) {
        const std::string key(trim(edit.first));
        if (key.empty() || key.front() == ';' || key.front() == '[' || key.find('=') != std::string::npos ||
            breaks_lines(edit.first) || (edit.second && breaks_lines(*edit.second)))
            return qcore::fail_with(ERROR_INVALID_PARAMETER);
        changes.emplace_back(key, edit.second);
    }
    const std::string path = ini_path(file);
    if (path.empty()) return qcore::fail_with(ERROR_PATH_NOT_FOUND);

    std::lock_guard lock(g_write_mutex);
    std::string bytes;
    struct stat st {};
    const Read read = read_file(path, bytes, st);
    if (read == Read::failed) return qcore::fail_with(ERROR_ACCESS_DENIED);
    // Deleting from a file that does not exist changes nothing.
    const bool adds =
        std::any_of(changes.begin(), changes.end(), [](const ProfileEdit& e) { return e.second; });
    if (read == Read::missing && !adds) return TRUE;
    IniDocument doc = IniDocument::parse(bytes);
    if (remove_section) doc.remove_section(name);
    for (const ProfileEdit& change : changes) {
        if (change.second)
            doc.set(name, change.first, *change.second);
        else
            doc.remove_key(name, change.first);
    }
    return store(path, doc);
}

} // namespace qcore::detail

DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR file) {
    return copy_list(qcore::detail::load_profile(file).section_names(), buffer, size);
}
