// Runs a command line in this console as a user, or a script, runs it from a
// prompt, and writes what a test needs to see to the file OUT (UTF-8), one
// observation a line.
//
//   consoleprobe run OUT LINE         LINE in this console: the console's output
//                                     code page and mode before and after, its
//                                     exit code, and the screen's lines
//   consoleprobe ctrl-c OUT LINE      the same, with Ctrl+C for the console, again
//                                     and again, from when LINE has changed the
//                                     console's mode until it ends (wine sends
//                                     no Ctrl+Break)
//   consoleprobe key OUT LINE         the same, with a key pressed again and again
//                                     from when the screen asks for one until it ends
//   consoleprobe pipe CP OUT LINE     LINE's stdout and stderr to a pipe, while the
//                                     console's output code page is CP: OUT gets
//                                     the bytes as read from it
//   consoleprobe file OUT LINE        LINE's stdout and stderr to the file OUT
//
// Exit status 0 when LINE ran, 1 otherwise.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// Needs windows.h first.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const char* utf8)
{
    std::wstring out(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), static_cast<int>(out.size()));
    out.resize(out.size() - 1);
    return out;
}

std::string Utf8(const std::wstring& wide)
{
    std::string out(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                                 nullptr, 0, nullptr, nullptr)),
                    '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                        static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

HANDLE Screen()
{
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

DWORD ModeOf(HANDLE handle)
{
    DWORD mode = 0;
    GetConsoleMode(handle, &mode);
    return mode;
}

std::wstring ScreenText()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(Screen(), &info);
    std::wstring all;
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        std::wstring text(static_cast<std::size_t>(info.dwSize.X), L' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(Screen(), text.data(), static_cast<DWORD>(text.size()), COORD{0, y}, &read);
        text.resize(read);
        text.erase(text.find_last_not_of(L' ') + 1);
        if (!text.empty())
            all += text + L"\n";
    }
    return all;
}

// The probe lets the console's stop requests pass: they are for LINE.
BOOL WINAPI Ignore(DWORD)
{
    return TRUE;
}

void PressKey()
{
    INPUT_RECORD keys[2]{};
    for (int i = 0; i < 2; ++i) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
    }
    const HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    WriteConsoleInputW(input, keys, 2, &written);
    CloseHandle(input);
}

// LINE in this console; `nudge`, while it runs, is given the console's mode
// as found, and acts when the time has come.
template <typename Nudge>
int InConsole(const char* out, const char* line, Nudge nudge)
{
    const UINT before = GetConsoleOutputCP();
    const DWORD outBefore = ModeOf(Screen()), errBefore = ModeOf(GetStdHandle(STD_ERROR_HANDLE));
    std::wstring command = Wide(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (before == 0 ||
        !CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 1;
    // Each nudge may find LINE not yet ready for it: it comes again until LINE ends.
    while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT)
        nudge(outBefore);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::FILE* file = std::fopen(out, "wb");
    if (!file)
        return 1;
    std::fprintf(file, "CP_BEFORE %u\nCP_AFTER %u\nEXIT %lu\n", before, GetConsoleOutputCP(), exitCode);
    std::fprintf(file, "MODE_BEFORE %lx %lx\nMODE_AFTER %lx %lx\n", outBefore, errBefore, ModeOf(Screen()),
                 ModeOf(GetStdHandle(STD_ERROR_HANDLE)));
    const std::string screen = Utf8(ScreenText());
    for (std::size_t at = 0, end; (end = screen.find('\n', at)) != std::string::npos; at = end + 1)
        std::fprintf(file, "SCREEN %s\n", screen.substr(at, end - at).c_str());
    std::fclose(file);
    return 0;
}

// LINE with its stdout and stderr on `to`, which it inherits.
bool RunTo(HANDLE to, const char* line, PROCESS_INFORMATION* process)
{
    std::wstring command = Wide(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = to;
    startup.hStdError = to;
    return CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, process) !=
           FALSE;
}

int Piped(UINT page, const char* out, const char* line)
{
    const UINT before = GetConsoleOutputCP();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (before == 0 || !CreatePipe(&read, &write, &inherit, 0))
        return 1;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    if (page != 0)
        SetConsoleOutputCP(page);
    PROCESS_INFORMATION process{};
    const bool started = RunTo(write, line, &process);
    CloseHandle(write);
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (started && ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(read);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    SetConsoleOutputCP(before);
    std::FILE* file = std::fopen(out, "wb");
    if (!started || !file)
        return 1;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return 0;
}

int ToFile(const char* out, const char* line)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE file =
        CreateFileW(Wide(out).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    PROCESS_INFORMATION process{};
    if (file == INVALID_HANDLE_VALUE || !RunTo(file, line, &process))
        return 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(file);
    return 0;
}

}  // namespace

int main()
{
    // main's argv went through the ANSI code page, which loses what LINE may hold.
    int argc = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(Utf8(wide[i]));
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 4 && command == "ctrl-c") {
        SetConsoleCtrlHandler(Ignore, TRUE);
        return InConsole(argv[2], argv[3], [](DWORD found) {
            if (ModeOf(Screen()) != found)
                GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        });
    }
    if (argc == 4 && command == "key")
        return InConsole(argv[2], argv[3], [](DWORD) {
            if (ScreenText().find(L"Pulse una tecla") != std::wstring::npos)
                PressKey();
        });
    if (argc == 4 && command == "run")
        return InConsole(argv[2], argv[3], [](DWORD) {});
    if (argc == 5 && command == "pipe")
        return Piped(static_cast<UINT>(std::strtoul(argv[2], nullptr, 10)), argv[3], argv[4]);
    if (argc == 4 && command == "file")
        return ToFile(argv[2], argv[3]);
    std::fprintf(stderr, "uso: consoleprobe run|ctrl-c|key OUT LINE | pipe CP OUT LINE | file OUT LINE\n");
    return 2;
}
