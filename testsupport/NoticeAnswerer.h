// Answers the next message box captioned "提示" from a helper thread, the way
// a player would, and tells what it said. Header only.
#pragma once

#include <windows.h>

#include <chrono>
#include <future>
#include <string>

class CNoticeAnswerer {
public:
    // button: the command the box gets (IDOK, IDCANCEL).
    explicit CNoticeAnswerer(int button)
        : m_text(std::async(std::launch::async, [button] { return AnswerNext(button); })) {}

    // The box's text, or "(no box)" when none came within ten seconds.
    std::wstring Text() { return m_text.get(); }

private:
    static BOOL CALLBACK ReadStatic(HWND child, LPARAM param) {
        wchar_t name[16] = {};
        ::GetClassNameW(child, name, 16);
        if (::lstrcmpiW(name, L"Static") != 0) return TRUE;
        wchar_t text[256] = {};
        ::GetWindowTextW(child, text, 256);
        *reinterpret_cast<std::wstring*>(param) += text;
        return TRUE;
    }

    static std::wstring AnswerNext(int button) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (const HWND box = ::FindWindowW(L"#32770", L"提示")) {
                std::wstring text;
                ::EnumChildWindows(box, ReadStatic, reinterpret_cast<LPARAM>(&text));
                ::PostMessageW(box, WM_COMMAND, button, 0);
                return text;
            }
            ::Sleep(20);
        }
        return L"(no box)";
    }

    std::future<std::wstring> m_text;
};
