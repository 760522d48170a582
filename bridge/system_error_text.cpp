#include "bridge/system_error_text.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "base/utf_win.h"
#endif

namespace bridge {

std::string SystemErrorText(int errnoValue) {
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
      return std::strerror(errnoValue);
  }
}

#ifdef _WIN32
std::string WindowsErrorText(unsigned long code) {
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
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text ? text : L"", length);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n'))
    message.pop_back();
  return Narrow(message) + " (" + std::to_string(code) + ")";
}
#endif

}  // namespace bridge
