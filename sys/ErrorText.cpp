#include "sys/ErrorText.h"

#include <cerrno>

namespace {

// One meaning a row: its text, the C library's codes for it and Windows'
// (their values; ERROR_* in a comment, as windows.h names them). Zero ends a
// list. A code the system lacks is left out where it is not defined.
struct Row {
    const char* text;
    int errnos[3];
    unsigned long windows[5];
};

const Row kRows[] = {
    {"no existe", {ENOENT}, {2, 3, 15}},                           // FILE_NOT_FOUND, PATH_NOT_FOUND, INVALID_DRIVE
    {"una parte de la ruta no es una carpeta", {ENOTDIR}, {267}},  // DIRECTORY
    {"es una carpeta", {EISDIR}, {}},
#ifdef ELOOP
    {"demasiados niveles de enlaces simbólicos", {ELOOP}, {1921}},  // CANT_RESOLVE_FILENAME
#endif
    {"permiso denegado", {EACCES}, {5}},  // ACCESS_DENIED
    {"operación no permitida", {EPERM}, {}},
    {"lo tiene abierto otro programa", {}, {32}},                       // SHARING_VIOLATION
    {"otro programa tiene bloqueada una parte del archivo", {}, {33}},  // LOCK_VIOLATION
    {"el sistema de archivos es de solo lectura", {EROFS}, {}},
    {"el disco está protegido contra escritura", {}, {19}},       // WRITE_PROTECT
    {"no queda espacio en el dispositivo", {ENOSPC}, {112, 39}},  // DISK_FULL, HANDLE_DISK_FULL
#ifdef EDQUOT
    {"se ha superado la cuota de disco", {EDQUOT}, {1295}},  // DISK_QUOTA_EXCEEDED
#else
    {"se ha superado la cuota de disco", {}, {1295}},
#endif
    {"el nombre es demasiado largo", {ENAMETOOLONG}, {206}},  // FILENAME_EXCED_RANGE
    {"el nombre o la ruta no es válido", {}, {123, 161}},     // INVALID_NAME, BAD_PATHNAME
    // IO_DEVICE, CRC, READ_FAULT, WRITE_FAULT, GEN_FAILURE
    {"error de entrada/salida", {EIO}, {1117, 23, 30, 29, 31}},
    {"descriptor de archivo no válido", {EBADF}, {6}},             // INVALID_HANDLE
    {"el dispositivo o el recurso está ocupado", {EBUSY}, {170}},  // BUSY
#ifdef ETXTBSY
    {"el archivo está en uso", {ETXTBSY}, {}},
#endif
    {"no existe ese dispositivo", {ENODEV}, {55}},          // DEV_NOT_EXIST
    {"el dispositivo no está conectado", {ENXIO}, {1167}},  // DEVICE_NOT_CONNECTED
    {"el dispositivo no está listo", {}, {21}},             // NOT_READY
    {"demasiados archivos abiertos", {EMFILE}, {4}},        // TOO_MANY_OPEN_FILES
    {"demasiados archivos abiertos en el sistema", {ENFILE}, {}},
    {"ya existe", {EEXIST}, {80, 183}},                               // FILE_EXISTS, ALREADY_EXISTS
    {"la carpeta no está vacía", {ENOTEMPTY}, {145}},                 // DIR_NOT_EMPTY
    {"no se puede mover a otro sistema de archivos", {EXDEV}, {17}},  // NOT_SAME_DEVICE
    {"el archivo es demasiado grande", {EFBIG}, {}},
    {"no hay memoria suficiente", {ENOMEM}, {8, 14}},                     // NOT_ENOUGH_MEMORY, OUTOFMEMORY
    {"argumento no válido", {EINVAL}, {87}},                              // INVALID_PARAMETER
    {"el otro extremo de la tubería está cerrado", {EPIPE}, {109, 232}},  // BROKEN_PIPE, NO_DATA
    {"llamada interrumpida", {EINTR}, {}},
    {"recurso no disponible por ahora; vuelva a intentarlo", {EAGAIN}, {}},
#ifdef ESTALE
    {"el archivo de red ya no es válido", {ESTALE}, {}},
#endif
#ifdef ETIMEDOUT
    {"se ha agotado el tiempo de espera", {ETIMEDOUT}, {121}},  // SEM_TIMEOUT
#endif
    {"la ruta de red no está disponible", {}, {53, 64}},  // BAD_NETPATH, NETNAME_DELETED
#ifdef ENOTSUP
    {"operación no admitida", {ENOTSUP, EOPNOTSUPP}, {50, 1}},  // NOT_SUPPORTED, INVALID_FUNCTION
#endif
    {"no se puede situar la lectura en una tubería", {ESPIPE}, {}},
#ifdef EOVERFLOW
    {"el valor es demasiado grande", {EOVERFLOW}, {}},
#endif
    {"el archivo se está borrando", {}, {303}},      // DELETE_PENDING
    {"la operación se ha cancelado", {}, {995}},     // OPERATION_ABORTED
    {"no se puede acceder al archivo", {}, {1920}},  // CANT_ACCESS_FILE
    {"el dispositivo se ha retirado", {}, {1617}},   // DEVICE_REMOVED
    {"no es un archivo normal (es un dispositivo, una tubería o un socket)", {kSysErrorNotAFile}, {}},
    {"es un archivo del sistema (/proc, /sys), no un firmware", {kSysErrorSystemFile}, {}},
    {"es el mismo archivo que la entrada", {kSysErrorSameFile}, {}},
};

}  // namespace

const char* SysErrorTextOrNull(int error)
{
    if (error == 0)
        return nullptr;
    for (const Row& row : kRows) {
        if (error > 0) {
            for (int code : row.errnos)
                if (code == error)
                    return row.text;
        } else {
            for (unsigned long code : row.windows)
                if (code != 0 && SysWindowsError(code) == error)
                    return row.text;
        }
    }
    return nullptr;
}

std::string SysErrorText(int error)
{
    if (const char* text = SysErrorTextOrNull(error))
        return text;
    // A Windows code shows as Windows numbers it, without the sign.
    return "error " + (error < 0 ? std::to_string(-static_cast<long long>(error)) : std::to_string(error));
}
