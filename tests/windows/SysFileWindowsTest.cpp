// Plain-file access on Windows: exclusive binary reading and whole-file replacing.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "sys/File.h"
#include "sys/Process.h"

namespace {

class SystemFileWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        char base[MAX_PATH] = {};
        ASSERT_NE(GetTempPathA(MAX_PATH, base), 0u);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::string(base) + "tolvanex-" + std::to_string(GetCurrentProcessId()) + "-" + info->name();
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << GetLastError();
    }

    void TearDown() override
    {
        for (const std::string& name : Listing())
            DeleteFileA((dir + "\\" + name).c_str());
        RemoveDirectoryA(dir.c_str());
    }

    std::string Path(const char* name) const { return dir + "\\" + name; }

    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found{};
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE)
            return names;
        do {
            const std::string name = found.cFileName;
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileA(h, &found));
        FindClose(h);
        return names;
    }

    void Put(const char* name, const std::string& bytes) const
    {
        HANDLE h = CreateFileA(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        CloseHandle(h);
    }

    std::string ReadWhole(const std::string& path) const
    {
        int error = 0;
        const int fd = SysOpenForRead(path.c_str(), &error);
        EXPECT_GE(fd, 0) << SysErrorText(error);
        std::string bytes;
        char chunk[7];
        for (long long n; fd >= 0 && (n = SysRead(fd, chunk, sizeof chunk, &error)) > 0;)
            bytes.append(chunk, static_cast<std::size_t>(n));
        if (fd >= 0)
            SysClose(fd);
        return bytes;
    }

    std::string dir;
};

