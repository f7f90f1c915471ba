#include "sys/Process.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
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
std::atomic<DWORD> g_held{0};  // the held event plus one; 0 for none
std::atomic<bool> g_abort{false};
const char* g_warning = nullptr;
HANDLE g_released = nullptr;
// What a stop request that ends the process writes first.
std::atomic<const char*> g_lastOut{nullptr};
std::atomic<const char*> g_lastErr{nullptr};
bool g_saying = false;

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

// `text` to a standard stream, wherever it goes: a console as UTF-16.
void Say(DWORD stream, const char* text)
{
    if (text == nullptr)
        return;
    const HANDLE handle = ::GetStdHandle(stream);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        WriteConsoleText(handle, text);
        return;
    }
    DWORD written = 0;
    ::WriteFile(handle, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// Called after OnConsoleStop, which the system asks first, for what it lets through.
BOOL WINAPI OnConsoleLastWords(DWORD)
{
    Say(STD_OUTPUT_HANDLE, g_lastOut.load());
    Say(STD_ERROR_HANDLE, g_lastErr.load());
    return FALSE;
}

BOOL WINAPI OnConsoleStop(DWORD event)
{
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The system ends the process when this returns, or soon after
        // anyway: give the transfer that time to finish.
        ::WaitForSingleObject(g_released, INFINITE);
        return FALSE;
    }
    DWORD none = 0;
    if (g_held.compare_exchange_strong(none, event + 1)) {
        Say(STD_ERROR_HANDLE, g_warning);
        return TRUE;
    }
    // The second asks to abort; the third: the default handling ends the process.
    return g_abort.exchange(true) ? FALSE : TRUE;
}

}  // namespace

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
    if (err == nullptr || err == INVALID_HANDLE_VALUE || ::GetConsoleMode(err, &mode) == FALSE)
        return false;
    constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
    return (mode & kVirtualTerminal) != 0 || ::SetConsoleMode(err, mode | kVirtualTerminal) != FALSE;
}

bool SysWriteStandard(int stream, std::string_view text)
{
    std::FILE* file = stream == 1 ? stdout : stderr;
    const HANDLE handle = ::GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) {
        if (text.empty())
            return true;
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        // The C runtime buffers stderr when it is a pipe or a file: a reader
        // would see nothing live, and a killed process would leave it empty.
        return stream == 1 ? written : std::fflush(file) == 0 && written;
    }
    // What went through the stream before comes first.
    std::fflush(file);
    return WriteConsoleText(handle, text);
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
void SysHoldStopRequests(const char* warning)
{
    g_warning = warning;
    g_held.store(0);
    g_abort.store(false);
    if (g_released == nullptr)
        g_released = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    else
        ::ResetEvent(g_released);
    ::SetConsoleCtrlHandler(OnConsoleStop, TRUE);
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
    ::SetConsoleCtrlHandler(OnConsoleStop, FALSE);
    if (g_released != nullptr)
        ::SetEvent(g_released);
    const DWORD held = g_held.exchange(0);
    return held == 0 ? 0 : static_cast<int>(held);
}

void SysSayOnStop(const char* toStdout, const char* toStderr)
{
    g_lastOut.store(toStdout);
    g_lastErr.store(toStderr);
    const bool say = toStdout != nullptr || toStderr != nullptr;
    if (say != g_saying)
        ::SetConsoleCtrlHandler(OnConsoleLastWords, say ? TRUE : FALSE);
    g_saying = say;
}

void SysEndAsStopped(int)
{
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

const char* SysStoppedStatusText()
{
    return "Ctrl+C da 3221225786 (0xC000013A, en cmd -1073741510)";
}
