// tpk: shows what is inside a node-tree file, checks it for damage and rewrites it.
#include <qcore/data/pak_file.h>
#include <qcore/platform/win32/message_box.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: tpk <command> [options] ...\n"
    "\n"
    "commands:\n"
    "  ls [--json] [--force] FILE [NODE-PATH]\n"
    "                                 list the tree below a node (default: the root)\n"
    "  cat [--json] FILE NODE-PATH    print the value of a node\n"
    "  check FILE                     report every damage, one line each; exit 1 if any\n"
    "  save-as [--force] IN OUT       rewrite a file in depth-first order\n"
    "\n"
    "NODE-PATH is node names joined with '/', without regard to letter case.\n"
    "Run 'tpk <command> --help' for one command.\n";

const char* command_help(const std::string& cmd) {
    if (cmd == "ls")
        return "usage: tpk ls [--json] [--force] FILE [NODE-PATH]\n"
               "Lists the node and everything below it: name, type, element kind of buffers, size in\n"
               "bytes and id. --json prints one JSON object with nested \"children\". A damaged file is\n"
               "listed as far as it is intact, with what was lost on standard error and exit status 1\n"
               "unless --force.\n";
    if (cmd == "cat")
        return "usage: tpk cat [--json] FILE NODE-PATH\n"
               "Prints a node's value by its type: numbers, vectors, matrices as rows, colours, GUIDs,\n"
               "rectangles, sizes and texts; buffers as typed arrays by element kind, raw bytes as a hex\n"
               "dump. --json prints {\"name\", \"type\", \"value\"}.\n";
    if (cmd == "check")
        return "usage: tpk check FILE\n"
               "Reads the whole file and prints one line per damage (offset and problem). Exits 0 when the\n"
               "file is sound, 1 when it has problems or cannot be read.\n";
    if (cmd == "save-as")
        return "usage: tpk save-as [--force] IN OUT\n"
               "Reads IN and writes its tree to OUT in depth-first order; OUT is replaced only once it is\n"
               "complete. A damaged IN is not saved (what was lost goes to standard error, exit status 1)\n"
               "unless --force, which saves its intact records.\n";
    return nullptr;
}

int fail(const std::string& text) {
    std::fprintf(stderr, "tpk: %s\n", text.c_str());
    return 1;
}

int usage_error(const std::string& text) {
    std::fprintf(stderr, "tpk: %s\n%s", text.c_str(), kUsage);
    return 2;
}

std::string fmt_float(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

std::string json_float(float v) {
    if (std::isnan(v)) return "\"NaN\"";
    if (std::isinf(v)) return v > 0 ? "\"Infinity\"" : "\"-Infinity\"";
    return fmt_float(v);
}

// Escapes a byte string for JSON; bytes that are not valid UTF-8 are taken as Latin-1.
std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t n = c >= 0xf0 && c < 0xf5 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
        bool valid = n > 0 && i + n <= s.size() && c < 0xf5;
        for (size_t k = 1; valid && k < n; ++k)
            valid = (static_cast<unsigned char>(s[i + k]) & 0xc0) == 0x80;
        if (valid) {
            out.append(s, i, n);
            i += n;
            continue;
        }
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
        ++i;
    }
    return out + "\"";
}

std::string type_label(const CPakNode& n) {
    std::string t = CPakNode::get_type_name(n.get_node_type());
    if (n.get_node_type() < NODE_DIR || n.get_node_type() > NODE_QUAT)
        t = "type " + std::to_string(n.get_node_type());
    return t;
}

CPakNode* resolve(CPakNode* root, const std::string& path) {
    CPakNode* node = root;
    size_t start = 0;
    while (node && start <= path.size()) {
        const size_t slash = path.find('/', start);
        const std::string part =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty()) node = node->find(part.c_str());
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return node;
}

// ----- ls ---------------------------------------------------------------------------------------------

