// Debug output stream: an ostream whose lines go to the debugger output (OutputDebugStringA).
#pragma once

#include "win32api.h"

#include <ostream>
#include <streambuf>
#include <string>

// Collects characters until a newline, then hands the line to the debugger. No put area of its
// own, so every character arrives in overflow(); flushing emits nothing.
class dbgbuf : public std::basic_streambuf<char> {
  public:
    dbgbuf() = default;
    dbgbuf(const dbgbuf&) = delete;
    dbgbuf& operator=(const dbgbuf&) = delete;
    ~dbgbuf() override;

  protected:
    int_type overflow(int_type c) override;

  private:
    void EmitLine();
    std::string line_;
};

// Holds the buffer in a base that is constructed before the ostream that points at it.
template <class Buffer> struct PBase { Buffer buf; };

class dbgstream : private PBase<dbgbuf>, public std::basic_ostream<char> {
  public:
    dbgstream();
};

extern dbgstream dbgout;
