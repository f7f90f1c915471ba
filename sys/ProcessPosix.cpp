#include "sys/Process.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The hold of stop signals: the first is counted and told, the second ends the process.
volatile std::sig_atomic_t g_holding = 0;
volatile std::sig_atomic_t g_heldSignal = 0;
volatile std::sig_atomic_t g_abort = 0;
const char* g_warning = nullptr;
struct sigaction g_previousActions[3];
// What a stop signal that ends the process writes first.
const char* volatile g_lastOut = nullptr;
const char* volatile g_lastErr = nullptr;
bool g_saying = false;
struct sigaction g_beforeSaying[3];

void Say(int fd, const char* text)
{
    if (text == nullptr)
        return;
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(fd, text, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;  // nothing more can be done from here
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

extern "C" void OnStopSignal(int sig)
{
    const int saved = errno;
    if (g_holding != 0 && (g_heldSignal == 0 || g_abort == 0)) {
        if (g_heldSignal == 0) {
            g_heldSignal = sig;
            Say(STDERR_FILENO, g_warning);
        } else {
            g_abort = 1;
        }
        errno = saved;
        return;
    }
    Say(STDOUT_FILENO, g_lastOut);
    Say(STDERR_FILENO, g_lastErr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
}

// Whether each stop signal came ignored from whoever started the process
// (SIGHUP under nohup, SIGINT in a script's background job): read before the
// first handler goes in, as the user's word that such a signal is no request.
const bool* IgnoredFromTheStart()
{
    static const struct Ignored {
        bool is[3];
        Ignored()
        {
            for (std::size_t i = 0; i < 3; ++i) {
                struct sigaction inherited {};
                is[i] = ::sigaction(kStopSignals[i], nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN;
            }
        }
    } ignored;
    return ignored.is;
}

// A signal ignored from the start stays so: its action is left as it is.
void CatchStopSignals(struct sigaction* previous)
{
    const bool* ignored = IgnoredFromTheStart();
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : kStopSignals)
        sigaddset(&action.sa_mask, sig);
    for (std::size_t i = 0; i < 3; ++i)
        ::sigaction(kStopSignals[i], ignored[i] ? nullptr : &action, &previous[i]);
}

}  // namespace

bool SysStderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

bool SysStdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

int SysStderrColumns()
{
    struct winsize size {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

bool SysStdoutIsStderrTerminal()
{
    struct stat out {};
    struct stat err {};
    return ::isatty(STDOUT_FILENO) == 1 && SysStderrIsTerminal() && ::fstat(STDOUT_FILENO, &out) == 0 &&
           ::fstat(STDERR_FILENO, &err) == 0 && out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

bool SysStderrTakesCursorMoves()
{
    const char* term = std::getenv("TERM");
    return SysStderrIsTerminal() && term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

void SysCursorMovesDone()
{
}

bool SysWriteStandard(int stream, std::string_view text)
{
    // Terminals here take the bytes as they are.
    std::FILE* file = stream == 1 ? stdout : stderr;
    return text.empty() || std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

bool SysWriteStandardData(int stream, std::string_view text)
{
    return SysWriteStandard(stream, text);
}

bool SysConsoleIsOwnWindow()
{
    // A terminal here outlives the programs it runs.
    return false;
}

void SysWaitForKey()
{
}

std::vector<std::string> SysCommandLine(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void SysGuardStandardStreams()
{
    // Past the limit a write fails with EFBIG; the signal would end the
    // process before it could remove what it made and say why.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, nullptr);

    // Opened for the other direction: every transfer fails with EBADF.
    const int wrongWay[] = {O_WRONLY, O_RDONLY, O_RDONLY};
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        const int opened = ::open("/dev/null", wrongWay[fd]);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

void SysIgnoreClosedPipes()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

void SysHoldStopRequests(const char* warning)
{
    g_warning = warning;
    g_heldSignal = 0;
    g_abort = 0;
    g_holding = 1;
    CatchStopSignals(g_previousActions);
}

bool SysStopRequestHeld()
{
    return g_heldSignal != 0;
}

bool SysAbortRequested()
{
    return g_abort != 0;
}

int SysReleaseStopRequests()
{
    g_holding = 0;
    for (std::size_t i = 0; i < 3; ++i)
        ::sigaction(kStopSignals[i], &g_previousActions[i], nullptr);
    return g_heldSignal;
}

void SysSayOnStop(const char* toStdout, const char* toStderr)
{
    g_lastOut = toStdout;
    g_lastErr = toStderr;
    const bool say = toStdout != nullptr || toStderr != nullptr;
    if (say && !g_saying)
        CatchStopSignals(g_beforeSaying);
    else if (!say && g_saying)
        for (std::size_t i = 0; i < 3; ++i)
            ::sigaction(kStopSignals[i], &g_beforeSaying[i], nullptr);
    g_saying = say;
}

void SysEndAsStopped(int request)
{
    std::fflush(nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(request, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, request);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(request);
    std::_Exit(128 + request);
}

const char* SysStoppedStatusText()
{
    return "128 + el número de la señal (130 tras Ctrl+C)";
}