void ls_text(const CPakNode* top) {
    std::vector<std::pair<const CPakNode*, int>> stack{{top, 0}};
    while (!stack.empty()) {
        const auto [n, depth] = stack.back();
        stack.pop_back();
        std::string line(static_cast<size_t>(depth) * 2, ' ');
        line += n->get_name();
        line += "  " + type_label(*n);
        if (n->get_node_type() == NODE_BUF)
            line += std::string(" ") + qcore::pak_element_name(n->get_sub_type());
        if (n->get_node_type() != NODE_DIR || n->get_length() != 0)
            line += "  " + std::to_string(n->get_length()) + " bytes";
        line += "  id " + std::to_string(n->get_id());
        std::printf("%s\n", line.c_str());
        const auto& kids = n->get_children();
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.push_back({*it, depth + 1});
    }
}

std::string node_json_head(const CPakNode& n) {
    std::string s = "{\"name\": " + json_string(n.get_name()) + ", \"type\": " + json_string(type_label(n)) +
                    ", \"type_code\": " + std::to_string(n.get_node_type());
    if (n.get_node_type() == NODE_BUF)
        s += ", \"sub_type\": " + std::to_string(n.get_sub_type()) +
             ", \"kind\": " + json_string(qcore::pak_element_name(n.get_sub_type()));
    s += ", \"length\": " + std::to_string(n.get_length()) + ", \"id\": " + std::to_string(n.get_id()) +
         ", \"parent_id\": " + std::to_string(n.get_parent_id());
    return s;
}

void ls_json(const CPakNode* top) {
    // Explicit stack: a null entry closes the children list of the node below it.
    std::string out;
    std::vector<const CPakNode*> stack{top};
    std::vector<bool> first{true};
    while (!stack.empty()) {
        const CPakNode* n = stack.back();
        stack.pop_back();
        if (!n) {
            out += "]}";
            first.pop_back();
            continue;
        }
        if (!first.back()) out += ", ";
        first.back() = false;
        out += node_json_head(*n);
        if (n->get_node_type() != NODE_DIR) {
            out += "}";
            continue;
        }
        out += ", \"children\": [";
        first.push_back(true);
        stack.push_back(nullptr);
        const auto& kids = n->get_children();
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.push_back(*it);
    }
    std::printf("%s\n", out.c_str());
}

// ----- cat --------------------------------------------------------------------------------------------

// One value as text rows (each a list of fields) plus its JSON form.
struct Value {
    std::vector<std::vector<std::string>> rows;
    std::string json;
    std::string hex;  // set for raw bytes: printed as a hex dump
    std::string text; // set for texts
    bool is_text = false;
};

template <class T> T load(const BYTE* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::string text_of(float v) {
    return fmt_float(v);
}
std::string json_of(float v) {
    return json_float(v);
}
template <class T> std::string text_of(T v) {
    return std::to_string(v);
}
template <class T> std::string json_of(T v) {
    return std::to_string(v);
}

// count values of type T in rows of per_row; JSON nests the rows when there is more than one per row.
template <class T> Value rows(const BYTE* p, size_t count, size_t per_row) {
    Value v;
    std::string json = "[";
    for (size_t r = 0; r < count / per_row; ++r) {
        std::vector<std::string> row;
        std::string jr = per_row > 1 ? "[" : "";
        for (size_t k = 0; k < per_row; ++k) {
            const T x = load<T>(p + (r * per_row + k) * sizeof(T));
            row.push_back(text_of(x));
            jr += (k ? ", " : "") + json_of(x);
        }
        if (per_row > 1) jr += "]";
        json += (r ? ", " : "") + jr;
        v.rows.push_back(row);
    }
    v.json = json + "]";
    return v;
}

// A single row of a fixed value is shown as that row, and its JSON as the flat array.
Value single(Value v) {
    const bool nested = v.json.size() > 2 && v.json[1] == '[';
    if (v.rows.size() == 1 && (nested || v.rows[0].size() == 1)) v.json = v.json.substr(1, v.json.size() - 2);
    return v;
}

Value text_value(const BYTE* p, size_t size) {
    Value v;
    v.is_text = true;
    v.text.assign(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), size));
    v.json = json_string(v.text);
    return v;
}

Value hex_value(const BYTE* p, size_t size) {
    Value v;
    v.hex.assign(reinterpret_cast<const char*>(p), size);
    std::string json = "\"";
    for (size_t i = 0; i < size; ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", p[i]);
        json += buf;
    }
    v.json = json + "\"";
    return v;
}