TEST_F(SystemFileWindows, ReadsBytesUnchangedAndHoldsTheFileToItself)
{
    // Text mode would turn CR LF into LF and stop at Ctrl-Z.
    const std::string bytes = std::string(":00000001FF\r\n\x1a", 14) + std::string(1, '\0') + "tail\r";
    Put("a.hex", bytes);
    EXPECT_EQ(ReadWhole(Path("a.hex")), bytes);

    int error = 0;
    const int fd = SysOpenForRead(Path("a.hex").c_str(), &error);
    ASSERT_GE(fd, 0);
    HANDLE other = CreateFileA(Path("a.hex").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    SysClose(fd);

    // And it does not read a file that another program is writing.
    HANDLE writer = CreateFileA(Path("a.hex").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    error = 0;
    EXPECT_EQ(SysOpenForRead(Path("a.hex").c_str(), &error), -1);
    EXPECT_EQ(SysErrorText(error), "lo tiene abierto otro programa");
    CloseHandle(writer);
}

TEST_F(SystemFileWindows, RefusesFoldersAndMissingFilesWithTheirReason)
{
    int error = 0;
    EXPECT_EQ(SysOpenForRead(dir.c_str(), &error), -1);
    EXPECT_EQ(error, EISDIR);
    EXPECT_EQ(SysErrorText(error), "es una carpeta");

    error = 0;
    EXPECT_EQ(SysOpenForRead(Path("missing.hex").c_str(), &error), -1);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(SysErrorText(error), "no existe");
}

TEST(SysErrorText, WindowsCodesInSpanish)
{
    constexpr DWORD kDiskQuotaExceeded = 1295;  // ERROR_DISK_QUOTA_EXCEEDED, which mingw's headers lack
    const std::pair<DWORD, const char*> cases[] = {
        {ERROR_FILE_NOT_FOUND, "no existe"},
        {ERROR_PATH_NOT_FOUND, "no existe"},
        {ERROR_ACCESS_DENIED, "permiso denegado"},
        {ERROR_SHARING_VIOLATION, "lo tiene abierto otro programa"},
        {ERROR_LOCK_VIOLATION, "otro programa tiene bloqueada una parte del archivo"},
        {ERROR_DISK_FULL, "no queda espacio en el dispositivo"},
        {ERROR_HANDLE_DISK_FULL, "no queda espacio en el dispositivo"},
        {kDiskQuotaExceeded, "se ha superado la cuota de disco"},
        {ERROR_WRITE_PROTECT, "el disco está protegido contra escritura"},
        {ERROR_FILENAME_EXCED_RANGE, "el nombre es demasiado largo"},
        {ERROR_INVALID_NAME, "el nombre o la ruta no es válido"},
        {ERROR_DIRECTORY, "una parte de la ruta no es una carpeta"},
        {ERROR_CANT_RESOLVE_FILENAME, "demasiados niveles de enlaces simbólicos"},
        {ERROR_INVALID_HANDLE, "descriptor de archivo no válido"},
        {ERROR_TOO_MANY_OPEN_FILES, "demasiados archivos abiertos"},
        {ERROR_NOT_READY, "el dispositivo no está listo"},
        {ERROR_DEVICE_NOT_CONNECTED, "el dispositivo no está conectado"},
        {ERROR_IO_DEVICE, "error de entrada/salida"},
        {ERROR_CRC, "error de entrada/salida"},
        {ERROR_BROKEN_PIPE, "el otro extremo de la tubería está cerrado"},
        {ERROR_OPERATION_ABORTED, "la operación se ha cancelado"},
        {ERROR_BUSY, "el dispositivo o el recurso está ocupado"},
        {ERROR_ALREADY_EXISTS, "ya existe"},
        {ERROR_NOT_SAME_DEVICE, "no se puede mover a otro sistema de archivos"},
        {ERROR_DEVICE_REMOVED, "el dispositivo se ha retirado"},
        {ERROR_DELETE_PENDING, "el archivo se está borrando"},
        {12345, "error 12345"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(SysErrorText(SysWindowsError(code)), text) << code;
}

// What the system's numbers mean to the program: whom to blame when a device does not open.
TEST(SystemErrorWindows, CodesKeepTheirMeaning)
{
    const struct {
        DWORD code;
        SysErrorKind kind;
    } cases[] = {
        {ERROR_ACCESS_DENIED, SysErrorKind::kDenied},         {ERROR_SHARING_VIOLATION, SysErrorKind::kBusy},
        {ERROR_BUSY, SysErrorKind::kBusy},                    {ERROR_FILE_NOT_FOUND, SysErrorKind::kGone},
        {ERROR_PATH_NOT_FOUND, SysErrorKind::kGone},          {ERROR_DEV_NOT_EXIST, SysErrorKind::kGone},
        {ERROR_DEVICE_NOT_CONNECTED, SysErrorKind::kGone},
        {433, SysErrorKind::kGone},  // ERROR_NO_SUCH_DEVICE, which mingw lacks
        {ERROR_GEN_FAILURE, SysErrorKind::kOther},            {12345, SysErrorKind::kOther},
    };
    for (const auto& [code, kind] : cases) {
        const SysError error = SysErrorOf(SysWindowsError(code));
        EXPECT_EQ(error.kind, kind) << code;
        EXPECT_EQ(SysErrorNumber(error.code), code);
    }
}

TEST_F(SystemFileWindows, ReplacesAFileWholeAndLeavesNothingBeside)
{
    Put("image.bin", std::string(100, 'x'));
    const std::string image(16384, '\xff');
    std::string reason;
    ASSERT_TRUE(SysWriteOutput(Path("image.bin").c_str(), image.data(), image.size(), &reason)) << reason;
    EXPECT_EQ(ReadWhole(Path("image.bin")), image);
    EXPECT_EQ(Listing(), std::vector<std::string>{"image.bin"});

    // A target held open without delete sharing cannot be replaced: the old file stays, no temp is left.
    HANDLE holder = CreateFileA(Path("image.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::string other(16384, '\0');
    EXPECT_FALSE(SysWriteOutput(Path("image.bin").c_str(), other.data(), other.size(), &reason));
    EXPECT_EQ(reason, "lo tiene abierto otro programa");
    CloseHandle(holder);
    EXPECT_EQ(ReadWhole(Path("image.bin")), image);
    EXPECT_EQ(Listing(), std::vector<std::string>{"image.bin"});

    reason.clear();
    EXPECT_FALSE(SysWriteOutput(Path("no-such-folder\\image.bin").c_str(), image.data(), image.size(), &reason));
    EXPECT_EQ(reason, "no se puede crear un archivo temporal en la carpeta «" + Path("no-such-folder") + "»: no existe");
}

TEST_F(SystemFileWindows, ReadsOnlyDiskFiles)
{
    // A pipe with a server, so that opening it would succeed.
    const HANDLE server = CreateNamedPipeA("\\\\.\\pipe\\tolvanex-test", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 64, 64,
                                           0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    int error = 0;
    EXPECT_EQ(SysOpenForRead("\\\\.\\pipe\\tolvanex-test", &error), -1);
    EXPECT_EQ(error, kSysErrorNotAFile);
    CloseHandle(server);
    for (const char* path : {"NUL", "CON", "COM1"}) {
        SCOPED_TRACE(path);
        error = 0;
        EXPECT_EQ(SysOpenForRead(path, &error), -1);
        EXPECT_NE(error, 0);
    }

    // NUL takes what is written to it in place, and nothing is left beside it.
    std::string reason;
    EXPECT_TRUE(SysWriteOutput("NUL", "x", 1, &reason)) << reason;
}

TEST_F(SystemFileWindows, NamesOutsideTheAnsiCodePage)
{
    // UTF-8 inside; Greek and Chinese names, whatever code page the system uses.
    for (const std::string name : {"\xCE\xB1\xCE\xB2\xCE\xB3.hex", "\xE4\xB8\xAD\xE6\x96\x87.hex"}) {
        const std::string path = dir + "\\" + name;
        std::string reason;
        ASSERT_TRUE(SysWriteOutput(path.c_str(), "abc", 3, &reason)) << reason;
        ASSERT_TRUE(SysWriteOutput(path.c_str(), "abcd", 4, &reason)) << reason;  // replaces it
        EXPECT_EQ(ReadWhole(path), "abcd");
        EXPECT_TRUE(SysSameFile(path.c_str(), path.c_str()));
        EXPECT_FALSE(SysSameFile(path.c_str(), dir.c_str()));
        int wideLength = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), wideLength);
        EXPECT_TRUE(DeleteFileW(wide.c_str()));
    }
}

}  // namespace
