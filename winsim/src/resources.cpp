// winsim: the program's resources, read from the same resource script that windres compiles
// into Vexor2.exe, so tests see what ships: strings, icons, bitmaps, menus and dialogs.
#include "machine.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef WINSIM_RESOURCE_SCRIPT
#error "WINSIM_RESOURCE_SCRIPT must name the program's .rc file"
#endif
#ifndef WINSIM_RESOURCE_INCLUDE_DIR
#error "WINSIM_RESOURCE_INCLUDE_DIR must name the folder of the script's generated headers"
#endif

namespace winsim::detail {
namespace {

struct Token {
    std::string text;
    bool isString;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("winsim: cannot read resource file " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Directory(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The "#define NAME number" and "#define NAME "text"" lines of the included headers.
struct Defines {
    std::map<std::string, long> numbers;
    std::map<std::string, std::string> texts;
};

// An included header is looked for beside the script, then in the build's generated headers.
std::string IncludePath(const std::string& dir, const std::string& name) {
    std::string path = dir + "/" + name;
    if (std::ifstream(path))
        return path;
    return std::string(WINSIM_RESOURCE_INCLUDE_DIR) + "/" + name;
}

void ReadDefines(const std::string& path, Defines* defines) {
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string directive, name, value;
        ls >> directive >> name >> value;
        if (directive != "#define" || value.empty())
            continue;
        size_t q1 = line.find('"'), q2 = line.rfind('"');
        if (std::isdigit((unsigned char)value[0]))
            defines->numbers[name] = std::strtol(value.c_str(), nullptr, 0);
        else if (value[0] == '"' && q2 > q1)
            defines->texts[name] = line.substr(q1 + 1, q2 - q1 - 1);
    }
}

std::vector<Token> Tokenize(const std::string& src, const std::string& dir, Defines* defines) {
    std::vector<Token> tokens;
    size_t i = 0, n = src.size();
    bool lineStart = true;
    while (i < n) {
        char c = src[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
        } else if (std::isspace((unsigned char)c) || c == ',') {
            ++i;
        } else if (c == '/' && i + 1 < n && src[i + 1] == '/') {
            while (i < n && src[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && src[i + 1] == '*') {
            size_t end = src.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == '#' && lineStart) {
            size_t end = src.find('\n', i);
            std::string line = src.substr(i, end == std::string::npos ? n - i : end - i);
            size_t q1 = line.find('"');
            if (line.rfind("#include", 0) == 0 && q1 != std::string::npos) {
                size_t q2 = line.find('"', q1 + 1);
                ReadDefines(IncludePath(dir, line.substr(q1 + 1, q2 - q1 - 1)), defines);
            }
            i = end == std::string::npos ? n : end;
        } else if (c == '|') {
            tokens.push_back({"|", false});
            ++i;
            lineStart = false;
        } else if (c == '"') {
            std::string s;
            ++i;
            while (i < n) {
                if (src[i] == '"' && i + 1 < n && src[i + 1] == '"') {
                    s += '"';
                    i += 2;
                } else if (src[i] == '"') {
                    ++i;
                    break;
                } else if (src[i] == '\\' && i + 1 < n) {
                    char e = src[i + 1];
                    if (e == 'x') {
                        size_t used = 0;
                        s += char(std::stoi(src.substr(i + 2, 2), &used, 16));
                        i += 2 + used;
                        continue;
                    }
                    s += e == 'n' ? '\n' : e == 't' ? '\t' : e == '0' ? '\0' : e;
                    i += 2;
                } else {
                    s += src[i++];
                }
            }
            tokens.push_back({s, true});
            lineStart = false;
        } else {
            size_t start = i;
            while (i < n && !std::isspace((unsigned char)src[i]) && src[i] != ',' && src[i] != '"')
                ++i;
            std::string word = src.substr(start, i - start);
            auto text = defines->texts.find(word);
            if (text != defines->texts.end())
                tokens.push_back({text->second, true});
            else
                tokens.push_back({word, false});
            lineStart = false;
        }
    }
    return tokens;
}

bool IsOpen(const Token& t) {
    return !t.isString && (t.text == "BEGIN" || t.text == "{");
}
bool IsClose(const Token& t) {
    return !t.isString && (t.text == "END" || t.text == "}");
}

// The style and id names the script uses, with the SDK's values.
const std::map<std::string, long> kConstants = {
    {"IDOK", 1},
    {"IDCANCEL", 2},
    {"IDC_STATIC", -1},
    {"WS_POPUP", long(WS_POPUP)},
    {"WS_CHILD", WS_CHILD},
    {"WS_VISIBLE", WS_VISIBLE},
    {"WS_CAPTION", WS_CAPTION},
    {"WS_SYSMENU", WS_SYSMENU},
    {"WS_BORDER", WS_BORDER},
    {"WS_GROUP", WS_GROUP},
    {"WS_TABSTOP", WS_TABSTOP},
    {"DS_MODALFRAME", 0x80},
    {"DS_SETFONT", 0x40},
    {"DS_FIXEDSYS", 0x08},
    {"DS_SHELLFONT", 0x48},
    {"SS_LEFT", 0x0},
    {"SS_BITMAP", 0xE},
    {"SS_NOPREFIX", 0x80},
    {"SS_REALSIZEIMAGE", 0x800},
    {"BS_PUSHBUTTON", 0x0},
    {"BS_DEFPUSHBUTTON", 0x1},
};

class Parser {
  public:
    Parser(std::vector<Token> tokens, std::map<std::string, long> defines)
        : t_(std::move(tokens)), defines_(std::move(defines)) {}

    void Run(Resources* r) {
        while (i_ < t_.size()) {
            if (Is("STRINGTABLE")) {
                ++i_;
                SkipTo("BEGIN");
                for (++i_; i_ + 1 < t_.size() && !IsClose(t_[i_]); i_ += 2)
                    r->strings[UINT(Value(t_[i_]))] = t_[i_ + 1].text;
                ++i_;
            } else if (Next("ICON") || Next("BITMAP")) {
                auto& map = Next("ICON") ? r->icons : r->bitmaps;
                map[UINT(Value(t_[i_]))] = t_[i_ + 2].text;
                i_ += 3;
            } else if (Next("MENU")) {
                UINT id = UINT(Value(t_[i_]));
                i_ += 2;
                r->menus[id] = MenuItems();
            } else if (Next("DIALOGEX") || Next("DIALOG")) {
                UINT id = UINT(Value(t_[i_]));
                i_ += 2;
                r->dialogs[id] = Dialog();
            } else if (Next("VERSIONINFO")) {
                SkipBlock();
            } else {
                ++i_;
            }
        }
    }

  private:
    bool Is(const char* word) const {
        return i_ < t_.size() && !t_[i_].isString && t_[i_].text == word;
    }
    bool Next(const char* word) const {
        return i_ + 1 < t_.size() && !t_[i_ + 1].isString && t_[i_ + 1].text == word;
    }
    void SkipTo(const char* word) {
        while (i_ < t_.size() && !(Is(word) || (std::string(word) == "BEGIN" && IsOpen(t_[i_]))))
            ++i_;
    }
    void SkipBlock() {
        SkipTo("BEGIN");
        int depth = 0;
        for (; i_ < t_.size(); ++i_) {
            if (IsOpen(t_[i_]))
                ++depth;
            else if (IsClose(t_[i_]) && --depth == 0) {
                ++i_;
                return;
            }
        }
    }
    long Value(const Token& t) const {
        auto d = defines_.find(t.text);
        if (d != defines_.end())
            return d->second;
        auto c = kConstants.find(t.text);
        if (c != kConstants.end())
            return c->second;
        if (!t.text.empty() && (std::isdigit((unsigned char)t.text[0]) || t.text[0] == '-'))
            return std::strtol(t.text.c_str(), nullptr, 0);
        throw std::runtime_error("winsim: unknown name in the resource script: " + t.text);
    }
    // An expression of names and numbers joined by "|".
    long Expression() {
        long v = Value(t_[i_++]);
        while (Is("|")) {
            ++i_;
            v |= Value(t_[i_++]);
        }
        return v;
    }

    std::vector<MenuTemplate> MenuItems() {
        std::vector<MenuTemplate> items;
        SkipTo("BEGIN");
        for (++i_; i_ < t_.size() && !IsClose(t_[i_]);) {
            MenuTemplate item;
            if (Is("MENUITEM") && i_ + 1 < t_.size() && t_[i_ + 1].text == "SEPARATOR" &&
                !t_[i_ + 1].isString) {
                item.separator = true;
                i_ += 2;
            } else if (Is("MENUITEM")) {
                item.text = t_[i_ + 1].text;
                i_ += 2;
                item.id = UINT(Value(t_[i_++]));
            } else if (Is("POPUP")) {
                item.popup = true;
                item.text = t_[i_ + 1].text;
                i_ += 2;
                item.items = MenuItems();
            } else {
                throw std::runtime_error("winsim: unexpected menu statement " + t_[i_].text);
            }
            items.push_back(item);
        }
        ++i_;
        return items;
    }

    DialogTemplate Dialog() {
        DialogTemplate d{};
        d.x = int(Value(t_[i_++]));
        d.y = int(Value(t_[i_++]));
        d.cx = int(Value(t_[i_++]));
        d.cy = int(Value(t_[i_++]));
        while (i_ < t_.size() && !IsOpen(t_[i_])) {
            if (Is("STYLE")) {
                ++i_;
                d.style = DWORD(Expression());
            } else if (Is("CAPTION")) {
                d.caption = t_[i_ + 1].text;
                i_ += 2;
            } else if (Is("FONT")) {
                d.fontSize = int(Value(t_[i_ + 1]));
                d.fontName = t_[i_ + 2].text;
                i_ += 3;
                while (i_ < t_.size() && !t_[i_].isString && !IsOpen(t_[i_]) &&
                       std::isdigit((unsigned char)t_[i_].text[0]))
                    ++i_; // weight, italic, charset
            } else {
                ++i_;
            }
        }
        for (++i_; i_ < t_.size() && !IsClose(t_[i_]);)
            d.controls.push_back(Control());
        ++i_;
        return d;
    }

    // LTEXT/DEFPUSHBUTTON text, id, x, y, cx, cy [, style]; CONTROL text, id, class, style, x, y,
    // cx, cy. Each statement has its default styles, as the resource compiler gives them.
    DialogControlTemplate Control() {
        DialogControlTemplate c{};
        std::string kind = t_[i_++].text;
        const Token& text = t_[i_++];
        c.text = text.isString ? text.text : "#" + std::to_string(Value(text));
        c.id = int(Value(t_[i_++]));
        DWORD base = WS_CHILD | WS_VISIBLE;
        if (kind == "CONTROL") {
            c.className = t_[i_++].text;
            c.style = base | DWORD(Expression());
        } else if (kind == "LTEXT") {
            c.className = "Static";
            c.style = base | WS_GROUP; // SS_LEFT
        } else if (kind == "DEFPUSHBUTTON" || kind == "PUSHBUTTON") {
            c.className = "Button";
            c.style = base | WS_TABSTOP | (kind == "DEFPUSHBUTTON" ? 1u : 0u);
        } else {
            throw std::runtime_error("winsim: unsupported dialog control " + kind);
        }
        c.x = int(Value(t_[i_++]));
        c.y = int(Value(t_[i_++]));
        c.cx = int(Value(t_[i_++]));
        c.cy = int(Value(t_[i_++]));
        if (kind != "CONTROL" && i_ < t_.size() && !t_[i_].isString && !IsClose(t_[i_]) &&
            !IsControlKeyword(t_[i_].text)) {
            // As windres compiles it: a text's own style replaces its default WS_GROUP.
            DWORD extra = DWORD(Expression());
            c.style = kind == "LTEXT" ? base | extra : c.style | extra;
        }
        return c;
    }
    static bool IsControlKeyword(const std::string& s) {
        return s == "LTEXT" || s == "CONTROL" || s == "DEFPUSHBUTTON" || s == "PUSHBUTTON";
    }

    std::vector<Token> t_;
    std::map<std::string, long> defines_;
    size_t i_ = 0;
};

} // namespace

const Resources& LoadResources() {
    Resources& r = M().resources;
    if (r.loaded)
        return r;
    std::string path = WINSIM_RESOURCE_SCRIPT;
    Defines defines;
    std::vector<Token> tokens = Tokenize(ReadFile(path), Directory(path), &defines);
    Parser(std::move(tokens), std::move(defines.numbers)).Run(&r);
    r.loaded = true;
    return r;
}

} // namespace winsim::detail

namespace winsim {

bool MenuResource(UINT id, std::vector<MenuTemplate>* items) {
    const auto& menus = detail::LoadResources().menus;
    auto it = menus.find(id);
    if (it == menus.end())
        return false;
    if (items)
        *items = it->second;
    return true;
}

bool DialogResource(UINT id, DialogTemplate* dialog) {
    const auto& dialogs = detail::LoadResources().dialogs;
    auto it = dialogs.find(id);
    if (it == dialogs.end())
        return false;
    if (dialog)
        *dialog = it->second;
    return true;
}

std::string BitmapResourceFile(UINT id) {
    const auto& bitmaps = detail::LoadResources().bitmaps;
    auto it = bitmaps.find(id);
    return it == bitmaps.end() ? "" : it->second;
}

std::string IconResourceFile(UINT id) {
    const auto& icons = detail::LoadResources().icons;
    auto it = icons.find(id);
    return it == icons.end() ? "" : it->second;
}

} // namespace winsim
