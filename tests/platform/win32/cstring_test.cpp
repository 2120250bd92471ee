#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/mfc_types.h>

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(CString, SlicesClampLikeTheFramework) {
    const CString s("abcdef");
    EXPECT_EQ(s.Left(2), "ab");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Left(99), "abcdef");
    EXPECT_EQ(s.Right(2), "ef");
    EXPECT_EQ(s.Right(99), "abcdef");
    EXPECT_EQ(s.Mid(4), "ef");
    EXPECT_EQ(s.Mid(9), "");
    EXPECT_EQ(s.Mid(1, 2), "bc");
    EXPECT_EQ(s.Mid(4, 10), "ef");
    EXPECT_EQ(s.Mid(-3, 2), "ab");
}

TEST(CString, FindAndReverseFind) {
    const CString path("D:\\a\\b.txt");
    EXPECT_EQ(path.Find('\\'), 2);
    EXPECT_EQ(path.Find('\\', 3), 4);
    EXPECT_EQ(path.Find('\\', 99), -1);
    EXPECT_EQ(path.Find(".txt"), 6);
    EXPECT_EQ(path.Find("x", -1), -1);
    EXPECT_EQ(path.ReverseFind('\\'), 4);
    EXPECT_EQ(path.ReverseFind('/'), -1);
}

TEST(CString, CaseFoldingTouchesAsciiOnly) {
    CString s("AbÉ宋体z");
    s.MakeUpper();
    EXPECT_EQ(s, "ABÉ宋体Z");
    s.MakeLower();
    EXPECT_EQ(s, "abÉ宋体z");
    EXPECT_EQ(CString("ABC").CompareNoCase("abc"), 0);
    EXPECT_LT(CString("abc").CompareNoCase("ABD"), 0);
    EXPECT_GT(CString("abcd").CompareNoCase("ABC"), 0);
    // Bytewise order: UTF-8 lead bytes sort after ASCII.
    EXPECT_LT(CString("z").Compare("é"), 0);
    EXPECT_TRUE(CString("a") < CString("b"));
}

TEST(CString, ReplaceRemoveInsertDelete) {
    CString s("a.b.c");
    EXPECT_EQ(s.Replace('.', '/'), 2);
    EXPECT_EQ(s, "a/b/c");
    EXPECT_EQ(s.Replace("/", "::"), 2);
    EXPECT_EQ(s, "a::b::c");
    EXPECT_EQ(s.Replace("", "x"), 0);
    EXPECT_EQ(s.Replace("::", nullptr), 2);
    EXPECT_EQ(s, "abc");
    s.Insert(1, "XY");
    s.Delete(0, 1);
    EXPECT_EQ(s, "XYbc");
    s.Delete(3, 100);
    EXPECT_EQ(s, "XYb");
}

TEST(CString, FormatAndConcatenation) {
    CString s;
    s.Format("%s_%d%d", "mat", 3, 1);
    EXPECT_EQ(s, "mat_31");
    s.Format("%.6f", 1.5);
    EXPECT_EQ(s, "1.500000");
    CString big;
    big.Format("%0300d", 7);
    EXPECT_EQ(big.GetLength(), 300);
    CString t = "a" + CString("b") + 'c';
    t += "d";
    t += 'e';
    t += CString("f");
    t += static_cast<const char*>(nullptr);
    EXPECT_EQ(t, "abcdef");
    EXPECT_STREQ(static_cast<const char*>(t), "abcdef");
}

TEST(CString, BuffersAndTrim) {
    CString s;
    char* p = s.GetBuffer(10);
    std::snprintf(p, 10, "hi");
    s.ReleaseBuffer();
    EXPECT_EQ(s, "hi");
    EXPECT_EQ(s.GetLength(), 2);
    CString t("  \t x y \r\n");
    EXPECT_EQ(t.Trim(), "x y");
    CString q("\"v\"");
    EXPECT_EQ(q.TrimLeft('"').TrimRight('"'), "v");
}

TEST(CString, NoCaseMapOrdersAndFinds) {
    std::map<CString, int, qcore::NoCaseLess> m;
    m["Beta"] = 1;
    m["alpha"] = 2;
    EXPECT_EQ(m.count("BETA"), 1u);
    EXPECT_EQ(m.begin()->first, "alpha");
}

TEST(MessageBox, DefaultAnswersFollowTheDefaultButton) {
    struct Row {
        UINT type;
        int answer;
    };
    const Row rows[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO, IDYES},
        {MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
    };
    for (const Row& r : rows)
        EXPECT_EQ(qcore::default_message_box_answer(r.type), r.answer) << r.type;
}

TEST(MessageBox, RecorderNestsAndRestores) {
    qcore::MessageBoxRecorder outer(IDNO);
    {
        qcore::MessageBoxRecorder inner;
        EXPECT_EQ(AfxMessageBox("q", MB_YESNO), IDYES);
        EXPECT_EQ(inner.texts(), (std::vector<std::string>{"q"}));
    }
    EXPECT_EQ(MessageBoxA(nullptr, "r", "caption", MB_YESNO), IDNO);
    EXPECT_EQ(outer.texts(), (std::vector<std::string>{"r"}));
}

TEST(Rect, IntersectUnionAndPoints) {
    CRect a(0, 0, 10, 10), b(5, 5, 20, 20), r;
    EXPECT_TRUE(r.IntersectRect(&a, &b));
    EXPECT_EQ(r, CRect(5, 5, 10, 10));
    EXPECT_FALSE(r.IntersectRect(&a, CRect(10, 0, 20, 10)));
    EXPECT_TRUE(r.IsRectNull());
    EXPECT_TRUE(r.UnionRect(&a, &b));
    EXPECT_EQ(r, CRect(0, 0, 20, 20));
    EXPECT_TRUE(a.PtInRect(CPoint(0, 0)));
    EXPECT_FALSE(a.PtInRect(CPoint(10, 5)));
    EXPECT_EQ(CPoint(static_cast<LPARAM>(MAKELONG(-3, 7))), CPoint(-3, 7));
}

} // namespace