Value guid_value(const BYTE* p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%x-%x-%x-%x-%x", load<uint32_t>(p), load<uint16_t>(p + 4),
                  load<uint16_t>(p + 6), load<uint32_t>(p + 8), load<uint32_t>(p + 12));
    Value v;
    v.is_text = true;
    v.text = buf;
    v.json = json_string(buf);
    return v;
}

Value buffer_value(WORD kind, const std::vector<BYTE>& b) {
    const BYTE* p = b.data();
    const size_t n = b.size();
    switch (kind) {
    case qcore::buf_chars:
        return text_value(p, n);
    case qcore::buf_vec:
        return rows<float>(p, n / 4 / 3 * 3, 3);
    case qcore::buf_face:
        return rows<uint32_t>(p, n / 4 / 3 * 3, 3);
    case qcore::buf_uint32:
        return rows<uint32_t>(p, n / 4, 1);
    case qcore::buf_float2:
        return rows<float>(p, n / 4 / 2 * 2, 2);
    case qcore::buf_uint16:
        return rows<uint16_t>(p, n / 2, 1);
    case qcore::buf_float:
        return rows<float>(p, n / 4, 1);
    default:
        return hex_value(p, n);
    }
}

Value fixed_value(WORD type, const BYTE* p, size_t size) {
    switch (type) {
    case NODE_INT:
        return single(rows<int32_t>(p, 1, 1));
    case NODE_TIME:
        return single(rows<uint32_t>(p, 1, 1));
    case NODE_FILENAME:
    case NODE_STR32:
    case NODE_STR64:
        return text_value(p, size);
    case NODE_MATRIX:
        return rows<float>(p, 16, 4);
    case NODE_VEC:
        return single(rows<float>(p, 3, 3));
    case NODE_FLOAT:
        return single(rows<float>(p, 1, 1));
    case NODE_GUID:
        return guid_value(p);
    case NODE_BOX:
        return rows<float>(p, 6, 3);
    case NODE_CRECT:
        return single(rows<int32_t>(p, 4, 4));
    case NODE_CSIZE:
        return single(rows<int32_t>(p, 2, 2));
    case NODE_D3DXCOLOR:
    case NODE_FRECT:
    case NODE_FLOAT4:
    case NODE_QUAT:
        return single(rows<float>(p, 4, 4));
    default:
        return hex_value(p, size);
    }
}

void print_hex_dump(const std::string& bytes) {
    for (size_t at = 0; at < bytes.size(); at += 16) {
        std::string line;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%08zx ", at);
        line += buf;
        std::string chars;
        for (size_t i = at; i < at + 16; ++i) {
            if (i < bytes.size()) {
                const auto c = static_cast<unsigned char>(bytes[i]);
                std::snprintf(buf, sizeof buf, " %02x", c);
                chars += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '.';
            } else {
                std::snprintf(buf, sizeof buf, "   ");
            }
            line += buf;
        }
        std::printf("%s  |%s|\n", line.c_str(), chars.c_str());
    }
}

int cat(CPakNode& n, bool json) {
    const WORD type = n.get_node_type();
    if (type == NODE_DIR) return fail(std::string(n.get_name()) + " is a directory; use 'tpk ls'");
    Value v;
    if (type == NODE_BUF) {
        std::vector<BYTE> bytes;
        if (!n.get_buffer(bytes)) return fail("cannot read the data of " + std::string(n.get_name()));
        v = buffer_value(n.get_sub_type(), bytes);
    } else if (type < NODE_DIR || type > NODE_QUAT) {
        return fail(std::string(n.get_name()) + " has the unknown type code " + std::to_string(type) +
                    "; save-as keeps its " + std::to_string(n.get_length()) + " bytes");
    } else {
        const int want = CPakNode::get_type_length(type);
        if (n.get_length() != want)
            return fail(std::string(n.get_name()) + ": " + std::to_string(n.get_length()) +
                        " data bytes where " + type_label(n) + " holds " + std::to_string(want));
        std::vector<BYTE> bytes(static_cast<size_t>(want));
        if (!n.get_data(type, bytes.data()))
            return fail("cannot read the data of " + std::string(n.get_name()));
        v = fixed_value(type, bytes.data(), bytes.size());
    }
    if (json) {
        std::printf("{\"name\": %s, \"type\": %s, \"value\": %s}\n", json_string(n.get_name()).c_str(),
                    json_string(type_label(n)).c_str(), v.json.c_str());
        return 0;
    }
    if (v.is_text) {
        std::printf("%s\n", v.text.c_str());
    } else if (!v.rows.empty()) {
        for (const auto& row : v.rows) {
            std::string line;
            for (size_t k = 0; k < row.size(); ++k)
                line += (k ? " " : "") + row[k];
            std::printf("%s\n", line.c_str());
        }
    } else {
        print_hex_dump(v.hex);
    }
    return 0;
}

