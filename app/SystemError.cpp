#include "app/SystemError.h"

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

QString SystemErrorText(int errnum)
{
    switch (errnum) {
    case ENOSPC:
        return u"ディスクの空き容量が足りません"_s;
#ifdef EDQUOT
    case EDQUOT:
        return u"ディスクの使用量が割り当て（クォータ）の上限に達しました"_s;
#endif
    case EFBIG:
        return u"ファイルが大きすぎます"_s;
    case EACCES:
        return u"アクセスが拒否されました"_s;
    case EPERM:
        return u"この操作は許可されていません"_s;
    case EROFS:
        return u"読み取り専用のファイルシステムです"_s;
    case ENAMETOOLONG:
        return u"ファイル名またはパスが長すぎます"_s;
    case ENOENT:
        return u"ファイルまたはフォルダが見つかりません"_s;
    case ENOTDIR:
        return u"パスの途中にフォルダでないものがあります"_s;
    case EISDIR:
        return u"同じ名前のフォルダがあります"_s;
    case ELOOP:
        return u"シンボリックリンクが循環しているか、多すぎます"_s;
    case EIO:
        return u"ディスクの入出力エラーが起きました"_s;
    case EMFILE:
    case ENFILE:
        return u"開いているファイルが多すぎます"_s;
    case ENOMEM:
        return u"メモリが足りません"_s;
    case EBUSY:
    case ETXTBSY:
        return u"ファイルが使用中です"_s;
    case EXDEV:
        return u"別のファイルシステムへは移せません"_s;
    case EEXIST:
        return u"同じ名前のファイルがあります"_s;
    default:
        return u"システムのエラー %1（%2）"_s.arg(errnum).arg(
            QString::fromLocal8Bit(std::strerror(errnum)));
    }
}
