#include "bridge/error_reason.h"

#include <cerrno>
#include <cstring>

namespace bridge {

std::string ErrnoReason(int errnoValue) {
  switch (errnoValue) {
    case EACCES:
    case EPERM:
      return "没有权限";
    case ENOENT:
      return "不存在";
    case ENOTDIR:
      return "路径中的一部分不是文件夹";
    case EISDIR:
      return "是文件夹";
    case ENAMETOOLONG:
      return "路径太长";
    case ELOOP:
      return "链接太多层";
    case EIO:
      return "读写错误";
    case ENOSPC:
      return "磁盘已满";
    case EROFS:
      return "只读文件系统";
    case EEXIST:
      return "已经存在";
    case EBUSY:
      return "正在被使用";
    case EMFILE:
    case ENFILE:
      return "打开的文件太多";
    case ENOMEM:
      return "内存不足";
    case EXDEV:
      return "不在同一个文件系统上";
    default:
      // The C library's words: an errno value is no system error code on
      // Windows, so the system's text for a code does not apply.
      return std::strerror(errnoValue);
  }
}

}  // namespace bridge
