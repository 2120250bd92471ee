#include <qcore/platform/win32/cstring.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qcore {

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char ascii_upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int compare_no_case(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(ascii_lower(a[i]));
        const auto cb = static_cast<unsigned char>(ascii_lower(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace qcore

namespace {

size_t clamp_index(int i, size_t size) {
    if (i < 0) return 0;
    return std::min(static_cast<size_t>(i), size);
}

int to_int_pos(size_t pos) {
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

} // namespace

void CString::FormatV(const char* fmt, va_list args) {
    if (!fmt) {
        str_.clear();
        return;
    }
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n < 0) {
        str_.clear();
        return;
    }
    std::string out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, fmt, args);
    str_ = std::move(out);
}

void CString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

void CString::AppendFormat(const char* fmt, ...) {
    CString tail;
    va_list args;
    va_start(args, fmt);
    tail.FormatV(fmt, args);
    va_end(args);
    str_ += tail.str_;
}

CString CString::Left(int count) const {
    return CString(str_.substr(0, clamp_index(count, str_.size())));
}

CString CString::Right(int count) const {
    const size_t n = clamp_index(count, str_.size());
    return CString(str_.substr(str_.size() - n));
}

CString CString::Mid(int first) const {
    return CString(str_.substr(clamp_index(first, str_.size())));
}

CString CString::Mid(int first, int count) const {
    const size_t start = clamp_index(first, str_.size());
    return CString(str_.substr(start, clamp_index(count, str_.size() - start)));
}

int CString::Find(char ch, int start) const {
    if (start < 0 || static_cast<size_t>(start) >= str_.size()) return -1;
    return to_int_pos(str_.find(ch, static_cast<size_t>(start)));
}

int CString::Find(const char* sub, int start) const {
    if (!sub || start < 0 || static_cast<size_t>(start) > str_.size()) return -1;
    return to_int_pos(str_.find(sub, static_cast<size_t>(start)));
}

int CString::ReverseFind(char ch) const {
    return to_int_pos(str_.rfind(ch));
}

int CString::FindOneOf(const char* chars) const {
    if (!chars) return -1;
    return to_int_pos(str_.find_first_of(chars));
}

CString& CString::MakeLower() {
    for (char& c : str_)
        c = qcore::ascii_lower(c);
    return *this;
}

CString& CString::MakeUpper() {
    for (char& c : str_)
        c = qcore::ascii_upper(c);
    return *this;
}

CString& CString::MakeReverse() {
    std::reverse(str_.begin(), str_.end());
    return *this;
}

int CString::Replace(char old_ch, char new_ch) {
    int count = 0;
    for (char& c : str_) {
        if (c == old_ch) {
            c = new_ch;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const char* old_text, const char* new_text) {
    if (!old_text || !*old_text) return 0;
    const std::string_view from(old_text);
    const std::string_view to(new_text ? new_text : "");
    std::string out;
    int count = 0;
    size_t pos = 0;
    for (size_t hit; (hit = str_.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
        out.append(str_, pos, hit - pos);
        out.append(to);
        ++count;
    }
    if (count == 0) return 0;
    out.append(str_, pos, std::string::npos);
    str_ = std::move(out);
    return count;
}

int CString::Remove(char ch) {
    const auto old = str_.size();
    str_.erase(std::remove(str_.begin(), str_.end(), ch), str_.end());
    return static_cast<int>(old - str_.size());
}

int CString::Insert(int index, char ch) {
    str_.insert(clamp_index(index, str_.size()), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char* text) {
    if (text) str_.insert(clamp_index(index, str_.size()), text);
    return GetLength();
}

int CString::Delete(int index, int count) {
    if (index >= 0 && count > 0 && static_cast<size_t>(index) < str_.size())
        str_.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

CString& CString::Trim() {
    return TrimRight().TrimLeft();
}
CString& CString::TrimLeft() {
    return TrimLeft(" \t\r\n\v\f");
}
CString& CString::TrimRight() {
    return TrimRight(" \t\r\n\v\f");
}

CString& CString::TrimLeft(char ch) {
    const char set[2] = {ch, 0};
    return TrimLeft(set);
}

CString& CString::TrimRight(char ch) {
    const char set[2] = {ch, 0};
    return TrimRight(set);
}

CString& CString::TrimLeft(const char* chars) {
    if (!chars) return *this;
    const size_t p = str_.find_first_not_of(chars);
    str_.erase(0, p == std::string::npos ? str_.size() : p);
    return *this;
}

CString& CString::TrimRight(const char* chars) {
    if (!chars) return *this;
    const size_t p = str_.find_last_not_of(chars);
    str_.erase(p == std::string::npos ? 0 : p + 1);
    return *this;
}

int CString::Compare(const char* other) const {
    const int c = str_.compare(other ? other : "");
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char* other) const {
    return qcore::compare_no_case(str_, other ? other : "");
}

char* CString::GetBuffer(int min_length) {
    if (min_length > 0 && static_cast<size_t>(min_length) > str_.size()) {
        const size_t old = str_.size();
        str_.resize(static_cast<size_t>(min_length));
        std::fill(str_.begin() + static_cast<std::ptrdiff_t>(old), str_.end(), '\0');
    }
    return str_.data();
}

char* CString::GetBufferSetLength(int length) {
    str_.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return str_.data();
}

void CString::ReleaseBuffer(int new_length) {
    if (new_length < 0) {
        str_.resize(std::strlen(str_.c_str()));
        return;
    }
    str_.resize(std::min(static_cast<size_t>(new_length), str_.size()));
}

CString& CString::operator=(const char* s) {
    str_ = s ? s : "";
    return *this;
}

CString& CString::operator=(char ch) {
    str_.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const CString& s) {
    str_ += s.str_;
    return *this;
}

CString& CString::operator+=(const char* s) {
    if (s) str_ += s;
    return *this;
}

CString& CString::operator+=(char ch) {
    str_ += ch;
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    return CString(a.str_ + b.str_);
}
CString operator+(const CString& a, const char* b) {
    return CString(a.str_ + (b ? b : ""));
}
CString operator+(const char* a, const CString& b) {
    return CString((a ? a : "") + b.str_);
}
CString operator+(const CString& a, char b) {
    return CString(a.str_ + b);
}
CString operator+(char a, const CString& b) {
    return CString(a + b.str_);
}
