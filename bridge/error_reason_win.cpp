#include <windows.h>

#include "base/system_error.h"
#include "bridge/error_reason.h"

namespace bridge {

std::string WindowsErrorReason(unsigned long code) {
  switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return "没有权限";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "不存在";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "正在被其他程序使用";
    case ERROR_FILENAME_EXCED_RANGE:
      return "路径太长";
    case ERROR_DIRECTORY:
      return "不是文件夹";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "磁盘已满";
    case ERROR_WRITE_PROTECT:
      return "磁盘有写保护";
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return "已经存在";
    case ERROR_NOT_SAME_DEVICE:
      return "不在同一个驱动器上";
    case ERROR_NOT_READY:
      return "驱动器没有准备好";
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
      return "读写错误";
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return "找不到网络路径";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return "内存不足";
    default:
      break;
  }
  std::string text = ::SystemErrorText(static_cast<SystemErrorCode>(code));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text + " (" + std::to_string(code) + ")";
}

}  // namespace bridge
