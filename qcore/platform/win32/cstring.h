#pragma once
// The framework's 8-bit string. Text is UTF-8; case folding touches ASCII letters only and ordered
// comparisons are bytewise.
#include <qcore/platform/win32/types.h>

#include <cstdarg>
#include <string>
#include <string_view>

class CString {
public:
    CString() = default;
    CString(const char* s) : str_(s ? s : "") {}
    CString(const char* s, int length) : str_(s ? std::string(s, length > 0 ? length : 0) : std::string()) {}
    CString(char ch, int repeat = 1) : str_(repeat > 0 ? repeat : 0, ch) {}
    CString(const std::string& s) : str_(s) {}
    CString(std::string&& s) : str_(std::move(s)) {}
    CString(std::string_view s) : str_(s) {}

    operator const char*() const { return str_.c_str(); }
    const char* GetString() const { return str_.c_str(); }
    const std::string& str() const { return str_; }
    std::string_view view() const { return str_; }

    int GetLength() const { return static_cast<int>(str_.size()); }
    bool IsEmpty() const { return str_.empty(); }
    void Empty() { str_.clear(); }
    char GetAt(int index) const { return str_.at(static_cast<size_t>(index)); }
    char operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char ch) { str_.at(static_cast<size_t>(index)) = ch; }

    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* fmt, va_list args);
    void AppendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;

    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* chars) const;

    CString& MakeLower();
    CString& MakeUpper();
    CString& MakeReverse();
    int Replace(char old_ch, char new_ch);
    int Replace(const char* old_text, const char* new_text);
    int Remove(char ch);
    int Insert(int index, char ch);
    int Insert(int index, const char* text);
    int Delete(int index, int count = 1);
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& TrimLeft(char ch);
    CString& TrimRight(char ch);
    CString& TrimLeft(const char* chars);
    CString& TrimRight(const char* chars);

    int Compare(const char* other) const;
    int CompareNoCase(const char* other) const;

    // Direct access to the characters; ReleaseBuffer(-1) takes the length from the terminating zero.
    char* GetBuffer(int min_length = 0);
    char* GetBufferSetLength(int length);
    void ReleaseBuffer(int new_length = -1);

    CString& operator=(const char* s);
    CString& operator=(char ch);
    CString& operator+=(const CString& s);
    CString& operator+=(const char* s);
    CString& operator+=(char ch);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);
    friend CString operator+(const CString& a, char b);
    friend CString operator+(char a, const CString& b);

    friend bool operator==(const CString& a, const CString& b) { return a.str_ == b.str_; }
    friend bool operator==(const CString& a, const char* b) { return a.str_ == (b ? b : ""); }
    friend bool operator==(const char* a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.str_ < b.str_; }
    friend bool operator<(const CString& a, const char* b) { return a.Compare(b) < 0; }
    friend bool operator>(const CString& a, const CString& b) { return b < a; }
    friend bool operator<=(const CString& a, const CString& b) { return !(b < a); }
    friend bool operator>=(const CString& a, const CString& b) { return !(a < b); }

private:
    std::string str_;
};

namespace qcore {
// ASCII-only case folding and comparison, the rule every case-insensitive name in the library follows.
char ascii_lower(char c);
char ascii_upper(char c);
int compare_no_case(std::string_view a, std::string_view b);

struct NoCaseLess {
    bool operator()(const CString& a, const CString& b) const {
        return compare_no_case(a.view(), b.view()) < 0;
    }
};
} // namespace qcore
