// The Windows side of the uhid camera's control folder (hidvm/uhid_camera.cpp): Windows test
// programs in the HID machine read its report record and send it commands through drive Z:. The
// folder's Linux path comes in the environment variable HIDVM_CAMERA.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace hidvm {

inline std::string CameraFolder() {
    const char* dir = std::getenv("HIDVM_CAMERA");
    if (!dir || !*dir)
        return "";
    std::string path = std::string("Z:") + dir;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, n);
    std::fclose(f);
    return text;
}

// The camera's record of feature reports, oldest first, without its notes on commands.
inline std::vector<std::string> CameraReportLines() {
    std::vector<std::string> lines;
    std::string text = ReadWholeFile(CameraFolder() + "\\reports.log");
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Sends "press", "unplug" or "plug" and waits until the camera has carried it out.
inline bool CameraCommand(const char* command, DWORD timeoutMs = 10000) {
    std::string control = CameraFolder() + "\\control";
    // Numbered after every earlier command, whichever program sent it.
    std::string sent = ReadWholeFile(control);
    long number = 1;
    for (char c : sent)
        number += c == '\n';
    FILE* f = std::fopen(control.c_str(), "ab");
    if (!f)
        return false;
    std::fprintf(f, "%ld %s\n", number, command);
    std::fclose(f);
    DWORD start = GetTickCount();
    while (std::atol(ReadWholeFile(CameraFolder() + "\\ack").c_str()) < number) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

} // namespace hidvm
