# Doxygen input filter for the library's headers: their plain // comments become documentation.
# The comment block after "#pragma once" documents the file; a comment line at namespace or class level
# documents what follows it; a comment after a declaration on its own line documents that declaration.
# Comments deeper in (inside inline function bodies) are left as they are. The file's comment also
# documents the first class defined in it when that class has no comment of its own.
# Doxygen commands and markup are escaped outside `code` spans, so that the text reads as written.
function escape(text,    out, i, c, code) {
    out = ""
    code = 0
    for (i = 1; i <= length(text); ++i) {
        c = substr(text, i, 1)
        if (c == "`") code = !code
        else if (!code && (c == "\\" || c == "@" || c == "<" || c == ">" || c == "&" || c == "%" || c == "#")) c = "\\" c
        out = out c
    }
    return out
}
BEGIN { state = "top" }
{
    line = $0
    if (state == "top" && line ~ /^#pragma once/) { print line; state = "file"; next }
    if (state == "file") {
        if (line ~ /^\/\/ ?/) {
            sub(/^\/\/ ?/, "", line)
            if (!file_started) { print "/// \\file"; file_started = 1 }
            print "/// " escape(line)
            file_doc[++file_lines] = escape(line)
            next
        }
        state = "body"
    }
    if (match(line, /^ *\/\//) && RLENGTH <= 6) {
        text = substr(line, RLENGTH + 1)
        sub(/^ /, "", text)
        print substr(line, 1, RLENGTH - 2) "/// " escape(text)
        commented = 1
        next
    }
    if (file_lines && !class_done && line ~ /^(class|struct) [A-Za-z_][A-Za-z0-9_]*/ && line !~ /;$/) {
        class_done = 1
        if (!commented)
            for (i = 1; i <= file_lines; ++i) print "/// " file_doc[i]
    }
    commented = 0
    # A trailing comment after a member or an enum value that ends in ';' or ','.
    if (line !~ /"/ && match(line, /[;,] *\/\/ /)) {
        print substr(line, 1, RSTART) " ///< " escape(substr(line, RSTART + RLENGTH))
        next
    }
    print line
}
