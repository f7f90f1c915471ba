#include "sys/ErrorText.h"

#include <cerrno>

namespace {

// One meaning a row: its text, what it means to the program, the C library's
// codes for it and Windows' (their values; ERROR_* in a comment, as windows.h
// names them). Zero ends a list. A code the system lacks is left out where it
// is not defined.
struct Row {
    const char* text;
    SysErrorKind kind;
    int errnos[3];
    unsigned long windows[5];
};

constexpr SysErrorKind kOther = SysErrorKind::kOther;
constexpr SysErrorKind kDenied = SysErrorKind::kDenied;
constexpr SysErrorKind kBusy = SysErrorKind::kBusy;
constexpr SysErrorKind kGone = SysErrorKind::kGone;

const Row kRows[] = {
    {"no existe", kGone, {ENOENT}, {2, 3, 15}},  // FILE_NOT_FOUND, PATH_NOT_FOUND, INVALID_DRIVE
    {"una parte de la ruta no es una carpeta", kGone, {ENOTDIR}, {267}},  // DIRECTORY
    {"es una carpeta", kOther, {EISDIR}, {}},
#ifdef ELOOP
    {"demasiados niveles de enlaces simbólicos", kOther, {ELOOP}, {1921}},  // CANT_RESOLVE_FILENAME
#endif
    {"permiso denegado", kDenied, {EACCES}, {5}},  // ACCESS_DENIED
    {"operación no permitida", kDenied, {EPERM}, {}},
    {"lo tiene abierto otro programa", kBusy, {}, {32}},                       // SHARING_VIOLATION
    {"otro programa tiene bloqueada una parte del archivo", kBusy, {}, {33}},  // LOCK_VIOLATION
    {"el sistema de archivos es de solo lectura", kDenied, {EROFS}, {}},
    {"el disco está protegido contra escritura", kOther, {}, {19}},       // WRITE_PROTECT
    {"no queda espacio en el dispositivo", kOther, {ENOSPC}, {112, 39}},  // DISK_FULL, HANDLE_DISK_FULL
#ifdef EDQUOT
    {"se ha superado la cuota de disco", kOther, {EDQUOT}, {1295}},  // DISK_QUOTA_EXCEEDED
#else
    {"se ha superado la cuota de disco", kOther, {}, {1295}},
#endif
    {"el nombre es demasiado largo", kOther, {ENAMETOOLONG}, {206}},  // FILENAME_EXCED_RANGE
    {"el nombre o la ruta no es válido", kOther, {}, {123, 161}},     // INVALID_NAME, BAD_PATHNAME
    // IO_DEVICE, CRC, READ_FAULT, WRITE_FAULT, GEN_FAILURE
    {"error de entrada/salida", kOther, {EIO}, {1117, 23, 30, 29, 31}},
    {"descriptor de archivo no válido", kOther, {EBADF}, {6}},            // INVALID_HANDLE
    {"el dispositivo o el recurso está ocupado", kBusy, {EBUSY}, {170}},  // BUSY
#ifdef ETXTBSY
    {"el archivo está en uso", kBusy, {ETXTBSY}, {}},
#endif
    {"no existe ese dispositivo", kGone, {ENODEV}, {55, 433}},     // DEV_NOT_EXIST, NO_SUCH_DEVICE
    {"el dispositivo no está conectado", kGone, {ENXIO}, {1167}},  // DEVICE_NOT_CONNECTED
    {"el dispositivo no está listo", kOther, {}, {21}},            // NOT_READY
    {"demasiados archivos abiertos", kOther, {EMFILE}, {4}},       // TOO_MANY_OPEN_FILES
    {"demasiados archivos abiertos en el sistema", kOther, {ENFILE}, {}},
    {"ya existe", kOther, {EEXIST}, {80, 183}},                               // FILE_EXISTS, ALREADY_EXISTS
    {"la carpeta no está vacía", kOther, {ENOTEMPTY}, {145}},                 // DIR_NOT_EMPTY
    {"no se puede mover a otro sistema de archivos", kOther, {EXDEV}, {17}},  // NOT_SAME_DEVICE
    {"el archivo pasaría del tamaño que se permite escribir (ulimit -f, o el del sistema de archivos)",
     kOther,
     {EFBIG},
     {}},
    {"no hay memoria suficiente", kOther, {ENOMEM}, {8, 14}},                     // NOT_ENOUGH_MEMORY, OUTOFMEMORY
    {"argumento no válido", kOther, {EINVAL}, {87}},                              // INVALID_PARAMETER
    {"el otro extremo de la tubería está cerrado", kOther, {EPIPE}, {109, 232}},  // BROKEN_PIPE, NO_DATA
    {"llamada interrumpida", kOther, {EINTR}, {}},
    {"recurso no disponible por ahora; vuelva a intentarlo", kOther, {EAGAIN}, {}},
#ifdef ESTALE
    {"el archivo de red ya no es válido", kOther, {ESTALE}, {}},
#endif
#ifdef ETIMEDOUT
    {"se ha agotado el tiempo de espera", kOther, {ETIMEDOUT}, {121}},  // SEM_TIMEOUT
#endif
    {"la ruta de red no está disponible", kOther, {}, {53, 64}},  // BAD_NETPATH, NETNAME_DELETED
#ifdef ENOTSUP
    {"operación no admitida", kOther, {ENOTSUP, EOPNOTSUPP}, {50, 1}},  // NOT_SUPPORTED, INVALID_FUNCTION
#endif
    {"no se puede situar la lectura en una tubería", kOther, {ESPIPE}, {}},
#ifdef EOVERFLOW
    {"el valor es demasiado grande", kOther, {EOVERFLOW}, {}},
#endif
    {"el archivo se está borrando", kOther, {}, {303}},      // DELETE_PENDING
    {"la operación se ha cancelado", kOther, {}, {995}},     // OPERATION_ABORTED
    {"no se puede acceder al archivo", kOther, {}, {1920}},  // CANT_ACCESS_FILE
#ifdef ESHUTDOWN
    // A USB device being unplugged under a transfer
    {"el dispositivo se ha retirado", kGone, {ESHUTDOWN}, {1617}},  // DEVICE_REMOVED
#else
    {"el dispositivo se ha retirado", kGone, {}, {1617}},
#endif
    {"no es un archivo normal (es un dispositivo, una tubería o un socket)", kOther, {kSysErrorNotAFile}, {}},
    {"es un archivo del sistema (/proc, /sys), no un firmware", kOther, {kSysErrorSystemFile}, {}},
    {"no se puede calcular su SHA-256 aquí (un navegador solo lo calcula en una página HTTPS o de localhost)",
     kOther,
     {kSysErrorNoSha256},
     {}},
    {"es un archivo del sistema (/proc, /sys), donde no se escribe", kOther, {kSysErrorSystemOutput}, {}},
    {"nadie lee de la tubería", kOther, {kSysErrorNoReader}, {}},
};

const Row* RowOf(int error)
{
    if (error == 0)
        return nullptr;
    for (const Row& row : kRows) {
        if (error > 0) {
            for (int code : row.errnos)
                if (code == error)
                    return &row;
        } else {
            for (unsigned long code : row.windows)
                if (code != 0 && SysWindowsError(code) == error)
                    return &row;
        }
    }
    return nullptr;
}

}  // namespace

SysError SysErrorOf(int code)
{
    const Row* row = RowOf(code);
    return SysError{code, row != nullptr ? row->kind : SysErrorKind::kOther};
}

long long SysErrorNumber(int code)
{
    return code < 0 ? -static_cast<long long>(code) : code;
}

const char* SysErrorTextOrNull(int error)
{
    const Row* row = RowOf(error);
    return row != nullptr ? row->text : nullptr;
}

std::string SysErrorText(int error)
{
    if (const char* text = SysErrorTextOrNull(error))
        return text;
    // A Windows code shows as Windows numbers it, without the sign.
    return "error " + std::to_string(SysErrorNumber(error));
}
