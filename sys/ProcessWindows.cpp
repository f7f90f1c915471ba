#include "sys/Process.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// Needs windows.h first.
#include <shellapi.h>

#include "sys/Utf16.h"

namespace {

// The hold of stop requests. The console runs the handler on a thread of its own.
std::atomic<bool> g_holding{false};
std::atomic<DWORD> g_held{0};  // the held event plus one; 0 for none
std::atomic<bool> g_abort{false};
const char* g_warning = nullptr;
HANDLE g_released = nullptr;
// What a stop request that ends the process writes first.
std::atomic<const char*> g_lastOut{nullptr};
std::atomic<const char*> g_lastErr{nullptr};
// The console's mode as found, while ours differs: it belongs to the console,
// and a parent that does not reset it would hand ours to the programs after.
HANDLE g_modeOf = nullptr;
DWORD g_foundMode = 0;
std::atomic<bool> g_modeChanged{false};

void RestoreConsole()
{
    if (g_modeChanged.exchange(false))
        ::SetConsoleMode(g_modeOf, g_foundMode);
}

bool IsHandle(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// UTF-16 to a console, without touching its code page (which belongs to the
// console and so to every program in it); false with errno set on failure.
bool WriteConsoleText(HANDLE console, std::string_view text)
{
    const std::u16string wide = Utf8ToUtf16(text);
    const wchar_t* p = reinterpret_cast<const wchar_t*>(wide.data());
    std::size_t left = wide.size();
    while (left > 0) {
        const DWORD chunk = left > 8192 ? 8192 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!::WriteConsoleW(console, p, chunk, &written, nullptr) || written == 0) {
            errno = EIO;
            return false;
        }
        p += written;
        left -= written;
    }
    return true;
}

// What goes to `handle`, which is no console: text for people on a pipe, in
// a process that has a console, in its output code page, which is what cmd's
// more, findstr and sort read; everything else, and data for programs, in
// UTF-8. A character that the code page lacks becomes its best fit or its '?'.
std::string ForNonConsole(HANDLE handle, std::string_view text, bool forPeople)
{
    if (!forPeople || text.empty() || ::GetFileType(handle) != FILE_TYPE_PIPE)
        return std::string(text);
    const UINT page = ::GetConsoleOutputCP();  // 0 without a console
    if (page == 0 || page == CP_UTF8)
        return std::string(text);
    const std::u16string wide = Utf8ToUtf16(text);
    const auto* from = reinterpret_cast<const wchar_t*>(wide.data());
    const int length = static_cast<int>(wide.size());
    const int size = ::WideCharToMultiByte(page, 0, from, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size <= 0 || ::WideCharToMultiByte(page, 0, from, length, out.data(), size, nullptr, nullptr) != size)
        return std::string(text);
    return out;
}

// `text` to a standard stream, wherever it goes: a console as UTF-16.
void Say(DWORD stream, const char* text, bool forPeople)
{
    if (text == nullptr)
        return;
    const HANDLE handle = ::GetStdHandle(stream);
    DWORD mode = 0;
    if (IsHandle(handle) && ::GetConsoleMode(handle, &mode)) {
        WriteConsoleText(handle, text);
        return;
    }
    const std::string bytes = ForNonConsole(handle, text, forPeople);
    DWORD written = 0;
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// The one handler of console events, from the first hold, last words or
// change of the console's mode on. Past it the default handling ends the process.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (g_holding.load()) {
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
            // The system ends the process when this returns, or soon after
            // anyway: give the transfer that time to finish.
            ::WaitForSingleObject(g_released, INFINITE);
        } else {
            DWORD none = 0;
            if (g_held.compare_exchange_strong(none, event + 1)) {
                Say(STD_ERROR_HANDLE, g_warning, true);
                return TRUE;
            }
            // The second asks to abort; the third ends the process.
            if (!g_abort.exchange(true))
                return TRUE;
        }
    }
    Say(STD_OUTPUT_HANDLE, g_lastOut.load(), false);
    Say(STD_ERROR_HANDLE, g_lastErr.load(), true);
    RestoreConsole();
    // Ended here with the status the system's own handling gives Ctrl+C, as
    // SysEndAsStopped does: not every console host gives it (wine gives 0).
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return FALSE;
}

void HandleConsoleEvents()
{
    static bool handling = false;
    if (!handling)
        handling = ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != FALSE;
}

bool WriteStandard(int stream, std::string_view text, bool forPeople)
{
    std::FILE* file = stream == 1 ? stdout : stderr;
    const HANDLE handle = ::GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!IsHandle(handle) || !::GetConsoleMode(handle, &mode)) {
        if (text.empty())
            return true;
        const std::string bytes = IsHandle(handle) ? ForNonConsole(handle, text, forPeople) : std::string(text);
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        // The C runtime buffers stderr when it is a pipe or a file: a reader
        // would see nothing live, and a killed process would leave it empty.
        return stream == 1 ? written : std::fflush(file) == 0 && written;
    }
    // What went through the stream before comes first.
    std::fflush(file);
    return WriteConsoleText(handle, text);
}

}  // namespace

