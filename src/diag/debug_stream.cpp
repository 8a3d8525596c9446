// Debug output stream: each completed line reaches OutputDebugStringA, followed by "\n".
#include "diag/debug_stream.h"

dbgstream dbgout;

dbgbuf::~dbgbuf() {
    EmitLine();
}

dbgbuf::int_type dbgbuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    if (traits_type::to_char_type(c) == '\n')
        EmitLine();
    else
        line_.push_back(traits_type::to_char_type(c));
    return c;
}

void dbgbuf::EmitLine() {
    if (line_.empty())
        return;
    OutputDebugStringA(line_.c_str());
    OutputDebugStringA("\n");
    line_.clear(); // keeps its storage for the next line
}

dbgstream::dbgstream() : PBase<dbgbuf>(), std::basic_ostream<char>(&buf) {}
