#include "browser/ProgramError.h"

#include <cerrno>

namespace browser {

ProgramError fileError(int posixError)
{
    switch (posixError) {
    case ENOENT:
    case ENOTDIR:
        return { errnum::PathNotFound, QStringLiteral("パスが見つかりません。") };
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return { errnum::PermissionDenied, QStringLiteral("書き込みできません。") };
    case ENOSPC:
    case EDQUOT:
        return { errnum::DiskFull, QStringLiteral("ディスクの空き容量が不足しています。") };
    case EMFILE:
    case ENFILE:
        return { errnum::TooManyFiles, QStringLiteral("開いているファイルが多すぎます。") };
    case ENAMETOOLONG:
        return { errnum::BadFileName, QStringLiteral("ファイル名が長すぎます。") };
    case EISDIR:
    case ELOOP:
    case EINVAL:
        return { errnum::PathFileAccess, QStringLiteral("パス名またはファイル名が無効です。") };
    default:
        return { errnum::DeviceIo, QStringLiteral("デバイス I/O エラーです。") };
    }
}

} // namespace browser