// ----- commands ---------------------------------------------------------------------------------------

struct Args {
    bool json = false;
    bool force = false;
    bool help = false;
    std::vector<std::string> positional;
    std::string bad_option;
};

Args parse(int argc, char** argv, bool json_allowed, bool force_allowed) {
    Args a;
    for (int i = 2; i < argc; ++i) {
        const std::string s = argv[i];
        if (s == "--help" || s == "-h")
            a.help = true;
        else if (s == "--json" && json_allowed)
            a.json = true;
        else if (s == "--force" && force_allowed)
            a.force = true;
        else if (s.size() > 1 && s[0] == '-' && s != "--")
            a.bad_option = s;
        else
            a.positional.push_back(s);
    }
    return a;
}

int run(const std::string& cmd, int argc, char** argv) {
    const bool json_allowed = cmd == "ls" || cmd == "cat";
    const Args a = parse(argc, argv, json_allowed, cmd == "ls" || cmd == "save-as");
    if (a.help) {
        std::fputs(command_help(cmd), stdout);
        return 0;
    }
    if (!a.bad_option.empty()) return usage_error("unknown option " + a.bad_option + " for " + cmd);
    const size_t min_args = cmd == "ls" || cmd == "check" ? 1 : 2;
    const size_t max_args = cmd == "check" ? 1 : 2;
    if (a.positional.size() < min_args || a.positional.size() > max_args)
        return usage_error("wrong number of arguments for " + cmd);

    const std::string& file = a.positional[0];
    CPakFile pak;
    if (cmd == "check") {
        std::vector<qcore::PakProblem> problems;
        if (!qcore::open_pak_file(pak, file.c_str(), 0, &problems)) return 1;
        for (const qcore::PakProblem& p : problems)
            std::printf("%s: offset %llu: %s\n", file.c_str(), static_cast<unsigned long long>(p.offset),
                        p.text.GetString());
        if (!pak.get_root()) std::printf("%s: no records\n", file.c_str());
        const bool sound = problems.empty() && pak.get_root();
        if (sound) std::printf("%s: ok\n", file.c_str());
        return sound ? 0 : 1;
    }
    if (!pak.open(file.c_str(), 0)) return 1;
    // The library has said on standard error what a damaged file lost; going on needs --force.
    const bool lost = !qcore::pak_damage(pak).IsEmpty() && !a.force;
    if (cmd == "save-as") {
        if (lost) return fail("not saved: " + file + " is damaged (use --force to save what is intact)");
        return pak.save_as(a.positional[1].c_str()) ? 0 : 1;
    }
    if (!pak.get_root()) return fail(file + " holds no nodes");
    const std::string path = a.positional.size() > 1 ? a.positional[1] : "";
    CPakNode* node = resolve(pak.get_root(), path);
    if (!node) return fail("no node " + path + " in " + file);
    if (cmd == "cat") return cat(*node, a.json);
    if (a.json)
        ls_json(node);
    else
        ls_text(node);
    return lost ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    // The library's message boxes become error lines.
    qcore::set_message_box_handler([](const char* text, UINT type) {
        std::fprintf(stderr, "tpk: %s\n", text);
        return qcore::default_message_box_answer(type);
    });
    if (argc < 2) return usage_error("no command given");
    const std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!command_help(cmd)) return usage_error("unknown command " + cmd);
    return run(cmd, argc, argv);
}
