#include <qcore/platform/win32/file_find.h>
#include <qcore/platform/win32/file_status.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/paths.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace qcore {
namespace {

bool is_continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// One character of a name: a whole UTF-8 sequence, so '?' matches a Chinese character as on Windows.
size_t char_length(std::string_view s, size_t at) {
    size_t n = 1;
    while (at + n < s.size() && is_continuation(s[at + n]))
        ++n;
    return n;
}

bool match(std::string_view p, std::string_view s) {
    size_t pi = 0, si = 0;
    size_t star = std::string_view::npos, resume = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '?') {
            ++pi;
            si += char_length(s, si);
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            resume = si;
        } else if (pi < p.size() && ascii_lower(p[pi]) == ascii_lower(s[si])) {
            ++pi;
            ++si;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            resume += char_length(s, resume);
            si = resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

} // namespace

bool wildcard_match(std::string_view pattern, std::string_view name) {
    if (match(pattern, name)) return true;
    const bool dot_star = pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*";
    return dot_star && name.find('.') == std::string_view::npos &&
           match(pattern.substr(0, pattern.size() - 2), name);
}

} // namespace qcore

BOOL CFileFind::FindFile(const char* pattern, DWORD) {
    Close();
    const std::string_view text = pattern && *pattern ? pattern : "*.*";
    const size_t sep = text.find_last_of("\\/");
    std::string_view mask = text;
    if (sep != std::string_view::npos) {
        root_ = CString(text.substr(0, sep + 1));
        mask = text.substr(sep + 1);
    } else if (qcore::drive_letter(text)) {
        root_ = CString(text.substr(0, 2));
        mask = text.substr(2);
    }
    const std::string folder = root_.IsEmpty() ? std::string(".") : qcore::os_path(root_.view());
    std::unique_ptr<DIR, int (*)(DIR*)> dir(folder.empty() ? nullptr : ::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        qcore::fail_with_errno();
        root_.Empty();
        return FALSE;
    }
    while (const dirent* d = ::readdir(dir.get())) {
        if (!qcore::wildcard_match(mask, d->d_name)) continue;
        struct statx st {};
        if (::statx(dirfd(dir.get()), d->d_name, 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) continue;
        const bool dir_entry = S_ISDIR(st.stx_mode);
        entries_.push_back(Entry{d->d_name, dir_entry, ::faccessat(dirfd(dir.get()), d->d_name, W_OK, 0) != 0,
                                 dir_entry ? 0 : st.stx_size, st.stx_mtime.tv_sec,
                                 qcore::detail::creation_time(st)});
    }
    if (entries_.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        root_.Empty();
        return FALSE;
    }
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        const int order = qcore::compare_no_case(a.name.view(), b.name.view());
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (next_ >= entries_.size()) return FALSE;
    ++next_;
    return next_ < entries_.size();
}

void CFileFind::Close() {
    root_.Empty();
    entries_.clear();
    next_ = 0;
}

const CFileFind::Entry* CFileFind::current() const {
    return next_ == 0 ? nullptr : &entries_[next_ - 1];
}

CString CFileFind::GetFileName() const {
    return current() ? current()->name : CString();
}

CString CFileFind::GetFilePath() const {
    return current() ? root_ + current()->name : CString();
}

CString CFileFind::GetFileTitle() const {
    if (!current()) return CString();
    const int dot = current()->name.ReverseFind('.');
    return dot > 0 ? current()->name.Left(dot) : current()->name;
}

ULONGLONG CFileFind::GetLength() const {
    return current() ? current()->size : 0;
}

BOOL CFileFind::GetLastWriteTime(CTime& time) const {
    if (!current()) return FALSE;
    time = CTime(current()->modified);
    return TRUE;
}

BOOL CFileFind::GetCreationTime(CTime& time) const {
    if (!current()) return FALSE;
    time = CTime(current()->created);
    return TRUE;
}

BOOL CFileFind::IsDots() const {
    return current() && current()->directory && (current()->name == "." || current()->name == "..");
}

BOOL CFileFind::IsDirectory() const {
    return current() && current()->directory;
}

BOOL CFileFind::IsReadOnly() const {
    return current() && current()->read_only;
}

BOOL CFileFind::IsHidden() const {
    return current() && current()->name.GetLength() > 1 && current()->name[0] == '.' && !IsDots();
}