bool SysStdoutIsTerminal()
{
    DWORD mode = 0;
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    return out != nullptr && out != INVALID_HANDLE_VALUE && ::GetConsoleMode(out, &mode) != FALSE;
}

bool SysStderrIsTerminal()
{
    // Only a console takes the carriage returns of the progress line as meant.
    DWORD mode = 0;
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    return err != nullptr && err != INVALID_HANDLE_VALUE && ::GetConsoleMode(err, &mode) != FALSE;
}

int SysStderrColumns()
{
    // The visible width: a console whose buffer is wider scrolls sideways rather than wrap.
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(err, &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool SysStdoutIsStderrTerminal()
{
    // A process has one console: both are it when both are consoles.
    DWORD mode = 0;
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    return SysStderrIsTerminal() && out != nullptr && out != INVALID_HANDLE_VALUE &&
           ::GetConsoleMode(out, &mode) != FALSE;
}

bool SysStderrTakesCursorMoves()
{
    // Windows 10 and later take them once asked; older consoles refuse the mode.
    DWORD mode = 0;
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (!IsHandle(err) || ::GetConsoleMode(err, &mode) == FALSE)
        return false;
    constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
    if ((mode & kVirtualTerminal) != 0)
        return true;
    // Given back on every way out: the end of main, SysEndAsStopped, and the
    // console event that ends the process.
    static bool restoring = false;
    if (!restoring)
        restoring = std::atexit(RestoreConsole) == 0;
    HandleConsoleEvents();
    if (!restoring)
        return false;
    // Kept before the change, for an event that comes while it is made.
    g_modeOf = err;
    g_foundMode = mode;
    g_modeChanged.store(true);
    if (::SetConsoleMode(err, mode | kVirtualTerminal) != FALSE)
        return true;
    g_modeChanged.store(false);
    return false;
}

void SysCursorMovesDone()
{
    RestoreConsole();
}

bool SysWriteStandard(int stream, std::string_view text)
{
    return WriteStandard(stream, text, true);
}

bool SysWriteStandardData(int stream, std::string_view text)
{
    return WriteStandard(stream, text, false);
}

bool SysConsoleIsOwnWindow()
{
    // Explorer opens a console for a console program alone, whose window
    // Windows gives as that program's. A prompt shares its console; the
    // window of a terminal's console (wine's on a Unix terminal) is another
    // program's.
    DWORD processes[2] = {};
    if (::GetConsoleProcessList(processes, 2) != 1)
        return false;
    const HWND window = ::GetConsoleWindow();
    DWORD owner = 0;
    return window != nullptr && ::GetWindowThreadProcessId(window, &owner) != 0 && owner == ::GetCurrentProcessId();
}

void SysWaitForKey()
{
    const HANDLE input = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE)
        return;
    // Keys pressed before the text was there do not count.
    ::FlushConsoleInputBuffer(input);
    INPUT_RECORD record{};
    DWORD read = 0;
    while (::ReadConsoleInputW(input, &record, 1, &read) && read == 1 &&
           !(record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)) {
    }
    ::CloseHandle(input);
}

std::vector<std::string> SysCommandLine(int argc, char** argv)
{
    // main's argv went through the ANSI code page, which loses names outside it.
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    bool options = true;
    for (int i = 0; i < count; ++i) {
        std::string arg = Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide[i]));
        options = options && arg != "--";
        args.push_back(i > 0 && options && arg == "/?" ? std::string("--help") : std::move(arg));
    }
    ::LocalFree(wide);
    return args;
}

void SysGuardStandardStreams()
{
    // The C runtime keeps descriptors 0 to 2 for the standard streams even
    // when they have no handle, and fails their transfers.
}

void SysIgnoreClosedPipes()
{
    // Writes to a pipe whose reader went away fail here anyway.
}

// A Ctrl+C that the process was started ignoring (SetConsoleCtrlHandler(NULL,
// TRUE) in its parent) reaches no handler, and nothing here lifts that.
// A Ctrl+C that the process was started ignoring (SetConsoleCtrlHandler(NULL,
// TRUE) in its parent) reaches no handler, and nothing here lifts that.
void SysHoldStopRequests(const char* warning)
{
    g_warning = warning;
    g_held.store(0);
    g_abort.store(false);
    if (g_released == nullptr)
        g_released = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    else
        ::ResetEvent(g_released);
    g_holding.store(true);
    HandleConsoleEvents();
}

bool SysStopRequestHeld()
{
    return g_held.load() != 0;
}

bool SysAbortRequested()
{
    return g_abort.load();
}

int SysReleaseStopRequests()
{
    g_holding.store(false);
    if (g_released != nullptr)
        ::SetEvent(g_released);
    const DWORD held = g_held.exchange(0);
    return held == 0 ? 0 : static_cast<int>(held);
}

void SysSayOnStop(const char* toStdout, const char* toStderr)
{
    g_lastOut.store(toStdout);
    g_lastErr.store(toStderr);
    if (toStdout != nullptr || toStderr != nullptr)
        HandleConsoleEvents();
}

void SysEndAsStopped(int)
{
    std::fflush(nullptr);
    RestoreConsole();
    ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

const char* SysStoppedStatusText()
{
    return "Ctrl+C da 3221225786 (0xC000013A, en cmd -1073741510)";
}
