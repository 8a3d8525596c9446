// winsim: the program's resources, read from the same resource script that windres compiles
// into Vexor2.exe, so tests see what ships (string table, icons; other blocks are skipped).
#include "machine.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef WINSIM_RESOURCE_SCRIPT
#error "WINSIM_RESOURCE_SCRIPT must name the program's .rc file"
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

// Reads the "#define NAME number" lines of an included header.
void ReadDefines(const std::string& path, std::map<std::string, long>* defines) {
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string directive, name, value;
        ls >> directive >> name >> value;
        if (directive == "#define" && !value.empty() && std::isdigit((unsigned char)value[0]))
            (*defines)[name] = std::strtol(value.c_str(), nullptr, 0);
    }
}

std::vector<Token> Tokenize(const std::string& src, const std::string& dir,
                            std::map<std::string, long>* defines) {
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
                ReadDefines(dir + "/" + line.substr(q1 + 1, q2 - q1 - 1), defines);
            }
            i = end == std::string::npos ? n : end;
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
            tokens.push_back({src.substr(start, i - start), false});
            lineStart = false;
        }
    }
    return tokens;
}

long Value(const Token& t, const std::map<std::string, long>& defines) {
    auto it = defines.find(t.text);
    if (it != defines.end())
        return it->second;
    if (!t.text.empty() && std::isdigit((unsigned char)t.text[0]))
        return std::strtol(t.text.c_str(), nullptr, 0);
    return -1;
}

bool IsOpen(const Token& t) {
    return !t.isString && (t.text == "BEGIN" || t.text == "{");
}
bool IsClose(const Token& t) {
    return !t.isString && (t.text == "END" || t.text == "}");
}

// Skips to just past the block that starts at the next BEGIN.
size_t SkipBlock(const std::vector<Token>& t, size_t i) {
    while (i < t.size() && !IsOpen(t[i]))
        ++i;
    int depth = 0;
    for (; i < t.size(); ++i) {
        if (IsOpen(t[i]))
            ++depth;
        else if (IsClose(t[i]) && --depth == 0)
            return i + 1;
    }
    return i;
}

} // namespace

const Resources& LoadResources() {
    Resources& r = M().resources;
    if (r.loaded)
        return r;
    std::string path = WINSIM_RESOURCE_SCRIPT;
    std::map<std::string, long> defines;
    std::vector<Token> t = Tokenize(ReadFile(path), Directory(path), &defines);
    for (size_t i = 0; i < t.size();) {
        if (t[i].text == "STRINGTABLE") {
            while (i < t.size() && !IsOpen(t[i]))
                ++i;
            for (++i; i + 1 < t.size() && !IsClose(t[i]); i += 2)
                r.strings[UINT(Value(t[i], defines))] = t[i + 1].text;
            ++i;
        } else if (i + 2 < t.size() && (t[i + 1].text == "ICON" || t[i + 1].text == "BITMAP")) {
            if (t[i + 1].text == "ICON")
                r.icons[UINT(Value(t[i], defines))] = t[i + 2].text;
            i += 3;
        } else if (i + 1 < t.size() && (t[i + 1].text == "MENU" || t[i + 1].text == "MENUEX" ||
                                        t[i + 1].text == "DIALOG" || t[i + 1].text == "DIALOGEX" ||
                                        t[i + 1].text == "VERSIONINFO")) {
            i = SkipBlock(t, i);
        } else {
            ++i;
        }
    }
    r.loaded = true;
    return r;
}

} // namespace winsim::detail
